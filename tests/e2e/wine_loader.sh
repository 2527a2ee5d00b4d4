#!/usr/bin/env bash
# Which Wine runs the Windows program of one width here: the machine's own, or Debian 13's in a
# root (lib.sh makes and enters it). Decided by trying the loader itself and, for 32-bit code, a
# tiny 32-bit program, never by guessing from the system's name or version.
#   0, with the loader's version on one line of standard output: the machine's own Wine runs it.
#   3, with the reason on one line of standard output: the 32-bit program needs Debian 13's Wine,
#     since the machine's own 32-bit Wine is missing or does not run, yet the kernel runs 32-bit
#     code.
#   77, with "skipped: REASON" on one line of standard output: the kernel runs no 32-bit code, so
#     no Wine anywhere runs the 32-bit program; CTest reports a test that exits so as skipped.
#   1, with "FAIL: REASON" on standard error: the 64-bit program cannot run here (its runs are
#     meant for every x86-64 machine), or the 32-bit probe fails for another reason.
# Usage: wine_loader.sh x86|x64 LOADER [PROBE32]
#   PROBE32 is the 32-bit program tried when the 32-bit loader cannot tell (by default one of a
#   few bytes written here, which needs nothing installed: it only exits with status 0).
# Or: wine_loader.sh --probe32 FILE writes that program to FILE, to be tried elsewhere.
set -uo pipefail

fail() { echo "FAIL: $1" >&2; exit 1; }

# Runs $1 --version directly from bash (execvp would hand a program the kernel refuses to
# /bin/sh); sets OUT and STATUS.
try() {
  STATUS=0
  OUT=$("$1" --version 2>&1) || STATUS=$?
}
# bash says so, with status 126, when the kernel refuses the program's format.
refused() { [ "$STATUS" = 126 ] && grep -q "Exec format error" <<<"$OUT"; }

# Writes to $1 an i386 ELF program of one loadable segment whose code is exit(0):
# mov $1,%eax; xor %ebx,%ebx; int $0x80.
write_probe() {
  {
    printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000'
    printf '\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000'
    printf '\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000'
    printf '\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010'
    printf '\135\000\000\000\135\000\000\000\005\000\000\000\000\020\000\000'
    printf '\270\001\000\000\000\061\333\315\200'
  } >"$1" && chmod +x "$1"
}
# Tries PROBE32, or the program above in a folder of its own, removed after the try.
try_probe() {
  local dir
  if [ -n "$probe" ]; then
    try "$probe"
    return
  fi
  dir=$(mktemp -d) && write_probe "$dir/exit0" || fail "cannot write the 32-bit probe"
  try "$dir/exit0"
  rm -rf "$dir"
}

width=${1:-} loader=${2:-} probe=${3:-}
case "$width" in
  --probe32) [ -n "$loader" ] || { echo "usage: wine_loader.sh --probe32 FILE" >&2; exit 2; }
    write_probe "$loader"
    exit ;;
  x86) bits=32 package=wine32:i386 ;;
  x64) bits=64 package=wine64 ;;
  *) echo "usage: wine_loader.sh x86|x64 LOADER [PROBE32]" >&2; exit 2 ;;
esac
[ -n "$loader" ] || { echo "usage: wine_loader.sh x86|x64 LOADER [PROBE32]" >&2; exit 2; }

kernel="this kernel cannot run $bits-bit programs (Exec format error)"

if [ -e "$loader" ]; then
  try "$loader"
  if [ "$STATUS" = 0 ]; then
    head -n 1 <<<"$OUT"
    exit 0
  fi
  if refused; then
    [ "$width" = x86 ] || fail "$kernel"
    echo "skipped: $kernel"
    exit 77
  fi
  reason="the machine's $bits-bit Wine at $loader does not run (status $STATUS): $(head -n 1 <<<"$OUT")"
else
  reason="the machine's $bits-bit Wine ($package) is not installed (no $loader)"
fi
[ "$width" = x86 ] || fail "$reason"

try_probe
if refused; then
  echo "skipped: $kernel"
  exit 77
fi
[ "$STATUS" = 0 ] || fail "cannot tell whether this kernel runs 32-bit programs: the probe ended with status $STATUS: $(head -n 1 <<<"$OUT")"
echo "$reason"
exit 3
