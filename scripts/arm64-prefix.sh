#!/usr/bin/env bash
# arm64-prefix.sh PREFIX RUNTIME DISPLAY: makes a Wine prefix for the arm64 Wine unpacked in
# RUNTIME. DISPLAY null gives it Wine's null display driver, so that its windows, dialogs and
# message boxes exist without any X server; DISPLAY none leaves the driver to the environment,
# where no display is given, so that no window can be made at all.
#
# A prefix is a registry and a folder tree that do not depend on the processor, so the host's
# x64 Wine of the same version makes it, natively (its wine.inf has the same time stamp, so the
# arm64 Wine takes the prefix as up to date), and every module file that wineboot placed in the
# tree is then replaced by the arm64 runtime's file of the same name, as the arm64 wineboot would
# have placed it. The per-processor registry keys are written again by the arm64 wineboot that
# starts with the first program.
set -euo pipefail
prefix=$1
runtime=$2
display=$3
modules="$runtime/usr/lib/aarch64-linux-gnu/wine/aarch64-windows"
[ -d "$modules" ] || { echo "arm64-prefix: no arm64 Wine in $runtime" >&2; exit 1; }
[ "$(stat -c %Y /usr/share/wine/wine.inf)" = "$(stat -c %Y "$runtime/usr/share/wine/wine.inf")" ] ||
  echo "arm64-prefix: the x64 and arm64 Wine differ; the arm64 Wine will update the prefix" >&2

work="$prefix.making"
rm -rf "$work"
mkdir -p "$work"
(
  export WINEPREFIX="$work" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  unset DISPLAY WAYLAND_DISPLAY
  status=0
  timeout 300 /usr/lib/wine/wine64 wineboot -i </dev/null >/dev/null 2>&1 || status=$?
  # This prefix's x64 server only, and wait until it is gone.
  /usr/lib/wine/wineserver64 -k 2>/dev/null || true
  timeout 60 /usr/lib/wine/wineserver64 -w 2>/dev/null || true
  exit $status
)
[ -f "$work/system.reg" ] || { echo "arm64-prefix: wineboot made no prefix in $work" >&2; exit 1; }

replaced=0
while IFS= read -r -d '' file; do
  name=$(basename "$file")
  if [ -f "$modules/$name" ]; then
    cp "$modules/$name" "$file"
    replaced=$((replaced + 1))
  fi
done < <(find "$work/drive_c/windows" -path "$work/drive_c/windows/syswow64" -prune -o -type f -print0)
[ $replaced -gt 100 ] || { echo "arm64-prefix: only $replaced module files replaced" >&2; exit 1; }
# The registry is written here while no server runs, so nothing overwrites the key.
if [ "$display" = null ]; then
  printf '\n[Software\\\\Wine\\\\Drivers] %s\n"Graphics"="null"\n' "$(date +%s)" >> "$work/user.reg"
fi
echo "$display" > "$work/.arm64-display"
# A copy: a server is found by its prefix folder's inode, and no x64 server may ever answer
# for the arm64 prefix.
rm -rf "$prefix" "$prefix.copy"
cp -a "$work" "$prefix.copy"
rm -rf "$work"
mv "$prefix.copy" "$prefix"
