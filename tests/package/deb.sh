#!/usr/bin/env bash
# The .deb as a user gets it: what it installs, what it declares it needs, and that the
# installed renderer draws the same frame as the build tree's.
# Usage: deb.sh BUILD_DIR TRACKER_RENDER WORKDIR [ARCH [EMULATOR...]]
# ARCH is the package's Debian architecture (this machine's by default); a cross build's
# installed programs run under EMULATOR.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$1 render=$2 work=$3 arch=${4:-$(dpkg --print-architecture)}
emulator=("${@:5}")
fail() { echo "FAIL: $*" >&2; exit 1; }
rm -rf "$work" && mkdir -p "$work"

cpack --config "$build/CPackConfig.cmake" -B "$work/cpack" >"$work/cpack.log" 2>&1 ||
  fail "cpack failed: $(tail -n 5 "$work/cpack.log")"
debs=("$work"/cpack/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one .deb, found: ${debs[*]}"
deb=${debs[0]}
version=$("$render" --version | sed -n 's/^tracker-render //p')
# The Debian revision follows the program's own version, as in a distribution's packages.
deb_version=$version-1
[ "$(basename "$deb")" = "tracker-screen_${deb_version}_${arch}.deb" ] ||
  fail "unexpected file name $(basename "$deb")"

multiarch=$(dpkg-architecture -a "$arch" -qDEB_HOST_MULTIARCH 2>/dev/null) ||
  fail "dpkg-architecture knows no architecture $arch"
# The video module, where the build has one: FFmpeg's libraries are the only ones it adds.
module=
[ ! -e "$build/tracker-render-video.so" ] || module=usr/lib/$multiarch/tracker-screen/tracker-render-video.so

# Exactly these files, the programs executable, nothing of the tests or the benchmarks.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $1, $6}' | sort >"$work/files"
{
  [ -z "$module" ] || echo "-rw-r--r-- ./$module"
  echo "-rw-r--r-- ./usr/share/applications/tracker-screen.desktop"
  echo "-rw-r--r-- ./usr/share/doc/tracker-screen/README.md"
  echo "-rw-r--r-- ./usr/share/doc/tracker-screen/changelog.Debian.gz"
  echo "-rw-r--r-- ./usr/share/doc/tracker-screen/copyright"
  echo "-rw-r--r-- ./usr/share/lintian/overrides/tracker-screen"
  echo "-rw-r--r-- ./usr/share/man/man1/tracker-render.1.gz"
  echo "-rw-r--r-- ./usr/share/man/man6/tracker-screen.6.gz"
  for size in 16 32 48 64 128 256; do
    echo "-rw-r--r-- ./usr/share/icons/hicolor/${size}x${size}/apps/tracker-screen.png"
  done
  echo "-rwxr-xr-x ./usr/bin/tracker-render"
  echo "-rwxr-xr-x ./usr/bin/tracker-screen"
} | sort >"$work/expected-files"
diff -u "$work/expected-files" "$work/files" >&2 || fail "the package holds other files than expected"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = tracker-screen ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$deb_version" ] || fail "Version $(field Version), tracker-render says $version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture), expected $arch"
depends=$(field Depends) recommends=$(field Recommends)
echo "Depends: $depends"
echo "Recommends: $recommends"

dpkg -x "$deb" "$work/root"
# Every library the installed programs load comes from a package of the package's
# architecture that the .deb declares: in Depends for the programs, which always run; in
# Recommends at least for the video module, which tracker-render loads only for --video, so that
# the package installs where this FFmpeg is missing (Debian 13 has another).
declares() { [[ ", $2," == *", $1 "* || ", $2," == *", $1,"* ]]; }
# The package that holds LIBRARY in the architecture's library folders, as name:arch.
owner_of() {
  local dir path
  for dir in /lib/$multiarch /usr/lib/$multiarch; do
    path=$dir/$1
    [ -e "$path" ] || continue
    { dpkg -S "$path" 2>/dev/null || dpkg -S "$(readlink -f "$path")" 2>/dev/null; } | head -n 1 | sed 's/: .*//'
    return 0
  done
}
for binary in usr/bin/tracker-screen usr/bin/tracker-render $module; do
  machine=$(file -b "$work/root/$binary")
  case "$arch" in
    amd64) [[ $machine == *x86-64* ]] ;;
    arm64) [[ $machine == *aarch64* ]] ;;
    *) true ;;
  esac || fail "$binary is not for $arch: $machine"
  for library in $(objdump -p "$work/root/$binary" | awk '$1 == "NEEDED" {print $2}'); do
    owner=$(owner_of "$library")
    [ -n "$owner" ] || fail "$binary needs $library, which no $arch package installed here holds"
    [ "${owner#*:}" = "$owner" ] || [ "${owner#*:}" = "$arch" ] ||
      fail "$binary needs $library, found only in $owner"
    owner=${owner%%:*}
    if [ "$binary" = "$module" ]; then
      declares "$owner" "$depends, $recommends" || fail "$binary needs $library from $owner, which neither Depends nor Recommends names"
    else
      declares "$owner" "$depends" || fail "$binary needs $library from $owner, which Depends does not name"
    fi
  done
done
for needed in libsdl2-2.0-0 libpng16-16 libgif7; do
  declares "$needed" "$depends" || fail "Depends lacks $needed"
done
[[ $depends != *libav* && $depends != *libsw* ]] || fail "Depends names FFmpeg's libraries, which only --video needs: $depends"
if [ -n "$module" ]; then
  for needed in libavcodec libavformat libswscale; do
    [[ ", $recommends" == *", $needed"[0-9]* ]] || fail "Recommends lacks $needed"
  done
fi

# What a distribution asks: lintian finds nothing (no error, no warning); the license, word for
# word, in the copyright file; the changelog's newest entry is this version; the manual pages
# format without a warning; every program built with the hardening flags.
lintian --fail-on error,warning "$deb" >"$work/lintian.txt" 2>&1 ||
  fail "lintian $(lintian --version) finds fault with the package: $(grep -E '^[EW]:' "$work/lintian.txt" | head -n 5)"
echo "lintian $(lintian --version | sed 's/^Lintian v//'): $(grep -cE '^[EW]:' "$work/lintian.txt" || true) errors and warnings"
doc=$work/root/usr/share/doc/tracker-screen
diff <(sed -n '/^Permission is hereby granted/,$p' "$here/../../LICENSE") \
     <(sed -n '/^ Permission is hereby granted/,$p' "$doc/copyright" | sed 's/^ //; s/^\.$//') >&2 ||
  fail "the copyright file's license is not the LICENSE file's"
grep -q "^Format: .*copyright-format/1.0/" "$doc/copyright" || fail "the copyright file is not in the machine-readable format"
[ "$(zcat "$doc/changelog.Debian.gz" | head -n 1 | sed 's/^tracker-screen (\([^)]*\)).*/\1/')" = "$deb_version" ] ||
  fail "the changelog's newest entry is not $deb_version: $(zcat "$doc/changelog.Debian.gz" | head -n 1)"
for page in man1/tracker-render.1.gz man6/tracker-screen.6.gz; do
  text=$work/$(basename "$page" .gz).txt
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$work/root/usr/share/man/$page" 2>&1 >"$text") ||
    fail "man cannot format $page"
  [ -z "$warnings" ] || fail "$page formats with warnings: $warnings"
  grep -q "$version" "$text" || fail "$page does not name version $version"
done
# Every option tracker-render's help lists is in its manual page.
for option in $("$render" --help | grep -oE '^  (-h, )?--[a-z]+' | sed 's/.*--/--/'); do
  grep -q -- "$option" "$work/tracker-render.1.txt" || fail "the manual page of tracker-render does not describe $option"
done
# Stack protection, fortified calls, full RELRO and PIE, as hardening-check sees them. Its
# control-flow line needs the start files' marks too, which Debian 12's C library lacks, so that
# line is read from the code instead: branch targets marked throughout, not only in the start
# files (a handful). Its stack-clash line says "unknown" where no frame is large enough to probe.
# The module, a few functions, has fewer marks to find.
for binary in usr/bin/tracker-screen usr/bin/tracker-render $module; do
  hardening-check --quiet --nocfprotection "$work/root/$binary" >"$work/hardening.txt" 2>&1 ||
    fail "$binary is not hardened: $(cat "$work/hardening.txt")"
  case "$arch" in
    amd64) marks=$(objdump -d "$work/root/$binary" | grep -c endbr64 || true) ;;
    arm64) marks=$(aarch64-linux-gnu-objdump -d "$work/root/$binary" | grep -cE 'paciasp|bti' || true) ;;
    *) marks=100 ;;
  esac
  least=20
  [ "$binary" != "$module" ] || least=10
  [ "$marks" -ge "$least" ] || fail "$binary's branch targets are not marked for control-flow protection ($marks marks)"
done

# The menu entry is valid and names the installed program and icon.
desktop=$work/root/usr/share/applications/tracker-screen.desktop
desktop-file-validate "$desktop" || fail "the .desktop entry does not validate"
grep -qx "Exec=tracker-screen" "$desktop" || fail "the menu entry does not start tracker-screen"
grep -qx "Icon=tracker-screen" "$desktop" || fail "the menu entry's icon is not tracker-screen"
for size in 16 32 48 64 128 256; do
  [ "$(identify -format '%wx%h' "$work/root/usr/share/icons/hicolor/${size}x${size}/apps/tracker-screen.png")" = "${size}x${size}" ] ||
    fail "the ${size}x${size} icon has another size"
done

# The installed renderer draws the build tree's frame, byte for byte.
installed=("${emulator[@]}" "$work/root/usr/bin/tracker-render")
[ "$("${installed[@]}" --version)" = "tracker-render $version" ] || fail "installed --version: $("${installed[@]}" --version)"
mkdir "$work/built" "$work/installed"
"$render" --out "$work/built" --raw 3.3 12.85
"${installed[@]}" --out "$work/installed" --raw 3.3 12.85
for file in frame-0000.raw frame-0001.raw frame-0000.png frame-0001.png; do
  cmp "$work/built/$file" "$work/installed/$file" || fail "$file differs between the build tree and the package"
done
echo "PASS: $(basename "$deb") ($(stat -c %s "$deb") bytes)"
