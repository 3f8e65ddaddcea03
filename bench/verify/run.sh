#!/usr/bin/env bash
# Cost of verification and speed of the test command: varno's command-line host under Wine
# extracting with and without --verify and testing with --test, against `7zz t` by 7-Zip's own
# Windows program under the same Wine, and `unzip -t -q` and `7zz t` (native), on the same
# archives in the same run.
#   bench/verify/run.sh [RUNS]      (default 5 runs per tool and data set; reports medians)
#   bench/verify/run.sh --base [RUNS] [BASE]   the same three ways on the mixed set and the
#                        Deflate set of 1 to 8 MiB files, by this tree and by the commit BASE
#                        (default: where this branch left main, built into build/bench-base),
#                        beside `7zz t` by the Windows program and natively, wall and CPU time
# The archives are the extraction benchmark's (bench/extract/prepare.sh: build/bench-data, or
# VARNO_BENCH_DATA); outputs go to /dev/shm/varno-verify (or VARNO_BENCH_OUT).
set -euo pipefail
runs=${1:-5}
against_base=0
if [ "${1:-}" = --base ]; then against_base=1; runs=${2:-5}; base=${3:-$(git merge-base HEAD main)}; fi
work_default=/dev/shm/varno-verify
source "$(dirname "$0")/../extract/prepare.sh"
varno="$root/build/win64/bin/varno.exe"
tools="extract verify test 7zz_wine_t unzip_t 7zz_t"

# time_run LABEL command...: appends "wall cpu" seconds of one run to $work/LABEL.times; a
# command that fails is reported and stops the benchmark.
time_run() {
  local label=$1; shift
  rm -rf "$work/out"; mkdir -p "$work/out"
  if ! /usr/bin/time -f "%e %U %S" -o "$work/time.txt" "$@" >/dev/null 2>"$work/error.txt"; then
    echo "$label failed: $*" >&2; cat "$work/error.txt" >&2; exit 1
  fi
  awk '{print $1, $2 + $3}' "$work/time.txt" >> "$work/$label.times"
}

bench_set() {
  local set=$1 archive="$data/$1.zip" a out
  a=$(winpath "$archive"); out=$(winpath "$work/out")
  for tool in $tools; do rm -f "$work/$set-$tool.times"; done
  for ((i = 0; i < runs; i++)); do
    time_run "$set-extract" "$wine" "$varno" -o "$a" "$out"
    time_run "$set-verify" "$wine" "$varno" -o --verify "$a" "$out"
    time_run "$set-test" "$wine" "$varno" --test "$a"
    time_run "$set-7zz_wine_t" "$wine" "$win7zz" t -bd "$a"
    time_run "$set-unzip_t" unzip -t -q "$archive"
    time_run "$set-7zz_t" 7zz t -bd "$archive"
  done
}

column() { awk -v c="$2" '{print $c}' "$work/$1.times" | median; }

# The median over the rounds of one label's column divided by another's in the same round.
pair_ratio() { paste "$work/$1.times" "$work/$2.times" | awk -v c="$3" '{print $c / $(c + 2)}' | median | awk '{printf "%.3f", $1}'; }

bench_against_base() {
  build_base "$base"
  local -A exe=([before]="$root/build/bench-base/win64/bin/varno.exe" [after]="$varno")
  local set v k versions a out
  for set in mixed deflate; do
    a=$(winpath "$data/$set.zip"); out=$(winpath "$work/out")
    rm -f "$work/$set"-*.times
    for ((i = 0; i < runs; i++)); do
      versions="before after"; ((i % 2)) && versions="after before"
      for v in $versions; do
        time_run "$set-extract-$v" "$wine" "${exe[$v]}" --i -o "$a" "$out"
        time_run "$set-verify-$v" "$wine" "${exe[$v]}" --i -o --verify "$a" "$out"
        time_run "$set-test-$v" "$wine" "${exe[$v]}" --i --test "$a"
      done
      time_run "$set-7zz_wine_t" "$wine" "$win7zz" t -bd "$a"
      time_run "$set-7zz_t" 7zz t -bd "$data/$set.zip"
    done
  done
  printf '\n%-8s %-8s %-10s %8s %7s %12s %11s %18s %17s %13s %12s\n' set way tool wall_s cpu_s wall/before cpu/before \
    wall/7zz_wine_t cpu/7zz_wine_t wall/7zz_t cpu/7zz_t
  for set in mixed deflate; do
    for k in extract verify test; do
      for v in before after; do
        printf '%-8s %-8s %-10s %8.2f %7.2f %12s %11s %18s %17s %13s %12s\n' $set $k $v "$(column "$set-$k-$v" 1)" \
          "$(column "$set-$k-$v" 2)" \
          "$( [ $v = before ] && echo - || pair_ratio "$set-$k-after" "$set-$k-before" 1)" \
          "$( [ $v = before ] && echo - || pair_ratio "$set-$k-after" "$set-$k-before" 2)" \
          "$( [ $k = test ] && pair_ratio "$set-$k-$v" "$set-7zz_wine_t" 1 || echo -)" \
          "$( [ $k = test ] && pair_ratio "$set-$k-$v" "$set-7zz_wine_t" 2 || echo -)" \
          "$( [ $k = test ] && pair_ratio "$set-$k-$v" "$set-7zz_t" 1 || echo -)" \
          "$( [ $k = test ] && pair_ratio "$set-$k-$v" "$set-7zz_t" 2 || echo -)"
      done
    done
    for peer in 7zz_wine_t 7zz_t; do
      printf '%-8s %-8s %-10s %8.2f %7.2f\n' $set test $peer "$(column "$set-$peer" 1)" "$(column "$set-$peer" 2)"
    done
  done
  echo "(median of $runs runs, varno with --i; ratios: median over the rounds of each round's quotient)"
}

if [ $against_base = 1 ]; then
  bench_against_base
  rm -rf "$work/out"
  exit 0
fi

for set in mixed big stored; do bench_set $set; done

printf '\n%-7s %-10s %9s %8s  %s\n' set tool median_s cpu_s ratio
for set in mixed big stored; do
  e=$(column "$set-extract" 1); t=$(column "$set-test" 1)
  for tool in $tools; do
    w=$(column "$set-$tool" 1); c=$(column "$set-$tool" 2)
    case $tool in
      extract) ratio="" ;;
      verify) ratio=$(awk -v a="$w" -v b="$e" 'BEGIN {printf "verify/extract %.3f", a / b}') ;;
      test) ratio="" ;;
      *) ratio=$(awk -v a="$w" -v b="$t" 'BEGIN {printf "%s/varno-test %.2f", "'"$tool"'", a / b}') ;;
    esac
    printf '%-7s %-10s %9.2f %8.2f  %s\n' "$set" "$tool" "$w" "$c" "$ratio"
  done
done
echo "(median of $runs runs; cpu_s = median user+sys seconds of the measured process, for the Windows programs without the"
echo " wineserver; 7zz_wine_t is 7zz t by 7-Zip's Windows program under the same Wine, unzip_t and 7zz_t run natively)"
rm -rf "$work/out"
