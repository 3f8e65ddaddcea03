#!/usr/bin/env bash
# Sets everything up, builds both DLLs and runs every test: the Windows suite on each DLL (x64
# under Wine in a virtual X display; ARM64 under the arm64 Wine and qemu, in prefixes and servers
# of its own; each in a default, a Japanese and a display-less prefix), the native suite under
# ASan/UBSan, the checks of the DLLs' exports and imports, and a bounded run of every fuzz target.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh
scripts/build.sh --arm64

status=0
echo "== include floors"
scripts/check-includes.py || status=1

echo "== export and import checks"
scripts/check-dll.sh build/win64/bin/varno64.dll || status=1
scripts/check-dll.sh build/arm64/bin/varno64A.dll || status=1

echo "== native tests"
ctest --test-dir build/native --output-on-failure -j "$(nproc)" || status=1

# One Windows suite after the other, each with two tests at a time; the summary counts the test
# cases inside the programs and fails a run that executed none.
windows_suite() {
  local build=$1 label=$2 start=$SECONDS
  rm -f "build/$build/junit.xml"
  scripts/wine-session.sh "build/$build" ctest --test-dir "build/$build" --output-on-failure -j 2 \
    --output-junit junit.xml --test-output-size-passed 8000000 --test-output-size-failed 8000000 || status=1
  python3 scripts/test-summary.py "$label" "build/$build/junit.xml" || status=1
  echo "$label: Windows suite in $((SECONDS - start)) s"
}
echo "== Windows tests on varno64.dll (x64, Wine)"
windows_suite win64 x64
echo "== Windows tests on varno64A.dll (ARM64, Wine under qemu)"
windows_suite arm64 ARM64

echo "== fuzz targets (${VARNO_FUZZ_SECONDS:-20} s each)"
scripts/fuzz.sh "${VARNO_FUZZ_SECONDS:-20}" || status=1

if [ $status -eq 0 ]; then echo "== all tests passed"; else echo "== FAILURES"; fi
exit $status
