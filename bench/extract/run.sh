#!/usr/bin/env bash
# Extraction benchmark: varno's command-line host under Wine against 7-Zip's own Windows program
# under the same Wine, and unzip and 7zz (native), on the same archives in the same run, each
# next to the I/O floor of its runtime; varno also with its progress window forbidden (--i),
# which shows what the window costs.
#   bench/extract/run.sh [RUNS]      (default 5 runs per tool and data set; reports medians)
#   bench/extract/run.sh --scaling [RUNS]   varno alone on the mixed set, by worker count: the
#                        DLL with -R0 and -R8, and the library linked into varno_linked.exe with
#                        the storage answer forced (rotating: at most 2 workers; fast: 2, 4, 8)
#   bench/extract/run.sh --overwrite [RUNS] [BASE]   the mixed set extracted over an existing
#                        copy of itself and into an empty folder, by this tree and by the commit
#                        BASE (default: where this branch left main), built into build/bench-base;
#                        beside it the calls that replace a file, timed one way after another
#   bench/extract/run.sh --base [RUNS] [BASE]   the mixed set and the Deflate set of 1 to 8 MiB
#                        files by this tree, by the commit BASE (as above), by 7-Zip's Windows
#                        program and by 7zz x, wall and CPU time; then the widest set with eight
#                        workers, for the peak memory
#   bench/extract/run.sh --sets [RUNS]   the big and the stored archive each as one file, as
#                        100 MB pieces (split) and as a spanned set (zip -s 100m --out), by varno,
#                        by 7-Zip's Windows program and by 7zz x
# Data (about 2.5 GB) is made once into build/bench-data (VARNO_BENCH_DATA to put it elsewhere).
# Outputs go to a RAM disk (/dev/shm/varno-bench, VARNO_BENCH_OUT to change it), so that the
# machine's disk write-back does not swamp the differences between the extractors.
set -euo pipefail
scaling=0
overwrite=0
runs=${1:-5}
if [ "${1:-}" = --scaling ]; then scaling=1; runs=${2:-5}; fi
if [ "${1:-}" = --overwrite ]; then overwrite=1; runs=${2:-5}; base=${3:-$(git merge-base HEAD main)}; fi
against_base=0
if [ "${1:-}" = --base ]; then against_base=1; runs=${2:-5}; base=${3:-$(git merge-base HEAD main)}; fi
sets=0
if [ "${1:-}" = --sets ]; then sets=1; runs=${2:-5}; fi
work_default=/dev/shm/varno-bench
source "$(dirname "$0")/prepare.sh"

# The floor writer for both runtimes.
cc -O2 -o "$work/floor_native" bench/extract/floor_writer.c
x86_64-w64-mingw32-gcc -O2 -static -o "$work/floor_win.exe" bench/extract/floor_writer.c
x86_64-w64-mingw32-gcc -O2 -o "$work/window_floor.exe" bench/window_floor.c -lole32 -luuid

# time_run LABEL command...: appends "seconds peak-KiB cpu-seconds" of one run to $work/LABEL.times
# (cpu: user and system time of the measured process, for varno without the wineserver)
time_run() {
  local label=$1; shift
  rm -rf "$work/out"; mkdir -p "$work/out"
  /usr/bin/time -f "%e %M %U %S" -o "$work/time.txt" "$@" >/dev/null 2>&1 || true
  awk '{print $1, $2, $3 + $4}' "$work/time.txt" >> "$work/$label.times"
}

bench_set() {
  local set=$1 archive="$data/$1.zip" manifest="$data/$1.zip.manifest"
  for tool in varno varno--i 7zz_wine unzip 7zz floor_wine floor_native; do rm -f "$work/$set-$tool.times"; done
  for ((i = 0; i < runs; i++)); do
    # With the progress window allowed (-i, the default) and forbidden, in turns first.
    for opt in $( ((i % 2)) && echo "--i -i" || echo "-i --i"); do
      label=varno; [ $opt = --i ] && label=varno--i
      time_run "$set-$label" "$wine" "$root/build/win64/bin/varno.exe" -o $opt "$(winpath "$archive")" "$(winpath "$work/out")"
    done
    time_run "$set-7zz_wine" "$wine" "$win7zz" x -y -bd -o"$(winpath "$work/out")" "$(winpath "$archive")"
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

# over_run LABEL command...: time_run over a fresh copy of the extracted set.
over_run() {
  local label=$1; shift
  rm -rf "$work/out"
  cp -a "$work/ref" "$work/out"
  /usr/bin/time -f "%e %M" -o "$work/time.txt" "$@" >/dev/null 2>&1 || true
  cat "$work/time.txt" >> "$work/$label.times"
}

bench_overwrite() {
  build_base "$base"
  x86_64-w64-mingw32-gcc -O2 -static -o "$work/replace_calls.exe" bench/extract/replace_calls.c
  local a o m v versions calls="inplace move replace handle"
  a=$(winpath "$data/mixed.zip"); o=$(winpath "$work/out")
  local -A exe=([before]="$root/build/bench-base/win64/bin/varno.exe" [after]="$root/build/win64/bin/varno.exe")
  rm -rf "$work/ref"; mkdir -p "$work/ref"
  "$wine" "${exe[after]}" --i -o "$a" "$(winpath "$work/ref")" >/dev/null
  rm -f "$work"/ow-*.times
  for ((i = 0; i < runs; i++)); do
    versions="before after"; ((i % 2)) && versions="after before"
    for v in $versions; do
      time_run "ow-new-$v" "$wine" "${exe[$v]}" --i -o "$a" "$o"
      over_run "ow-existing-$v" "$wine" "${exe[$v]}" --i -o "$a" "$o"
    done
    for m in $calls; do
      over_run "ow-calls-$m" "$wine" "$work/replace_calls.exe" $m "$(winpath "$data/mixed.zip.manifest")" "$o"
    done
  done
  local t b
  printf '\n%-14s %-8s %9s %10s\n' case version median_s vs_before
  for c in new existing; do
    b=$(median < <(awk '{print $1}' "$work/ow-$c-before.times"))
    for v in before after; do
      t=$(median < <(awk '{print $1}' "$work/ow-$c-$v.times"))
      awk -v c=$c -v v=$v -v t=$t -v b=$b 'BEGIN {printf "%-14s %-8s %9.2f %10.3f\n", (c == "new" ? "empty folder" : "over a copy"), v, t, t / b}'
    done
  done
  b=$(median < <(awk '{print $1}' "$work/ow-calls-inplace.times"))
  printf '\n%-14s %9s %10s\n' replace_calls median_s vs_inplace
  for m in $calls; do
    t=$(median < <(awk '{print $1}' "$work/ow-calls-$m.times"))
    awk -v m=$m -v t=$t -v b=$b 'BEGIN {printf "%-14s %9.2f %10.3f\n", m, t, t / b}'
  done
  echo "(median of $runs runs, varno with --i; replace_calls rewrites the same 10,000 files over a copy, without decoding)"
}

# The median over the rounds of one tool's time (column 1 wall, 3 cpu) divided by another's in
# the same round.
pair_ratio() { paste "$work/$1.times" "$work/$2.times" | awk -v c="$3" '{print $c / $(c + 3)}' | median | awk '{printf "%.3f", $1}'; }

bench_against_base() {
  build_base "$base"
  local -A exe=([before]="$root/build/bench-base/win64/bin/varno.exe" [after]="$root/build/win64/bin/varno.exe")
  local set v versions t c
  for set in mixed deflate; do
    rm -f "$work/$set"-{before,after,7zz_wine,7zz}.times
    for ((i = 0; i < runs; i++)); do
      versions="before after"; ((i % 2)) && versions="after before"
      for v in $versions; do
        time_run "$set-$v" "$wine" "${exe[$v]}" --i -o "$(winpath "$data/$set.zip")" "$(winpath "$work/out")"
      done
      time_run "$set-7zz_wine" "$wine" "$win7zz" x -y -bd -o"$(winpath "$work/out")" "$(winpath "$data/$set.zip")"
      time_run "$set-7zz" 7zz x -y -bd -o"$work/out" "$data/$set.zip"
    done
  done
  printf '\n%-8s %-8s %8s %7s %12s %11s %14s %13s %13s %12s\n' set tool wall_s cpu_s wall/before cpu/before \
    "wall/7zz_wine" "cpu/7zz_wine" "wall/7zz" "cpu/7zz"
  for set in mixed deflate; do
    for v in before after 7zz_wine 7zz; do
      t=$(median < <(awk '{print $1}' "$work/$set-$v.times")); c=$(median < <(awk '{print $3}' "$work/$set-$v.times"))
      printf '%-8s %-8s %8.2f %7.2f %12s %11s %14s %13s %13s %12s\n' $set $v "$t" "$c" \
        "$( [[ $v = before || $v = 7zz* ]] && echo - || pair_ratio "$set-$v" "$set-before" 1)" \
        "$( [[ $v = before || $v = 7zz* ]] && echo - || pair_ratio "$set-$v" "$set-before" 3)" \
        "$( [[ $v = 7zz* ]] && echo - || pair_ratio "$set-$v" "$set-7zz_wine" 1)" \
        "$( [[ $v = 7zz* ]] && echo - || pair_ratio "$set-$v" "$set-7zz_wine" 3)" \
        "$( [ $v = 7zz ] && echo - || pair_ratio "$set-$v" "$set-7zz" 1)" \
        "$( [ $v = 7zz ] && echo - || pair_ratio "$set-$v" "$set-7zz" 3)"
    done
  done
  echo "(median of $runs runs, varno with --i; ratios: median over the rounds of each round's quotient)"
  # Peak memory with eight workers, each of which decodes entries as large as the whole-entry
  # decoding takes.
  for v in before after; do
    rm -f "$work/widest-$v.times"
    for ((i = 0; i < 3; i++)); do
      time_run "widest-$v" "$wine" "${exe[$v]}" --i -R8 -o "$(winpath "$data/widest.zip")" "$(winpath "$work/out")"
    done
  done
  workers=$("$wine" "${exe[after]}" --i --q -R8 -o "$(winpath "$data/widest.zip")" "$(winpath "$work/out")" 2>/dev/null |
    grep -ao 'multimode thread:[0-9]*' | cut -d: -f2 || true)
  printf '\nwidest set, %s workers: peak resident MiB before %.1f, after %.1f (largest of 3 runs)\n' "${workers:-0}" \
    "$(peak < "$work/widest-before.times" | awk '{print $1 / 1024}')" "$(peak < "$work/widest-after.times" | awk '{print $1 / 1024}')"
}

# The 1 GB archives (big: the file in Deflate, 691 MB; stored: 1 GB) as 100 MB pieces and as a
# spanned set, made once beside them, against the archive itself.
bench_sets() {
  local set form tool t c
  for set in big stored; do
    [ -f "$data/$set-pieces.zip.001" ] || split -b 100M -d -a 3 --numeric-suffixes=1 "$data/$set.zip" "$data/$set-pieces.zip."
    [ -f "$data/$set-span.zip" ] || zip -q -s 100m "$data/$set.zip" --out "$data/$set-span.zip"
    cat "$data/$set"-pieces.zip.* "$data/$set"-span.* > /dev/null
  done
  named() { case $2 in single) echo "$data/$1.zip" ;; pieces) echo "$data/$1-pieces.zip.001" ;; spanned) echo "$data/$1-span.zip" ;; esac; }
  rm -f "$work"/sets-*.times
  for ((i = 0; i < runs; i++)); do
    for set in big stored; do
      for form in single pieces spanned; do
        time_run "sets-$set-$form-varno" "$wine" "$root/build/win64/bin/varno.exe" --i -o "$(winpath "$(named $set $form)")" "$(winpath "$work/out")"
        time_run "sets-$set-$form-7zz" 7zz x -y -bd -o"$work/out" "$(named $set $form)"
        time_run "sets-$set-$form-7zz_wine" "$wine" "$win7zz" x -y -bd -o"$(winpath "$work/out")" "$(winpath "$(named $set $form)")"
      done
    done
  done
  printf '\n%-7s %-8s %-9s %9s %7s %10s %8s %13s\n' set form tool median_s cpu_s vs_single vs_7zz vs_7zz_wine
  for set in big stored; do
    for form in single pieces spanned; do
      for tool in varno 7zz 7zz_wine; do
        t=$(median < <(awk '{print $1}' "$work/sets-$set-$form-$tool.times")); c=$(median < <(awk '{print $3}' "$work/sets-$set-$form-$tool.times"))
        printf '%-7s %-8s %-9s %9.2f %7.2f %10s %8s %13s\n' $set $form $tool "$t" "$c" \
          "$( [ $form = single ] && echo - || pair_ratio "sets-$set-$form-$tool" "sets-$set-single-$tool" 1)" \
          "$( [ $tool = varno ] && pair_ratio "sets-$set-$form-varno" "sets-$set-$form-7zz" 1 || echo -)" \
          "$( [ $tool = varno ] && pair_ratio "sets-$set-$form-varno" "sets-$set-$form-7zz_wine" 1 || echo -)"
      done
    done
  done
  echo "(median of $runs runs, varno with --i; ratios: median over the rounds of each round's quotient of wall times)"
}

if [ $sets = 1 ]; then
  bench_sets
  rm -rf "$work/out"
  exit 0
fi
if [ $against_base = 1 ]; then
  bench_against_base
  rm -rf "$work/out"
  exit 0
fi
if [ $scaling = 1 ]; then
  bench_scaling
  rm -rf "$work/out"
  exit 0
fi
if [ $overwrite = 1 ]; then
  bench_overwrite
  rm -rf "$work/out" "$work/ref"
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
  for tool in varno varno--i 7zz_wine unzip 7zz; do
    t=$(median < <(awk '{print $1}' "$work/$set-$tool.times"))
    floor=$fn; [[ $tool = varno* || $tool = 7zz_wine ]] && floor=$fw
    p=$(peak < "$work/$set-$tool.times")
    awk -v s=$set -v tool=$tool -v t=$t -v f=$floor -v p=$p -v v=$v \
      'BEGIN {printf "%-8s %-8s %10.2f %10.2f %12.1f %10.3f\n", s, tool, t, t - f, p / 1024, t / v}'
  done
  printf '%-8s %-8s %10.2f %10s\n%-8s %-8s %10.2f %10s\n' "$set" floor_wn "$fw" - "$set" floor_nat "$fn" -
done
awk -v w="$(median < <(awk '{print $1}' "$work/window.times"))" -v n="$(median < <(awk '{print $1}' "$work/none.times"))" \
  'BEGIN {printf "one window and taskbar object in a process under Wine: %.3f s (%.3f against %.3f for an empty one)\n", w - n, w, n}'
echo "(median of $runs runs; above_floor = median minus the floor of the tool's runtime: Wine for varno and 7zz_wine,"
echo " 7-Zip's Windows program, native for unzip and 7zz; vs_varno above 1 means varno is faster)"
rm -rf "$work/out"
