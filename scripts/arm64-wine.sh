#!/usr/bin/env bash
# arm64-wine.sh DIR: unpacks Debian's arm64 Wine into DIR, to run ARM64 Windows programs on this
# x64 host under qemu-aarch64-static. Nothing is installed over the host's own Wine: the
# packages are fetched with apt-get download and unpacked with dpkg-deb -x. Safe to run again.
#
# Three things make the unpacked tree run:
#   - every new Wine process starts as <bindir>/wine64-preloader LOADER ARGS; that file becomes
#     a host script that runs the arm64 loader under qemu with the unpacked library folders;
#   - <bindir>/wineserver (and WINESERVER, set by the launcher) runs the arm64 server under qemu;
#   - the programs' ELF interpreter /lib/ld-linux-aarch64.so.1 is a link into DIR (qemu's -L
#     would remap / and break Wine's Z: drive; no x64 program uses that path).
set -euo pipefail
mkdir -p "$1"
dir=$(cd "$1" && pwd -P)
# libfontconfig1 (reading the host's /etc/fonts) is what win32u.dll's font set-up needs: without
# it that set-up faults while win32u loads, and no process ever gets a window station.
packages=(wine64 libwine libc6 libgcc-s1 libunwind8 liblzma5 libfreetype6 libpng16-16 libbrotli1 zlib1g
  libgnutls30 libgmp10 libhogweed6 libidn2-0 libnettle8 libp11-kit0 libtasn1-6 libunistring2 libffi8
  libfontconfig1 libexpat1)
stamp="$dir/.unpacked"
want="${packages[*]}"

if ! [ -f "$stamp" ] || [ "$(cat "$stamp")" != "$want" ]; then
  echo "setup: unpacking arm64 Wine into $dir"
  export DEBIAN_FRONTEND=noninteractive
  dpkg --print-foreign-architectures | grep -qx arm64 || dpkg --add-architecture arm64
  debs=$(mktemp -d)
  trap 'rm -rf "$debs"' EXIT
  arm64=("${packages[@]/%/:arm64}")
  # apt-get download runs as the _apt user where it can; a private folder it may write to.
  chmod 777 "$debs"
  (cd "$debs" && apt-get download "${arm64[@]}" >/dev/null 2>&1) ||
    { apt-get update >/dev/null && (cd "$debs" && apt-get download "${arm64[@]}" >/dev/null); }
  rm -rf "$dir"
  mkdir -p "$dir"
  for deb in "$debs"/*.deb; do dpkg-deb -x "$deb" "$dir"; done
  echo "$want" > "$stamp"
fi

libs="$dir/lib/aarch64-linux-gnu:$dir/usr/lib/aarch64-linux-gnu"
bin="$dir/usr/lib/wine"
host_script() {
  local file=$1 text=$2
  if ! [ -f "$file" ] || [ "$(cat "$file")" != "$text" ]; then
    printf '%s\n' "$text" > "$file"
    chmod 755 "$file"
  fi
}
host_script "$bin/wine64-preloader" "#!/bin/sh
exec qemu-aarch64-static -E LD_LIBRARY_PATH=$libs \"\$@\""
host_script "$bin/wineserver" "#!/bin/sh
exec qemu-aarch64-static -E LD_LIBRARY_PATH=$libs $bin/wineserver64 \"\$@\""
host_script "$dir/wine" "#!/bin/sh
# Runs the arm64 Wine loader under qemu (WINEPREFIX and the rest come from the caller).
export WINESERVER=$bin/wineserver
exec qemu-aarch64-static -E LD_LIBRARY_PATH=$libs $bin/wine64 \"\$@\""

interp=/lib/ld-linux-aarch64.so.1
target="$dir/lib/aarch64-linux-gnu/ld-linux-aarch64.so.1"
if [ -L "$interp" ] && ! [ -e "$interp" ]; then
  rm -f "$interp"  # a link left by an earlier clone that is gone
fi
[ -e "$interp" ] || ln -s "$target" "$interp"
