#!/usr/bin/env bash
# The README's moving picture (docs/demo.gif, or the video given) is exactly what the command it
# documents makes, and stays under 3 MB.
# Usage: readme_gif.sh SOURCE_DIR TRACKER_RENDER WORKDIR [--gif|--video docs/FILE]
set -euo pipefail
source_dir=$1 render=$2 work=$3 option=${4:---gif} file=${5:-docs/demo.gif}
fail() { echo "FAIL: $*" >&2; exit 1; }
rm -rf "$work" && mkdir -p "$work"

made=$work/$(basename "$file")
grep -qF "]($file)" "$source_dir/README.md" || fail "the README does not show $file"
pattern="tracker-render $option ${file//./\\.} [-0-9. a-z]+"
command=$(grep -oE "$pattern" "$source_dir/README.md" | head -n 1)
[ -n "$command" ] || fail "the README does not document the command that makes $file"
read -r -a arguments <<<"${command#tracker-render "$option" "$file" }"
"$render" "$option" "$made" "${arguments[@]}"
size=$(stat -c %s "$source_dir/$file")
[ "$size" -lt $((3 * 1024 * 1024)) ] || fail "$file is $size bytes, over 3 MB"
cmp "$made" "$source_dir/$file" ||
  fail "$file is not what '$command' makes now; run it from the top folder to update it"
echo "PASS: $file ($size bytes) is what '$command' makes"
