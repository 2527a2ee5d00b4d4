# Shared by the scripts that run the real programs: a virtual X display, screenshots, region
# comparison, and cleanup of every process started, by process id.
set -euo pipefail

# The calling script's arguments, for re-running it in a mount namespace of its own.
E2E_ARGS=("$@")
E2E_PIDS=()
E2E_WINEPREFIX=""
E2E_RUNTIME=""
E2E_ROOT=""

e2e_cleanup() {
  local pid
  for pid in "${E2E_PIDS[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  if [ -n "$E2E_WINEPREFIX" ]; then
    WINEPREFIX="$E2E_WINEPREFIX" "${WINESERVER[@]}" -k 2>/dev/null || true
  fi
  for pid in "${E2E_PIDS[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
  [ -z "$E2E_RUNTIME" ] || rm -rf "$E2E_RUNTIME"
  [ -z "$E2E_ROOT" ] || debian_root_remove "$E2E_ROOT"
}
trap e2e_cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Starts Xvfb with screen $1 (WxHxD) on a display number of its own, which Xvfb picks free and
# reports, exports DISPLAY and waits until the server answers. -noreset: by default the server
# resets whenever its last client leaves (our probes and screenshots), refusing connections
# meanwhile, and a program that connects then finds no display.
start_xvfb() {
  local screen=$1
  rm -f "$WORK/xvfb-display"
  Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -noreset 3>"$WORK/xvfb-display" >/dev/null 2>&1 &
  E2E_PIDS+=($!)
  for _ in $(seq 100); do
    [ -s "$WORK/xvfb-display" ] && break
    sleep 0.1
  done
  [ -s "$WORK/xvfb-display" ] || fail "Xvfb did not start"
  export DISPLAY=":$(head -n 1 "$WORK/xvfb-display")"
  for _ in $(seq 100); do
    timeout 5 xdotool getdisplaygeometry >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  fail "Xvfb on $DISPLAY does not answer"
}

# A Wayland runtime folder of this run's own, exported with a socket name. Short and outside the
# build folder, since a socket's whole path must fit in 108 bytes wherever the tree lies; under
# E2E_RUNTIME_PARENT where a caller shares that folder with a root of its own. Removed at the end.
use_runtime_dir() {
  E2E_RUNTIME=$(mktemp -d "${E2E_RUNTIME_PARENT:-/tmp}/tracker-wl.XXXXXX") ||
    fail "cannot make a runtime folder in ${E2E_RUNTIME_PARENT:-/tmp}"
  chmod 700 "$E2E_RUNTIME"
  export XDG_RUNTIME_DIR=$E2E_RUNTIME WAYLAND_DISPLAY=tracker-e2e
}

# Starts weston with its X11 backend inside the Xvfb already started (so that it has a seat: the
# X server's keyboard and pointer), drawing with pixman as on a machine without a GPU: COUNT outputs
# of WxH side by side, output 0 at the screen's top left, each at output scale SCALE (1 unless
# given; WxH is then in the compositor's units, and each output's window SCALE times that). Its socket and runtime folder are this
# run's own; exports WAYLAND_DISPLAY and XDG_RUNTIME_DIR once it takes clients.
start_weston() {
  local size=$1 count=${2:-1} scale=${3:-1} width i window
  width=${size%x*}
  use_runtime_dir
  weston_state() {
    kill -0 "$E2E_WESTON" 2>/dev/null && echo -n "weston runs; " || echo -n "weston ended; "
    tail -n 2 "$WORK/weston.log" 2>/dev/null | tr '\n' ' '
  }
  # Done waiting once the output's window is there or weston has ended. Named only by
  # _NET_WM_NAME, which xdotool's search does not read.
  output_window() {
    window=$(xwininfo -root -tree 2>/dev/null | awk -v n="\"Weston Compositor - screen$1\":" '$2 " " $3 " " $4 " " $5 == n { print $1; exit }')
    [ -n "$window" ] || ! kill -0 "$E2E_WESTON" 2>/dev/null
  }
  weston --backend=x11-backend.so --use-pixman --width="$width" --height="${size#*x}" \
    --output-count="$count" --scale="$scale" --socket="$WAYLAND_DISPLAY" --no-config --idle-time=0 \
    --log="$WORK/weston.log" >/dev/null 2>&1 &
  E2E_WESTON=$!
  E2E_PIDS+=("$E2E_WESTON")
  for ((i = 0; i < count; i++)); do
    wait_for 60 output_window "$i" && [ -n "$window" ] || fail "weston's output $i did not appear ($(weston_state))"
    # Without a window manager every output's window opens at the top left.
    timeout 10 xdotool windowmove --sync "$window" $((i * width * scale)) 0 || fail "cannot place weston's output $i"
  done
  # Ready once its shell runs: the shell's panel and background are its first clients.
  weston_ready() { kill -0 "$E2E_WESTON" 2>/dev/null && grep -q "launching '.*weston-desktop-shell'" "$WORK/weston.log" && [ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ]; }
  wait_for 60 weston_ready || fail "weston did not start ($(weston_state))"
}

# Screens whose frame is at a whole scale of device pixels: E2E_SCALE device pixels a frame pixel
# (1 unless set), the frame at E2E_FRAME_AT (WxH+X+Y) in the device shot, by default at the top
# left. A shot is taken in device pixels with `shoot` (the X screen's, unless a caller has
# another), the frame cut out, and brought to frame pixels, so that every comparison is the
# frame's own; E2E_UNBLOCKED says how many of its device pixels are not in whole blocks.
E2E_SCALE=${E2E_SCALE:-1}
E2E_FRAME_AT=${E2E_FRAME_AT:-}
E2E_UNBLOCKED=0
shoot() { timeout 20 import -window root "$1"; }
shot() {
  if [ "$E2E_SCALE" = 1 ] && [ -z "$E2E_FRAME_AT" ]; then
    shoot "$1" || fail "no screenshot"
    return 0
  fi
  shoot "$WORK/device.png" || fail "no screenshot"
  convert "$WORK/device.png" -crop "${E2E_FRAME_AT:-$((640 * E2E_SCALE))x$((480 * E2E_SCALE))+0+0}" +repage "$WORK/device-frame.png"
  convert "$WORK/device-frame.png" -sample "$((640))x$((480))!" "$1"
  convert "$1" -sample "$((640 * E2E_SCALE))x$((480 * E2E_SCALE))!" "$WORK/blocks.png"
  E2E_UNBLOCKED=$(compare -metric AE "$WORK/device-frame.png" "$WORK/blocks.png" null: 2>&1 || true)
}
# Where the frame (the renderer's $reference) lies in the device shot $2 at scale $1, as "X Y",
# found by a static part of its panel beside the read-out's corner; fails when it is nowhere. For
# a window the compositor places itself.
find_frame() {
  local scale=$1 shot=$2 at
  convert "$reference" -crop 300x50+200+20 +repage -sample "$((300 * scale))x$((50 * scale))!" "rgb:$WORK/needle.rgb"
  convert "$shot" "rgb:$WORK/haystack.rgb"
  at=$(python3 - "$WORK/haystack.rgb" "$(identify -format %w "$shot")" "$WORK/needle.rgb" "$((300 * scale))" <<'PY'
import sys
hay, width, needle, nwidth = open(sys.argv[1], 'rb').read(), int(sys.argv[2]), open(sys.argv[3], 'rb').read(), int(sys.argv[4])
stride, nstride = width * 3, nwidth * 3
rows = [needle[i:i + nstride] for i in range(0, len(needle), nstride)]
for y in range(len(hay) // stride - len(rows) + 1):
    line = hay[y * stride:(y + 1) * stride]
    at = line.find(rows[0])
    while at >= 0:
        if at % 3 == 0 and all(hay[(y + r) * stride + at:(y + r) * stride + at + nstride] == rows[r] for r in range(len(rows))):
            print(at // 3, y)
            sys.exit(0)
        at = line.find(rows[0], at + 1)
sys.exit(1)
PY
) || return 1
  echo "$((${at% *} - 200 * scale)) $((${at#* } - 20 * scale))"
}

# Fails unless the last shot's frame was in whole E2E_SCALE x E2E_SCALE blocks of device pixels.
assert_blocks() {
  [ "$E2E_UNBLOCKED" = 0 ] ||
    fail "$E2E_UNBLOCKED of the frame's device pixels are not in whole ${E2E_SCALE}x${E2E_SCALE} blocks (see $WORK/device.png)"
}

# Each Windows width has its own Wine loader, named explicitly: Debian's `wine` picks the 32-bit
# one whenever it is installed, and a 64-bit program needs the 64-bit one.
E2E_WINE_X86=${TRACKER_WINE_X86:-/usr/lib/wine/wine}
E2E_WINE_X64=${TRACKER_WINE_X64:-/usr/lib/wine/wine64}
# The 32-bit program that tells whether this kernel runs 32-bit code (wine_loader.sh's own by default).
E2E_WINE_PROBE32=${TRACKER_WINE_PROBE32:-}
# The commands that start a Windows program and its prefix's wineserver: the machine's own, or
# the same inside a Debian 13 root (use_wine_root).
WINE=()
WINESERVER=(wineserver)

# Runs the rest of the run with Debian 13's Wine for WIDTH (x86 or x64), in a fresh root over a
# cached image with only what that width needs, Mesa's OpenGL included: without it the window
# stays black (32-bit) or shows black frames between the program's own (64-bit). The run goes on
# in a mount namespace of its own, so nothing stays mounted however it ends. Each step that fails fails the run, naming the step.
# The host's folders that the run's Wine reads or writes (DIRS...) appear at the same places
# inside, beside the X displays' sockets.
use_wine_root() {
  local width=$1 why=$2 image packages lacks cache version dir
  shift 2
  case "$width" in
    x86) image=trixie-wine-x86 packages=(wine32:i386 libgl1:i386 libglx-mesa0:i386 libgl1-mesa-dri:i386)
         WINE=(/usr/lib/wine/wine) WINESERVER=(/usr/lib/wine/wineserver32) ;;
    x64) image=trixie-wine-x64 packages=(wine64 libgl1 libglx-mesa0 libgl1-mesa-dri)
         WINE=(/usr/lib/wine/wine64) WINESERVER=(/usr/lib/wine/wineserver64) ;;
  esac
  source "$(dirname "${BASH_SOURCE[0]}")/../package/debian_root.sh"
  lacks=$(debian_root_lacks)
  [ -z "$lacks" ] || fail "the Debian 13 root for the $width Wine cannot be made: $lacks"
  [ -n "${E2E_DEBIAN_CACHE:-}" ] || fail "E2E_DEBIAN_CACHE names no folder for the cached Debian images"
  enter_mount_namespace "${E2E_ARGS[@]}"
  cache=$(realpath -m "$E2E_DEBIAN_CACHE")
  debian_image_with "$image" trixie "$cache" "${packages[@]}" ||
    fail "making the $image image (Debian 13 with ${packages[*]}) failed (above; logs in $cache)"
  E2E_ROOT=$(realpath -m "$WORK.root")
  debian_root "$cache/$image" "$E2E_ROOT" "$cache/trixie-archives" ||
    fail "mounting a root over the $image image failed (above)"
  debian_root_share "$E2E_ROOT" /tmp/.X11-unix
  for dir in "$@"; do
    mountpoint -q "$E2E_ROOT$dir" || debian_root_share "$E2E_ROOT" "$dir" || fail "cannot share $dir with the root"
  done
  WINE=(chroot "$E2E_ROOT" "${WINE[@]}") WINESERVER=(chroot "$E2E_ROOT" "${WINESERVER[@]}")
  version=$("${WINE[@]}" --version 2>&1) ||
    fail "the $width Wine in the $image root does not run: $(head -n 1 <<<"$version")"
  echo "wine: Debian 13's, $version, in a root over the $image image ($why)"
}

# Checks KIND (linux, wayland*, wine-x86, wine-x64 or wine-x64-trixie) before anything starts.
# For Wine it decides which Wine runs PROGRAM (wine_loader.sh: the machine's own where it can,
# Debian 13's in a root for a 32-bit program the machine's own cannot run; wine-x64-trixie
# always Debian 13's) and says which on one line; sets WINE and WINESERVER to their commands
# and WINEPREFIX to the kind's prefix beside WORK (made by e2e-wine-prefix-KIND). Where this
# machine cannot run that width, the run ends here, skipped (77) or failed, with the reason.
use_kind() {
  local kind=$1 program=${2:-} status=0 width loader out
  case "$kind" in
    linux | wayland | wayland-only | wayland-scaled | wayland-seatless | wayland-window) return 0 ;;
    wine-x86) width=x86 loader=$E2E_WINE_X86 ;;
    wine-x64) width=x64 loader=$E2E_WINE_X64 ;;
    wine-x64-trixie) width=x64 ;;
    *) fail "unknown kind $kind" ;;
  esac
  export WINEPREFIX
  WINEPREFIX=$(realpath -m "$WORK/../wineprefix-${kind#wine-}")
  # A root sees the prefix's folder and the program's where the host has them.
  local shared=("$(dirname "$WINEPREFIX")")
  [ -z "$program" ] || shared+=("$(dirname "$(realpath -m "$program")")")
  if [ "$kind" = wine-x64-trixie ]; then
    use_wine_root x64 "the run for Debian 13's Wine" "${shared[@]}"
  else
    out=$(bash "$(dirname "${BASH_SOURCE[0]}")/wine_loader.sh" "$width" "$loader" ${E2E_WINE_PROBE32:+"$E2E_WINE_PROBE32"}) || status=$?
    case "$status" in
      0) WINE=("$loader")
         echo "wine: the machine's own, $out, at $loader" ;;
      3) use_wine_root "$width" "$out" "${shared[@]}" ;;
      *) [ -z "$out" ] || echo "$out"
         exit "$status" ;;
    esac
  fi
  export WINEDEBUG=-all
  E2E_WINEPREFIX=$WINEPREFIX
}

# Starts PROGRAM of KIND, checked by use_kind (linux on X11; wayland, with SDL asked for Wayland,
# and wayland-scaled likewise, on outputs at scale 2; wayland-only, with no X11 display to find; wine-* in the width's prefix), in the background with
# its standard error in WORK/stderr; its process id goes into `demo`, and the cleanup ends it. With
# E2E_CHROOT set the Linux program is the one installed in that root.
# E2E_OPTIONS (an array) holds the Linux program's options, none unless set.
E2E_OPTIONS=()
start_program() {
  local kind=$1 program=$2 root=()
  [ -z "${E2E_CHROOT:-}" ] || root=(chroot "$E2E_CHROOT")
  case "$kind" in
    linux) "${root[@]}" "$program" "${E2E_OPTIONS[@]}" 2>"$WORK/stderr" & ;;
    wayland | wayland-scaled | wayland-window) SDL_VIDEODRIVER=wayland "${root[@]}" "$program" "${E2E_OPTIONS[@]}" 2>"$WORK/stderr" & ;;
    wayland-only) env -u DISPLAY -u SDL_VIDEODRIVER "${root[@]}" "$program" "${E2E_OPTIONS[@]}" 2>"$WORK/stderr" & ;;
    wine-*) "${WINE[@]}" "$program" 2>"$WORK/stderr" & ;;
    *) fail "unknown kind $kind" ;;
  esac
  demo=$!
  E2E_PIDS+=("$demo")
}

# Deadlines are multiplied by E2E_DEADLINE_SCALE (1 unless set), for programs under an emulator,
# which runs every instruction several times slower.
E2E_DEADLINE_SCALE=${E2E_DEADLINE_SCALE:-1}

# Runs `command...` every fifth of a second until it succeeds; 1 when `seconds` pass first.
wait_for() {
  local seconds=$1
  shift
  local deadline=$((SECONDS + seconds * E2E_DEADLINE_SCALE))
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.2
  done
}

# Every part of the picture that does not depend on the clock: the panel's top rows, the button
# grid, lists and bank buttons, the strip below the scopes, and the highlight bar between the row
# numbers and the pattern text.
E2E_STATIC=("640x79+0+0" "356x121+284+79" "284x6+0+194" "12x19+20+336")
# The scopes, which move with every frame.
E2E_SCOPES="284x115+0+79"

# Differing pixels between the same region (WxH+X+Y) of two images.
region_diff() {
  local a=$1 b=$2 region=$3
  convert "$a" -crop "$region" +repage "$WORK/ra.png"
  convert "$b" -crop "$region" +repage "$WORK/rb.png"
  compare -metric AE "$WORK/ra.png" "$WORK/rb.png" null: 2>&1 || true
}

# Waits up to $2 seconds for process $1, a child of this shell, to end; sets EXIT_STATUS to its
# exit status, or to "running".
wait_exit() {
  local pid=$1 seconds=$2
  EXIT_STATUS=running
  for _ in $(seq $((seconds * E2E_DEADLINE_SCALE * 10))); do
    if ! kill -0 "$pid" 2>/dev/null; then
      EXIT_STATUS=0
      wait "$pid" || EXIT_STATUS=$?
      return 0
    fi
    sleep 0.1
  done
}

# Differing pixels between the screen shot $1 and the image $reference over the regions named
# after it.
static_diff() {
  local image=$1 total=0 region
  shift
  for region in "$@"; do
    total=$((total + $(region_diff "$image" "$reference" "$region")))
  done
  echo "$total"
}

# Two shots a third of a second apart: did the scopes move between them? The caller defines
# `alive`, which fails the run once the program has ended.
scopes_moving() {
  alive
  shot "$WORK/a.png"
  sleep 0.3
  shot "$WORK/b.png"
  [ "$(region_diff "$WORK/a.png" "$WORK/b.png" "$E2E_SCOPES")" != 0 ]
}
scopes_still() { ! scopes_moving; }

# The processor time process $1 has used, in clock ticks.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
# Process $1 used no more than a tick of the processor in half a second: it waits, drawing nothing.
cpu_idle() {
  local before
  before=$(cpu_ticks "$1") || return 1
  sleep 0.5
  [ $(($(cpu_ticks "$1") - before)) -le 1 ]
}
