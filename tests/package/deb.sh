#!/usr/bin/env bash
# The .deb as a user gets it: what it installs, what it declares it needs, and that the
# installed renderer draws the same frame as the build tree's.
# Usage: deb.sh BUILD_DIR TRACKER_RENDER WORKDIR [ARCH [EMULATOR...]]
# ARCH is the package's Debian architecture (this machine's by default); a cross build's
# installed programs run under EMULATOR.
set -euo pipefail
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
[ "$(basename "$deb")" = "tracker-screen_${version}_${arch}.deb" ] ||
  fail "unexpected file name $(basename "$deb")"

# Exactly these files, the programs executable, nothing of the tests or the benchmarks.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $1, $6}' | sort >"$work/files"
{
  echo "-rw-r--r-- ./usr/share/applications/tracker-screen.desktop"
  echo "-rw-r--r-- ./usr/share/doc/tracker-screen/README.md"
  for size in 16 32 48 64 128 256; do
    echo "-rw-r--r-- ./usr/share/icons/hicolor/${size}x${size}/apps/tracker-screen.png"
  done
  echo "-rwxr-xr-x ./usr/bin/tracker-render"
  echo "-rwxr-xr-x ./usr/bin/tracker-screen"
} | sort >"$work/expected-files"
diff -u "$work/expected-files" "$work/files" >&2 || fail "the package holds other files than expected"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = tracker-screen ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version $(field Version), tracker-render says $version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture), expected $arch"
depends=$(field Depends)
echo "Depends: $depends"

dpkg -x "$deb" "$work/root"
# Every library the installed programs load comes from a package of the package's
# architecture that the .deb declares.
declares() { [[ ", $depends," == *", $1 "* || ", $depends," == *", $1,"* ]]; }
multiarch=$(dpkg-architecture -a "$arch" -qDEB_HOST_MULTIARCH 2>/dev/null) ||
  fail "dpkg-architecture knows no architecture $arch"
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
for program in tracker-screen tracker-render; do
  machine=$(file -b "$work/root/usr/bin/$program")
  case "$arch" in
    amd64) [[ $machine == *x86-64* ]] ;;
    arm64) [[ $machine == *aarch64* ]] ;;
    *) true ;;
  esac || fail "$program is not a program for $arch: $machine"
  for library in $(objdump -p "$work/root/usr/bin/$program" | awk '$1 == "NEEDED" {print $2}'); do
    owner=$(owner_of "$library")
    [ -n "$owner" ] || fail "$program needs $library, which no $arch package installed here holds"
    [ "${owner#*:}" = "$owner" ] || [ "${owner#*:}" = "$arch" ] ||
      fail "$program needs $library, found only in $owner"
    owner=${owner%%:*}
    declares "$owner" || fail "$program needs $library from $owner, which Depends does not name"
  done
done
for needed in libsdl2-2.0-0 libpng16-16 libgif7; do
  declares "$needed" || fail "Depends lacks $needed"
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
