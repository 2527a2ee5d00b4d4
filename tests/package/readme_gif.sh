#!/usr/bin/env bash
# The README's moving picture is exactly what the command it documents makes, and stays under
# 3 MB. Usage: readme_gif.sh SOURCE_DIR TRACKER_RENDER WORKDIR
set -euo pipefail
source_dir=$1 render=$2 work=$3
fail() { echo "FAIL: $*" >&2; exit 1; }
rm -rf "$work" && mkdir -p "$work"

gif=$source_dir/docs/demo.gif
grep -qF '](docs/demo.gif)' "$source_dir/README.md" || fail "the README does not show docs/demo.gif"
command=$(grep -oE 'tracker-render --gif docs/demo\.gif [-0-9. a-z]+' "$source_dir/README.md" | head -n 1)
[ -n "$command" ] || fail "the README does not document the command that makes docs/demo.gif"
read -r -a arguments <<<"${command#tracker-render --gif docs/demo.gif }"
"$render" --gif "$work/demo.gif" "${arguments[@]}"
size=$(stat -c %s "$gif")
[ "$size" -lt $((3 * 1024 * 1024)) ] || fail "docs/demo.gif is $size bytes, over 3 MB"
cmp "$work/demo.gif" "$gif" ||
  fail "docs/demo.gif is not what '$command' makes now; run it from the top folder to update it"
echo "PASS: docs/demo.gif ($size bytes) is what '$command' makes"
