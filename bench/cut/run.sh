#!/usr/bin/env bash
# Archives cut short: what the whole entries of a cut archive of 10,000 files cost to recover,
# beside extracting and listing the whole archive, and beside `7zz x` on the same cut file (the
# native program, and 7-Zip's Windows program under the same Wine);
# and, by an earlier commit built beside the tree, what the whole archive cost before (the
# local-header walk runs only where the end record fails, so opening a sound archive must cost
# the same).
#   bench/cut/run.sh [RUNS] [BASE]   (default 5 runs; BASE: where this branch left main)
# Two archives of the same 10,000 files (build/bench-cut, made once): `sized` as a writer that
# seeks makes it (sizes in the local headers), `streamed` as one writing to a pipe makes it (data
# descriptors: the walk decodes every entry to find its end); each also cut at 60 % of its length.
# Outputs go to /dev/shm/varno-cut (VARNO_BENCH_OUT to change it).
set -euo pipefail
runs=${1:-5}
source "$(dirname "$0")/../wine_bench.sh"
base=${2:-$(git merge-base HEAD main)}
data="$root/build/bench-cut"
work="${VARNO_BENCH_OUT:-/dev/shm/varno-cut}"
mkdir -p "$data" "$work"
build_base "$base"
before="$root/build/bench-base/win64/bin/varno.exe"
after="$root/build/win64/bin/varno.exe"

if [ ! -f "$data/streamed-cut.zip" ]; then
  python3 - "$data" <<'PY'
import random, sys, zipfile
out = sys.argv[1]
r = random.Random(27)
words = [bytes(r.randrange(97, 123) for _ in range(r.randrange(2, 9))) for _ in range(2000)]
text = b" ".join(r.choice(words) for _ in range(400000))
files = []
for i in range(10000):
    size = int(r.lognormvariate(8, 1.2)) % 200000
    start = r.randrange(len(text) - size)
    files.append((f"d{i // 100:03d}/f{i:05d}.txt", text[start:start + size]))
def write(target):
    with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in files:
            z.writestr(zipfile.ZipInfo(name, (2025, 6, 1, 12, 0, 0)), data, zipfile.ZIP_DEFLATED)
write(f"{out}/sized.zip")
class Pipe:  # no seek, no tell: zipfile writes data descriptors
    def __init__(self, f): self.f = f
    def write(self, b): return self.f.write(b)
    def flush(self): self.f.flush()
with open(f"{out}/streamed.zip", "wb") as f:
    write(Pipe(f))
for kind in ("sized", "streamed"):
    whole = open(f"{out}/{kind}.zip", "rb").read()
    open(f"{out}/{kind}-cut.zip", "wb").write(whole[:len(whole) * 6 // 10])
PY
fi
cat "$data"/*.zip > /dev/null  # every run reads the archives from the page cache

# time_run LABEL command...: appends the wall and CPU seconds (user and system, of the measured
# process: for varno without the wineserver) of one run to $work/LABEL.times.
time_run() {
  local label=$1; shift
  rm -rf "$work/out"; mkdir -p "$work/out"
  /usr/bin/time -f "%e %U %S" -o "$work/time.txt" "$@" >/dev/null 2>&1 || true
  # The last line: a failed command's status comes first.
  tail -n 1 "$work/time.txt" | awk '{print $1, $2 + $3}' >> "$work/$label.times"
}

# Each command once, for the files it writes and its result.
files_of() { find "$work/out" -type f | wc -l; }
check() {
  local label=$1; shift
  rm -rf "$work/out"; mkdir -p "$work/out"
  local status=0
  "$@" > "$work/check.txt" 2>&1 || status=$?
  printf '%-22s exit %-4s files %5s  %s\n' "$label" "$status" "$(files_of)" "$(tr -d '\r' < "$work/check.txt" | grep -a -m1 -E 'cut short|EOF|ERROR' || true)"
}

kinds="sized streamed"
for kind in $kinds; do
  whole=$(winpath "$data/$kind.zip"); cut=$(winpath "$data/$kind-cut.zip"); out=$(winpath "$work/out")
  echo "$kind: $(stat -c %s "$data/$kind.zip") bytes whole, $(stat -c %s "$data/$kind-cut.zip") cut"
  check "varno -o cut" "$wine" "$after" --i -o "$cut" "$out"
  check "7zz x cut" 7zz x -y -bd -o"$work/out" "$data/$kind-cut.zip"
  check "7zz.exe x cut" "$wine" "$win7zz" x -y -bd -o"$out" "$cut"
  check "varno -o whole" "$wine" "$after" --i -o "$whole" "$out"
  rm -f "$work/$kind"-*.times
  for ((i = 0; i < runs; i++)); do
    # The two builds on the whole archive in turns first.
    for version in $( ((i % 2)) && echo "after before" || echo "before after"); do
      suffix=""; [ $version = before ] && suffix=-before
      time_run "$kind-list-whole$suffix" "$wine" "${!version}" --i -l "$whole"
      time_run "$kind-x-whole$suffix" "$wine" "${!version}" --i -o "$whole" "$out"
    done
    time_run "$kind-list-cut" "$wine" "$after" --i -l "$cut"
    time_run "$kind-x-cut" "$wine" "$after" --i -o "$cut" "$out"
    time_run "$kind-7zz-x-cut" 7zz x -y -bd -o"$work/out" "$data/$kind-cut.zip"
    time_run "$kind-7zz_wine-x-cut" "$wine" "$win7zz" x -y -bd -o"$out" "$cut"
  done
done

m() { awk -v c="$2" '{print $c}' "$work/$1.times" | median; }
printf '\n%-9s %-18s %8s %7s %12s %11s %12s %11s %17s\n' archive command wall_s cpu_s wall/whole cpu/whole wall/7zz_x cpu/7zz_x \
  wall/7zz_wine_x
for kind in $kinds; do
  for label in list-whole-before list-whole list-cut x-whole-before x-whole x-cut 7zz-x-cut 7zz_wine-x-cut; do
    case $label in
      list-cut) rel=$kind-list-whole ;;
      x-cut) rel=$kind-x-whole ;;
      list-whole | x-whole) rel=$kind-$label-before ;;
      *) rel="" ;;
    esac
    awk -v k=$kind -v l=$label -v t="$(m "$kind-$label" 1)" -v c="$(m "$kind-$label" 2)" \
      -v rt="$([ -n "$rel" ] && m "$rel" 1)" -v rc="$([ -n "$rel" ] && m "$rel" 2)" \
      -v zt="$(m "$kind-7zz-x-cut" 1)" -v zc="$(m "$kind-7zz-x-cut" 2)" -v wt="$(m "$kind-7zz_wine-x-cut" 1)" \
      'BEGIN {printf "%-9s %-18s %8.2f %7.2f %12s %11s %12.2f %11.2f %17.2f\n", k, l, t, c,
              rt == "" ? "-" : sprintf("%.2f", t / rt), rc == "" ? "-" : sprintf("%.2f", c / rc), t / zt, c / zc, t / wt}'
  done
done
echo "(median of $runs runs, varno with --i; 'before': the commit $(git rev-parse --short "$base"); the whole/"
echo " columns: list-cut and x-cut against this tree on the whole archive, list-whole and x-whole"
echo " against the earlier commit on it; 7zz_wine: 7-Zip's Windows program under the same Wine, whose"
echo " processor time leaves out the wineserver as varno's does)"
