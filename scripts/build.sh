#!/usr/bin/env bash
# Configures (once) and builds the tree:
#   build/win64   varno64.dll, varno.exe and the Windows tests (mingw-w64)
#   build/native  the byte-level routines under ASan/UBSan, their tests, fuzz targets, benchmarks
#   build/arm64   varno64A.dll and the same Windows tests (Zig), only with --arm64
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=${VARNO_JOBS:-$(nproc)}

build() {
  local dir=$1; shift
  if [ ! -f "build/$dir/CMakeCache.txt" ]; then
    cmake -S . -B "build/$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
  else
    # A folder configured by an older version of this script takes today's options too.
    cmake -S . -B "build/$dir" -DVARNO_TESTS=ON >/dev/null
  fi
  cmake --build "build/$dir" -j "$jobs"
}

build win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake
build native -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
if [ "${1:-}" = "--arm64" ]; then
  build arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-zig-arm64.cmake
fi
