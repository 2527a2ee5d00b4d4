#!/usr/bin/env bash
# The virtual display every run uses must not reset when its last client leaves: a reset refuses
# connections for a moment, and a program that connects then finds no display. A reset also wipes
# the root window's properties, which makes it visible: one client sets one and leaves, the next
# must still read it.
#   xvfb_keeps.sh WORKDIR
set -euo pipefail
WORK=$1
source "$(cd "$(dirname "$0")" && pwd)/lib.sh"
command -v xprop >/dev/null || fail "xprop is not installed (Debian package x11-utils)"
rm -rf "$WORK"
mkdir -p "$WORK"

start_xvfb 640x480x24
xprop -root -f TRACKER_PROBE 8s -set TRACKER_PROBE kept
# Each xprop is a client of its own; none is connected between them.
for round in 1 2 3; do
  got=$(xprop -root TRACKER_PROBE)
  [[ $got == *'"kept"'* ]] || fail "round $round: the display reset after its last client left (root property: $got)"
done
echo "the display kept its state across clients"
