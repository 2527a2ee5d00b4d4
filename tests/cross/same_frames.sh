#!/usr/bin/env bash
# A cross build's renderer draws the same frames as this machine's, byte for byte, over the same
# clock values: the first frames, every pattern generation window of a long run, a whole cycle at
# the real program's 60 frames a second, and clocks far out on both sides of zero.
# Usage: same_frames.sh NATIVE_RENDER CROSS_RENDER WORKDIR
set -euo pipefail
native=$1 cross=$2 work=$3
fail() { echo "FAIL: $*" >&2; exit 1; }
[ -x "$native" ] || fail "no native tracker-render at $native: build this preset (it builds one in host/), or point TRACKER_NATIVE_RENDER at one (build/default/tracker-render)"
rm -rf "$work" && mkdir -p "$work"

# One clock value a line; awk prints each as a float's shortest decimal that both parse the same.
clocks() {
  awk 'BEGIN {
    for (i = 0; i < 50; i++) printf "%.3f\n", i * 0.004            # the first frames, 4 ms apart
    for (w = 0; w < 41; w++) { printf "%.2f\n", w * 6.4; printf "%.2f\n", w * 6.4 + 3.35 }
    for (i = 0; i < 384; i++) printf "%.6f\n", 1000 + i / 60     # a whole cycle at 60 a second
    split("99999.9 1048576.3 16777216 123456789.1 210000000 214748360 -0.35 -1 -6.4 -7.7 -100.05 -65536.5 -2000000 -214748360", far, " ")
    for (i = 1; i <= 14; i++) print far[i]
  }'
}

# Both renderers draw each batch in one run (the pattern generator carries on from frame to frame
# within it), and the batch is compared and dropped, so the disk holds one batch at a time.
mapfile -t all < <(clocks)
batch=100 compared=0
for ((start = 0; start < ${#all[@]}; start += batch)); do
  values=("${all[@]:start:batch}")
  rm -rf "$work/native" "$work/cross" && mkdir "$work/native" "$work/cross"
  "$native" --out "$work/native" --raw "${values[@]}" >/dev/null || fail "the native renderer failed on batch $start"
  "$cross" --out "$work/cross" --raw "${values[@]}" >/dev/null || fail "the cross-built renderer failed on batch $start"
  for ((k = 0; k < ${#values[@]}; k++)); do
    name=$(printf 'frame-%04d.raw' "$k")
    [ -f "$work/native/$name" ] && [ -f "$work/cross/$name" ] ||
      fail "clock ${values[k]}: $name is missing from $work/native or $work/cross"
    if ! cmp -s "$work/native/$name" "$work/cross/$name"; then
      # How much differs, and where first: 4-byte words, 640 to a row.
      # (cmp's status 1 for "they differ" is expected here.)
      report=$({ cmp -l "$work/native/$name" "$work/cross/$name" || true; } | awk '
        { word = int(($1 - 1) / 4); if (!(word in seen)) { seen[word] = 1; n++; if (!first) first = word + 1 } }
        END { w = first - 1; printf "%d pixels differ, the first at (%d, %d)", n, w % 640, int(w / 640) }')
      cp "$work/native/$name" "$work/native-$name" && cp "$work/cross/$name" "$work/cross-$name"
      fail "clock ${values[k]} (frame $((start + k)) of ${#all[@]}): $report; both frames kept in $work"
    fi
    compared=$((compared + 1))
  done
done
rm -rf "$work/native" "$work/cross"
echo "PASS: $compared frames the same byte for byte"
