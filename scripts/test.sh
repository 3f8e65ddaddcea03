#!/usr/bin/env bash
# Sets everything up, builds both DLLs and runs every test: the Windows suite under Wine (in a
# virtual X display, default and Japanese prefixes), the native suite under ASan/UBSan, the
# checks of the DLLs' exports and imports, and a bounded run of every fuzz target.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh
scripts/build.sh --arm64

status=0
echo "== export and import checks"
scripts/check-dll.sh build/win64/bin/varno64.dll || status=1
scripts/check-dll.sh build/arm64/bin/varno64A.dll || status=1

echo "== native tests"
ctest --test-dir build/native --output-on-failure -j "$(nproc)" || status=1

echo "== Windows tests under Wine"
scripts/wine-session.sh build/win64 ctest --test-dir build/win64 --output-on-failure -j "$(nproc)" || status=1

echo "== fuzz targets (${VARNO_FUZZ_SECONDS:-20} s each)"
scripts/fuzz.sh "${VARNO_FUZZ_SECONDS:-20}" || status=1

if [ $status -eq 0 ]; then echo "== all tests passed"; else echo "== FAILURES"; fi
exit $status
