#!/usr/bin/env bash
# Drives the built program on a virtual display as a keyboard user would:
# starts Xvfb with the openbox window manager and the local mail servers,
# receives the sample mails with the keyboard, opens every window from the
# main window by Tab and Space, presses their buttons by keyboard, resizes
# the viewer, moves the real pointer over the address book's buttons, and
# takes a screenshot of each step. It also checks what the user is told: a
# receive while a mail is shown in the viewer, a registration taking effect
# at once, a typed mail not closed away without a question, and a receive
# and a send to servers that cannot be reached. It prints the window that has the focus
# after each step, so that a step that went astray shows in the output.
#
#   bash scripts/drive-windows.sh [BUILD_DIR] [OUT_DIR]
#
# BUILD_DIR defaults to build/dev, OUT_DIR to /tmp/quillfern-drive (its
# screenshots are OUT_DIR/NN-step.png). QF_DRIVE_DISPLAY picks the display
# (default :88), QT_SCALE_FACTOR is passed on to the program (try 1.5).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(cd "${1:-$ROOT/build/dev}" && pwd)
OUT=${2:-/tmp/quillfern-drive}
DISPLAY_NUMBER=${QF_DRIVE_DISPLAY:-:88}
PROGRAM=$BUILD/app/quillfern
# shellcheck source=scripts/demo-lib.sh
source "$ROOT/scripts/demo-lib.sh"
[ -x "$PROGRAM" ] || { echo "No program at $PROGRAM: build the target quillfern first" >&2; exit 1; }

rm -rf "$OUT"
mkdir -p "$OUT"
FOLDER=$OUT/program
DATA="$FOLDER/★MAilData"
SERVERS_ENV=$OUT/mailservers.env
pids=()

cleanup() {
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  if [ -f "$SERVERS_ENV" ]; then
    /usr/bin/python3 "$ROOT/tests/servers/mailservers.py" stop "$SERVERS_ENV" >/dev/null || true
  fi
}
trap cleanup EXIT

step=0
# shot NAME: a screenshot of the whole screen, numbered in order.
shot() {
  step=$((step + 1))
  local file
  file=$(printf '%s/%02d-%s.png' "$OUT" "$step" "$1")
  import -window root "$file"
  printf '%-28s focus: %s\n' "$(basename "$file")" "$(focused)"
}
focused() {
  xdotool getactivewindow getwindowname 2>/dev/null || echo "(no window)"
}
# px N: N pixels of the program's layout on this screen (QT_SCALE_FACTOR).
px() {
  awk -v n="$1" -v scale="${QT_SCALE_FACTOR:-1}" 'BEGIN { printf "%d", n * scale }'
}
keys() {
  xdotool key --delay 120 "$@"
  sleep 0.6
}
# await TITLE: waits until a window whose name matches TITLE is shown.
await() {
  timeout 10 xdotool search --sync --onlyvisible --name "$1" >/dev/null ||
    echo "!! no window named '$1' appeared"
  sleep 0.8
}
# expect TITLE: says whether the window with the focus is the one expected.
expect() {
  local now
  now=$(focused)
  if [[ "$now" =~ $1 ]]; then
    echo "   ok: focus in '$now'"
  else
    echo "!! expected the focus in '$1', it is in '$now'"
  fi
}
# deliver_mail FROM SUBJECT: one plain mail into the Maildir the POP3 server serves.
deliver_mail() {
  local name owner
  name="$(date +%s%N).$$.drive"
  owner=$(stat -c '%u:%g' "$QF_MAILDIR")
  printf 'From: %s\nTo: %s@example.jp\nSubject: %s\nDate: Tue, 8 Dec 2026 10:00:00 +0900\n\nbody of %s\n' \
    "$1" "$QF_MAIL_USER" "$2" "$2" >"$QF_MAILDIR/tmp/$name"
  chown "$owner" "$QF_MAILDIR/tmp/$name"
  mv "$QF_MAILDIR/tmp/$name" "$QF_MAILDIR/new/$name"
}
# receive_by_mouse: a click on 受信 of the main window.
receive_by_mouse() {
  local main
  main=$(xdotool search --onlyvisible --name 'Quillfern Ver' | head -1)
  xdotool windowactivate --sync "$main" mousemove --window "$main" "$(px 240)" "$(px 100)" click 1
}
ini() {
  local file=$1
  shift
  { printf '[EXEINI]\r\n'; printf '%s\r\n' "$@"; } | iconv -f UTF-8 -t CP932 >"$file"
}

echo "== Display $DISPLAY_NUMBER with openbox"
start_display "$DISPLAY_NUMBER" 1366x768x24 "$OUT"
pids+=("$(cat "$OUT/xvfb.pid")" "$(cat "$OUT/openbox.pid")")
export DISPLAY=$DISPLAY_NUMBER

echo "== Mail servers, and a program folder for them"
/usr/bin/python3 "$ROOT/tests/servers/mailservers.py" start "$SERVERS_ENV" >/dev/null
# shellcheck disable=SC1090
source "$SERVERS_ENV"
mkdir -p "$DATA"
printf 'SMTP=%s:%s\r\nPOP3=%s:%s\r\nMAIL=%s@example.jp\r\nAPOP=1\r\n' "$QF_MAIL_HOST" \
  "$QF_SMTP_PORT" "$QF_MAIL_HOST" "$QF_POP3_PORT" "$QF_MAIL_USER" >"$FOLDER/corvid.ini"
ini "$DATA/iniIdPass.ini" "NAME=$QF_MAIL_USER" "NAME2=$QF_MAIL_PASSWORD" "NAME3=1"
ini "$DATA/iniIdPass2.ini" "NAME=tanaka@example.jp" "NAME2=田中さん" \
  "NAME3=sato@example.jp" "NAME4=佐藤さん"

echo "== The program"
(cd "$FOLDER" && QUILLFERN_FOLDER="$FOLDER" PATH=/usr/bin:/bin exec "$PROGRAM") \
  >"$OUT/quillfern.log" 2>&1 &
pids+=($!)
await 'Quillfern Ver'
shot main-window
expect 'Quillfern Ver'

echo "== Receive with nothing waiting: Tab to 受信, Space; the notice shows"
keys Tab space
sleep 1.5
shot no-new-mail
echo "== The sample mails delivered, 受信 again by Space"
deliver_sample_mails "$QF_MAILDIR" drive
sleep 6
keys space
sleep 4
shot received

echo "== 田中さん's box: Tab on to the first box caption, Enter"
keys Tab Tab Tab Tab Tab Tab Tab Return
await '田中'
shot viewer-opened
expect '田中'
echo "   the arrow keys move the selection and show that mail"
keys Down
shot viewer-down
keys Up
shot viewer-up
echo "   a receive while this mail is shown: the viewer still shows it afterwards"
deliver_mail tanaka@example.jp 'arrived while reading'
receive_by_mouse
sleep 4
xdotool search --onlyvisible --name '田中' windowactivate --sync >/dev/null 2>&1 || true
sleep 0.5
shot viewer-after-receive
expect '田中'
echo "   resized to 1000x640 and to 700x500"
xdotool getactivewindow windowsize 1000 640
sleep 1
shot viewer-1000x640
xdotool getactivewindow windowsize 700 500
sleep 1
shot viewer-700x500
keys alt+F4
expect 'Quillfern Ver'

echo "== New (compose): Shift+Tab back to New, Space"
keys shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab space
await '新規作成'
shot compose-opened
expect '新規作成'
echo "   To and Subject typed, Tab past Cc and Bcc; in the body Ctrl+Tab types a"
echo "   tab and Tab moves on to 送信, which Space presses"
xdotool type --delay 60 'tanaka@example.jp'
keys Tab Tab Tab  # past Cc and Bcc to 件名
xdotool type --delay 60 'keyboard test'
WINDOW=$(xdotool getactivewindow)
xdotool mousemove --window "$WINDOW" "$(px 100)" "$(px 386)" click 1
sleep 0.3
xdotool type --delay 60 'body'
keys ctrl+Tab
xdotool type --delay 60 'after a tab'
shot compose-body-typed
echo "   closing by the frame asks first; No keeps the typed mail"
keys alt+F4
sleep 0.5
shot compose-close-asks
keys Escape
shot compose-kept
expect '新規作成'
keys Tab
shot compose-send-focused
keys space
sleep 3
shot compose-sent
expect 'Quillfern Ver'

echo "== Address book: Tab to Ad, Space; two entries registered by keyboard"
keys Tab Tab Tab Tab space
await 'アドレス帳'
shot address-book
expect 'アドレス帳'
# Name, Tab, address, then Tab past 貼付, 名詞 and 名刺挿入 to 登録, Space.
register() {
  xdotool type --delay 80 "$1"
  keys Tab
  xdotool type --delay 80 "$2"
  keys Tab Tab Tab Tab space
  keys shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab
}
register '山田花子' 'hanako@example.jp'
register '鈴木' '鈴木一郎<suzuki@example.jp>'
shot address-registered
echo "   the real pointer over 貼付, over 登録, then over the bare window"
WINDOW=$(xdotool getactivewindow)
hover() {
  xdotool mousemove --window "$WINDOW" "$(px "$1")" "$(px "$2")"
  sleep 0.2
  xdotool mousemove --window "$WINDOW" "$(px $(($1 + 3)))" "$(px $(($2 + 2)))"
  sleep 0.8
}
hover 428 45
shot address-help-paste
hover 508 20
shot address-help-register
hover 420 72
shot address-help-gone
keys alt+F4

echo "== Divide: Tab to D, Space; registration 3 typed, the close saves it"
keys Tab space
await 'メール分別'
shot divide
expect 'メール分別'
keys Tab Tab Tab Tab Tab Tab
xdotool type --delay 80 'yamada@example.jp'
keys Tab
xdotool type --delay 150 '山田さん'
sleep 1.5
shot divide-typed
xdotool search --onlyvisible --name 'メール分別' windowactivate --sync >/dev/null 2>&1 || true
keys alt+F4
sleep 1
shot divide-registered-caption
expect 'Quillfern Ver'

echo "== Other: Tab to O, Space; ID/PASS by Space, Esc cancels it"
keys Tab Tab space
await '^設定$'
shot settings-menu
keys space
await 'ID/パスワード'
shot idpass
expect 'ID/パスワード'
keys Escape
shot idpass-escaped
echo "   POPサーバー by Tab and Space, Return confirms it"
xdotool search --onlyvisible --name '^設定$' windowactivate --sync >/dev/null 2>&1 || true
keys Tab space
sleep 1
shot server-settings
keys Return
shot server-confirmed
xdotool search --onlyvisible --name '^設定$' windowactivate --sync >/dev/null 2>&1 || true
keys alt+F4

echo "== HP without a browser: Tab to HP, Space"
xdotool search --onlyvisible --name 'Quillfern Ver' windowactivate --sync >/dev/null 2>&1 || true
# From O: past the six box captions and 検索.
for _ in $(seq 1 8); do
  keys Tab
done
keys space
sleep 1.5
shot home-page-no-browser
keys Return

echo "== 受信 with the mouse: the mail sent from the compose window comes back,"
echo "   and yamada's goes to 山田さん's box at once"
deliver_mail yamada@example.jp 'for the new box'
receive_by_mouse
sleep 5
shot sent-mail-received

echo "== The SMTP and POP3 servers set to a closed port: 受信 says what to check"
MAIN=$(xdotool search --onlyvisible --name 'Quillfern Ver' | head -1)
xdotool windowactivate --sync "$MAIN" mousemove --window "$MAIN" "$(px 423)" "$(px 199)" click 1
await '^設定$'
keys Tab space
sleep 1
keys ctrl+a
xdotool type --delay 60 '127.0.0.1:1'
keys Tab ctrl+a
xdotool type --delay 60 '127.0.0.1:1'
shot server-closed-port
keys Return
xdotool search --onlyvisible --name '^設定$' windowactivate --sync >/dev/null 2>&1 || true
keys alt+F4
receive_by_mouse
sleep 3
shot receive-unreachable
keys Return
sleep 6.5
shot receive-unreachable-no-notice

echo "== A send to the closed SMTP port names the server and what to check"
xdotool windowactivate --sync "$MAIN" mousemove --window "$MAIN" "$(px 150)" "$(px 110)" click 1
await '新規作成'
xdotool type --delay 60 'unsent@example.jp'
COMPOSE=$(xdotool getactivewindow)
xdotool mousemove --window "$COMPOSE" "$(px 55)" "$(px 25)" click 1
await '送信エラー'
shot send-unreachable
keys Return

echo "== The main window closed while a typed mail is open: asked first"
xdotool windowactivate --sync "$MAIN"
keys alt+F4
sleep 0.5
shot main-close-asks
keys Escape
shot main-close-kept

echo "== Done: screenshots in $OUT"
