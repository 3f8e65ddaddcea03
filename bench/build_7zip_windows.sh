#!/usr/bin/env bash
# build_7zip_windows.sh: builds 7-Zip's own console program for Windows x64 once, for the
# benchmarks to run under the same Wine session as varno: Debian's 7zip source package (unpacked
# into .tools/7zip-src by scripts/debian-source.sh unless it is there already), its
# CPP/7zip/Bundles/Alone2 with makefile.gcc, IS_MINGW=1 and the mingw-w64 compilers, without RAR
# (the Debian source has no RAR decoders). Prints the program's path, build/bench-7zip/7zz.exe.
# The program serves the benchmarks only: neither the DLLs nor the tests use it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/build/bench-7zip"
exe="$out/7zz.exe"
src="$root/.tools/7zip-src"
if [ ! -f "$exe" ]; then
  [ -d "$src/CPP/7zip/Bundles/Alone2" ] || "$root/scripts/debian-source.sh" "$root/.tools" 7zip-src 7zip >&2
  echo "bench: building 7-Zip's console program for Windows into $out" >&2
  mkdir -p "$out"
  make -s -C "$src/CPP/7zip/Bundles/Alone2" -f makefile.gcc -j"${VARNO_JOBS:-$(nproc)}" \
    IS_MINGW=1 IS_X64=1 DISABLE_RAR=1 O="$out/obj" MY_MKDIR="mkdir -p" RM="rm -f" \
    CC=x86_64-w64-mingw32-gcc-posix CXX=x86_64-w64-mingw32-g++-posix RC=x86_64-w64-mingw32-windres >&2
  cp "$out/obj/7zz.exe" "$exe.tmp"
  mv "$exe.tmp" "$exe"
fi
echo "$exe"
