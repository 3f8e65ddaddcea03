# Sourced by the benchmarks over the extraction sets (bench/extract, bench/verify), with
# work_default set to the benchmark's output folder: builds the x64 DLL and the command-line
# host, runs the benchmark again inside a Wine session of the build, makes the data once into
# build/bench-data (VARNO_BENCH_DATA to put it elsewhere) and reads it into the page cache.
# Outputs go to work_default or VARNO_BENCH_OUT, normally a RAM disk: this machine's disk
# write-back would make single runs vary by seconds.
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
if [ -z "${VARNO_IN_SESSION:-}" ]; then
  scripts/build.sh >/dev/null
  # Run the rest with the build's Wine servers kept running.
  exec scripts/wine-session.sh build/win64 "$0" "$@"
fi
data="${VARNO_BENCH_DATA:-$root/build/bench-data}"
work="${VARNO_BENCH_OUT:-$work_default}"
mkdir -p "$data" "$work"
python3 bench/extract/make_data.py "$data"
cat "$data"/*.zip > /dev/null  # every run reads the archives from the page cache
wine="$root/build/win64/wine-run"

# Paths for Windows programs in Windows form: Wine takes a path that begins with '/' for a
# Unix path and converts it on every call, which is no cost a Windows host would pay.
winpath() { printf 'Z:%s' "$1" | tr '/' '\\'; }

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
