#!/usr/bin/env bash
# debian-source.sh TOOLS FOLDER PACKAGE[=VERSION]: unpacks the Debian source package (with
# Debian's patches applied) into TOOLS/FOLDER, for the build to compile the C files it needs.
# Safe to run again: a folder that holds the same package and version is left alone.
#
# The sources come through apt from the suites the system's own lists name, turned into deb-src
# lines in a private list under TOOLS/debian-src, with a private package state there too: the
# system's apt configuration is neither read for sources nor changed.
set -euo pipefail
tools=$1 folder=$2 spec=$3
mkdir -p "$tools"
tools=$(cd "$tools" && pwd -P)
stamp="$tools/$folder/.debian-source"
[ -f "$stamp" ] && [ "$(cat "$stamp")" = "$spec" ] && exit 0

state="$tools/debian-src"
mkdir -p "$state/sources.list.d" "$state/lists/partial"
# One worktree at a time fetches and unpacks.
exec 9> "$state/lock"
flock 9
[ -f "$stamp" ] && [ "$(cat "$stamp")" = "$spec" ] && exit 0
echo "setup: unpacking the Debian sources of $spec into $tools/$folder"

# The system's suites as deb-src entries: each active deb822 stanza and one-line entry of type deb.
list="$state/sources.list.d/system.sources"
{
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && sed 's/^Types:.*/Types: deb-src/' "$f" && echo
  done
  if [ -f /etc/apt/sources.list ]; then
    sed -n 's/^deb \(.*\)/deb-src \1/p' /etc/apt/sources.list
  fi
} > "$list.new"
mv "$list.new" "$list"

apt_private=(-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$state/sources.list.d"
  -o Dir::State::Lists="$state/lists" -o APT::Sandbox::User=root)
work=$(mktemp -d "$state/work.XXXXXX")
trap 'rm -rf "$work"' EXIT
fetch() { (cd "$work" && apt-get "${apt_private[@]}" source --download-only "$spec" >/dev/null 2>&1); }
if ! fetch; then
  apt-get "${apt_private[@]}" update >/dev/null
  (cd "$work" && apt-get "${apt_private[@]}" source --download-only "$spec" >/dev/null)
fi
dsc=$(ls "$work"/*.dsc)
# apt has checked every file against the suite's signed index; the .dsc's own signature adds
# nothing here (and its key is not on the machine).
dpkg-source --no-check -x "$dsc" "$work/unpacked" >/dev/null
rm -rf "$work/unpacked/debian"
rm -rf "$tools/$folder"
mv "$work/unpacked" "$tools/$folder"
echo "$spec" > "$stamp"
