#!/usr/bin/env bash
# The scene's render as WebAssembly under node against the same source built natively, measured
# in one run: the two benches take turns, each frames' hash must agree, and the medians give the
# ratio. Usage: web_ratio.sh NATIVE_BENCH WASM_BENCH_JS [ROUNDS]
set -euo pipefail

native=$1 wasm=$2 rounds=${3:-3}
node=${NODE:-node}
[ -x "$native" ] || { echo "web_ratio: no native bench at $native" >&2; exit 1; }
[ -f "$wasm" ] || { echo "web_ratio: no WebAssembly bench at $wasm" >&2; exit 1; }

field() { awk -v key="$1" '$1 == key { print $2 }' <<<"$2"; }
median() { tr ' ' '\n' <<<"$*" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

native_render=() native_fill=() wasm_render=() wasm_fill=()
frames=""
for _ in $(seq "$rounds"); do
  for kind in native wasm; do
    if [ "$kind" = native ]; then out=$("$native"); else out=$("$node" --no-experimental-fetch "$wasm"); fi
    hash=$(field frames "$out")
    [ -n "$hash" ] || { echo "web_ratio: the $kind bench printed no frame hash:" >&2; echo "$out" >&2; exit 1; }
    if [ -z "$frames" ]; then
      frames=$hash
    elif [ "$hash" != "$frames" ]; then
      echo "web_ratio: the $kind frames differ (hash $hash, expected $frames)" >&2
      exit 1
    fi
    if [ "$kind" = native ]; then
      native_render+=("$(field render_us "$out")") native_fill+=("$(field memset_us "$out")")
    else
      wasm_render+=("$(field render_us "$out")") wasm_fill+=("$(field memset_us "$out")")
    fi
  done
done

nr=$(median "${native_render[@]}") nf=$(median "${native_fill[@]}")
wr=$(median "${wasm_render[@]}") wf=$(median "${wasm_fill[@]}")
echo "frames identical on both targets (hash $frames)"
printf 'native       render %8.2f us   memset %8.2f us   render/memset %5.2f\n' "$nr" "$nf" "$(awk -v a="$nr" -v b="$nf" 'BEGIN { print a / b }')"
printf 'WebAssembly  render %8.2f us   memset %8.2f us   render/memset %5.2f\n' "$wr" "$wf" "$(awk -v a="$wr" -v b="$wf" 'BEGIN { print a / b }')"
printf 'WebAssembly render / native render: %.2f  (medians of %d runs each; goal <= 2)\n' \
  "$(awk -v a="$wr" -v b="$nr" 'BEGIN { print a / b }')" "$rounds"
