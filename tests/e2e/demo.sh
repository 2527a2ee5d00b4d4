#!/usr/bin/env bash
# The real program as a user meets it: it draws the screen, Space shows the frame rate,
# losing the focus pauses it, Escape ends it with status 0.
# Usage: demo.sh linux|wine PROGRAM TRACKER_RENDER WORKDIR
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"

kind=$1 program=$2 render=$3 WORK=$4
rm -rf "$WORK" && mkdir -p "$WORK"
started=$(date +%s)

# The parts of the picture that do not depend on the clock: button grid, lists, bank buttons.
panel="350x200+290+0"
# The top-left corner, where the read-out appears.
corner="80x16+0+0"
# The scopes, which move with every frame.
scopes="284x115+0+79"

mkdir -p "$WORK/reference"
"$render" --out "$WORK/reference" 0
reference="$WORK/reference/frame-0000.png"

start_xvfb 640x480x24
case "$kind" in
  linux) "$program" 2>"$WORK/stderr" & ;;
  wine)
    export WINEPREFIX="$WORK/../wineprefix" WINEDEBUG=-all
    E2E_WINEPREFIX=$WINEPREFIX
    wine "$program" 2>"$WORK/stderr" &
    ;;
  *) fail "unknown kind $kind" ;;
esac
demo=$!
E2E_PIDS+=("$demo")

# Wait until the panel on screen is the panel the renderer draws.
drawn=""
for _ in $(seq 120); do
  shot "$WORK/start.png"
  if [ "$(region_diff "$WORK/start.png" "$reference" "$panel")" = "0" ]; then
    drawn=yes
    break
  fi
  kill -0 "$demo" 2>/dev/null || fail "the program ended before drawing (see $WORK/stderr)"
  sleep 0.5
done
[ -n "$drawn" ] || fail "the panel never matched the renderer's: $(region_diff "$WORK/start.png" "$reference" "$panel") pixels differ (see $WORK/start.png)"
echo "drawn after $(( $(date +%s) - started )) s"

shot "$WORK/before-space.png"
timeout 10 xdotool key space
sleep 1.5
shot "$WORK/after-space.png"
changed=$(region_diff "$WORK/before-space.png" "$WORK/after-space.png" "$corner")
[ "$changed" != "0" ] || fail "Space showed no read-out in the top-left corner"
same=$(region_diff "$WORK/after-space.png" "$reference" "$panel")
[ "$same" = "0" ] || fail "the panel changed with the read-out on: $same pixels"
echo "read-out: $changed pixels changed in the corner"

# Another window takes the focus: frames stop; giving it back resumes them.
if [ "$kind" = linux ]; then
  display -geometry 64x64+560+400 "$reference" &
  viewer=$!
  E2E_PIDS+=("$viewer")
  window=""
  for _ in $(seq 50); do
    window=$(xdotool search --name '^ImageMagick' 2>/dev/null | tail -1) && [ -n "$window" ] && break
    sleep 0.1
  done
  [ -n "$window" ] || fail "the other window did not appear"
  ours=$(xdotool search --pid "$demo" 2>/dev/null | tail -1)
  timeout 10 xdotool windowfocus --sync "$window"
  sleep 1
  shot "$WORK/paused-1.png"
  sleep 1
  shot "$WORK/paused-2.png"
  moved=$(region_diff "$WORK/paused-1.png" "$WORK/paused-2.png" "$scopes")
  [ "$moved" = "0" ] || fail "frames went on without the focus: $moved scope pixels moved"
  timeout 10 xdotool windowfocus --sync "$ours"
  sleep 1
  shot "$WORK/resumed-1.png"
  sleep 0.5
  shot "$WORK/resumed-2.png"
  moved=$(region_diff "$WORK/resumed-1.png" "$WORK/resumed-2.png" "$scopes")
  [ "$moved" != "0" ] || fail "frames did not resume with the focus"
  kill "$viewer" 2>/dev/null || true
  echo "focus: paused and resumed"
fi

timeout 10 xdotool key Escape
wait_exit "$demo" 15
[ "$EXIT_STATUS" = "0" ] || fail "after Escape the program's status is '$EXIT_STATUS' (expected 0)"
echo "PASS: $kind run in $(( $(date +%s) - started )) s"
