#!/usr/bin/env bash
# Extraction benchmark: varno's command-line host under Wine against unzip and 7zz (native)
# on the same archives in the same run, each next to the I/O floor of its runtime; varno also
# with its progress window forbidden (--i), which shows what the window costs.
#   bench/extract/run.sh [RUNS]      (default 5 runs per tool and data set; reports medians)
#   bench/extract/run.sh --scaling [RUNS]   varno alone on the mixed set, by worker count: the
#                        DLL with -R0 and -R8, and the library linked into varno_linked.exe with
#                        the storage answer forced (rotating: at most 2 workers; fast: 2, 4, 8)
# Data (about 2.5 GB) is made once into build/bench-data (VARNO_BENCH_DATA to put it elsewhere).
# Outputs go to a RAM disk (/dev/shm/varno-bench, VARNO_BENCH_OUT to change it), so that the
# machine's disk write-back does not swamp the differences between the extractors.
set -euo pipefail
scaling=0
runs=${1:-5}
if [ "${1:-}" = --scaling ]; then scaling=1; runs=${2:-5}; fi
work_default=/dev/shm/varno-bench
source "$(dirname "$0")/prepare.sh"

# The floor writer for both runtimes.
cc -O2 -o "$work/floor_native" bench/extract/floor_writer.c
x86_64-w64-mingw32-gcc -O2 -static -o "$work/floor_win.exe" bench/extract/floor_writer.c
x86_64-w64-mingw32-gcc -O2 -o "$work/window_floor.exe" bench/window_floor.c -lole32 -luuid

# time_run LABEL command...: prints "seconds peak-KiB" of one run into $work/LABEL.times
time_run() {
  local label=$1; shift
  rm -rf "$work/out"; mkdir -p "$work/out"
  /usr/bin/time -f "%e %M" -o "$work/time.txt" "$@" >/dev/null 2>&1 || true
  cat "$work/time.txt" >> "$work/$label.times"
}

bench_set() {
  local set=$1 archive="$data/$1.zip" manifest="$data/$1.zip.manifest"
  for tool in varno varno--i unzip 7zz floor_wine floor_native; do rm -f "$work/$set-$tool.times"; done
  for ((i = 0; i < runs; i++)); do
    # With the progress window allowed (-i, the default) and forbidden, in turns first.
    for opt in $( ((i % 2)) && echo "--i -i" || echo "-i --i"); do
      label=varno; [ $opt = --i ] && label=varno--i
      time_run "$set-$label" "$wine" "$root/build/win64/bin/varno.exe" -o $opt "$(winpath "$archive")" "$(winpath "$work/out")"
    done
    time_run "$set-unzip" unzip -o -q "$archive" -d "$work/out"
    time_run "$set-7zz" 7zz x -y -bd -o"$work/out" "$archive"
    time_run "$set-floor_wine" "$wine" "$work/floor_win.exe" "$(winpath "$manifest")" "$(winpath "$work/out")"
    time_run "$set-floor_native" "$work/floor_native" "$manifest" "$work/out"
  done
}

peak() { awk '{print $2}' | sort -n | tail -n 1; }

# scale_command LABEL [--q]: sets cmd to the extraction of the mixed set in that configuration.
cli="$root/build/win64/bin/varno.exe"
linked="$root/build/win64/bin/varno_linked.exe"
scale_command() {
  local a o q=${2:-}
  a=$(winpath "$data/mixed.zip"); o=$(winpath "$work/out")
  case $1 in
    R0 | R8) cmd=("$wine" "$cli" $q "-$1" -o "$a" "$o") ;;
    rotating-R8) cmd=("$wine" "$linked" rotating "$q -R8 -o $a $o") ;;
    fast-R*) cmd=("$wine" "$linked" fast "$q -${1#fast-} -o $a $o") ;;
  esac
}

bench_scaling() {
  local labels="R0 R8 rotating-R8 fast-R2 fast-R4 fast-R8" l w
  for l in $labels floor; do rm -f "$work/scale-$l.times"; done
  # Each configuration once with the thread diagnostics on: its line tells the worker count.
  for l in $labels; do
    scale_command $l --q
    rm -rf "$work/out"; mkdir -p "$work/out"
    w=$("${cmd[@]}" 2>/dev/null | grep -ao 'multimode thread:[0-9]*' | head -n 1 | cut -d: -f2 || true)
    echo "${w:-0}" > "$work/scale-$l.workers"
  done
  for ((i = 0; i < runs; i++)); do
    for l in $labels; do
      scale_command $l
      time_run "scale-$l" "${cmd[@]}"
    done
    time_run scale-floor "$wine" "$work/floor_win.exe" "$(winpath "$data/mixed.zip.manifest")" "$(winpath "$work/out")"
  done
  local f r0 two
  f=$(median < <(awk '{print $1}' "$work/scale-floor.times"))
  r0=$(median < <(awk '{print $1}' "$work/scale-R0.times"))
  two=$(median < <(awk '{print $1}' "$work/scale-rotating-R8.times"))
  printf '\n%-12s %-32s %8s %9s %11s %7s %7s\n' run host_and_answer workers median_s above_floor vs_R0 vs_2w
  for l in $labels; do
    local t host
    t=$(median < <(awk '{print $1}' "$work/scale-$l.times"))
    case $l in
      R0 | R8) host="DLL, the volume's answer" ;;
      *) host="linked, forced ${l%-R*}" ;;
    esac
    awk -v l=$l -v h="$host" -v w=$(cat "$work/scale-$l.workers") -v t=$t -v f=$f -v r0=$r0 -v two=$two \
      'BEGIN {printf "%-12s %-32s %8s %9.2f %11.2f %7.2f %7.2f\n", l, h, w, t, t - f, t / r0, t / two}'
  done
  printf '%-12s %-32s %8s %9.2f\n' floor "floor_writer under Wine" - "$f"
  echo "(median of $runs runs; workers 0: the caller's thread; vs_2w: relative to rotating-R8, the 2-worker limit)"
}

if [ $scaling = 1 ]; then
  bench_scaling
  rm -rf "$work/out"
  exit 0
fi

for set in mixed big stored; do bench_set $set; done
# What one window costs any Windows process under Wine: the difference varno - varno--i is made
# of this once the run lasts long enough for the progress window (over a second).
rm -f "$work/window.times" "$work/none.times"
for ((i = 0; i < 2 * runs; i++)); do
  for mode in window none; do time_run $mode "$wine" "$work/window_floor.exe" $mode; done
done

printf '\n%-8s %-8s %10s %10s %12s %10s\n' set tool median_s above_floor peak_MiB vs_varno
for set in mixed big stored; do
  fw=$(median < <(awk '{print $1}' "$work/$set-floor_wine.times"))
  fn=$(median < <(awk '{print $1}' "$work/$set-floor_native.times"))
  v=$(median < <(awk '{print $1}' "$work/$set-varno.times"))
  for tool in varno varno--i unzip 7zz; do
    t=$(median < <(awk '{print $1}' "$work/$set-$tool.times"))
    floor=$fn; [[ $tool = varno* ]] && floor=$fw
    p=$(peak < "$work/$set-$tool.times")
    awk -v s=$set -v tool=$tool -v t=$t -v f=$floor -v p=$p -v v=$v \
      'BEGIN {printf "%-8s %-8s %10.2f %10.2f %12.1f %10.3f\n", s, tool, t, t - f, p / 1024, t / v}'
  done
  printf '%-8s %-8s %10.2f %10s\n%-8s %-8s %10.2f %10s\n' "$set" floor_wn "$fw" - "$set" floor_nat "$fn" -
done
awk -v w="$(median < <(awk '{print $1}' "$work/window.times"))" -v n="$(median < <(awk '{print $1}' "$work/none.times"))" \
  'BEGIN {printf "one window and taskbar object in a process under Wine: %.3f s (%.3f against %.3f for an empty one)\n", w - n, w, n}'
echo "(median of $runs runs; above_floor = median minus the floor of the tool's runtime: Wine for varno, native for the others)"
rm -rf "$work/out"
