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
# One display for every test program; stopped again if this run started it.
started_xvfb=""
if [ -z "${DISPLAY:-}" ]; then
  source "$root/scripts/xvfb.sh"
  xdpyinfo -display :77 >/dev/null 2>&1 || started_xvfb=yes
  ensure_xvfb
fi
# Start Wine's server and services for the prefix before CTest does: the first
# Wine program of a prefix starts them, and they would keep that test's output
# pipe open (so its time would stretch to the whole run).
export WINEPREFIX="$build/wineprefix"
WINEDEBUG=-all wineserver -p >/dev/null 2>&1 </dev/null || true
"$build/wine-run" cmd /c exit >/dev/null 2>&1 </dev/null || true
cd "$build"
status=0
ctest --output-on-failure -j2 || status=$?
wineserver -k 2>/dev/null || true
[ -z "$started_xvfb" ] || pkill -f "Xvfb :77" 2>/dev/null || true
exit $status
