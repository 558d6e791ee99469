# Shell functions shared by demo.sh and drive-windows.sh (sourced, not run).

# deliver_sample_mails MAILDIR TAG: the demo's sample mails into MAILDIR/new,
# as a delivery agent leaves them (written in tmp/, then moved).
deliver_sample_mails() {
  local maildir=$1 tag=$2 owner mail name
  owner=$(stat -c '%u:%g' "$maildir")
  for mail in "$ROOT"/resources/demo-mail/*.eml; do
    name="$(date +%s).$$.$(basename "$mail" .eml).$tag"
    tr -d '\r' <"$mail" >"$maildir/tmp/$name"
    chown "$owner" "$maildir/tmp/$name"
    mv "$maildir/tmp/$name" "$maildir/new/$name"
  done
}

# start_display DISPLAY SIZE FOLDER: Xvfb on DISPLAY (screen SIZE, e.g.
# 1366x768x24) with the openbox window manager on it, so that windows get
# title bars and can be moved and closed. Their process ids go to
# FOLDER/xvfb.pid and FOLDER/openbox.pid, their logs beside them.
start_display() {
  local display=$1 size=$2 folder=$3
  Xvfb "$display" -screen 0 "$size" -nolisten tcp >"$folder/xvfb.log" 2>&1 &
  echo $! >"$folder/xvfb.pid"
  for _ in $(seq 1 50); do
    [ -S "/tmp/.X11-unix/X${display#:}" ] && break
    sleep 0.1
  done
  DISPLAY=$display openbox >"$folder/openbox.log" 2>&1 &
  echo $! >"$folder/openbox.pid"
  sleep 0.5
}
