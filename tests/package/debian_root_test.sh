#!/usr/bin/env bash
# The root helpers never delete through a mount: a folder bound under a run's work folder (as
# /dev, the display sockets and the archives are) keeps its files when the work folder is
# cleared, and the helpers refuse to mount outside their own namespace.
# Usage: debian_root_test.sh WORKDIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/debian_root.sh"
fail() { echo "FAIL: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] && command -v unshare >/dev/null || { echo "SKIP: mounting needs root and unshare"; exit 77; }

work=$(realpath -m "$1")
if [ -z "${DEBIAN_ROOT_NAMESPACE:-}" ]; then
  out=$(debian_root /nonexistent "$work/outside" "$work/archives" 2>&1) && fail "debian_root mounted outside a namespace of its own"
  grep -q "enter_mount_namespace" <<<"$out" || fail "no reason given for refusing: $out"
fi
enter_mount_namespace "$@"

rm -rf "$work" && mkdir -p "$work/canary" "$work/run/root/dev"
echo alive >"$work/canary/file"
# What a killed run leaves behind: a bind mount under the folder the next run clears.
mount --bind "$work/canary" "$work/run/root/dev"
debian_root_rm "$work/run" || fail "debian_root_rm could not clear a folder with a mount under it"
[ ! -e "$work/run" ] || fail "the run's folder is still there"
[ "$(cat "$work/canary/file" 2>/dev/null)" = alive ] || fail "clearing the run's folder deleted through its mount"
# The same named by a relative path, which the mount table never holds.
mkdir -p "$work/run/root/dev"
mount --bind "$work/canary" "$work/run/root/dev"
(cd "$work" && debian_root_remove run/root) || fail "debian_root_remove could not remove a root named by a relative path"
[ "$(cat "$work/canary/file" 2>/dev/null)" = alive ] || fail "removing a root named by a relative path deleted through its mount"
[ ! -e "$work/run/root" ] || fail "the root named by a relative path is still there"
echo "PASS: nothing deleted through a mount; no mount outside the namespace"
