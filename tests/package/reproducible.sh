#!/usr/bin/env bash
# The same source gives the same packages wherever it is built: the tree is copied to another
# path, the Linux program and the 64-bit Windows program are built there anew with the same
# SOURCE_DATE_EPOCH, and their .deb and zip must equal, byte for byte, the ones this build
# makes. (`scripts/release --check` does the same for a whole release.)
# Usage: reproducible.sh SOURCE_DIR LINUX_BUILD_DIR WINDOWS_X64_BUILD_DIR WORKDIR
set -euo pipefail
source=$(realpath "$1") linux=$2 windows=$3 work=$(realpath -m "$4")
fail() { echo "FAIL: $*" >&2; exit 1; }
rm -rf "$work" && mkdir -p "$work/first" "$work/second"

[ -f "$windows/CPackConfig.cmake" ] ||
  fail "no 64-bit Windows build in $windows (cmake --preset windows-x64 && cmake --build --preset windows-x64)"
epoch=$(sed -n 's/^set(CPACK_TRACKER_SOURCE_DATE_EPOCH "\([0-9]*\)")$/\1/p' "$linux/CPackConfig.cmake")
[ -n "$epoch" ] || fail "the build in $linux has no SOURCE_DATE_EPOCH (no git history, and none given)"

# The tree as it is now, uncommitted changes included, at a path of another length.
copy=$work/another/place/for/the/tree
mkdir -p "$copy"
if git -C "$source" rev-parse --git-dir >/dev/null 2>&1; then
  git -C "$source" ls-files -z --cached --others --exclude-standard |
    (cd "$source" && tar --null --ignore-failed-read -T - -cf - 2>/dev/null) | tar -xf - -C "$copy"
else
  (cd "$source" && tar --exclude=./build --exclude=./dist -cf - .) | tar -xf - -C "$copy"
fi

export SOURCE_DATE_EPOCH=$epoch
build() {
  local name=$1
  shift
  cmake -S "$copy" -B "$copy/build/$name" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRACKER_TESTS=OFF \
        -DTRACKER_BENCH=OFF "$@" >"$work/$name.log" 2>&1 &&
    cmake --build "$copy/build/$name" >>"$work/$name.log" 2>&1 ||
    fail "the copy's $name build failed: $(tail -n 5 "$work/$name.log")"
}
build default
build windows-x64 --toolchain "$copy/cmake/x86_64-w64-mingw32.cmake"

package() {
  cpack --config "$1/CPackConfig.cmake" -B "$2" >"$2.log" 2>&1 || fail "cpack failed in $1: $(tail -n 5 "$2.log")"
  mv "$2"/*.deb "$2"/*.zip "$3" 2>/dev/null || true
}
package "$linux" "$work/cpack-first-linux" "$work/first"
package "$windows" "$work/cpack-first-windows" "$work/first"
package "$copy/build/default" "$work/cpack-second-linux" "$work/second"
package "$copy/build/windows-x64" "$work/cpack-second-windows" "$work/second"
[ "$(ls "$work/first" | wc -l)" = 2 ] || fail "expected a .deb and a zip, made: $(ls "$work/first")"

python3 "$source/packaging/compare_packages.py" "$work/first" "$work/second" ||
  fail "the packages built at $copy differ from this build's (above)"
echo "PASS: the .deb and the 64-bit zip are byte for byte the same when built at another path"
