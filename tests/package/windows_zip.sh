#!/usr/bin/env bash
# A Windows zip as a user gets it: the statically linked program of its width with its icon and
# version, and a how-to; unpacked, the program passes the Wine end-to-end run (which the 32-bit
# program skips, with the reason, where this machine cannot run it).
# Usage: windows_zip.sh x86|x64 WINDOWS_BUILD_DIR TRACKER_RENDER WORKDIR E2E_DEMO E2E_WORKDIR
set -euo pipefail
width=$1 build=$2 render=$3 work=$4 demo=$5 e2e_work=$6
fail() { echo "FAIL: $*" >&2; exit 1; }
rm -rf "$work" && mkdir -p "$work"

[ -f "$build/CPackConfig.cmake" ] || fail "no Windows build in $build (cmake --preset windows-$width && cmake --build --preset windows-$width)"
cpack --config "$build/CPackConfig.cmake" -B "$work/cpack" >"$work/cpack.log" 2>&1 ||
  fail "cpack failed: $(tail -n 5 "$work/cpack.log")"
version=$("$render" --version | sed -n 's/^tracker-render //p')
name=tracker-screen-$version-windows-$width
zip=$work/cpack/$name.zip
[ -f "$zip" ] || fail "no $name.zip in $work/cpack: $(ls "$work/cpack")"

unzip -Z1 "$zip" | grep -v '/$' | sort >"$work/files"
printf '%s\n' "$name/HOW-TO-RUN.txt" "$name/LICENSE.txt" "$name/tracker-screen.exe" >"$work/expected-files"
diff -u "$work/expected-files" "$work/files" >&2 || fail "the zip holds other files than expected"
unzip -q "$zip" -d "$work/unpacked"
exe=$work/unpacked/$name/tracker-screen.exe
howto=$work/unpacked/$name/HOW-TO-RUN.txt

# The program of the width the name promises.
case "$width" in
  x86) format=pei-i386 which="32-bit Windows; it runs on 64-bit Windows too" ;;
  x64) format=pei-x86-64 which="64-bit Windows. On 32-bit Windows take the windows-x86 zip" ;;
  *) fail "unknown width $width" ;;
esac
got=$(objdump -f "$exe" | sed -n 's/.*file format //p')
[ "$got" = "$format" ] || fail "the $width zip holds a $got program, expected $format"

# It runs alone: only DLLs that every Windows has, none of MinGW's runtime.
objdump -p "$exe" | awk '/DLL Name:/ {print tolower($3)}' | sort >"$work/dlls"
extra=$(grep -vxE 'ddraw\.dll|gdi32\.dll|kernel32\.dll|msvcrt\.dll|user32\.dll|winmm\.dll' "$work/dlls" || true)
[ -z "$extra" ] || fail "the program needs DLLs Windows does not have: $extra"

# The icon (types 3 and 14), version (type 16) and manifest (type 24) resources; the icon not
# under the identifier the window class asks for (0x7F00), so the window keeps the default icon.
objdump -p "$exe" | sed -n '/Resource Directory section/,$p' >"$work/resources"
types=$(grep -E '^[0-9a-f]+   Entry: ID: ' "$work/resources" | awk '{sub(",", "", $4); print $4}' | tr '\n' ' ')
[ "$types" = "0x000003 0x00000e 0x000010 0x000018 " ] ||
  fail "resource types are '$types', expected icon, icon group, version, manifest"
! grep -q 'ID: 0x007f00' "$work/resources" || fail "an icon under IDI_APPLICATION would change the window's icon"
strings -el "$exe" >"$work/strings"
for text in "Tracker Screen" "$version" "tracker-screen.exe"; do
  grep -qxF "$text" "$work/strings" || fail "the version resource lacks '$text'"
done

# The manifest Windows reads as it starts the program (identifier 1), read back out of the file.
wrestool -x --raw -t 24 -n 1 "$exe" >"$work/manifest.xml" 2>"$work/wrestool.log" && [ -s "$work/manifest.xml" ] ||
  fail "no manifest resource 1 in the program: $(cat "$work/wrestool.log")"
python3 - "$work/manifest.xml" "$width" <<'PY' || fail "the manifest is not what Windows should be told (above)"
import sys, xml.etree.ElementTree as tree
v1, v3 = "{urn:schemas-microsoft-com:asm.v1}", "{urn:schemas-microsoft-com:asm.v3}"
compat = "{urn:schemas-microsoft-com:compatibility.v1}"
root = tree.parse(sys.argv[1]).getroot()
faults = []
def text(path):
    found = root.find(path)
    return None if found is None else (found.text or "").strip()
arch = {"x86": "x86", "x64": "amd64"}[sys.argv[2]]
identity = root.find(v1 + "assemblyIdentity")
if identity is None or identity.get("processorArchitecture") != arch:
    faults.append(f"assemblyIdentity is not for {arch}")
level = root.find(f"{v3}trustInfo/{v3}security/{v3}requestedPrivileges/{v3}requestedExecutionLevel")
if level is None or level.get("level") != "asInvoker" or level.get("uiAccess") != "false":
    faults.append("the execution level is not asInvoker without UI access")
systems = {os.get("Id").lower() for os in root.iterfind(f"{compat}compatibility/{compat}application/{compat}supportedOS")}
wanted = {"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "7", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "8",
          "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "8.1", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "10 and 11"}
for guid, name in wanted.items():
    if guid not in systems:
        faults.append(f"Windows {name} is not among the supported systems")
settings = f"{v3}application/{v3}windowsSettings/"
if (text(settings + "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}dpiAware") or "").lower() != "true/pm":
    faults.append("no per-monitor dpiAware (true/pm) for Windows 8.1 to 10 1607")
awareness = text(settings + "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}dpiAwareness") or ""
if [a.strip() for a in awareness.split(",")] != ["PerMonitorV2", "PerMonitor"]:
    faults.append(f"dpiAwareness is '{awareness}', not PerMonitorV2 falling back to PerMonitor")
# The message box draws well enough with the system's first common controls: no dependency.
if root.find(f"{v1}dependency") is not None:
    faults.append("a dependency the program does not need")
for fault in faults:
    print("manifest:", fault, file=sys.stderr)
sys.exit(1 if faults else 0)
PY
cmp <(sed 's/$/\r/' "$(dirname "$0")/../../LICENSE") "$work/unpacked/$name/LICENSE.txt" ||
  fail "LICENSE.txt is not the LICENSE file with CR LF line ends"

grep -q "$version" "$howto" || fail "the how-to does not name the version"
[ "$(grep -c $'\r$' "$howto")" = "$(wc -l <"$howto")" ] || fail "the how-to's lines do not all end in CR LF"
grep -q "tracker-screen.exe" "$howto" || fail "the how-to does not say what to run"
grep -qF "This is the program for $which." "$howto" || fail "the how-to does not say which Windows it is for"

status=0
bash "$demo" "wine-$width" "$exe" "$render" "$e2e_work" || status=$?
# A run that could not run here: the zip's own checks above passed, the run is skipped.
[ "$status" = 0 ] || exit "$status"
echo "PASS: $name.zip ($(stat -c %s "$zip") bytes) runs as unpacked"
