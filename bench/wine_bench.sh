# Sourced by the benchmarks that run the command-line host under Wine, with the script's own
# arguments: builds the x64 tree and 7-Zip's own console program for Windows (the peer on the
# same runtime, bench/build_7zip_windows.sh), runs the script again inside a Wine session of the
# build (its servers kept running throughout), and gives it $root, $wine, $win7zz (that
# program), winpath, median and build_base COMMIT, which builds an earlier commit beside the tree
# for the runs that compare with it.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
if [ -z "${VARNO_IN_SESSION:-}" ]; then
  scripts/build.sh >/dev/null
  bench/build_7zip_windows.sh >/dev/null
  exec scripts/wine-session.sh build/win64 "$0" "$@"
fi
wine="$root/build/win64/wine-run"
win7zz="$root/build/bench-7zip/7zz.exe"
# Paths for Windows programs in Windows form: Wine takes a path that begins with '/' for a
# Unix path and converts it on every call, which is no cost a Windows host would pay.
winpath() { printf 'Z:%s' "$1" | tr '/' '\\'; }

# The median of the numbers on standard input, one a line.
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

# The commit to compare with, built (x64, without tests) once per commit into build/bench-base.
build_base() {
  local commit dir="$root/build/bench-base"
  commit=$(git rev-parse "$1^{commit}")
  if [ "$(cat "$dir/commit" 2>/dev/null)" != "$commit" ]; then
    rm -rf "$dir"
    mkdir -p "$dir/src"
    git archive "$commit" | tar -x -C "$dir/src"
    ln -s "$root/.tools" "$dir/src/.tools"  # the libraries' sources, which setup unpacked
    cmake -S "$dir/src" -B "$dir/win64" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVARNO_TESTS=OFF \
      -DCMAKE_TOOLCHAIN_FILE="$dir/src/cmake/toolchain-mingw64.cmake" >/dev/null
    cmake --build "$dir/win64" --target varno_cli >/dev/null
    echo "$commit" > "$dir/commit"
  fi
  echo "base: $(git log -1 --format='%h %s' "$commit" | cut -c1-100)"
}
