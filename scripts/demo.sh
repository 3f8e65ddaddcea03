#!/usr/bin/env bash
# Sets everything up, builds the x64 DLL and the command-line host, makes a sample archive and
# extracts it with the host under Wine into build/demo/out.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh
scripts/build.sh
demo="$root/build/demo"
rm -rf "$demo"
mkdir -p "$demo"
python3 - "$demo/sample.zip" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("readme.txt", "varno extracted this file.\n")
    z.writestr("docs/", "")
    z.writestr("docs/numbers.txt", "".join(f"{i}\n" for i in range(10000)))
    z.writestr(zipfile.ZipInfo("data/stored.bin"), bytes(range(256)) * 64)
PY
cd "$demo"
echo "\$ tools/varno -o sample.zip out"
set +e
"$root/tools/varno" -o sample.zip out
code=$?
set -e
echo "result code: $code"
echo "extracted files:"
find out -type f 2>/dev/null | sort | sed 's/^/  /'
exit $code
