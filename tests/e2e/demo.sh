#!/usr/bin/env bash
# The real program as a user meets it: it draws the screen, Space shows the frame rate,
# losing the focus pauses it, Escape ends it with status 0. Every wait is for a condition on
# the screen or the process, with a deadline.
# Usage: demo.sh linux|wine-x86|wine-x64 PROGRAM TRACKER_RENDER WORKDIR
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"

kind=$1 program=$2 render=$3 WORK=$4
use_kind "$kind"
rm -rf "$WORK" && mkdir -p "$WORK"
started=$(date +%s)
[ -f "$program" ] || fail "no program at $program (build it first)"

# The same with the read-out's corner left out.
static_readout=("560x16+80+0" "640x63+0+16" "356x121+284+79" "284x6+0+194" "12x19+20+336")
# The top-left corner, where the read-out appears.
corner="80x16+0+0"

mkdir -p "$WORK/reference"
"$render" --out "$WORK/reference" 0 >/dev/null
reference="$WORK/reference/frame-0000.png"

alive() { kill -0 "$demo" 2>/dev/null || fail "the program ended early (see $WORK/stderr)"; }

start_xvfb 640x480x24
start_program "$kind" "$program"

drawn() { alive; shot "$WORK/start.png"; [ "$(static_diff "$WORK/start.png" "${E2E_STATIC[@]}")" = 0 ]; }
wait_for 60 drawn ||
  fail "the picture never matched the renderer's: $(static_diff "$WORK/start.png" "${E2E_STATIC[@]}") pixels differ (see $WORK/start.png)"
echo "drawn after $(( $(date +%s) - started )) s"

timeout 10 xdotool key space
readout() { alive; shot "$WORK/readout.png"; [ "$(region_diff "$WORK/readout.png" "$reference" "$corner")" != 0 ]; }
wait_for 10 readout || fail "Space showed no read-out in the top-left corner"
same=$(static_diff "$WORK/readout.png" "${static_readout[@]}")
[ "$same" = "0" ] || fail "the picture changed outside the corner with the read-out on: $same pixels"
echo "read-out: $(region_diff "$WORK/readout.png" "$reference" "$corner") pixels changed in the corner"

wait_for 10 scopes_moving || fail "the scopes do not move while the program has the focus"

# Another window takes the focus: frames stop; giving it back resumes them.
if [ "$kind" = linux ]; then
  display -geometry 64x64+560+400 "$reference" &
  viewer=$!
  E2E_PIDS+=("$viewer")
  window=""
  other_window() { window=$(xdotool search --name '^ImageMagick' 2>/dev/null | tail -1) && [ -n "$window" ]; }
  wait_for 10 other_window || fail "the other window did not appear"
  ours=$(xdotool search --pid "$demo" 2>/dev/null | tail -1)
  timeout 10 xdotool windowfocus --sync "$window"
  wait_for 10 scopes_still || fail "frames went on without the focus"
  # Still paused a while later: the stop is not a passing stall.
  sleep 1
  scopes_still || fail "frames started again without the focus"
  timeout 10 xdotool windowfocus --sync "$ours"
  wait_for 10 scopes_moving || fail "frames did not resume with the focus"
  kill "$viewer" 2>/dev/null || true
  echo "focus: paused and resumed"
fi

timeout 10 xdotool key Escape
wait_exit "$demo" 15
[ "$EXIT_STATUS" = "0" ] || fail "after Escape the program's status is '$EXIT_STATUS' (expected 0)"
echo "PASS: $kind run in $(( $(date +%s) - started )) s"
