#!/usr/bin/env bash
# The decision which Wine a run uses, or whether it can run here, made every way with stand-in
# loaders and probes (so it holds on any machine), what a run makes of it, and its registration:
# CTest must take a 32-bit run's 77 for a skip and never a 64-bit run's.
# Usage: wine_loader_test.sh WORKDIR BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$1 build=$2
rm -rf "$work" && mkdir -p "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

# Runs the check; sets STATUS, OUT (standard output) and ERR (standard error).
check() {
  STATUS=0
  bash "$here/wine_loader.sh" "$@" >"$work/out" 2>"$work/err" || STATUS=$?
  OUT=$(cat "$work/out") ERR=$(cat "$work/err")
}
expect() {
  local status=$1 out=$2 err=$3 what=$4
  [ "$STATUS" = "$status" ] && [ "$OUT" = "$out" ] && [ "$ERR" = "$err" ] ||
    fail "$what: status $STATUS, stdout '$OUT', stderr '$ERR'; expected $status, '$out', '$err'"
}

# A loader (or probe) that runs, one the kernel refuses (an ELF header no kernel takes), and one
# that is there but broken.
printf '#!/bin/sh\necho "wine-8.0 (stand-in)"\n' >"$work/runs"
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\377\377' >"$work/refused"
printf '#!/bin/sh\necho "wine: could not load ntdll.so: no such file" >&2\nexit 1\n' >"$work/broken"
chmod +x "$work/runs" "$work/refused" "$work/broken"
kernel="this kernel cannot run 32-bit programs (Exec format error)"

check x86 "$work/runs"
expect 0 "wine-8.0 (stand-in)" "" "a 32-bit loader that runs: the machine's own"
check x64 "$work/runs"
expect 0 "wine-8.0 (stand-in)" "" "a 64-bit loader that runs: the machine's own"

# Only a kernel that runs no 32-bit code skips, however the loader is missing.
check x86 "$work/refused"
expect 77 "skipped: $kernel" "" "a 32-bit loader the kernel refuses"
check x86 "$work/none" "$work/refused"
expect 77 "skipped: $kernel" "" "no 32-bit loader, on a kernel that refuses 32-bit code"
check x64 "$work/refused"
expect 1 "" "FAIL: this kernel cannot run 64-bit programs (Exec format error)" \
  "a 64-bit loader the kernel refuses (64-bit runs never skip)"

# A 32-bit loader missing or broken on a kernel that runs 32-bit code: Debian 13's Wine, with why.
check x86 "$work/none" "$work/runs"
expect 3 "the machine's 32-bit Wine (wine32:i386) is not installed (no $work/none)" "" \
  "no 32-bit loader, on a kernel that runs 32-bit code"
check x86 "$work/broken" "$work/runs"
expect 3 "the machine's 32-bit Wine at $work/broken does not run (status 1): wine: could not load ntdll.so: no such file" "" \
  "a broken 32-bit loader"
# A probe that fails otherwise tells nothing: a fault to see, not a machine to skip.
check x86 "$work/none" "$work/broken"
expect 1 "" "FAIL: cannot tell whether this kernel runs 32-bit programs: the probe ended with status 1: wine: could not load ntdll.so: no such file" \
  "a 32-bit probe that fails"
check x64 "$work/none"
expect 1 "" "FAIL: the machine's 64-bit Wine (wine64) is not installed (no $work/none)" "no 64-bit loader"
check x64 "$work/broken"
expect 1 "" "FAIL: the machine's 64-bit Wine at $work/broken does not run (status 1): wine: could not load ntdll.so: no such file" \
  "a broken 64-bit loader"

# The built-in probe is a 32-bit program that exits with 0: under the emulator where there is
# one, and here, where its verdict is the one the decision takes.
bash "$here/wine_loader.sh" --probe32 "$work/probe" || fail "cannot write the probe"
if command -v qemu-i386 >/dev/null; then
  qemu-i386 "$work/probe" || fail "the 32-bit probe ends with status $? under qemu-i386"
fi
check x86 "$work/none"
if "$work/probe" 2>/dev/null; then
  expect 3 "the machine's 32-bit Wine (wine32:i386) is not installed (no $work/none)" "" "the built-in probe, which runs here"
else
  expect 77 "skipped: $kernel" "" "the built-in probe, which this kernel refuses"
fi
echo "ok: the decision, each way"

# What a run makes of the decision (lib.sh's use_kind): the line saying which Wine, and a root
# that cannot be made failing with the step that failed, never skipping. Each in a run of its own.
cat >"$work/run.sh" <<'RUN'
WORK=$1
source "$2/lib.sh"
use_kind "$3"
echo "WINE=${WINE[*]}"
RUN
# Usage: run KIND [env's arguments...]
run() {
  local kind=$1
  shift
  STATUS=0
  env "$@" bash "$work/run.sh" "$work/run" "$here" "$kind" >"$work/out" 2>"$work/err" || STATUS=$?
  OUT=$(cat "$work/out") ERR=$(cat "$work/err")
}
run wine-x64 TRACKER_WINE_X64="$work/runs"
expect 0 $'wine: the machine\'s own, wine-8.0 (stand-in), at '"$work/runs"$'\nWINE='"$work/runs" "" "the machine's own 64-bit Wine"
run wine-x86 TRACKER_WINE_X86="$work/refused"
expect 77 "skipped: $kernel" "" "a run on a kernel that refuses 32-bit code"
run wine-x86 -u E2E_DEBIAN_CACHE TRACKER_WINE_X86="$work/none" TRACKER_WINE_PROBE32="$work/runs"
if [ "$(id -u)" != 0 ]; then
  expect 1 "" "FAIL: the Debian 13 root for the x86 Wine cannot be made: making a Debian root needs root (chroot, mount)" \
    "the 32-bit Wine's root without root"
else
  expect 1 "" "FAIL: E2E_DEBIAN_CACHE names no folder for the cached Debian images" "the 32-bit Wine's root with no cache"
  # debootstrap failing, in a cache an interrupted run left a half-made image in: nothing is
  # taken for an image, and nothing new stays behind but the log.
  mkdir -p "$work/bin" "$work/cache/.trixie.interrupted/etc"
  printf '#!/bin/sh\necho "E: stand-in: no mirror answers" >&2\nexit 1\n' >"$work/bin/debootstrap"
  chmod +x "$work/bin/debootstrap"
  run wine-x86 PATH="$work/bin:$PATH" E2E_DEBIAN_CACHE="$work/cache" TRACKER_WINE_X86="$work/none" TRACKER_WINE_PROBE32="$work/runs"
  expect 1 "making the trixie image with debootstrap (once; kept in $work/cache)" \
    "debootstrap of trixie failed: E: stand-in: no mirror answers "$'\n'"FAIL: making the trixie-wine-x86 image (Debian 13 with wine32:i386 libgl1:i386 libglx-mesa0:i386 libgl1-mesa-dri:i386) failed (above; logs in $work/cache)" \
    "the 32-bit Wine's root when debootstrap fails"
  left=$(cd "$work/cache" && ls -A | tr '\n' ' ')
  [ "$left" = ".trixie.interrupted trixie.log " ] || fail "the failed image left '$left' in the cache"
fi
echo "ok: what a run makes of it"

# The registration: what CTest does with each Wine run's 77.
ctest --test-dir "$build" --show-only=json-v1 >"$work/tests.json" || fail "ctest cannot list the tests of $build"
python3 - "$work/tests.json" <<'EOF' || fail "the Wine runs are registered wrongly (above)"
import json, sys
tests = json.load(open(sys.argv[1]))["tests"]
def skip_code(test):
    return next((p["value"] for p in test.get("properties", []) if p["name"] == "SKIP_RETURN_CODE"), None)
codes = {t["name"]: skip_code(t) for t in tests if "wine" in t["name"] or "windows" in t["name"]}
x86 = [n for n in codes if "x86" in n]
x64 = [n for n in codes if "x64" in n]
problems = [f"{n}: skips on {codes[n]}, not 77" for n in x86 if codes[n] != 77]
problems += [f"{n}: skips on {codes[n]}" for n in x64 if codes[n] is not None]
problems += [f"{n}: no 64-bit twin" for n in x86 if n.replace("x86", "x64") not in codes]
problems += ["no 32-bit Wine runs registered"] if not x86 else []
if problems:
    sys.exit("\n".join(problems))
print(f"PASS: the {len(x86)} 32-bit Wine runs skip on 77, their {len(x64)} 64-bit twins never")
EOF
