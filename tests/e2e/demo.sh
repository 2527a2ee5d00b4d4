#!/usr/bin/env bash
# The real program as a user meets it: it draws the screen, Space shows the frame rate,
# losing the focus pauses it, Escape ends it with status 0. Every wait is for a condition on
# the screen or the process, with a deadline.
# Usage: demo.sh linux|wayland|wayland-only|wayland-scaled|wine-x86|wine-x64 PROGRAM TRACKER_RENDER WORKDIR [ENDING]
#   linux and wine-* run on a bare Xvfb screen; wayland (SDL asked for Wayland) and wayland-only
#   (no X11 display given to the program) under weston, whose output 0 the program fills while
#   the other client that takes the focus, weston-terminal, opens on output 1; wayland-scaled as
#   wayland with weston's outputs at scale 2, where each frame pixel must be a whole 2x2 block.
#   ENDING: escape (the default), or compositor for wayland: weston ends, and so does the
#   program, with status 0.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"

kind=$1 program=$(realpath -ms "$2") render=$3 WORK=$(realpath -m "$4") ending=${5:-escape}
use_kind "$kind" "$program"
rm -rf "$WORK" && mkdir -p "$WORK"
started=$(date +%s)
[ -f "${E2E_CHROOT:-}$program" ] || fail "no program at ${E2E_CHROOT:-}$program (build it first)"

# The same with the read-out's corner left out.
static_readout=("560x16+80+0" "640x63+0+16" "356x121+284+79" "284x6+0+194" "12x19+20+336")
# The top-left corner, where the read-out appears.
corner="80x16+0+0"

mkdir -p "$WORK/reference"
"$render" --out "$WORK/reference" 0 >/dev/null
reference="$WORK/reference/frame-0000.png"

alive() { kill -0 "$demo" 2>/dev/null || fail "the program ended early (see $WORK/stderr)"; }

# Device pixels a frame pixel on the screen shot; the X screen's positions are in device pixels.
[ "$kind" = wayland-scaled ] && E2E_SCALE=2
px() { echo $(($1 * E2E_SCALE)); }

case "$kind" in
  wayland*)
    start_xvfb "$(px 1280)x$(px 480)x24"
    start_weston 640x480 2 "$E2E_SCALE"
    # The pointer rests over the picture, where the program hides it (weston draws it into the
    # output, so a shown one would differ from the renderer's frame).
    timeout 10 xdotool mousemove "$(px 320)" "$(px 120)"
    ;;
  *) start_xvfb 640x480x24 ;;
esac
start_program "$kind" "$program"

drawn() { alive; shot "$WORK/start.png"; [ "$E2E_UNBLOCKED" = 0 ] && [ "$(static_diff "$WORK/start.png" "${E2E_STATIC[@]}")" = 0 ]; }
wait_for 60 drawn || {
  assert_blocks
  fail "the picture never matched the renderer's: $(static_diff "$WORK/start.png" "${E2E_STATIC[@]}") pixels differ (see $WORK/start.png)"
}
echo "drawn after $(( $(date +%s) - started )) s$([ "$E2E_SCALE" = 1 ] || echo ", every frame pixel a whole ${E2E_SCALE}x${E2E_SCALE} block")"
# At most one line on standard error: the way the frames are shown by, when a cheaper one was passed over.
[ "$(grep -cv '^SDL: present: ' "$WORK/stderr")" = 0 ] || fail "standard error says more than the way taken: $(cat "$WORK/stderr")"
[ ! -s "$WORK/stderr" ] || echo "the program: $(cat "$WORK/stderr")"

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
if [[ $kind == wayland* ]]; then
  # A new window on the other output takes the keyboard; once it closes, weston gives it back.
  timeout 10 xdotool mousemove "$(px 960)" "$(px 240)"
  weston-terminal 2>"$WORK/terminal.stderr" &
  terminal=$!
  E2E_PIDS+=("$terminal")
  paused() { kill -0 "$terminal" 2>/dev/null || fail "weston-terminal ended early (see $WORK/terminal.stderr)"; scopes_still; }
  wait_for 30 paused || fail "frames went on while weston-terminal had the focus"
  sleep 1
  scopes_still || fail "frames started again without the focus"
  kill "$terminal"
  wait "$terminal" 2>/dev/null || true
  wait_for 10 scopes_moving || fail "frames did not resume once weston-terminal closed"
  timeout 10 xdotool mousemove "$(px 320)" "$(px 120)"
  whole() { alive; shot "$WORK/back.png"; [ "$E2E_UNBLOCKED" = 0 ] && [ "$(static_diff "$WORK/back.png" "${static_readout[@]}")" = 0 ]; }
  wait_for 10 whole || fail "the picture is not whole again after the focus came back (see $WORK/back.png)"
  echo "focus: paused and resumed"
fi

case "$ending" in
  escape) timeout 10 xdotool key Escape ;;
  compositor)
    [[ $kind == wayland* ]] || fail "the compositor's end needs wayland"
    kill "$E2E_WESTON"
    ;;
  *) fail "unknown ending $ending" ;;
esac
wait_exit "$demo" 15
[ "$EXIT_STATUS" = "0" ] || fail "after $ending the program's status is '$EXIT_STATUS' (expected 0; see $WORK/stderr)"
echo "PASS: $kind run, ended by $ending, in $(( $(date +%s) - started )) s"
