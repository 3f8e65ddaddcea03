#!/usr/bin/env bash
# run.sh [RUNS]: builds the benchmark without sanitizers in build/bench, makes its data and the
# archives once (in build/bench/deflate64-data), and prints the speed table (RUNS runs, default 5).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
runs=${1:-5}
build="$root/build/bench"
data="$build/deflate64-data"

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DVARNO_SANITIZE=OFF -DVARNO_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target deflate64_bench -j 2 >/dev/null

names=(text binary mix)
if [ ! -f "$data/mix.bin" ]; then
  echo "making data in $data" >&2
  python3 "$root/bench/deflate64/make_data.py" "$data"
fi
for n in "${names[@]}"; do
  # The same encoder (7zz, its default level) for both formats.
  [ -f "$data/$n.d64.zip" ] || (cd "$data" && 7zz a -tzip -mm=Deflate64 -mx=5 "$n.d64.zip" "$n.bin" >/dev/null)
  [ -f "$data/$n.def.zip" ] || (cd "$data" && 7zz a -tzip -mm=Deflate -mx=5 "$n.def.zip" "$n.bin" >/dev/null)
done
"$build/bench/deflate64/deflate64_bench" --runs "$runs" "$data" "${names[@]}"
