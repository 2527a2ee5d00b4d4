#!/usr/bin/env bash
# The Windows zip as a user gets it: the statically linked program with its icon and version,
# and a how-to; unpacked, the program passes the Wine end-to-end run.
# Usage: windows_zip.sh WINDOWS_BUILD_DIR TRACKER_RENDER WORKDIR E2E_DEMO E2E_WORKDIR
set -euo pipefail
build=$1 render=$2 work=$3 demo=$4 e2e_work=$5
fail() { echo "FAIL: $*" >&2; exit 1; }
rm -rf "$work" && mkdir -p "$work"

[ -f "$build/CPackConfig.cmake" ] || fail "no Windows build in $build (cmake --preset windows-x86 && cmake --build --preset windows-x86)"
cpack --config "$build/CPackConfig.cmake" -B "$work/cpack" >"$work/cpack.log" 2>&1 ||
  fail "cpack failed: $(tail -n 5 "$work/cpack.log")"
version=$("$render" --version | sed -n 's/^tracker-render //p')
name=tracker-screen-$version-windows-x86
zip=$work/cpack/$name.zip
[ -f "$zip" ] || fail "no $name.zip in $work/cpack: $(ls "$work/cpack")"

unzip -Z1 "$zip" | grep -v '/$' | sort >"$work/files"
printf '%s\n' "$name/HOW-TO-RUN.txt" "$name/tracker-screen.exe" >"$work/expected-files"
diff -u "$work/expected-files" "$work/files" >&2 || fail "the zip holds other files than expected"
unzip -q "$zip" -d "$work/unpacked"
exe=$work/unpacked/$name/tracker-screen.exe
howto=$work/unpacked/$name/HOW-TO-RUN.txt

# It runs alone: only DLLs that every Windows has, none of MinGW's runtime.
objdump -p "$exe" | awk '/DLL Name:/ {print tolower($3)}' | sort >"$work/dlls"
extra=$(grep -vxE 'ddraw\.dll|gdi32\.dll|kernel32\.dll|msvcrt\.dll|user32\.dll|winmm\.dll' "$work/dlls" || true)
[ -z "$extra" ] || fail "the program needs DLLs Windows does not have: $extra"

# The icon (types 3 and 14) and the version (type 16) resources; the icon not under the
# identifier the window class asks for (0x7F00), so the window keeps the default icon.
objdump -p "$exe" | sed -n '/Resource Directory section/,$p' >"$work/resources"
types=$(grep -E '^[0-9a-f]+   Entry: ID: ' "$work/resources" | awk '{sub(",", "", $4); print $4}' | tr '\n' ' ')
[ "$types" = "0x000003 0x00000e 0x000010 " ] || fail "resource types are '$types', expected icon, icon group, version"
! grep -q 'ID: 0x007f00' "$work/resources" || fail "an icon under IDI_APPLICATION would change the window's icon"
strings -el "$exe" >"$work/strings"
for text in "Tracker Screen" "$version" "tracker-screen.exe"; do
  grep -qxF "$text" "$work/strings" || fail "the version resource lacks '$text'"
done

grep -q "$version" "$howto" || fail "the how-to does not name the version"
[ "$(grep -c $'\r$' "$howto")" = "$(wc -l <"$howto")" ] || fail "the how-to's lines do not all end in CR LF"
grep -q "tracker-screen.exe" "$howto" || fail "the how-to does not say what to run"

bash "$demo" wine "$exe" "$render" "$e2e_work"
echo "PASS: $name.zip ($(stat -c %s "$zip") bytes) runs as unpacked"
