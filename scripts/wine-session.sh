#!/usr/bin/env bash
# wine-session.sh BUILD_DIR command...: runs the command inside a virtual X display, with the Wine
# prefixes of the build (default, Japanese, without display) created and their servers kept
# running for the whole command, and the desktop process of each prefix with a display. The
# build's wine-run decides which Wine: x64 or ARM64.
set -euo pipefail
build=$(cd "$1" && pwd); shift
if [ -z "${VARNO_IN_SESSION:-}" ]; then
  export VARNO_IN_SESSION=1
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$build" "$@"
fi
run="$build/wine-run"
prefixes=("VARNO_LOCALE= VARNO_DISPLAY=" "VARNO_LOCALE=ja VARNO_DISPLAY=" "VARNO_LOCALE= VARNO_DISPLAY=none")
for p in "${prefixes[@]}"; do
  # A server already running serves as well. The prefix's services start now, detached from any
  # output pipe: a service started by a test would keep the test's pipe open and make the
  # runner wait for it.
  env $p "$run" --server -p </dev/null >/dev/null 2>&1 || true
  env $p timeout 120 "$run" wineboot </dev/null >/dev/null 2>&1 || true
done
# The desktop process stays for the whole session (desktop_keeper.c, built with the tree), in
# each prefix that has a display.
keepers=()
for p in "VARNO_LOCALE=" "VARNO_LOCALE=ja"; do
  env $p "$run" "$build/bin/desktop_keeper.exe" </dev/null >/dev/null 2>&1 &
  keepers+=($!)
done
set +e
"$@"
status=$?
[ ${#keepers[@]} -eq 0 ] || kill "${keepers[@]}" 2>/dev/null
for p in "${prefixes[@]}"; do env $p "$run" --server -k 2>/dev/null; done
exit $status
