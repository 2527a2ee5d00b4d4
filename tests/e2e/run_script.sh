#!/usr/bin/env bash
# The README's run command without a display, in each way it can end. scripts/run runs from a
# scratch copy of the tree whose package and build steps are stand-ins and whose program is the
# one under test (or a stand-in that crashes), in a session of its own, so that whatever it
# leaves running shows.
# Usage: run_script.sh SCRIPTS_DIR PROGRAM WORKDIR
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"

scripts=$1 program=$(realpath -m "$2") WORK=$(realpath -m "$3")
rm -rf "$WORK" && mkdir -p "$WORK"
[ -f "$program" ] || fail "no program at $program (build it first)"

# A tree with the real scripts/run, a package step and a build that do nothing, and $1 as the
# program.
make_tree() {
  rm -rf "$WORK/tree" "$WORK/bin"
  mkdir -p "$WORK/tree/scripts" "$WORK/tree/build/default" "$WORK/bin"
  cp "$scripts/run" "$WORK/tree/scripts/run"
  printf '#!/bin/sh\nexit 0\n' >"$WORK/tree/scripts/install-deps"
  printf '#!/bin/sh\nexit 0\n' >"$WORK/bin/cmake"
  chmod +x "$WORK/bin/cmake"
  ln -s "$1" "$WORK/tree/build/default/tracker-screen"
}

# Runs the script with the environment given as arguments, without a display; sets STATUS and
# fails if anything it started outlives it.
run() {
  setsid env -u DISPLAY -u WAYLAND_DISPLAY PATH="$WORK/bin:$PATH" "$@" \
    bash "$WORK/tree/scripts/run" >"$WORK/out" 2>&1 &
  local session=$!
  wait_exit "$session" 120
  [ "$EXIT_STATUS" != running ] || fail "scripts/run did not end within 120 s: $(cat "$WORK/out")"
  STATUS=$EXIT_STATUS
  # Ended processes wait, as zombies, for whoever adopts them; only live ones count.
  local left
  left=$(ps -o pid=,stat=,args= -s "$session" | awk '$2 !~ /^Z/' || true)
  if [ -n "$left" ]; then
    kill $(echo "$left" | awk '{ print $1 }') 2>/dev/null || true
    fail "scripts/run left these running: $left"
  fi
}
said() { grep -qF -- "$1" "$WORK/out" || fail "scripts/run did not say '$1': $(cat "$WORK/out")"; }

shot="$WORK/tree/build/default/screenshot.png"

# The demo runs, the screenshot is saved where it says, Escape ends the demo with 0.
make_tree "$program"
run
[ "$STATUS" = 0 ] || fail "status $STATUS when all went well: $(cat "$WORK/out")"
said "Screenshot saved to $shot"
said "The demo ended with status 0 on Escape."
[ "$(identify -format '%m %wx%h' "$shot")" = "PNG 640x480" ] || fail "the screenshot is not a 640x480 PNG"
echo "ok: screenshot saved"

# The demo cannot start and ends at once: there is no screenshot, and the script says why.
printf '#!/bin/sh\necho "ERROR: WIN_Init" >&2\nexit 0\n' >"$WORK/early"
chmod +x "$WORK/early"
make_tree "$WORK/early"
run
[ "$STATUS" = 1 ] || fail "status $STATUS when the demo ended early: $(cat "$WORK/out")"
said "No screenshot: the demo ended after less than 5 seconds, with status 0. It said:"
said "  ERROR: WIN_Init"
! grep -q "Screenshot saved" "$WORK/out" || fail "claimed a screenshot: $(cat "$WORK/out")"
[ ! -e "$shot" ] || fail "left a screenshot behind"
echo "ok: demo ended early"

# The demo cannot open its window and shows its box on the virtual display instead: the
# screenshot shows the box, and the reason the demo gave is passed on.
make_tree "$program"
run SDL_VIDEODRIVER=nonsense
[ "$STATUS" = 0 ] || fail "status $STATUS when the demo showed its box: $(cat "$WORK/out")"
said "Screenshot saved to $shot"
said "The demo ended with status 0 on Escape. It said:"
said "  SDL: no video: nonsense not available"
rm -f "$shot"
echo "ok: the demo's box, with its reason"

# The demo crashes: its signal is named.
printf '#!/bin/sh\nkill -SEGV $$\n' >"$WORK/crash"
chmod +x "$WORK/crash"
make_tree "$WORK/crash"
run
[ "$STATUS" = 1 ] || fail "status $STATUS when the demo crashed: $(cat "$WORK/out")"
said "with signal SEGV"
echo "ok: demo crashed"

# The virtual display cannot start: the script says so and runs nothing.
make_tree "$program"
printf '#!/bin/sh\necho "no screens here" >&2\nexit 1\n' >"$WORK/bin/Xvfb"
chmod +x "$WORK/bin/Xvfb"
run
[ "$STATUS" = 1 ] || fail "status $STATUS when Xvfb failed: $(cat "$WORK/out")"
said "No screenshot: the virtual display (Xvfb) did not start:"
said "no screens here"
[ ! -e "$shot" ] || fail "left a screenshot behind"
echo "PASS: scripts/run without a display"
