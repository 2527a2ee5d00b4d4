#!/usr/bin/env bash
# Makes the Wine prefix that every Wine run of one width shares, afresh; where this machine
# cannot run that width, it is skipped (or fails) as the runs are, with the reason.
# Usage: wine_prefix.sh x86|x64 PROGRAM.exe E2E_WORKDIR
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"

width=$1 program=$2
# The runs' work folders sit in E2E_WORKDIR, and their prefix beside them.
WORK=$3/prefix-$width
use_kind "wine-$width"
[ -f "$program" ] || fail "no program at $program (build it first)"
rm -rf "$WINEPREFIX" "$WORK" && mkdir -p "$WORK"
# A 64-bit prefix for the 64-bit loader; the 32-bit one makes the prefix its installation makes.
[ "$width" = x86 ] || export WINEARCH=win64
"${WINE[@]}" wineboot -i >"$WORK/wineboot.log" 2>&1 || fail "wineboot failed: $(tail -n 5 "$WORK/wineboot.log")"
"${WINESERVER[@]}" -w
echo "PASS: the $width prefix in $WINEPREFIX"
