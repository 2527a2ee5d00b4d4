#!/usr/bin/env bash
# The .deb as RELEASE's own lintian sees it (trixie is Debian 13): no error and no warning. That
# lintian runs in a root made from the cached RELEASE image with lintian added, kept beside the
# package runs' images. Needs root; skipped, saying why, only where this machine has no way to
# make a root.
# Usage: lintian_release.sh RELEASE BUILD_DIR WORKDIR CACHE
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/debian_root.sh"

fail() { echo "FAIL: $*" >&2; exit 1; }
skip() { echo "SKIP: $*"; exit 77; }

[ $# -eq 4 ] || fail "usage: lintian_release.sh RELEASE BUILD_DIR WORKDIR CACHE"
lacks=$(debian_root_lacks)
[ -z "$lacks" ] || skip "$lacks"
enter_mount_namespace "$@"

release=$1 build=$2 work=$(realpath -m "$3") cache=$(realpath -m "$4")
root=$work/root
debian_root_rm "$work" || fail "cannot clear $work (above)"
mkdir -p "$work"
trap 'debian_root_remove "$root"' EXIT

cpack --config "$build/CPackConfig.cmake" -B "$work/cpack" >"$work/cpack.log" 2>&1 ||
  fail "cpack failed: $(tail -n 5 "$work/cpack.log")"
debs=("$work"/cpack/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one .deb, found: ${debs[*]}"
name=$(basename "${debs[0]}")

debian_image_with "$release-lintian" "$release" "$cache" lintian || fail "no $release image with lintian (above)"
debian_root "$cache/$release-lintian" "$root" "$cache/$release-archives" || fail "cannot make a fresh $release root"
cp "${debs[0]}" "$root/tmp/$name"
version=$(chroot "$root" lintian --version)
status=0
chroot "$root" lintian --fail-on error,warning "/tmp/$name" >"$work/lintian.txt" 2>&1 || status=$?
cat "$work/lintian.txt"
[ "$status" = 0 ] || fail "$version on $release finds fault with $name (above)"
echo "PASS: $version on $release: no error and no warning for $name"
