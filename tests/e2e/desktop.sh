#!/usr/bin/env bash
# The real program on a desktop, as a user meets it beside other windows. Every wait is for a
# condition on the screen, the windows or the process, with a deadline.
#   desktop.sh openbox linux|wine PROGRAM TRACKER_RENDER WORKDIR
#     under openbox with a second client window: Alt+Tab away pauses the program (its scopes
#     stop), Alt+Tab back brings the picture back with frames advancing, twice; Escape ends it
#     with 0. The Linux window stays on screen while paused and must show its last frame again
#     where another window uncovered it.
#   desktop.sh bare wine PROGRAM TRACKER_RENDER WORKDIR
#     on a screen without a window manager: another Wine program takes the focus and is closed;
#     the picture comes back with frames advancing, the keys work again, Escape ends it with 0.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"

setup=$1 kind=$2 program=$3 render=$4 WORK=$(realpath -m "$5")
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
seconds_since() { awk -v a="$1" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }'; }

# The focus has come back at $1 (date +%s.%N): frames advance and the whole clock-independent
# picture is the renderer's again.
comes_back() {
  wait_for 10 scopes_moving || fail "frames did not advance after the focus came back"
  wait_for 10 drawn ||
    fail "the picture did not come back: $(static_diff "$WORK/now.png" "${E2E_STATIC[@]}") pixels differ (see $WORK/now.png)"
  echo "back: frames advancing and the picture whole $(seconds_since "$1") s after the focus returned"
}

start_xvfb 640x480x24

if [ "$setup" = openbox ]; then
  # openbox's own defaults (Alt+Tab cycles the windows), whatever the user's configuration says.
  XDG_CONFIG_HOME="$WORK/config" openbox --sm-disable >"$WORK/openbox.log" 2>&1 &
  E2E_PIDS+=($!)
  wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
  wait_for 20 wm_running || fail "openbox did not start (see $WORK/openbox.log)"
  # The second client: one small window (an image viewer would add a pan window to the cycle).
  xmessage -title tracker-other -geometry +500+400 "another window" 2>/dev/null &
  E2E_PIDS+=($!)
  wait_for 10 visible '^tracker-other$' || fail "the other window did not appear"
  other=$FOUND
fi

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

wait_for 60 drawn ||
  fail "the picture never matched the renderer's: $(static_diff "$WORK/now.png" "${E2E_STATIC[@]}") pixels differ (see $WORK/now.png)"
wait_for 10 visible '^cname$' || fail "the program's window is not visible"
ours=$FOUND
echo "drawn after $(( $(date +%s) - started )) s"

if [ "$setup" = openbox ]; then
  wait_for 10 active_is "$ours" || fail "the program's window never had the focus"
  for round in 1 2; do
    timeout 10 xdotool key alt+Tab
    wait_for 10 active_is "$other" || fail "Alt+Tab did not give the focus to the other window"
    wait_for 10 scopes_still || fail "frames went on without the focus"
    if [ "$kind" = linux ]; then
      # Paused, the window stays on screen: a window moved across the picture and away again,
      # and the switcher's own pop-up, must leave no trace.
      timeout 10 xdotool windowmove --sync "$other" 400 40
      timeout 10 xdotool windowmove --sync "$other" 500 400
      wait_for 10 drawn ||
        fail "while paused the picture kept what covered it: $(static_diff "$WORK/now.png" "${E2E_STATIC[@]}") pixels differ (see $WORK/now.png)"
    fi
    timeout 10 xdotool key alt+Tab
    wait_for 10 active_is "$ours" || fail "Alt+Tab did not give the focus back"
    comes_back "$(date +%s.%N)"
    echo "round $round: paused and resumed"
  done
else
  # Another Wine program in the same prefix takes the focus, then is closed by the user.
  wine notepad 2>"$WORK/notepad.stderr" &
  E2E_PIDS+=($!)
  wait_for 30 visible 'Notepad$' || fail "Notepad did not appear"
  notepad=$FOUND
  wait_for 10 scopes_still || fail "frames went on while Notepad had the focus"
  timeout 10 xdotool windowfocus --sync "$notepad" key alt+F4
  wait_for 10 gone 'Notepad$' || fail "Notepad did not close"
  comes_back "$(date +%s.%N)"
  # The keys reach the program again: Space shows the read-out.
  timeout 10 xdotool key space
  readout() { alive; shot "$WORK/readout.png"; [ "$(region_diff "$WORK/readout.png" "$reference" "$corner")" != 0 ]; }
  wait_for 10 readout || fail "Space showed no read-out after the focus came back"
fi

timeout 10 xdotool key Escape
wait_exit "$demo" 15
[ "$EXIT_STATUS" = "0" ] || fail "after Escape the program's status is '$EXIT_STATUS' (expected 0)"
echo "PASS: $kind on a $setup screen in $(( $(date +%s) - started )) s"
