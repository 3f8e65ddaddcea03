#!/usr/bin/env bash
# run.sh [RUNS]: the old methods' decoding speed on their samples (tests/data/legacy), beside
# 7zz t -mmt=1 on archives of 1,000 copies of each sample's entry (made once in
# build/bench/legacy-data); builds the benchmark without sanitizers in build/bench.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
runs=${1:-5}
build="$root/build/bench"
data="$build/legacy-data"
samples="$root/tests/data/legacy"

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DVARNO_SANITIZE=OFF -DVARNO_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target legacy_bench -j 2 >/dev/null
mkdir -p "$data"
# The sample's local header and data 1,000 times under names of their own, and their directory.
for a in shrink implode; do
  [ -f "$data/$a-copies.zip" ] || python3 - "$samples/$a.zip" "$data/$a-copies.zip" <<'PY'
import struct, sys
zip = open(sys.argv[1], "rb").read()
central = struct.unpack("<I", zip[-6:-2])[0]
fixed, name_size = zip[central + 4:central + 28], struct.unpack("<H", zip[central + 28:central + 30])[0]
local_size = 30 + name_size + struct.unpack("<H", zip[28:30])[0] + struct.unpack("<I", zip[18:22])[0]
body, directory = b"", b""
for i in range(1000):
    name = b"%04d.txt" % i
    directory += b"PK\x01\x02" + fixed + struct.pack("<HHHHHII", len(name), 0, 0, 0, 0, 0x20, len(body)) + name
    body += zip[:26] + struct.pack("<HH", len(name), 0) + name + zip[30 + name_size + struct.unpack("<H", zip[28:30])[0]:local_size]
open(sys.argv[2], "wb").write(body + directory + struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 1000, 1000, len(directory), len(body), 0))
PY
done
7zz t "$data/shrink-copies.zip" >/dev/null && 7zz t "$data/implode-copies.zip" >/dev/null
"$build/bench/legacy/legacy_bench" "$runs" "$samples/shrink.zip" "$data/shrink-copies.zip" \
  "$samples/reduce.zip" - "$samples/implode.zip" "$data/implode-copies.zip"
