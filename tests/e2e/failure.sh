#!/usr/bin/env bash
# Set-up failures as a user meets them, each ending with status 0.
#   failure.sh wine-x86|wine-x64 PROGRAM.exe WORKDIR: on a 1024x768 screen the 640x480 mode is
#     missing: "Video mode not found", then "DDRAW_Init"; dismissing each box ends the program.
#   failure.sh linux PROGRAM WORKDIR: with no display at all, "WIN_Init" on standard error.
#   failure.sh wayland-seatless PROGRAM WORKDIR: on a Wayland compositor with no keyboard or
#     pointer (weston's headless backend), where SDL 2.26 would crash starting: the reason and
#     "WIN_Init" on standard error.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"

kind=$1 program=$(realpath -ms "$2") WORK=$3
use_kind "$kind" "$program"
rm -rf "$WORK" && mkdir -p "$WORK"
[ -f "$program" ] || fail "no program at $program (build it first)"
started=$(date +%s)

if [ "$kind" = linux ]; then
  env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER "$program" 2>"$WORK/stderr" &
  demo=$!
  E2E_PIDS+=("$demo")
  wait_exit "$demo" 15
  [ "$EXIT_STATUS" = "0" ] || fail "status '$EXIT_STATUS' without a display (expected 0)"
  grep -qx "ERROR: WIN_Init" "$WORK/stderr" || fail "no 'ERROR: WIN_Init' line on standard error: $(cat "$WORK/stderr")"
  # The reason, on one line of its own, and nothing from the drivers SDL tried on the way.
  grep -q "^SDL: no video: " "$WORK/stderr" || fail "no reason on standard error: $(cat "$WORK/stderr")"
  [ "$(wc -l <"$WORK/stderr")" = 2 ] || fail "more than the reason and the box on standard error: $(cat "$WORK/stderr")"
  echo "PASS: linux without a display in $(( $(date +%s) - started )) s"
  exit 0
fi

if [ "$kind" = wayland-seatless ]; then
  use_runtime_dir
  weston --backend=headless-backend.so --socket="$WAYLAND_DISPLAY" --no-config --idle-time=0 \
    --log="$WORK/weston.log" >/dev/null 2>&1 &
  E2E_PIDS+=($!)
  weston=$!
  listening() { kill -0 "$weston" 2>/dev/null && [ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ]; }
  wait_for 30 listening || fail "weston's headless backend did not start (see $WORK/weston.log)"
  env -u DISPLAY SDL_VIDEODRIVER=wayland "$program" 2>"$WORK/stderr" &
  demo=$!
  E2E_PIDS+=("$demo")
  wait_exit "$demo" 15
  [ "$EXIT_STATUS" = "0" ] || fail "status '$EXIT_STATUS' on a compositor without a seat (expected 0; see $WORK/stderr)"
  grep -qx "ERROR: WIN_Init" "$WORK/stderr" || fail "no 'ERROR: WIN_Init' line on standard error: $(cat "$WORK/stderr")"
  grep -q "^SDL: no video: the Wayland compositor has no seat" "$WORK/stderr" ||
    fail "no reason naming the missing seat on standard error: $(cat "$WORK/stderr")"
  [ "$(wc -l <"$WORK/stderr")" = 2 ] || fail "more than the reason and the box on standard error: $(cat "$WORK/stderr")"
  kill -0 "$weston" 2>/dev/null || fail "weston ended meanwhile (see $WORK/weston.log)"
  echo "PASS: wayland without a seat in $(( $(date +%s) - started )) s"
  exit 0
fi

start_xvfb 1024x768x24
export WINEDEBUG=-all,trace+msgbox
"${WINE[@]}" "$program" 2>"$WORK/stderr" &
demo=$!
E2E_PIDS+=("$demo")

# Each box: wait for its text, then dismiss it with Return.
boxes=0
for text in 'L"Video mode not found\n"' 'L"DDRAW_Init"'; do
  boxes=$((boxes + 1))
  box_shown() {
    kill -0 "$demo" 2>/dev/null || fail "the program ended before box $boxes (see $WORK/stderr)"
    [ "$(grep -c 'msgbox:MSGBOX_OnInit' "$WORK/stderr")" -ge "$boxes" ]
  }
  wait_for 30 box_shown || fail "box $boxes never appeared (see $WORK/stderr)"
  got=$(grep 'msgbox:MSGBOX_OnInit' "$WORK/stderr" | sed -n "${boxes}p" | sed 's/.*MSGBOX_OnInit //')
  [ "$got" = "$text" ] || fail "box $boxes says $got, expected $text"
  # Only a mapped window can take the focus (X answers BadMatch before then), so the box is
  # looked for among the visible windows, and asked again while it is still being mapped.
  box_window() { window=$(xdotool search --onlyvisible --name '^Error$' 2>/dev/null | tail -1) && [ -n "$window" ]; }
  wait_for 10 box_window || fail "box $boxes has no window"
  dismiss() { timeout 10 xdotool windowfocus --sync "$window" key Return 2>>"$WORK/xdotool.log"; }
  wait_for 10 dismiss || fail "box $boxes could not be dismissed: $(tail -n 2 "$WORK/xdotool.log")"
done

wait_exit "$demo" 15
[ "$EXIT_STATUS" = "0" ] || fail "status '$EXIT_STATUS' after the boxes (expected 0)"
[ "$(grep -c 'msgbox:MSGBOX_OnInit' "$WORK/stderr")" = "2" ] || fail "more than two boxes"
grep -aq "^DDRAW_Init: SetDisplayMode failed with DDERR_[A-Z]* (0x8[0-9A-F]\{7\})" "$WORK/stderr" ||
  fail "no reason beside the boxes on standard error (see $WORK/stderr)"
echo "PASS: $kind without the video mode in $(( $(date +%s) - started )) s"
