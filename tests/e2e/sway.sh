#!/usr/bin/env bash
# The Linux program as a native Wayland client of sway, a wlroots compositor, from a Debian 13
# root made once and cached: headless, drawing with pixman, one 1920x1080 output whose scale goes
# from 1 to 1.5 to 2 under the running program, with a linear filter, so that only a frame in
# device pixels passes. At each scale the screenshot (grim) holds the exact frame at 2 device
# pixels a frame pixel, centred on black; Space (wtype) shows the read-out, Escape ends it with
# status 0; a second run is ended by the compositor's close (swaymsg kill), with status 0.
# With a .deb the program is that package's, installed with apt into the root (with Debian 13's
# SDL, which keeps the window's fractional scale for itself).
# Needs root; skipped, saying why, only where the root cannot be made.
# Usage: sway.sh PROGRAM TRACKER_RENDER WORKDIR CACHE [DEB]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../package/debian_root.sh"
source "$here/lib.sh"

skip() { echo "SKIP: $*"; exit 77; }
[ $# -eq 4 ] || [ $# -eq 5 ] || fail "usage: sway.sh PROGRAM TRACKER_RENDER WORKDIR CACHE [DEB]"
lacks=$(debian_root_lacks)
[ -z "$lacks" ] || skip "no Debian root for sway: $lacks"
enter_mount_namespace "$@"

program=$(realpath -m "$1") render=$(realpath -m "$2") WORK=$(realpath -m "$3") cache=$(realpath -m "$4") deb=${5:+$(realpath -m "$5")}
root=$WORK/root
started=$(date +%s)
[ -n "$deb" ] || [ -x "$program" ] || fail "no program at $program (build it first)"
[ -z "$deb" ] || [ -f "$deb" ] || fail "no package at $deb"
debian_root_rm "$WORK" || fail "cannot clear $WORK (above)"
mkdir -p "$WORK"
# The runtime folder, short enough for a socket's path, is shared with the root.
export E2E_RUNTIME_PARENT
E2E_RUNTIME_PARENT=$(mktemp -d /tmp/tracker-sway.XXXXXX)
trap 'e2e_cleanup; debian_root_remove "$root"; rm -rf "$E2E_RUNTIME_PARENT"' EXIT

debian_image_with trixie-sway trixie "$cache" sway grim wtype ||
  skip "the Debian 13 image with sway, grim and wtype cannot be made here (above)"
debian_root "$cache/trixie-sway" "$root" "$cache/trixie-archives" || fail "cannot make a root over the sway image"
debian_root_share "$root" "$E2E_RUNTIME_PARENT"
use_runtime_dir
unset WAYLAND_DISPLAY

# A command of the root in this run's Wayland session: "${session[@]}" COMMAND..., one process
# (chroot and env exec it), so that its process id is the command's own for the cleanup.
session_now() {
  session=(chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root XDG_RUNTIME_DIR="$XDG_RUNTIME_DIR"
    ${WAYLAND_DISPLAY:+WAYLAND_DISPLAY=$WAYLAND_DISPLAY} ${SWAYSOCK:+SWAYSOCK=$SWAYSOCK})
}
in_root() { session_now; "${session[@]}" "$@"; }
if [ -n "$deb" ]; then
  debian_install "$root" "$deb" "$WORK/apt.log" without-recommends ||
    fail "apt could not install $(basename "$deb"): $(tail -n 5 "$WORK/apt.log")"
  program=/usr/bin/tracker-screen
  echo "installed $(basename "$deb") with SDL $(chroot "$root" dpkg-query -W -f='${Version}' libsdl2-2.0-0)"
fi
cat >"$XDG_RUNTIME_DIR/sway.conf" <<'EOF'
output HEADLESS-1 mode 1920x1080 scale 1 scale_filter linear
default_border none
xwayland disable
swaybg_command -
EOF
session_now
"${session[@]}" WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 WLR_HEADLESS_OUTPUTS=1 \
  sway -c "$XDG_RUNTIME_DIR/sway.conf" >"$WORK/sway.log" 2>&1 &
sway=$!
E2E_PIDS+=("$sway")
sway_up() {
  kill -0 "$sway" 2>/dev/null || fail "sway ended: $(tail -n 3 "$WORK/sway.log" | tr '\n' ' ')"
  local socket ipc
  socket=$(find "$XDG_RUNTIME_DIR" -maxdepth 1 -name 'wayland-*' -type s | head -n 1)
  ipc=$(find "$XDG_RUNTIME_DIR" -maxdepth 1 -name 'sway-ipc.*.sock' -type s | head -n 1)
  [ -n "$socket" ] && [ -n "$ipc" ] || return 1
  export WAYLAND_DISPLAY=${socket##*/} SWAYSOCK=$ipc
}
wait_for 60 sway_up || fail "sway did not start ($(tail -n 3 "$WORK/sway.log" | tr '\n' ' '))"
echo "sway $(in_root sway --version | awk '{ print $3 }') up after $(($(date +%s) - started)) s"

mkdir -p "$WORK/reference"
"$render" --out "$WORK/reference" 0 >/dev/null
reference="$WORK/reference/frame-0000.png"
static_readout=("560x16+80+0" "640x63+0+16" "356x121+284+79" "284x6+0+194" "12x19+20+336")
corner="80x16+0+0"

# The output is 1920x1080 device pixels at every scale: the frame at 2, centred, black bars.
E2E_SCALE=2 E2E_FRAME_AT=1280x960+320+60
bars=("320x1080+0+0" "320x1080+1600+0" "1280x60+320+0" "1280x60+320+1020")
shoot() { in_root grim -o HEADLESS-1 "$XDG_RUNTIME_DIR/grim.png" && mv "$XDG_RUNTIME_DIR/grim.png" "$1"; }
convert -size 1920x1080 xc:black "$WORK/black.png"
bars_black() {
  local region total=0
  for region in "${bars[@]}"; do total=$((total + $(region_diff "$WORK/device.png" "$WORK/black.png" "$region"))); done
  echo "$total"
}
# The headless output has no keyboard: wtype's virtual ones stay for the whole run, since a
# vanishing one takes the focus away (and the program pauses), and leaves sway's seat without a
# keymap, on which SDL 2.26 crashes at the next client's first key modifiers. The first one,
# before any window, makes the seat's keymap; each key comes from one more, the seat's newest.
keyboard() {
  session_now
  "${session[@]}" wtype "$@" -s 3600000 >>"$WORK/keyboard.log" 2>&1 &
  E2E_PIDS+=($!)
}
keyboard -k F24
keyboard=$!
press() { keyboard -k "$1"; }

start() {
  kill -0 "$keyboard" 2>/dev/null || fail "wtype's keyboard ended: $(cat "$WORK/keyboard.log")"
  if [ -n "$deb" ]; then
    session_now
    "${session[@]}" "$program" 2>"$WORK/stderr" &
  else
    env -u DISPLAY -u SDL_VIDEODRIVER XDG_RUNTIME_DIR="$XDG_RUNTIME_DIR" WAYLAND_DISPLAY="$WAYLAND_DISPLAY" \
      "$program" 2>"$WORK/stderr" &
  fi
  demo=$!
  E2E_PIDS+=("$demo")
}
alive() { kill -0 "$demo" 2>/dev/null || fail "the program ended early (see $WORK/stderr)"; }
drawn() { alive; shot "$WORK/start.png"; [ "$E2E_UNBLOCKED" = 0 ] && [ "$(static_diff "$WORK/start.png" "${E2E_STATIC[@]}")" = 0 ]; }
whole() { alive; shot "$WORK/whole.png"; [ "$E2E_UNBLOCKED" = 0 ] && [ "$(static_diff "$WORK/whole.png" "${static_readout[@]}")" = 0 ]; }

start
wait_for 60 drawn || { assert_blocks; fail "at scale 1 the picture never matched the renderer's: $(static_diff "$WORK/start.png" "${E2E_STATIC[@]}") pixels differ (see $WORK/device.png)"; }
[ "$(bars_black)" = 0 ] || fail "at scale 1 the bars are not black: $(bars_black) pixels (see $WORK/device.png)"
[ "$(grep -cv '^SDL: present: ' "$WORK/stderr")" = 0 ] || fail "standard error says more than the way taken: $(cat "$WORK/stderr")"
echo "scale 1: the exact frame at 2 device pixels a frame pixel, centred on black, after $(($(date +%s) - started)) s"

press space
readout() { alive; shot "$WORK/readout.png"; [ "$(region_diff "$WORK/readout.png" "$reference" "$corner")" != 0 ]; }
wait_for 10 readout || fail "Space showed no read-out in the top-left corner"
wait_for 10 whole || fail "the picture changed outside the corner with the read-out on (see $WORK/device.png)"
echo "read-out: $(region_diff "$WORK/readout.png" "$reference" "$corner") pixels changed in the corner"

# The output's scale changes under the running program: its frame follows, still exact.
for scale in 1.5 2; do
  in_root swaymsg -q output HEADLESS-1 scale "$scale" || fail "swaymsg could not set the scale to $scale"
  wait_for 20 whole || { assert_blocks; fail "at scale $scale the picture is not the renderer's: $(static_diff "$WORK/whole.png" "${static_readout[@]}") pixels differ (see $WORK/device.png)"; }
  [ "$(bars_black)" = 0 ] || fail "at scale $scale the bars are not black: $(bars_black) pixels (see $WORK/device.png)"
  echo "scale $scale: the exact frame at 2 device pixels a frame pixel, centred on black"
done

# Another workspace hides the window: no frame callbacks come, and the program neither hangs
# nor spins; back on its workspace its frames resume.
ticks=$(getconf CLK_TCK)
cpu_ms() { awk -v t="$ticks" '{ print int(($14 + $15) * 1000 / t) }' "/proc/$demo/stat"; }
in_root swaymsg -q workspace 2 || fail "swaymsg could not switch to another workspace"
hidden() { alive; shot "$WORK/hidden.png"; [ "$(static_diff "$WORK/hidden.png" "${E2E_STATIC[@]}")" != 0 ]; }
wait_for 10 hidden || fail "the picture stayed on the screen on another workspace"
before=$(cpu_ms) since=$(date +%s%N)
sleep 2
alive
used=$(( ($(cpu_ms) - before) * 100000000 / ($(date +%s%N) - since) ))
[ "$used" -lt 25 ] || fail "hidden, the program used $used % of a core"
in_root swaymsg -q workspace 1 || fail "swaymsg could not switch back"
wait_for 20 whole || fail "frames did not come back with the workspace (see $WORK/device.png)"
echo "hidden: $used % of a core; shown again, the exact frame"

press Escape
wait_exit "$demo" 15
[ "$EXIT_STATUS" = "0" ] || fail "after Escape the program's status is '$EXIT_STATUS' (expected 0; see $WORK/stderr)"

# The compositor's close (xdg_toplevel.close) ends it too.
start
wait_for 60 drawn || fail "the second run never showed the picture (see $WORK/device.png)"
in_root swaymsg -q kill || fail "swaymsg could not close the window"
wait_exit "$demo" 15
[ "$EXIT_STATUS" = "0" ] || fail "after swaymsg kill the program's status is '$EXIT_STATUS' (expected 0; see $WORK/stderr)"
echo "PASS: sway at scales 1, 1.5 and 2, ended by Escape and by the compositor's close, in $(($(date +%s) - started)) s"
