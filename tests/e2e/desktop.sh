#!/usr/bin/env bash
# The real program on a desktop, as a user meets it beside other windows. Every wait is for a
# condition on the screen, the windows or the process, with a deadline.
#   desktop.sh openbox linux|wine-x86|wine-x64 PROGRAM TRACKER_RENDER WORKDIR [ENDING]
#     under openbox with a second client window: Alt+Tab away pauses the program (its scopes
#     stop), Alt+Tab back brings the picture back with frames advancing, twice. The Linux window
#     stays on screen while paused and must show its last frame again where another window
#     uncovered it.
#   desktop.sh openbox-window linux PROGRAM TRACKER_RENDER WORKDIR [ENDING]
#     the same desktop, larger, with the program started --window: it opens at 2x in three
#     quarters of the screen, keeps drawing beside the focused other window, is resized to sizes
#     of another scale (the exact frame, black bars, nothing left of the old size), goes full
#     screen with Alt+Enter and back to its size, and pauses while minimised; the window manager
#     has the program's icon.
#   desktop.sh bare linux|wine-x86|wine-x64 PROGRAM TRACKER_RENDER WORKDIR [ENDING]
#     on a screen without a window manager; for Wine, another Wine program takes the focus and is
#     closed, and the picture must come back with frames advancing and the keys working.
# ENDING is how the program is ended, each time with status 0: escape (the default), wm-close
# (the window manager's close, Alt+F4 under openbox) or windowclose (another X client destroys
# the window).
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"

setup=$1 kind=$2 program=$(realpath -ms "$3") render=$4 WORK=$(realpath -m "$5") ending=${6:-escape}
use_kind "$kind" "$program"
rm -rf "$WORK" && mkdir -p "$WORK"
started=$(date +%s)
[ -f "$program" ] || fail "no program at $program (build it first)"

# The top-left corner, where the read-out appears.
corner="80x16+0+0"

mkdir -p "$WORK/reference"
"$render" --out "$WORK/reference" 0 >/dev/null
reference="$WORK/reference/frame-0000.png"

alive() { kill -0 "$demo" 2>/dev/null || fail "the program ended early (see $WORK/stderr)"; }
drawn() { alive; shot "$WORK/now.png"; [ "$(static_diff "$WORK/now.png" "${E2E_STATIC[@]}")" = 0 ]; }
active_is() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$1" ]; }
gone() { ! xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; }
# Sets FOUND to the newest visible window whose name matches $1.
visible() { FOUND=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -1) && [ -n "$FOUND" ]; }
# Alt+Tab until window $1 is the active one. A press that lands while openbox reloads its key
# bindings (it does whenever a client changes the keyboard map) is lost, as it would be for a
# user, who would press again.
alt_tab_to() {
  local attempt
  for attempt in 1 2 3; do
    timeout 10 xdotool key alt+Tab
    wait_for 3 active_is "$1" && return 0
  done
  return 1
}
# What the virtual X server is doing, for a failure before the program is involved.
x_state() {
  if timeout 5 xdotool getdisplaygeometry >/dev/null 2>&1; then
    echo "$DISPLAY answers"
  else
    echo "$DISPLAY no longer answers (Xvfb pid ${E2E_PIDS[0]} $(kill -0 "${E2E_PIDS[0]}" 2>/dev/null && echo alive || echo gone))"
  fi
}
seconds_since() { awk -v a="$1" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }'; }

# The focus has just come back: the screen's scopes soon differ from the paused picture $1 (frames
# advance), and the whole clock-independent picture is the renderer's again. Prints by when the
# first changed frame had been captured, counted from the focus's return.
comes_back() {
  local paused=$1 since_time
  since_time=$(date +%s.%N)
  advanced() { alive; shot "$WORK/resumed.png"; [ "$(region_diff "$WORK/resumed.png" "$paused" "$E2E_SCOPES")" != 0 ]; }
  wait_for 10 advanced || fail "frames did not advance after the focus came back"
  echo "back: frames advancing within $(seconds_since "$since_time") s of the focus's return"
  wait_for 10 scopes_moving || fail "frames stopped again after the focus came back"
  wait_for 10 drawn ||
    fail "the picture did not come back: $(static_diff "$WORK/now.png" "${E2E_STATIC[@]}") pixels differ (see $WORK/now.png)"
}

if [ "$setup" = openbox-window ]; then
  [ "$kind" = linux ] || fail "only the Linux program has a window of its own"
  # 1440 x 1080 is three quarters: room for 2x, not 3x. The other window lies beyond ours.
  start_xvfb 1920x1440x24
  other_at=+1700+1300
  E2E_OPTIONS=(--window)
else
  start_xvfb 640x480x24
  other_at=+500+400
fi

if [[ $setup == openbox* ]]; then
  wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
  # openbox's own defaults (Alt+Tab cycles the windows), whatever the user's configuration says.
  XDG_CONFIG_HOME="$WORK/config" openbox --sm-disable >"$WORK/openbox.log" 2>&1 &
  wm=$!
  E2E_PIDS+=("$wm")
  # Done waiting once openbox manages the screen, or has already given up.
  wait_for 20 eval 'wm_running || ! kill -0 "$wm" 2>/dev/null' || true
  wm_running || fail "openbox did not start ($(x_state)): $(tail -n 5 "$WORK/openbox.log")"
  # The second client: one small window (an image viewer would add a pan window to the cycle).
  xmessage -title tracker-other -geometry "$other_at" "another window" 2>"$WORK/other.stderr" &
  E2E_PIDS+=($!)
  wait_for 30 visible '^tracker-other$' || fail "the other window did not appear ($(x_state); see $WORK/other.stderr)"
  other=$FOUND
fi

start_program "$kind" "$program"

if [ "$setup" = openbox-window ]; then
  wait_for 60 visible '^Tracker Screen$' || fail "no window titled Tracker Screen ($(x_state); see $WORK/stderr)"
  ours=$FOUND
  # The window's own pixels, as it shows them: nothing covers it. Found again when it is gone: at
  # the start SDL may replace the X window by one for an OpenGL renderer.
  shoot() {
    local attempt
    for attempt in 1 2 3; do
      timeout 20 import -window "$ours" "$1" 2>/dev/null && return 0
      visible '^Tracker Screen$' && ours=$FOUND
    done
    return 1
  }
  size=""
  # Found again each time: SDL makes a new X window for an OpenGL renderer.
  size_is() {
    alive
    visible '^Tracker Screen$' && ours=$FOUND
    size=$(xdotool getwindowgeometry "$ours" 2>/dev/null | awk '/Geometry:/ { print $2 }')
    [ "$size" = "$1" ]
  }
  # The frame in a window of WxH: the largest whole scale that fits, centred; every shot from now
  # on cuts it out there.
  frame_in() {
    local w=${1%x*} h=${1#*x} scale
    scale=$((w / 640 < h / 480 ? w / 640 : h / 480))
    E2E_SCALE=$scale E2E_FRAME_AT="$((640 * scale))x$((480 * scale))+$(((w - 640 * scale) / 2))+$(((h - 480 * scale) / 2))"
  }
  # Outside the frame, the window is black: bars and no leftover of an older size or place.
  bars_black() {
    local at=${E2E_FRAME_AT#*+} fw=${E2E_FRAME_AT%%x*} fh=${E2E_FRAME_AT%%+*}
    local x=${at%+*} y=${at#*+}
    fh=${fh#*x}
    [ "$(convert "$WORK/device.png" -fill black -draw "rectangle $x,$y $((x + fw - 1)),$((y + fh - 1))" -format '%[max]' info:)" = 0 ]
  }
  # The exact frame at the expected scale, in whole blocks, between black bars.
  exact() { alive; shot "$WORK/now.png"; [ "$E2E_UNBLOCKED" = 0 ] && bars_black && [ "$(static_diff "$WORK/now.png" "${E2E_STATIC[@]}")" = 0 ]; }
  # The window becomes WxH ($1), and shows the exact frame at that size's scale ($2 says after what).
  shows_at() {
    wait_for 10 size_is "$1" || fail "after $2 the window is ${size:-unknown}, not $1"
    frame_in "$1"
    wait_for 10 exact || {
      assert_blocks
      bars_black || fail "after $2 ($1) the bars are not black: something of an older size is left (see $WORK/device.png)"
      fail "after $2 ($1) the frame is not the renderer's at ${E2E_SCALE}x: $(static_diff "$WORK/now.png" "${E2E_STATIC[@]}") pixels differ (see $WORK/device.png)"
    }
    echo "$2: $1, the frame at ${E2E_SCALE}x at ${E2E_FRAME_AT#*+}, black bars"
  }
  shows_at 1280x960 "--window"
  # The window manager has the program's icon: pixel for pixel the icon file's 32-pixel image.
  icon=$(printf '32\n32\n'; convert "$here/../../packaging/icons/tracker-screen-32.png" -depth 8 rgba:- |
    od -An -v -tu1 -w4 | awk '{ printf "%.0f\n", $4 * 16777216 + $1 * 65536 + $2 * 256 + $3 }')
  icon_is_ours() {
    visible '^Tracker Screen$' && ours=$FOUND
    [ "$(xprop -id "$ours" -notype 32c _NET_WM_ICON 2>/dev/null | sed 's/^[^=]*= //; s/, /\n/g')" = "$icon" ]
  }
  wait_for 10 icon_is_ours || fail "the window's _NET_WM_ICON is not the program's 32-pixel icon: $(xprop -id "$ours" _NET_WM_ICON | head -c 200)"
  echo "icon: the program's own, 32 x 32"
  wait_for 10 active_is "$ours" || fail "the program's window never had the focus"

  # Beside another window that has the focus, a window still seen goes on drawing.
  alt_tab_to "$other" || fail "Alt+Tab did not give the focus to the other window"
  wait_for 10 scopes_moving || fail "frames stopped while the window was seen without the focus"
  echo "unfocused: frames go on"

  # Resized by the window manager to sizes of another scale, and while unfocused.
  timeout 10 xdotool windowsize "$ours" 700 500
  shows_at 700x500 "a resize down"
  timeout 10 xdotool windowsize "$ours" 1300 990
  shows_at 1300x990 "a resize up"

  # Alt+Enter: the full screen at 3x, then the window again at the size it had.
  alt_tab_to "$ours" || fail "Alt+Tab did not give the focus back"
  timeout 10 xdotool key alt+Return
  shows_at 1920x1440 "Alt+Enter"
  timeout 10 xdotool key alt+Return
  shows_at 1300x990 "Alt+Enter again"
  # Twice at once, as a hurried user does: there and back, nothing broken.
  timeout 10 xdotool key alt+Return alt+Return
  shows_at 1300x990 "Alt+Enter twice at once"
  wait_for 10 scopes_moving || fail "frames stopped after going full screen and back"

  # Minimised, it draws nothing; restored, it carries on.
  timeout 10 xdotool windowminimize "$ours"
  wait_for 10 cpu_idle "$demo" || fail "the program kept the processor busy while minimised"
  echo "minimised: paused"
  timeout 10 xdotool windowactivate "$ours"
  wait_for 10 active_is "$ours" || fail "the restored window did not get the focus"
  wait_for 10 scopes_moving || fail "frames did not carry on once the window was restored"
  shows_at 1300x990 "a restore"
else
  wait_for 60 drawn ||
    fail "the picture never matched the renderer's: $(static_diff "$WORK/now.png" "${E2E_STATIC[@]}") pixels differ (see $WORK/now.png)"
  # The Linux host names its window; the Windows program's window keeps the text it was given.
  [ "$kind" = linux ] && title='^Tracker Screen$' || title='^cname$'
  wait_for 10 visible "$title" || fail "the program's window is not visible"
  ours=$FOUND
  echo "drawn after $(( $(date +%s) - started )) s"
fi

if [ "$setup" = openbox ]; then
  wait_for 10 active_is "$ours" || fail "the program's window never had the focus"
  for round in 1 2; do
    alt_tab_to "$other" || fail "Alt+Tab did not give the focus to the other window"
    wait_for 10 scopes_still || fail "frames went on without the focus"
    cp "$WORK/b.png" "$WORK/paused.png"
    if [ "$kind" = linux ]; then
      # Paused, the window stays on screen: a window moved across the picture and away again,
      # and the switcher's own pop-up, must leave no trace.
      timeout 10 xdotool windowmove --sync "$other" 400 40
      timeout 10 xdotool windowmove --sync "$other" 500 400
      wait_for 10 drawn ||
        fail "while paused the picture kept what covered it: $(static_diff "$WORK/now.png" "${E2E_STATIC[@]}") pixels differ (see $WORK/now.png)"
    fi
    alt_tab_to "$ours" || fail "Alt+Tab did not give the focus back"
    comes_back "$WORK/paused.png"
    echo "round $round: paused and resumed"
  done
elif [[ "$kind" = wine-* ]]; then
  # Another Wine program in the same prefix takes the focus, then is closed by the user.
  "${WINE[@]}" notepad 2>"$WORK/notepad.stderr" &
  E2E_PIDS+=($!)
  wait_for 30 visible 'Notepad$' || fail "Notepad did not appear"
  notepad=$FOUND
  wait_for 10 scopes_still || fail "frames went on while Notepad had the focus"
  cp "$WORK/b.png" "$WORK/paused.png"
  timeout 10 xdotool windowfocus --sync "$notepad" key alt+F4
  wait_for 10 gone 'Notepad$' || fail "Notepad did not close"
  comes_back "$WORK/paused.png"
  # The keys reach the program again: Space shows the read-out.
  timeout 10 xdotool key space
  readout() { alive; shot "$WORK/readout.png"; [ "$(region_diff "$WORK/readout.png" "$reference" "$corner")" != 0 ]; }
  wait_for 10 readout || fail "Space showed no read-out after the focus came back"
fi

case "$ending" in
  escape) timeout 10 xdotool key Escape ;;
  wm-close)
    [[ $setup == openbox* ]] || fail "a window manager's close needs one"
    timeout 10 xdotool key alt+F4
    ;;
  windowclose) timeout 10 xdotool windowclose "$ours" ;;
  *) fail "unknown ending $ending" ;;
esac
wait_exit "$demo" 15
[ "$EXIT_STATUS" = "0" ] || fail "after $ending the program's status is '$EXIT_STATUS' (expected 0; see $WORK/stderr)"
! grep -q "X Error" "$WORK/stderr" || fail "X errors on standard error: $(cat "$WORK/stderr")"
echo "PASS: $kind on a $setup screen, ended by $ending, in $(( $(date +%s) - started )) s"
