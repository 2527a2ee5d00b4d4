#!/usr/bin/env bash
# The real Linux program on a virtual X screen of a given size: frames shown per second, and CPU
# time per frame of the program and of the X server, over a fixed window of wall time. With
# --wayland the program is a native Wayland client of weston (its X11 backend inside the virtual
# X screen, drawing with pixman as without a GPU) whose output has that size; the compositor's CPU
# per frame is weston's, and the X server's beneath it is given too. With --window the program
# runs in a window (--window), whose whole scale follows from the screen's size: 1x up to
# 1706 x 1279, 2x from 1707 x 1280 (three quarters of it holds 1280 x 960).
#
#   bench/real-run.sh [--seconds N] [--program PATH] [--wayland] [--window] WIDTHxHEIGHT
#
# Frames are counted where they are shown: a uprobe on DDRAW_Flip counted by `perf stat`, so a
# frame that never reaches the flip is not counted. CPU time is perf's task-clock of each process
# (every thread) over the same window. Needs root (or the rights to add uprobes) and linux-perf.
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ROOT=$(dirname "$HERE")
SECONDS_RUN=10
PROGRAM=$ROOT/build/default/tracker-screen

usage() {
  echo "usage: bench/real-run.sh [--seconds N] [--program PATH] [--wayland] [--window] WIDTHxHEIGHT" >&2
  exit 2
}

SIZE=""
WAYLAND=""
WINDOW=""
while [ $# -gt 0 ]; do
  case $1 in
    --seconds) [ $# -ge 2 ] || usage; SECONDS_RUN=$2; shift 2 ;;
    --program) [ $# -ge 2 ] || usage; PROGRAM=$2; shift 2 ;;
    --wayland) WAYLAND=--wayland; shift ;;
    --window) WINDOW=--window; shift ;;
    -h|--help) usage ;;
    *) [ -z "$SIZE" ] || usage; SIZE=$1; shift ;;
  esac
done
[[ $SIZE =~ ^([0-9]+)x([0-9]+)$ ]] || usage
[[ $SECONDS_RUN =~ ^[1-9][0-9]*$ ]] || { echo "real-run: --seconds takes a whole number of seconds" >&2; exit 2; }
[ -x "$PROGRAM" ] || { echo "real-run: no program at $PROGRAM (build the default preset first)" >&2; exit 1; }
command -v perf >/dev/null || { echo "real-run: perf is missing (Debian package linux-perf)" >&2; exit 1; }
command -v Xvfb >/dev/null || { echo "real-run: Xvfb is missing (Debian package xvfb)" >&2; exit 1; }
[ -z "$WAYLAND" ] || command -v weston >/dev/null || { echo "real-run: weston is missing (Debian package weston)" >&2; exit 1; }

# perf adds uprobes through tracefs. When it is not mounted, mount it in a mount namespace of
# this run's own, so nothing outside changes and the mount ends with the run.
if [ ! -e /sys/kernel/tracing/uprobe_events ] && [ -z "${REAL_RUN_NAMESPACE:-}" ]; then
  [ "$(id -u)" -eq 0 ] || { echo "real-run: tracefs is not mounted and only root can mount it; run as root" >&2; exit 1; }
  exec env REAL_RUN_NAMESPACE=1 unshare --mount --propagation private -- "$BASH" "${BASH_SOURCE[0]}" \
    --seconds "$SECONDS_RUN" --program "$PROGRAM" $WAYLAND $WINDOW "$SIZE"
fi
if [ ! -e /sys/kernel/tracing/uprobe_events ]; then
  mount -t tracefs nodev /sys/kernel/tracing || { echo "real-run: cannot mount tracefs" >&2; exit 1; }
fi

WORK=$(mktemp -d "${TMPDIR:-/tmp}/real-run.XXXXXX")
PROBE_GROUP=trackerrun$$
PROBE_ADDED=""
# shellcheck source=../tests/e2e/lib.sh
source "$ROOT/tests/e2e/lib.sh"

cleanup() {
  e2e_cleanup
  [ -z "$PROBE_ADDED" ] || perf probe -q -d "$PROBE_GROUP:*" >/dev/null 2>&1 || true
  rm -rf "$WORK"
}
trap cleanup EXIT

# Counts of the events $3... of process $1, every thread, over $2 seconds, as "event value" lines
# and the window's own length as "elapsed SECONDS" (perf's duration_time sums over threads).
count() {
  local pid=$1 seconds=$2 out
  shift 2
  out=$WORK/stat.$pid.$RANDOM
  perf stat --no-big-num -o "$out" -e "$(IFS=,; echo "$*")" -p "$pid" -- sleep "$seconds" >/dev/null 2>&1 ||
    fail "perf stat on process $pid failed"
  awk '$2 == "msec" { print $3, $1; next }
       $2 == "seconds" && $3 == "time" && $4 == "elapsed" { print "elapsed", $1; next }
       $1 ~ /^[0-9]+$/ && NF >= 2 { print $2, $1 }' "$out"
}

value() {  # the value of event $1 in the count lines $2
  awk -v e="$1" '$1 == e { print $2 }' <<<"$2"
}

perf probe -q -x "$PROGRAM" --add "$PROBE_GROUP:flip=DDRAW_Flip" >"$WORK/probe.log" 2>&1 ||
  fail "cannot add a uprobe on DDRAW_Flip: $(tr '\n' ' ' <"$WORK/probe.log")"
PROBE_ADDED=yes
FLIP=$PROBE_GROUP:flip

start_xvfb "${SIZE}x24"
XPID=${E2E_PIDS[0]}
if [ -n "$WAYLAND" ]; then
  start_weston "$SIZE"
  SERVERPID=$E2E_WESTON
  SDL_VIDEODRIVER=wayland "$PROGRAM" $WINDOW >"$WORK/program.log" 2>&1 &
else
  SERVERPID=$XPID
  "$PROGRAM" $WINDOW >"$WORK/program.log" 2>&1 &
fi
PID=$!
E2E_PIDS+=("$PID")

# The program is measured once it shows frames, not while it starts.
shown=0
for _ in $(seq 40); do
  kill -0 "$PID" 2>/dev/null || fail "the program ended early: $(tr '\n' ' ' <"$WORK/program.log")"
  shown=$(value "$FLIP" "$(count "$PID" 0.25 "$FLIP")")
  [[ $shown =~ ^[0-9]+$ ]] && [ "$shown" -gt 0 ] && break
done
[[ $shown =~ ^[0-9]+$ ]] && [ "$shown" -gt 0 ] ||
  fail "the program showed no frame within 10 s; it wrote: $(tr '\n' ' ' <"$WORK/program.log")"

# The display server's count runs beside the program's over the same seconds (and under
# weston, the X server's too).
count "$SERVERPID" "$SECONDS_RUN" task-clock >"$WORK/server.counts" &
SERVERCOUNT=$!
if [ -n "$WAYLAND" ]; then
  count "$XPID" "$SECONDS_RUN" task-clock >"$WORK/x.counts" &
  XCOUNT=$!
fi
program=$(count "$PID" "$SECONDS_RUN" task-clock "$FLIP")
wait "$SERVERCOUNT" || fail "perf stat on the display server failed"
[ -z "$WAYLAND" ] || wait "$XCOUNT" || fail "perf stat on the X server failed"
kill -0 "$PID" 2>/dev/null || fail "the program ended during the measurement"

flips=$(value "$FLIP" "$program")
cpu_ms=$(value task-clock "$program")
wall=$(value elapsed "$program")
server_ms=$(value task-clock "$(cat "$WORK/server.counts")")
x_ms=""
[ -z "$WAYLAND" ] || x_ms=$(value task-clock "$(cat "$WORK/x.counts")")
[[ $flips =~ ^[0-9]+$ ]] && [ "$flips" -gt 0 ] || fail "no flips counted during the measurement"

commit=$(git -C "$ROOT" describe --always --dirty 2>/dev/null || echo unknown)
way=$(sed -n 's/^SDL: present: \([^,(]*\).*/\1/p' "$WORK/program.log" | head -n 1)
awk -v size="$SIZE" -v flips="$flips" -v cpu="$cpu_ms" -v wall="$wall" -v server="$server_ms" -v x="$x_ms" \
    -v program="$PROGRAM" -v commit="$commit" -v wayland="$WAYLAND" -v way="${way:-the first way}" \
    -v window="${WINDOW:+ in a window}" 'BEGIN {
  s = wall
  if (wayland)
    printf "%s%s under weston with a %s output for %.2f s (tree %s), through %s\n", program, window, size, s, commit, way
  else
    printf "%s%s on a %s Xvfb screen for %.2f s (tree %s), through %s\n", program, window, size, s, commit, way
  printf "  frames shown     %7d flips   %8.1f fps\n", flips, flips / s
  printf "  program CPU      %7.3f ms/frame %6.1f%% of a core\n", cpu / flips, 100 * cpu / 1000 / s
  if (wayland) {
    printf "  weston CPU       %7.3f ms/frame %6.1f%% of a core\n", server / flips, 100 * server / 1000 / s
    printf "  X server CPU     %7.3f ms/frame %6.1f%% of a core (beneath weston)\n", x / flips, 100 * x / 1000 / s
  } else
    printf "  X server CPU     %7.3f ms/frame %6.1f%% of a core\n", server / flips, 100 * server / 1000 / s
}'
