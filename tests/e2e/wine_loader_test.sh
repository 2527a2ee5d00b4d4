#!/usr/bin/env bash
# The decision whether a Wine run can run here, made both ways with stand-in loaders (so it holds
# on any machine), and its registration: CTest must take a 32-bit run's 77 for a skip and never a
# 64-bit run's.
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

# A loader that runs, one the kernel refuses (an ELF header no kernel takes), one that is there
# but broken, and a 32-bit program that runs.
printf '#!/bin/sh\necho "wine-8.0 (stand-in)"\n' >"$work/runs"
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\377\377' >"$work/refused"
printf '#!/bin/sh\necho "wine: could not load ntdll.so: no such file" >&2\nexit 1\n' >"$work/broken"
chmod +x "$work/runs" "$work/refused" "$work/broken"
kernel="this kernel cannot run 32-bit programs (Exec format error)"

check x86 "$work/runs"
expect 0 "" "" "a 32-bit loader that runs"
check x64 "$work/runs"
expect 0 "" "" "a 64-bit loader that runs"

check x86 "$work/refused"
expect 77 "skipped: $kernel" "" "a 32-bit loader the kernel refuses"
check x64 "$work/refused"
expect 1 "" "FAIL: this kernel cannot run 64-bit programs (Exec format error)" \
  "a 64-bit loader the kernel refuses (64-bit runs never skip)"

missing="the 32-bit Wine (wine32:i386) is not installed (no $work/none)"
check x86 "$work/none" "$work/refused"
expect 77 "skipped: $kernel, and $missing" "" "no 32-bit loader, on a kernel that refuses 32-bit code"
check x86 "$work/none" "$work/runs"
expect 77 "skipped: $missing" "" "no 32-bit loader, on a kernel that runs 32-bit code"
check x86 "$work/none" "$work/none"
expect 77 "skipped: $missing" "" "no 32-bit loader and nothing 32-bit to try"
check x64 "$work/none"
expect 1 "" "FAIL: the 64-bit Wine (wine64) is not installed (no $work/none)" "no 64-bit loader"

# A loader that is installed but fails is a fault to see, not a machine to skip.
check x86 "$work/broken"
expect 1 "" "FAIL: the 32-bit Wine at $work/broken does not run (status 1): wine: could not load ntdll.so: no such file" \
  "a broken 32-bit loader"
echo "ok: the decision, both ways"

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
