#!/usr/bin/env bash
# bench/list/run.sh [RUNS]: lists an archive of 100,000 entries through the command-line host
# under Wine (layout 1 and the JSON layout) side by side with `unzip -l` and `7zz l`, RUNS times
# each (default 5, interleaved), and prints median wall times, ratios and peak memory.
#   bench/list/run.sh --base [RUNS] [BASE]   also the same two layouts by the commit BASE
#                        (default: where this branch left main), built into build/bench-base
# Builds the x64 tree and runs itself inside scripts/wine-session.sh.
set -euo pipefail
runs=${1:-5}
base=""
if [ "${1:-}" = --base ]; then runs=${2:-5}; base=${3:-$(git -C "$(dirname "$0")" merge-base HEAD main)}; fi
source "$(dirname "$0")/../wine_bench.sh"
work="$root/build/bench-list"
archive="$work/entries100k.zip"
mkdir -p "$work"
if [ ! -f "$archive" ]; then
  python3 - "$archive" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    for i in range(100000):
        info = zipfile.ZipInfo("dir%03d/entry-%06d.txt" % (i // 1000, i), (2024, 1, 2, 3, 4, 6))
        info.compress_type = zipfile.ZIP_DEFLATED
        z.writestr(info, ("line %d\n" % i) * (i % 7 + 1))
PY
fi
varno="$root/tools/varno"
declare -A cmd=(
  [varno-l]="$varno --unzip --buffer=64000000 -l $archive"
  [varno-lj]="$varno --unzip --buffer=64000000 -lj $archive"
  [unzip-l]="unzip -l $archive"
  [7zz-l]="7zz l $archive"
  [wine-start]="$varno --buffer=64 -h"
)
order=(varno-l varno-lj unzip-l 7zz-l wine-start)
if [ -n "$base" ]; then
  build_base "$base"
  before="$wine $root/build/bench-base/win64/bin/varno.exe --unzip --buffer=64000000"
  cmd[before-l]="$before -l $archive"
  cmd[before-lj]="$before -lj $archive"
  order=(before-l varno-l before-lj varno-lj unzip-l 7zz-l wine-start)
fi

# Every tool must list every entry.
lines() { $1 2>/dev/null | grep -c 'entry-' || true; }
for k in "${order[@]}"; do
  [ "$k" = wine-start ] && continue
  n=$(lines "${cmd[$k]}")
  [ "$n" -eq 100000 ] || { echo "bench: $k listed $n entries, not 100000" >&2; exit 1; }
done

declare -A wall mem
for ((r = 0; r < runs; r++)); do
  for k in "${order[@]}"; do
    /usr/bin/time -o "$work/time.txt" -f '%e %M' ${cmd[$k]} >/dev/null 2>&1 || true
    out=$(tail -n 1 "$work/time.txt")
    wall[$k]+="${out% *} "
    mem[$k]+="${out#* } "
  done
done

median_of() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
echo "archive: $archive ($(stat -c %s "$archive") bytes, 100000 entries), $runs runs each"
printf '%-11s %10s %14s %12s %12s\n' command "median s" "peak RSS MiB" "vs unzip -l" "vs 7zz l"
mu=$(echo "${wall[unzip-l]}" | median_of)
m7=$(echo "${wall[7zz-l]}" | median_of)
for k in "${order[@]}"; do
  m=$(echo "${wall[$k]}" | median_of)
  rss=$(echo "${mem[$k]}" | tr ' ' '\n' | grep -v '^$' | sort -g | tail -n 1)
  awk -v k="$k" -v m="$m" -v rss="$rss" -v mu="$mu" -v m7="$m7" \
    'BEGIN {printf "%-11s %10.3f %14.1f %12.2f %12.2f\n", k, m, rss / 1024, m / mu, m / m7}'
done
echo "wine-start: the host printing its banner (Wine start-up and DLL load, no archive)"
if [ -n "$base" ]; then
  for l in l lj; do
    awk -v l=$l -v a="$(echo "${wall[varno-$l]}" | median_of)" -v b="$(echo "${wall[before-$l]}" | median_of)" \
      'BEGIN {printf "-%s: this tree %.3f s against %.3f s before, %.3f\n", l, a, b, a / b}'
  done
fi
