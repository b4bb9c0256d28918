#!/usr/bin/env bash
# Sets everything up, builds, and runs every test: the Windows build under
# Wine through CTest, and the portable logic on the host under sanitizers.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QUENDIX_BUILD:-$root/build}
"$root/scripts/setup.sh"
if [ -x "$root/scripts/host-test.sh" ]; then
  "$root/scripts/host-test.sh"
fi
# The format and clang-tidy checks read the host builds' compile databases.
# Their failure fails the run, after the tests below have run too.
lint_status=0
"$root/scripts/lint.sh" || lint_status=$?
# One display for every test program: an Xvfb of this run's own when there is
# no display, ended again (that process only) when the run ends.
source "$root/scripts/xvfb.sh"
if [ -z "${DISPLAY:-}" ]; then
  start_private_xvfb
  trap stop_private_xvfb EXIT
fi
# The run owns the build's prefix: a Wine server left from an earlier run (on
# another display, perhaps) is ended first. Then its server and services are
# started with no output attached (see the build's wine-run).
export WINEPREFIX="$build/wineprefix"
wineserver -k 2>/dev/null || true
WINEDEBUG=-all wineserver -p >/dev/null 2>&1 </dev/null || true
"$build/wine-run" cmd /c exit >/dev/null 2>&1 </dev/null || true
cd "$build"
status=0
ctest --output-on-failure -j2 || status=$?
wineserver -k 2>/dev/null || true
if [ $lint_status -ne 0 ]; then
  echo "scripts/lint.sh failed: see its report above the tests"
  [ $status -ne 0 ] || status=$lint_status
fi
exit $status
