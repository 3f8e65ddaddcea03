# Sourced by the benchmarks over the extraction sets (bench/extract, bench/verify), with
# work_default set to the benchmark's output folder: builds the x64 DLL and the command-line
# host, runs the benchmark again inside a Wine session of the build, makes the data once into
# build/bench-data (VARNO_BENCH_DATA to put it elsewhere) and reads it into the page cache.
# Outputs go to work_default or VARNO_BENCH_OUT, normally a RAM disk: this machine's disk
# write-back would make single runs vary by seconds. build_base COMMIT builds an earlier commit
# beside the tree, for the runs that compare with it.
source "$(dirname "${BASH_SOURCE[0]}")/../wine_bench.sh"
data="${VARNO_BENCH_DATA:-$root/build/bench-data}"
work="${VARNO_BENCH_OUT:-$work_default}"
mkdir -p "$data" "$work"
python3 bench/extract/make_data.py "$data"
cat "$data"/*.zip > /dev/null  # every run reads the archives from the page cache

# The commit to compare with, built (x64, without tests) once per commit into build/bench-base.
build_base() {
  local commit dir="$root/build/bench-base"
  commit=$(git rev-parse "$1^{commit}")
  if [ "$(cat "$dir/commit" 2>/dev/null)" != "$commit" ]; then
    rm -rf "$dir"
    mkdir -p "$dir/src"
    git archive "$commit" | tar -x -C "$dir/src"
    ln -s "$root/.tools" "$dir/src/.tools"  # the libraries' sources, which setup unpacked
    cmake -S "$dir/src" -B "$dir/win64" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVARNO_TESTS=OFF \
      -DCMAKE_TOOLCHAIN_FILE="$dir/src/cmake/toolchain-mingw64.cmake" >/dev/null
    cmake --build "$dir/win64" --target varno_cli >/dev/null
    echo "$commit" > "$dir/commit"
  fi
  echo "base: $(git log -1 --format='%h %s' "$commit" | cut -c1-100)"
}
