#!/usr/bin/env bash
# Quillfern demo: builds the program, starts the project's local mail servers
# on loopback with a handful of Japanese sample mails waiting, prepares a demo
# program folder whose settings point at them, and starts Quillfern on it.
# Press 受信 (Receive) and watch the mail arrive, sorted by sender.
#
#   bash scripts/demo.sh          set up, build, start servers and program;
#                                 an existing demo folder is kept, with every
#                                 mail received into it
#   bash scripts/demo.sh reset    the same on a new demo folder (the old one
#                                 and its mails are deleted)
#   bash scripts/demo.sh stop     stop the program, Xvfb, its window manager
#                                 and the servers
#
# QF_DEMO_PRESET picks the build preset (release, or dev); QF_DEMO_BUILD_DIR
# uses an already configured build folder instead.
# Everything lives in $QF_DEMO_DIR (default /tmp/quillfern-demo): the program
# folder program/, the servers' env file and the process ids. Without a
# display the program runs on a virtual one (Xvfb) with a small window
# manager (openbox), so that its windows can be moved and closed; the script
# says how to look at it.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
DEMO=${QF_DEMO_DIR:-/tmp/quillfern-demo}
PRESET=${QF_DEMO_PRESET:-release}
PROGRAM_FOLDER=$DEMO/program
DATA_FOLDER="$PROGRAM_FOLDER/★MAilData"
SERVERS_ENV=$DEMO/mailservers.env
XVFB_DISPLAY=${QF_DEMO_DISPLAY:-:77}
# shellcheck source=scripts/demo-lib.sh
source "$ROOT/scripts/demo-lib.sh"

stop_pid_file() {
  local file=$1
  if [ -f "$file" ]; then
    local pid
    pid=$(cat "$file")
    if kill -0 "$pid" 2>/dev/null; then
      kill "$pid" 2>/dev/null || true
      for _ in 1 2 3 4 5 6 7 8 9 10; do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.3
      done
    fi
    rm -f "$file"
  fi
}

stop_demo() {
  stop_pid_file "$DEMO/quillfern.pid"
  stop_pid_file "$DEMO/openbox.pid"
  stop_pid_file "$DEMO/xvfb.pid"
  if [ -f "$SERVERS_ENV" ]; then
    /usr/bin/python3 "$ROOT/tests/servers/mailservers.py" stop "$SERVERS_ENV" || true
    rm -f "$SERVERS_ENV"
  fi
}

reset=
case "${1:-}" in
  stop)
    stop_demo
    echo "Demo stopped."
    exit 0
    ;;
  reset) reset=1 ;;
  "") ;;
  *)
    echo "usage: bash scripts/demo.sh [reset|stop]" >&2
    exit 2
    ;;
esac

# An INI file of the program: section EXEINI, CR LF lines, Shift-JIS (CP932).
write_ini() {
  local file=$1
  shift
  { printf '[EXEINI]\r\n'; printf '%s\r\n' "$@"; } | iconv -f UTF-8 -t CP932 >"$file"
}

# The servers listen on new ports at every start.
server_lines() {
  printf 'SMTP=%s:%s\r\nPOP3=%s:%s\r\n' "$QF_MAIL_HOST" "$QF_SMTP_PORT" "$QF_MAIL_HOST" \
    "$QF_POP3_PORT"
}

# Bytes held in the receiving boxes of the demo folder (0 when none yet).
received_bytes() {
  cat "$DATA_FOLDER"/kdxdata*.data 2>/dev/null | wc -c
}

echo "== Packages"
bash "$ROOT/scripts/setup.sh"

cd "$ROOT"
if [ -n "${QF_DEMO_BUILD_DIR:-}" ]; then
  # An existing, configured build folder: only the two programs are built.
  BUILD=$(cd "$QF_DEMO_BUILD_DIR" && pwd)
  echo "== Building in $BUILD"
  cmake --build "$BUILD" --target quillfern quillfern-box
else
  # A folder of its own, and warnings left as warnings: a newer compiler's
  # new warning must not stop a newcomer's first build.
  BUILD=$ROOT/build/demo-$PRESET
  echo "== Building ($PRESET preset in $BUILD)"
  cmake --preset "$PRESET" -B "$BUILD" -DQF_WERROR=OFF -DQF_BUILD_BENCH=OFF >/dev/null
  cmake --build "$BUILD" --target quillfern quillfern-box
fi
PROGRAM=$BUILD/app/quillfern
[ -x "$PROGRAM" ] || { echo "The build did not produce $PROGRAM" >&2; exit 1; }

echo "== Mail servers"
stop_demo
fresh=
if [ -n "$reset" ] || [ ! -d "$PROGRAM_FOLDER" ]; then
  if [ -d "$PROGRAM_FOLDER" ]; then
    echo "Deleting the old demo folder $PROGRAM_FOLDER and the mails in it."
  fi
  rm -rf "$DEMO"
  fresh=1
else
  # Everything but the program folder: logs, process ids, the servers' env.
  find "$DEMO" -mindepth 1 -maxdepth 1 ! -name program -exec rm -rf {} +
fi
mkdir -p "$DEMO"
/usr/bin/python3 "$ROOT/tests/servers/mailservers.py" start "$SERVERS_ENV"
# shellcheck disable=SC1090
source "$SERVERS_ENV"

# The sample mails wait in the Maildir as a delivery agent leaves them: for a
# new folder, and for a kept one that has not received them yet.
if [ -n "$fresh" ] || [ "$(received_bytes)" -eq 0 ]; then
  deliver_sample_mails "$QF_MAILDIR" demo
fi
waiting=$(ls "$QF_MAILDIR/new" | wc -l)

if [ -n "$fresh" ]; then
  echo "== New demo program folder $PROGRAM_FOLDER"
  mkdir -p "$DATA_FOLDER" "$PROGRAM_FOLDER/添付フォルダ" "$PROGRAM_FOLDER/■TextQuickSave"
  cp -r "$BUILD/app/Data" "$PROGRAM_FOLDER/Data"
  { server_lines; printf 'MAIL=%s@example.jp\r\nAPOP=1\r\n' "$QF_MAIL_USER"; } \
    >"$PROGRAM_FOLDER/corvid.ini"
  write_ini "$DATA_FOLDER/iniIdPass.ini" "NAME=$QF_MAIL_USER" "NAME2=$QF_MAIL_PASSWORD" "NAME3=1"
  chmod 600 "$DATA_FOLDER/iniIdPass.ini"
  write_ini "$DATA_FOLDER/iniIdPass2.ini" \
    "NAME=tanaka@example.jp" "NAME2=田中さん" "NAME3=sato@example.jp" "NAME4=佐藤さん" \
    "NAME5=" "NAME6=" "NAME7=" "NAME8=" "NAME9=" "NAME10="
else
  echo "== Keeping the demo program folder $PROGRAM_FOLDER and the mails in it"
  # The pictures and page of this build; in corvid.ini the servers' new
  # ports, its other lines (the mail address, APOP) as they were.
  rm -rf "$PROGRAM_FOLDER/Data"
  cp -r "$BUILD/app/Data" "$PROGRAM_FOLDER/Data"
  others=
  if [ -f "$PROGRAM_FOLDER/corvid.ini" ]; then
    others=$(grep -av -e '^SMTP=' -e '^POP3=' "$PROGRAM_FOLDER/corvid.ini" || true)
  fi
  { server_lines; if [ -n "$others" ]; then printf '%s\n' "$others"; fi; } \
    >"$PROGRAM_FOLDER/corvid.ini.new"
  mv "$PROGRAM_FOLDER/corvid.ini.new" "$PROGRAM_FOLDER/corvid.ini"
fi

echo "== Starting Quillfern"
if [ -z "${DISPLAY:-}" ]; then
  # With a window manager: without one every window opens at 0,0 without
  # a frame, and the viewer covers the main window for good.
  start_display "$XVFB_DISPLAY" 1280x900x24 "$DEMO"
  export DISPLAY=$XVFB_DISPLAY
  headless=1
fi
(cd "$PROGRAM_FOLDER" && QUILLFERN_FOLDER="$PROGRAM_FOLDER" exec "$PROGRAM") \
  >"$DEMO/quillfern.log" 2>&1 &
echo $! >"$DEMO/quillfern.pid"

cat <<EOF

Quillfern is running on the demo folder $PROGRAM_FOLDER.
$waiting sample mails wait on the local POP3 server $QF_MAIL_HOST:$QF_POP3_PORT
(user $QF_MAIL_USER, APOP). Press Receive in the main window: mail from
tanaka@example.jp goes to 田中さん's box, from sato@example.jp to 佐藤さん's,
the newsletter to その他; the attachment lands in 添付フォルダ.
Mail sent from the compose window goes to the local SMTP server on port
$QF_SMTP_PORT and can be fetched back with 受信.
The same receive from a terminal, once the program is closed (while the
program runs on this folder it holds the folder, and the command is refused):
  QUILLFERN_FOLDER=$PROGRAM_FOLDER $BUILD/boxtool/quillfern-box receive
EOF
if [ -n "$fresh" ]; then
  echo "This is a new demo folder. Running the demo again keeps it and its mails;"
  echo "bash scripts/demo.sh reset deletes it and starts afresh."
else
  echo "This is the demo folder of an earlier run, kept with its mails (the"
  echo "sample mails wait again only while its boxes are empty);"
  echo "bash scripts/demo.sh reset deletes it and starts afresh."
fi
if [ -n "${headless:-}" ]; then
  cat <<EOF

There is no display here, so the program runs on the virtual display
$DISPLAY (Xvfb, with the openbox window manager). To look at it:
  DISPLAY=$DISPLAY import -window root /tmp/quillfern-demo.png
To press 受信 (Receive) from the terminal, with the mouse:
  DISPLAY=$DISPLAY xdotool search --name 'Quillfern Ver' windowactivate --sync \\
    mousemove --window %1 240 100 click 1
or with the keyboard (the main window opens on New; Tab moves on to
Receive, Space presses it):
  DISPLAY=$DISPLAY xdotool search --name 'Quillfern Ver' windowactivate --sync key Tab space
EOF
fi
echo
echo "Stop everything with: bash scripts/demo.sh stop"
