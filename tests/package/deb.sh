#!/usr/bin/env bash
# The .deb as a user gets it: what it installs, what it declares it needs, and that the
# installed renderer draws the same frame as the build tree's.
# Usage: deb.sh BUILD_DIR TRACKER_RENDER WORKDIR
set -euo pipefail
build=$1 render=$2 work=$3
fail() { echo "FAIL: $*" >&2; exit 1; }
rm -rf "$work" && mkdir -p "$work"

cpack --config "$build/CPackConfig.cmake" -B "$work/cpack" >"$work/cpack.log" 2>&1 ||
  fail "cpack failed: $(tail -n 5 "$work/cpack.log")"
debs=("$work"/cpack/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one .deb, found: ${debs[*]}"
deb=${debs[0]}
version=$("$render" --version | sed -n 's/^tracker-render //p')
[ "$(basename "$deb")" = "tracker-screen_${version}_$(dpkg --print-architecture).deb" ] ||
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
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture: $(field Architecture)"
depends=$(field Depends)
echo "Depends: $depends"

dpkg -x "$deb" "$work/root"
# Every library the installed programs load comes from a package the .deb declares.
declares() { [[ ", $depends," == *", $1 "* || ", $depends," == *", $1,"* ]]; }
ldconfig -p >"$work/libraries"
for program in tracker-screen tracker-render; do
  for library in $(objdump -p "$work/root/usr/bin/$program" | awk '$1 == "NEEDED" {print $2}'); do
    path=$(awk -v lib="$library" '$1 == lib && /x86-64/ {print $NF}' "$work/libraries" | head -n 1)
    [ -n "$path" ] || fail "$program needs $library, which is not installed here"
    owner=$(dpkg -S "$path" 2>/dev/null || dpkg -S "$(readlink -f "$path")" 2>/dev/null) ||
      fail "no package owns $path"
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
installed=$work/root/usr/bin/tracker-render
[ "$("$installed" --version)" = "tracker-render $version" ] || fail "installed --version: $("$installed" --version)"
mkdir "$work/built" "$work/installed"
"$render" --out "$work/built" --raw 3.3 12.85
"$installed" --out "$work/installed" --raw 3.3 12.85
for file in frame-0000.raw frame-0001.raw frame-0000.png frame-0001.png; do
  cmp "$work/built/$file" "$work/installed/$file" || fail "$file differs between the build tree and the package"
done
echo "PASS: $(basename "$deb") ($(stat -c %s "$deb") bytes)"
