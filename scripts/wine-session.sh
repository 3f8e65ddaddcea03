#!/usr/bin/env bash
# wine-session.sh BUILD_DIR command...: runs the command inside a virtual X display, with both
# Wine prefixes of the build created and their servers kept running for the whole command.
set -euo pipefail
build=$(cd "$1" && pwd); shift
if [ -z "${VARNO_IN_SESSION:-}" ]; then
  export VARNO_IN_SESSION=1
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$build" "$@"
fi
run="$build/wine-run"
for locale in default ja; do
  [ $locale = default ] && export VARNO_LOCALE= || export VARNO_LOCALE=ja
  prefix=prefix; [ $locale = ja ] && prefix=prefix-ja
  [ -f "$build/wine/$prefix/system.reg" ] || echo "wine-session: creating the $locale prefix"
  "$run" --server -p </dev/null >/dev/null 2>&1 || true  # a server already running serves as well
  # Start the prefix's services now, detached from any output pipe: a service started by a
  # test would keep the test's pipe open and make the runner wait for it.
  "$run" wineboot </dev/null >/dev/null 2>&1 || true
done
unset VARNO_LOCALE
set +e
"$@"
status=$?
VARNO_LOCALE= "$run" --server -k 2>/dev/null
VARNO_LOCALE=ja "$run" --server -k 2>/dev/null
exit $status
