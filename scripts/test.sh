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
cd "$build"
status=0
ctest --output-on-failure -j2 || status=$?
WINEPREFIX="$build/wineprefix" wineserver -k 2>/dev/null || true
exit $status
