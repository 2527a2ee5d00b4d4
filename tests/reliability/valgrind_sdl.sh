#!/usr/bin/env bash
# The SDL build under valgrind on a virtual display of its own: a few seconds of real frames,
# as many again with the read-out on, then Escape. Passes when valgrind saw no invalid access
# and no use of uninitialised memory and the program ended by itself with status 0.
#   valgrind_sdl.sh PROGRAM WORKDIR [SUPPRESSIONS]
set -euo pipefail

program=$1
work=$2
suppressions=${3:-}
seconds=${TRACKER_VALGRIND_SECONDS:-3}

for tool in valgrind Xvfb xdotool import convert; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed" >&2; exit 1; }
done

WORK=$work
source "$(cd "$(dirname "$0")" && pwd)/../e2e/lib.sh"
rm -rf "$work"
mkdir -p "$work"

# Also shows the end of each valgrind log.
fail() {
  echo "FAIL: $*" >&2
  local log
  for log in "$work"/valgrind.*.log; do
    [ -f "$log" ] && grep -v "^==[0-9]*== *$" "$log" | tail -n 60 >&2
  done
  exit 1
}

start_xvfb 640x480x24
unset WAYLAND_DISPLAY SDL_VIDEODRIVER
echo "display $DISPLAY"

# One log per process: the libraries fork helpers of their own, which valgrind follows.
args=(--error-exitcode=99 --track-origins=yes --leak-check=no --num-callers=40
      --log-file="$work/valgrind.%p.log")
[ -n "$suppressions" ] && args+=(--suppressions="$suppressions")
valgrind "${args[@]}" "$program" >"$work/program.log" 2>&1 &
program_pid=$!
E2E_PIDS+=("$program_pid")

# The panel's colour where nothing else covers it, at (270,10), shows that frames reach the
# screen; under valgrind the set-up takes a while.
panel() {
  import -window root "$work/screen.png" 2>/dev/null || return 0
  convert "$work/screen.png" -format '%[hex:p{270,10}]' info: 2>/dev/null || true
}
# White pixels in the read-out's corner, where the scene draws no white.
readout_pixels() {
  convert "$work/screen.png" -crop 80x16+0+0 +repage txt:- | grep -c '#FFFFFF' || true
}
# Under valgrind the window can take a long while to appear; give it the focus as soon as it does,
# as a user would, so a slow start cannot leave it inactive.
window=""
window_shown() {
  kill -0 "$program_pid" 2>/dev/null || fail "the program ended before its window appeared"
  window=$(xdotool search --name '^Tracker Screen$' 2>/dev/null | head -n 1) && [ -n "$window" ]
}
wait_for 300 window_shown || fail "no window within five minutes"
focused() { xdotool windowfocus --sync "$window" 2>/dev/null && [ "$(xdotool getwindowfocus)" = "$window" ]; }
wait_for 60 focused || fail "the window never took the focus"

first_frame() {
  kill -0 "$program_pid" 2>/dev/null || fail "the program ended before its first frame"
  shown=$(panel)
  [ "${shown:0:6}" = 607080 ]
}
wait_for 300 first_frame || fail "no frame within five minutes of the window: (270,10) shows #$shown"
[ "$(readout_pixels)" = 0 ] || fail "the read-out shows before space was pressed"

# Frames for a while, then as long again with the read-out drawn into the back buffer.
sleep "$seconds"
xdotool key space
# Only a new frame draws the read-out: frames kept coming.
readout_shown() { panel >/dev/null; [ "$(readout_pixels)" -gt 20 ]; }
wait_for 120 readout_shown || fail "no read-out after space"
sleep "$seconds"
xdotool key Escape

wait_exit "$program_pid" 60
status=$EXIT_STATUS
[ "$status" != running ] || fail "the program did not end within a minute of Escape"

echo "status $status"
grep -h "ERROR SUMMARY" "$work"/valgrind.*.log
[ "$status" != 99 ] || fail "valgrind reported errors"
[ "$status" = 0 ] || fail "exit status $status"
for log in "$work"/valgrind.*.log; do
  grep -q "ERROR SUMMARY: 0 errors" "$log" || fail "valgrind's summary in $log is not clean"
done
echo "valgrind: clean"
