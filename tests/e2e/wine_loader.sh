#!/usr/bin/env bash
# Can this machine run the Windows program of one width under Wine? Decided by trying the Wine
# loader itself, never by guessing from the system's name or version.
#   0, silent: it can.
#   77, with "skipped: REASON" on one line of standard output: the 32-bit program cannot run
#     here (the kernel runs no 32-bit code, or the 32-bit Wine is not installed); CTest reports
#     a test that exits so as skipped.
#   1, with "FAIL: REASON" on standard error: the 64-bit program cannot run here (its runs are
#     meant for every x86-64 machine), or a loader that is there fails for another reason.
# Usage: wine_loader.sh x86|x64 LOADER [PROBE32]
#   PROBE32 is a 32-bit program tried when the 32-bit loader is missing, to tell whether
#   installing it would help (by default the 32-bit dynamic linker, where libc6:i386 put it).
set -uo pipefail

width=${1:-} loader=${2:-} probe=${3:-/lib/ld-linux.so.2}
case "$width" in
  x86) bits=32 package=wine32:i386 ;;
  x64) bits=64 package=wine64 ;;
  *) echo "usage: wine_loader.sh x86|x64 LOADER [PROBE32]" >&2; exit 2 ;;
esac
[ -n "$loader" ] || { echo "usage: wine_loader.sh x86|x64 LOADER [PROBE32]" >&2; exit 2; }

cannot() {
  if [ "$width" = x86 ]; then
    echo "skipped: $1"
    exit 77
  fi
  echo "FAIL: $1" >&2
  exit 1
}

# Runs $1 --version directly from bash (execvp would hand a program the kernel refuses to
# /bin/sh); sets OUT and STATUS.
try() {
  STATUS=0
  OUT=$("$1" --version 2>&1) || STATUS=$?
}
# bash says so, with status 126, when the kernel refuses the program's format.
refused() { [ "$STATUS" = 126 ] && grep -q "Exec format error" <<<"$OUT"; }

if [ -e "$loader" ]; then
  try "$loader"
  [ "$STATUS" != 0 ] || exit 0
  refused && cannot "this kernel cannot run $bits-bit programs (Exec format error)"
  echo "FAIL: the $bits-bit Wine at $loader does not run (status $STATUS): $(head -n 1 <<<"$OUT")" >&2
  exit 1
fi

reason="the $bits-bit Wine ($package) is not installed (no $loader)"
if [ "$width" = x86 ] && [ -e "$probe" ]; then
  try "$probe"
  ! refused || reason="this kernel cannot run 32-bit programs (Exec format error), and $reason"
fi
cannot "$reason"
