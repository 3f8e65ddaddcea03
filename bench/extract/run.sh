#!/usr/bin/env bash
# Extraction benchmark: varno's command-line host under Wine against unzip and 7zz (native)
# on the same archives in the same run, each next to the I/O floor of its runtime.
#   bench/extract/run.sh [RUNS]      (default 5 runs per tool and data set; reports medians)
# Data (about 2.5 GB) is made once into build/bench-data (VARNO_BENCH_DATA to put it elsewhere).
# Outputs go to a RAM disk (/dev/shm/varno-bench, VARNO_BENCH_OUT to change it), so that the
# machine's disk write-back does not swamp the differences between the extractors.
set -euo pipefail
runs=${1:-5}
work_default=/dev/shm/varno-bench
source "$(dirname "$0")/prepare.sh"

# The floor writer for both runtimes.
cc -O2 -o "$work/floor_native" bench/extract/floor_writer.c
x86_64-w64-mingw32-gcc -O2 -static -o "$work/floor_win.exe" bench/extract/floor_writer.c

# time_run LABEL command...: prints "seconds peak-KiB" of one run into $work/LABEL.times
time_run() {
  local label=$1; shift
  rm -rf "$work/out"; mkdir -p "$work/out"
  /usr/bin/time -f "%e %M" -o "$work/time.txt" "$@" >/dev/null 2>&1 || true
  cat "$work/time.txt" >> "$work/$label.times"
}

bench_set() {
  local set=$1 archive="$data/$1.zip" manifest="$data/$1.zip.manifest"
  for tool in varno unzip 7zz floor_wine floor_native; do rm -f "$work/$set-$tool.times"; done
  for ((i = 0; i < runs; i++)); do
    time_run "$set-varno" "$wine" "$root/build/win64/bin/varno.exe" -o "$(winpath "$archive")" "$(winpath "$work/out")"
    time_run "$set-unzip" unzip -o -q "$archive" -d "$work/out"
    time_run "$set-7zz" 7zz x -y -bd -o"$work/out" "$archive"
    time_run "$set-floor_wine" "$wine" "$work/floor_win.exe" "$(winpath "$manifest")" "$(winpath "$work/out")"
    time_run "$set-floor_native" "$work/floor_native" "$manifest" "$work/out"
  done
}

peak() { awk '{print $2}' | sort -n | tail -n 1; }

for set in mixed big stored; do bench_set $set; done

printf '\n%-8s %-8s %10s %10s %12s %10s\n' set tool median_s above_floor peak_MiB vs_varno
for set in mixed big stored; do
  fw=$(median < <(awk '{print $1}' "$work/$set-floor_wine.times"))
  fn=$(median < <(awk '{print $1}' "$work/$set-floor_native.times"))
  v=$(median < <(awk '{print $1}' "$work/$set-varno.times"))
  for tool in varno unzip 7zz; do
    t=$(median < <(awk '{print $1}' "$work/$set-$tool.times"))
    floor=$fn; [ $tool = varno ] && floor=$fw
    p=$(peak < "$work/$set-$tool.times")
    awk -v s=$set -v tool=$tool -v t=$t -v f=$floor -v p=$p -v v=$v \
      'BEGIN {printf "%-8s %-8s %10.2f %10.2f %12.1f %10.2f\n", s, tool, t, t - f, p / 1024, t / v}'
  done
  printf '%-8s %-8s %10.2f %10s\n%-8s %-8s %10.2f %10s\n' "$set" floor_wn "$fw" - "$set" floor_nat "$fn" -
done
echo "(median of $runs runs; above_floor = median minus the floor of the tool's runtime: Wine for varno, native for the others)"
rm -rf "$work/out"
