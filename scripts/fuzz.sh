#!/usr/bin/env bash
# fuzz.sh SECONDS [TARGET...]: runs each native fuzz target (all by default) for SECONDS,
# starting from its committed seeds in fuzz/corpus/<target>; new inputs stay in the build.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-20}; shift || true
bin="$root/build/native/fuzz"
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=($(cd "$bin" && ls *_fuzz 2>/dev/null))
status=0
for t in "${targets[@]}"; do
  work="$root/build/native/fuzz-corpus/$t"
  mkdir -p "$work"
  [ -d "$root/fuzz/corpus/$t" ] && cp -n "$root/fuzz/corpus/$t"/* "$work"/ 2>/dev/null || true
  if "$bin/$t" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 "$work" \
       > "$root/build/native/$t.log" 2>&1; then
    echo "fuzz: $t clean after $(grep -o 'stat::number_of_executed_units: *[0-9]*' "$root/build/native/$t.log" | grep -o '[0-9]*$') runs"
  else
    echo "fuzz: $t FAILED, see build/native/$t.log"; tail -n 30 "$root/build/native/$t.log"; status=1
  fi
done
exit $status
