#!/usr/bin/env bash
# Method benchmark: extraction of bzip2, LZMA, XZ, Zstandard and PPMd archives by varno's
# command-line host under Wine against 7-Zip's own Windows program under the same Wine, 7zz x
# (native, its default threads and one thread) and, for bzip2, unzip, on the same archives in the
# same run: one 64 MiB entry and a set of 2,000 small ones, each also stored, whose extraction by
# the same tool is the floor that the decoding adds to.
#   bench/methods/run.sh [RUNS]      (default 5 runs per tool and archive; reports medians)
#   bench/methods/run.sh --scaling [RUNS]   the 64 MiB bzip2 entry alone by 1 to all processors'
#                        threads: varno (the library linked into varno_linked.exe, the other
#                        processors counted busy), 7-Zip's Windows program and 7zz (-mmt=N);
#                        wall time and peak memory
# Trees and archives (7zz for stored, bzip2, LZMA, XZ and PPMd at its default levels; the zstd
# tool at its default level through tests/data/zip_from_streams.py) are made once into
# build/bench-methods (VARNO_BENCH_DATA to put them elsewhere); outputs go to a RAM disk
# (/dev/shm/varno-methods, or VARNO_BENCH_OUT). Every output tree is compared with its source.
set -euo pipefail
source "$(dirname "$0")/../wine_bench.sh"
scaling=0
runs=${1:-5}
if [ "${1:-}" = --scaling ]; then scaling=1; runs=${2:-5}; fi
data="${VARNO_BENCH_DATA:-$root/build/bench-methods}"
work="${VARNO_BENCH_OUT:-/dev/shm/varno-methods}"
mkdir -p "$data" "$work"
python3 bench/methods/make_data.py "$data"
methods="stored bzip2 lzma xz zstd ppmd"
for set in big small; do
  for m in $methods; do
    archive="$data/$set-$m.zip"
    [ -f "$archive" ] && continue
    case $m in
      stored) (cd "$data/$set" && 7zz a -tzip -mx0 "$archive.tmp" . >/dev/null) ;;
      bzip2) (cd "$data/$set" && 7zz a -tzip -mm=BZip2 "$archive.tmp" . >/dev/null) ;;
      lzma) (cd "$data/$set" && 7zz a -tzip -mm=LZMA "$archive.tmp" . >/dev/null) ;;
      xz) (cd "$data/$set" && 7zz a -tzip -mm=XZ "$archive.tmp" . >/dev/null) ;;
      zstd) (cd "$data/$set" && python3 "$root/tests/data/zip_from_streams.py" "$archive.tmp" 93 zstd -q -c) ;;
      ppmd) (cd "$data/$set" && 7zz a -tzip -mm=PPMd "$archive.tmp" . >/dev/null) ;;
    esac
    mv "$archive.tmp" "$archive"
  done
done
cat "$data"/*.zip > /dev/null  # every run reads the archives from the page cache

# time_run LABEL SET command...: appends "wall user system peak-KiB" of one run to $work/LABEL.times.
time_run() {
  local label=$1 set=$2; shift 2
  rm -rf "$work/out"; mkdir -p "$work/out"
  /usr/bin/time -f "%e %U %S %M" -o "$work/time.txt" "$@" >/dev/null 2>&1 || true
  diff -rq "$work/out" "$data/$set" >/dev/null || echo "$label: wrong output" >&2
  cat "$work/time.txt" >> "$work/$label.times"
}

# The median wall time and the median processor time (user and system) of a label's runs, and
# their largest peak resident size in MiB.
wall() { cut -d ' ' -f 1 "$work/$1.times" | median; }
cpu() { awk '{print $2 + $3}' "$work/$1.times" | median; }
peak() { awk '{print $4}' "$work/$1.times" | sort -n | tail -n 1 | awk '{printf "%.1f", $1 / 1024}'; }

if [ $scaling = 1 ]; then
  archive="$data/big-bzip2.zip"
  a=$(winpath "$archive"); o=$(winpath "$work/out")
  processors=$(nproc)
  rm -f "$work"/scale-*.times
  for ((i = 0; i < runs; i++)); do
    for ((t = 1; t <= processors; t++)); do
      time_run "scale-varno-$t" big "$wine" "$root/build/win64/bin/varno_linked.exe" fast "-o $a $o" $t
      time_run "scale-7zz_wine-$t" big "$wine" "$win7zz" x -mmt=$t -y -bd -o"$o" "$a"
      time_run "scale-7zz-$t" big 7zz x -mmt=$t -y -bd -o"$work/out" "$archive"
    done
  done
  printf '\n%-9s %8s %9s %8s %12s %10s\n' tool threads median_s MB/s vs_1_thread peak_MiB
  bytes=$(du -cb "$data/big" | tail -n 1 | cut -f 1)
  for tool in varno 7zz_wine 7zz; do
    one=$(wall "scale-$tool-1")
    for ((t = 1; t <= processors; t++)); do
      awk -v tool=$tool -v n=$t -v s="$(wall "scale-$tool-$t")" -v one=$one -v b=$bytes -v p="$(peak "scale-$tool-$t")" \
        'BEGIN {printf "%-9s %8d %9.2f %8.1f %12.2f %10s\n", tool, n, s, b / s / 1e6, one / s, p}'
    done
  done
  echo "(median of $runs runs of the 64 MiB bzip2 entry; vs_1_thread: the same tool's one-thread time over this one's;"
  echo " peak_MiB: the largest resident size of the measured process, for the Windows programs Wine's loader process)"
  rm -rf "$work/out"
  exit 0
fi

for set in big small; do
  for m in $methods; do
    archive="$data/$set-$m.zip"
    rm -f "$work/$set-$m-"*.times
    for ((i = 0; i < runs; i++)); do
      time_run "$set-$m-varno" $set "$wine" "$root/build/win64/bin/varno.exe" -o "$(winpath "$archive")" "$(winpath "$work/out")"
      time_run "$set-$m-7zz_wine" $set "$wine" "$win7zz" x -y -bd -o"$(winpath "$work/out")" "$(winpath "$archive")"
      time_run "$set-$m-7zz" $set 7zz x -y -bd -o"$work/out" "$archive"
      time_run "$set-$m-7zz_mt1" $set 7zz x -mmt=1 -y -bd -o"$work/out" "$archive"
      case $m in stored | bzip2) time_run "$set-$m-unzip" $set unzip -o -q "$archive" -d "$work/out" ;; esac
    done
  done
done

printf '\n%-6s %-6s %-8s %9s %9s %8s %11s %8s %10s %12s\n' set method tool median_s decode_s MB/s tool/varno cpu_s cpu/varno \
  compressed_MB
for set in big small; do
  bytes=$(du -cb "$data/$set" | tail -n 1 | cut -f 1)
  for m in $methods; do
    v=$(wall $set-$m-varno)
    vc=$(cpu $set-$m-varno)
    packed=$(stat -c %s "$data/$set-$m.zip")
    for tool in varno 7zz_wine 7zz 7zz_mt1 unzip; do
      [ -f "$work/$set-$m-$tool.times" ] || continue
      t=$(wall $set-$m-$tool)
      c=$(cpu $set-$m-$tool)
      floor=$(wall $set-stored-$tool)
      awk -v s=$set -v m=$m -v tool=$tool -v t=$t -v f=$floor -v v=$v -v c=$c -v vc=$vc -v b=$bytes -v p=$packed \
        'BEGIN {printf "%-6s %-6s %-8s %9.2f %9.2f %8.1f %11.2f %8.2f %10.2f %12.1f\n", s, m, tool, t, t - f, b / t / 1e6, t / v,
                c, c / vc, p / 1e6}'
    done
  done
done
echo "(median of $runs runs; decode_s: the median minus the same tool's on the stored archive; MB/s of output;"
echo " tool/varno above 1 means varno is faster; cpu_s: the median of the processor time, user and system,"
echo " of the tool's process and its children (under Wine not the wineserver's); 7zz_wine is 7-Zip's Windows"
echo " program under the same Wine, 7zz and 7zz_mt1 (-mmt=1) the native one)"
rm -rf "$work/out"
