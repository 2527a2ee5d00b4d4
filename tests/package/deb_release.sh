#!/usr/bin/env bash
# The .deb on a fresh minimal Debian system of RELEASE (bookworm is Debian 12, trixie 13), as a
# user installs it: apt installs it with what it pulls in, and the installed program runs there
# on X11 and natively under weston, asked for and with no X11 display to find (panel, Space, the
# focus away and back, Escape with status 0).
# The release's image is made once with debootstrap and kept in CACHE; each run gets a fresh root
# over it, in a mount namespace of its own so that every mount ends with the run, and removes it.
# With "without-recommends" apt leaves out what the package only recommends (OpenGL and EGL), as
# `apt-get install --no-install-recommends` does. Video is written where the FFmpeg libraries it
# recommends are there, and refused in one line where they are not. Needs root; skipped, saying why, where this
# machine has no way to make a root; a root that could be made but was not is a failure.
# Usage: deb_release.sh RELEASE BUILD_DIR TRACKER_RENDER WORKDIR CACHE [without-recommends]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/debian_root.sh"

fail() { echo "FAIL: $*" >&2; exit 1; }
skip() { echo "SKIP: $*"; exit 77; }

[ $# -eq 5 ] || [ $# -eq 6 ] || fail "usage: deb_release.sh RELEASE BUILD_DIR TRACKER_RENDER WORKDIR CACHE [without-recommends]"
lacks=$(debian_root_lacks)
[ -z "$lacks" ] || skip "$lacks"
enter_mount_namespace "$@"

release=$1 build=$2 render=$(realpath -m "$3") work=$(realpath -m "$4") cache=$(realpath -m "$5") recommends=${6:-}
root=$work/root
started=$(date +%s)
elapsed() { echo "$(($(date +%s) - started)) s"; }
debian_root_rm "$work" || fail "cannot clear $work (above)"
mkdir -p "$work"
# weston's runtime folders, short enough for a socket's path, shared with the root below.
export E2E_RUNTIME_PARENT
E2E_RUNTIME_PARENT=$(mktemp -d /tmp/tracker-roots.XXXXXX)
trap 'debian_root_remove "$root"; rm -rf "$E2E_RUNTIME_PARENT"' EXIT

cpack --config "$build/CPackConfig.cmake" -B "$work/cpack" >"$work/cpack.log" 2>&1 ||
  fail "cpack failed: $(tail -n 5 "$work/cpack.log")"
debs=("$work"/cpack/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one .deb, found: ${debs[*]}"
deb=${debs[0]}

debian_image "$release" "$cache" || fail "no $release image (above)"
echo "$release image ready after $(elapsed)"

debian_root "$cache/$release" "$root" "$cache/$release-archives" || fail "cannot make a fresh $release root"
debian_install "$root" "$deb" "$work/apt.log" "$recommends" ||
  fail "apt could not install $(basename "$deb") into $release: $(tail -n 5 "$work/apt.log")"
sdl=$(chroot "$root" dpkg-query -W -f='${Version}' libsdl2-2.0-0)
echo "installed with apt ${recommends:-with recommends} after $(elapsed), with SDL $sdl"
version=$("$render" --version)
[ "$(chroot "$root" tracker-render --version)" = "$version" ] ||
  fail "the installed tracker-render says '$(chroot "$root" tracker-render --version)', the build's '$version'"

# --video, where the build has it: the package only recommends the FFmpeg libraries of the
# release it was built on (Debian 12's), which apt installs there with what it recommends. With
# them a video is written; without them (Debian 13 has others) one line says what to install,
# with status 1 and no file.
if [ -e "$build/tracker-render-video.so" ]; then
  ffmpeg=$(dpkg-deb -f "$deb" Recommends | grep -oE 'lib(av|sw)[a-z]+[0-9]+' | sort -u | tr '\n' ' ')
  [ -n "$ffmpeg" ] || fail "the package recommends no FFmpeg libraries: $(dpkg-deb -f "$deb" Recommends)"
  has_ffmpeg=yes
  for package in $ffmpeg; do
    chroot "$root" dpkg -s "$package" >/dev/null 2>&1 || has_ffmpeg=no
  done
  case "$release:$recommends" in
    bookworm:) [ "$has_ffmpeg" = yes ] || fail "apt did not install the recommended $ffmpeg on $release" ;;
    trixie:*) [ "$has_ffmpeg" = no ] || fail "$release has Debian 12's $ffmpeg, so --video without them goes untested" ;;
  esac
  mkdir "$root/tmp/video"
  status=0
  chroot "$root" tracker-render --video /tmp/video/demo.mp4 --from 0 --to 0.1 --fps 60 2>"$work/video.err" || status=$?
  left=$(ls -A "$root/tmp/video")
  if [ "$has_ffmpeg" = yes ]; then
    [ "$status" = 0 ] || fail "--video with $ffmpeg installed: status $status: $(cat "$work/video.err")"
    [ "$left" = demo.mp4 ] || fail "--video left '$left', not demo.mp4"
    # An MP4 opens with its file-type box.
    [ "$(head -c 8 "$root/tmp/video/demo.mp4" | tail -c 4)" = ftyp ] || fail "demo.mp4 is not an MP4 file"
    echo "--video wrote demo.mp4 ($(stat -c %s "$root/tmp/video/demo.mp4") bytes) with $ffmpeg"
  else
    [ "$status" = 1 ] || fail "--video without $ffmpeg: status $status, not 1: $(cat "$work/video.err")"
    [ "$(wc -l <"$work/video.err")" = 1 ] &&
      grep -qE "^tracker-render: video needs FFmpeg's libraries \(libavcodec[0-9]+ libavformat[0-9]+ libswscale[0-9]+\): .*lib(av|sw)[a-z]+\.so\.[0-9]+: cannot open shared object file" "$work/video.err" ||
      fail "--video without $ffmpeg does not say in one line what to install: $(cat "$work/video.err")"
    [ -z "$left" ] || fail "--video without $ffmpeg left: $left"
    echo "--video without $ffmpeg: $(cat "$work/video.err")"
  fi
fi

# The displays' sockets are the host's: X11's folder, and the folder of weston's runtime folders.
debian_root_share "$root" /tmp/.X11-unix
debian_root_share "$root" "$E2E_RUNTIME_PARENT"
mkdir -p "$work/runs"
for kind in linux wayland wayland-only; do
  E2E_CHROOT=$root bash "$here/../e2e/demo.sh" "$kind" /usr/bin/tracker-screen "$render" "$work/runs/$kind" ||
    fail "the program installed in $release failed its $kind run (above)"
done
echo "PASS: $(basename "$deb") on $release (SDL $sdl) ${recommends:-with recommends}, on X11 and Wayland, in $(elapsed)"
