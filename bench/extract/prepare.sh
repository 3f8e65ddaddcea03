# Sourced by the benchmarks over the extraction sets (bench/extract, bench/verify), with
# work_default set to the benchmark's output folder: builds the x64 DLL and the command-line
# host, runs the benchmark again inside a Wine session of the build, makes the data once into
# build/bench-data (VARNO_BENCH_DATA to put it elsewhere) and reads it into the page cache.
# Outputs go to work_default or VARNO_BENCH_OUT, normally a RAM disk: this machine's disk
# write-back would make single runs vary by seconds.
source "$(dirname "${BASH_SOURCE[0]}")/../wine_bench.sh"
data="${VARNO_BENCH_DATA:-$root/build/bench-data}"
work="${VARNO_BENCH_OUT:-$work_default}"
mkdir -p "$data" "$work"
python3 bench/extract/make_data.py "$data"
cat "$data"/*.zip > /dev/null  # every run reads the archives from the page cache
