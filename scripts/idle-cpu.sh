#!/usr/bin/env bash
# Measures the processor time the program uses while its main window sits
# idle (timers, clock and the two scrolling pictures running): starts it on a
# fresh folder under a private Xvfb display, lets it settle, then reads
# utime + stime from /proc/PID/stat over a measuring window.
#
#   bash scripts/idle-cpu.sh path/to/quillfern [seconds]
set -euo pipefail

program=$1
seconds=${2:-30}
display=:97
folder=$(mktemp -d /tmp/qf-idle-XXXXXX)
printf 'POP3=pop.invalid\r\n' >"$folder/corvid.ini"  # so no settings window opens

Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$pid" 2>/dev/null || true; kill "$xvfb" 2>/dev/null || true; rm -rf "$folder"' EXIT
sleep 1
DISPLAY=$display QUILLFERN_FOLDER=$folder "$program" &
pid=$!
sleep 3

ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
before=$(ticks)
sleep "$seconds"
after=$(ticks)
awk -v t=$((after - before)) -v hz="$hz" -v s="$seconds" \
  'BEGIN { printf "idle: %.2f s of processor time in %d s = %.2f%% of a core\n", t / hz, s, 100 * t / hz / s }'
