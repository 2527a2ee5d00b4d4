#!/usr/bin/env bash
# The Linux program against weston's own shared-memory sample client (weston-presentation-shm,
# Debian package weston), in one run under the same weston (its X11 backend in a virtual X screen
# of the given size, drawing with pixman as without a GPU): frames a second of each, taking turns
# ROUNDS times, the program's CPU time a frame, and the ratio of the medians.
#
#   bench/wayland-ratio.sh [--seconds N] [--rounds N] [--program PATH] [WIDTHxHEIGHT]
#
# A frame is one the client committed with a new frame callback, as WAYLAND_DEBUG shows it,
# counted over the last N seconds of each turn (the first two are left for the start); CPU time
# is the program's user and system time over the same seconds. Needs no root.
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ROOT=$(dirname "$HERE")
SECONDS_RUN=10
ROUNDS=3
PROGRAM=$ROOT/build/default/tracker-screen
SIZE=640x480
CLIENT=weston-presentation-shm

usage() {
  echo "usage: bench/wayland-ratio.sh [--seconds N] [--rounds N] [--program PATH] [WIDTHxHEIGHT]" >&2
  exit 2
}
while [ $# -gt 0 ]; do
  case $1 in
    --seconds) [ $# -ge 2 ] || usage; SECONDS_RUN=$2; shift 2 ;;
    --rounds) [ $# -ge 2 ] || usage; ROUNDS=$2; shift 2 ;;
    --program) [ $# -ge 2 ] || usage; PROGRAM=$2; shift 2 ;;
    -h|--help) usage ;;
    *) [[ $1 =~ ^[0-9]+x[0-9]+$ ]] || usage; SIZE=$1; shift ;;
  esac
done
[[ $SECONDS_RUN =~ ^[1-9][0-9]*$ ]] && [[ $ROUNDS =~ ^[1-9][0-9]*$ ]] ||
  { echo "wayland-ratio: --seconds and --rounds take whole numbers" >&2; exit 2; }
[ -x "$PROGRAM" ] || { echo "wayland-ratio: no program at $PROGRAM (build the default preset first)" >&2; exit 1; }
for tool in Xvfb weston "$CLIENT"; do
  command -v "$tool" >/dev/null || { echo "wayland-ratio: $tool is missing (Debian packages xvfb, weston)" >&2; exit 1; }
done

WORK=$(mktemp -d "${TMPDIR:-/tmp}/wayland-ratio.XXXXXX")
# shellcheck source=../tests/e2e/lib.sh
source "$ROOT/tests/e2e/lib.sh"
trap 'e2e_cleanup; rm -rf "$WORK"' EXIT

start_xvfb "${SIZE}x24"
start_weston "$SIZE"
# The pointer off the output: weston would draw it into every frame of both.
timeout 10 xdotool mousemove "${SIZE%x*}" "${SIZE#*x}" || true

TICKS=$(getconf CLK_TCK)
cpu_ms() { awk -v t="$TICKS" '{ print ($14 + $15) * 1000 / t }' "/proc/$1/stat"; }
now_ms() { echo $(($(date +%s%N) / 1000000)); }

# Runs one turn of `name` (program or client); prints "FPS CPU_MS_PER_FRAME".
turn() {
  local name=$1 log=$WORK/$1.$2.log pid cpu0 cpu1 t0 t1 frames
  if [ "$name" = program ]; then
    WAYLAND_DEBUG=client SDL_VIDEODRIVER=wayland "$PROGRAM" >/dev/null 2>"$log" &
  else
    WAYLAND_DEBUG=client "$CLIENT" -f >/dev/null 2>"$log" &
  fi
  pid=$!
  E2E_PIDS+=("$pid")
  sleep 2
  kill -0 "$pid" 2>/dev/null || fail "the $name ended at its start: $(grep -v '^\[' "$log" | tail -n 3 | tr '\n' ' ')"
  cpu0=$(cpu_ms "$pid") t0=$(now_ms)
  sleep "$SECONDS_RUN"
  cpu1=$(cpu_ms "$pid") t1=$(now_ms)
  kill -0 "$pid" 2>/dev/null || fail "the $name ended during its turn"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  # The frames of the surface that asked for most (SDL asks on the window's own surface now and
  # then), requested in the turn's last seconds by the log's own clock (milliseconds).
  frames=$(awk -v span=$((t1 - t0)) -F'[][]' '
    match($0, /-> wl_surface@[0-9]+\.frame\(/) { id = substr($0, RSTART + 14, RLENGTH - 21); t[id, ++n[id]] = $2 + 0; last = $2 + 0 }
    END { best = 0; for (id in n) { c = 0; for (i = 1; i <= n[id]; i++) if (t[id, i] >= last - span) c++; if (c > best) best = c } print best }' "$log")
  [ "$frames" -gt 0 ] || fail "the $name committed no frame in its turn (see $log)"
  awk -v f="$frames" -v ms=$((t1 - t0)) -v cpu0="$cpu0" -v cpu1="$cpu1" \
    'BEGIN { printf "%.2f %.3f\n", f * 1000 / ms, (cpu1 - cpu0) / f }'
}
median() { tr ' ' '\n' <<<"$*" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

program_fps=() client_fps=() program_cpu=() client_cpu=()
for round in $(seq "$ROUNDS"); do
  read -r fps cpu < <(turn program "$round")
  program_fps+=("$fps") program_cpu+=("$cpu")
  read -r fps cpu < <(turn client "$round")
  client_fps+=("$fps") client_cpu+=("$cpu")
  echo "round $round: program ${program_fps[-1]} fps (${program_cpu[-1]} ms CPU a frame), $CLIENT ${client_fps[-1]} fps (${client_cpu[-1]} ms)"
done

p=$(median "${program_fps[@]}") c=$(median "${client_fps[@]}")
commit=$(git -C "$ROOT" describe --always --dirty 2>/dev/null || echo unknown)
awk -v p="$p" -v c="$c" -v pc="$(median "${program_cpu[@]}")" -v cc="$(median "${client_cpu[@]}")" \
    -v size="$SIZE" -v rounds="$ROUNDS" -v s="$SECONDS_RUN" -v commit="$commit" -v client="$CLIENT" 'BEGIN {
  printf "under weston with a %s output (pixman), %d rounds of %d s each (tree %s); medians:\n", size, rounds, s, commit
  printf "  %-23s %7.2f fps   %7.3f ms CPU a frame\n", "program", p, pc
  printf "  %-23s %7.2f fps   %7.3f ms CPU a frame\n", client, c, cc
  printf "  %-23s %7.3f (frames a second)\n", "program / client", p / c
}'
