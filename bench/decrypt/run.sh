#!/usr/bin/env bash
# Decryption benchmark: varno's command-line host under Wine against 7-Zip's own Windows program
# under the same Wine, 7zz x (native) and unzip for the traditional cipher (which is all it
# reads) on the same encrypted archives in the same run; varno also with --verify (CRC-32, and
# the authentication codes of the AES entries).
#   bench/decrypt/run.sh [RUNS]      (default 5 runs per tool and archive; reports medians)
# Data (about 1.8 GB) is made once into build/bench-decrypt (VARNO_BENCH_DATA to put it
# elsewhere); outputs go to a RAM disk (/dev/shm/varno-decrypt, or VARNO_BENCH_OUT).
set -euo pipefail
source "$(dirname "$0")/../wine_bench.sh"
runs=${1:-5}
data="${VARNO_BENCH_DATA:-$root/build/bench-decrypt}"
work="${VARNO_BENCH_OUT:-/dev/shm/varno-decrypt}"
mkdir -p "$data" "$work"
bash bench/decrypt/make_data.sh "$data"
cat "$data"/*.zip > /dev/null  # every run reads the archives from the page cache

time_run() {
  local label=$1; shift
  rm -rf "$work/out"; mkdir -p "$work/out"
  /usr/bin/time -f "%e" -o "$work/time.txt" "$@" >/dev/null 2>&1 || true
  case $label in
    aes256-small-*) cmp -s "$work/out/f1999.txt" "$data/small/f1999.txt" ;;
    *) cmp -s "$work/out/part11.bin" "$data/tree/part11.bin" ;;
  esac || echo "$label: wrong output" >&2
  cat "$work/time.txt" >> "$work/$label.times"
}

sets="zc-stored zc-deflate aes128-stored aes128-deflate aes256-stored aes256-deflate aes256-small"
for set in $sets; do
  archive="$data/$set.zip"
  rm -f "$work/$set-"*.times
  for ((i = 0; i < runs; i++)); do
    time_run "$set-varno" "$wine" "$root/build/win64/bin/varno.exe" -P bench -o "$(winpath "$archive")" "$(winpath "$work/out")"
    time_run "$set-varno-verify" "$wine" "$root/build/win64/bin/varno.exe" --verify -P bench -o "$(winpath "$archive")" "$(winpath "$work/out")"
    time_run "$set-7zz_wine" "$wine" "$win7zz" x -pbench -y -bd -o"$(winpath "$work/out")" "$(winpath "$archive")"
    time_run "$set-7zz" 7zz x -pbench -y -bd -o"$work/out" "$archive"
    case $set in zc-*) time_run "$set-unzip" unzip -P bench -o -q "$archive" -d "$work/out" ;; esac
  done
done

printf '\n%-15s %-12s %9s %8s %12s\n' archive tool median_s MB/s tool/varno
for set in $sets; do
  v=$(median < "$work/$set-varno.times")
  folder=tree; [ $set = aes256-small ] && folder=small
  bytes=$(du -cb "$data/$folder"/* | tail -n 1 | cut -f 1)
  for tool in varno varno-verify 7zz_wine 7zz unzip; do
    [ -f "$work/$set-$tool.times" ] || continue
    t=$(median < "$work/$set-$tool.times")
    awk -v s=$set -v tool=$tool -v t=$t -v v=$v -v b=$bytes \
      'BEGIN {printf "%-15s %-12s %9.2f %8.0f %12.2f\n", s, tool, t, b / t / 1e6, t / v}'
  done
done
echo "(median of $runs runs; MB/s of output; tool/varno above 1 means varno is faster;"
echo " 7zz_wine is 7-Zip's Windows program under the same Wine, 7zz the native one)"
rm -rf "$work/out"
