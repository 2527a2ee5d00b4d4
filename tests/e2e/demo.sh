#!/usr/bin/env bash
# The real program as a user meets it: it draws the screen, Space shows the frame rate,
# losing the focus pauses it, Escape ends it with status 0. Every wait is for a condition on
# the screen or the process, with a deadline.
# Usage: demo.sh linux|wayland|wayland-only|wayland-scaled|wayland-window|wine-x86|wine-x64 PROGRAM TRACKER_RENDER WORKDIR [ENDING]
#   linux and wine-* run on a bare Xvfb screen; wayland (SDL asked for Wayland) and wayland-only
#   (no X11 display given to the program) under weston, whose output 0 the program fills while
#   the other client that takes the focus, weston-terminal, opens on output 1; wayland-scaled as
#   wayland with weston's outputs at scale 2, where each frame pixel must be a whole 2x2 block.
#   wayland-window: --window under weston with two large outputs: the window opens at 2x where
#   weston puts it, keeps drawing while weston-terminal has the focus, and Alt+Enter takes it to
#   the full screen at 3x and back.
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
  wayland-window)
    # Three quarters of 1920 x 1440 has room for 2x; the full screen is 3x.
    start_xvfb 3840x1440x24
    start_weston 1920x1440 2
    timeout 10 xdotool mousemove 960 700
    E2E_OPTIONS=(--window)
    ;;
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

if [ "$kind" = wayland-window ]; then
  # The frame at 2x wherever weston put the window; the shots cut it out there from now on.
  E2E_SCALE=2
  window_frame() {
    local at
    alive
    shoot "$WORK/device.png" || return 1
    at=$(find_frame "$E2E_SCALE" "$WORK/device.png") || return 1
    E2E_FRAME_AT="$((640 * E2E_SCALE))x$((480 * E2E_SCALE))+${at% *}+${at#* }"
  }
  wait_for 60 window_frame || fail "no frame at 2x anywhere on the screen (see $WORK/device.png)"
  echo "--window: the frame at 2x at ${E2E_FRAME_AT#*+}"
fi

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
  if [ "$kind" = wayland-window ]; then
    timeout 10 xdotool mousemove 2880 700
    shoot "$WORK/output1-before.png" || fail "no screenshot"
  else
    timeout 10 xdotool mousemove "$(px 960)" "$(px 240)"
  fi
  weston-terminal 2>"$WORK/terminal.stderr" &
  terminal=$!
  E2E_PIDS+=("$terminal")
  paused() { kill -0 "$terminal" 2>/dev/null || fail "weston-terminal ended early (see $WORK/terminal.stderr)"; scopes_still; }
  if [ "$kind" = wayland-window ]; then
    # A window still seen goes on drawing: once the terminal shows on output 1 (below its panel),
    # and so has the focus, the scopes still move.
    terminal_up() {
      kill -0 "$terminal" 2>/dev/null || fail "weston-terminal ended early (see $WORK/terminal.stderr)"
      shoot "$WORK/output1.png" || return 1
      [ "$(region_diff "$WORK/output1.png" "$WORK/output1-before.png" 1920x1400+1920+40)" != 0 ]
    }
    wait_for 30 terminal_up || fail "weston-terminal did not appear on output 1"
    wait_for 10 scopes_moving || fail "frames stopped while weston-terminal had the focus"
    echo "unfocused: frames go on"
  else
    wait_for 30 paused || fail "frames went on while weston-terminal had the focus"
    sleep 1
    scopes_still || fail "frames started again without the focus"
  fi
  kill "$terminal"
  wait "$terminal" 2>/dev/null || true
  wait_for 10 scopes_moving || fail "frames did not resume once weston-terminal closed"
  timeout 10 xdotool mousemove "$(px 320)" "$(px 120)"
  whole() { alive; shot "$WORK/back.png"; [ "$E2E_UNBLOCKED" = 0 ] && [ "$(static_diff "$WORK/back.png" "${static_readout[@]}")" = 0 ]; }
  wait_for 10 whole || fail "the picture is not whole again after the focus came back (see $WORK/back.png)"
  [ "$kind" = wayland-window ] || echo "focus: paused and resumed"
fi

if [ "$kind" = wayland-window ]; then
  # Alt+Enter: the whole output at 3x, then the window again, at 2x wherever weston puts it.
  timeout 10 xdotool key alt+Return
  E2E_SCALE=3 E2E_FRAME_AT=""
  wait_for 10 whole || { assert_blocks; fail "after Alt+Enter the output does not show the frame at 3x (see $WORK/device.png)"; }
  echo "Alt+Enter: full screen, the frame at 3x"
  timeout 10 xdotool key alt+Return
  E2E_SCALE=2
  wait_for 10 window_frame || fail "after Alt+Enter again no frame at 2x anywhere (see $WORK/device.png)"
  wait_for 10 whole || { assert_blocks; fail "after Alt+Enter again the window's frame is not the renderer's (see $WORK/device.png)"; }
  wait_for 10 scopes_moving || fail "frames stopped after going full screen and back"
  echo "Alt+Enter again: the window, the frame at 2x at ${E2E_FRAME_AT#*+}"
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
