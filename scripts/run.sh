#!/usr/bin/env bash
# Sets everything up, lays out the demo installation in the Wine prefix and
# starts the program there (on the current display, or on Xvfb without one).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QUENDIX_BUILD:-$root/build}
"$root/scripts/setup.sh"
if [ -x "$root/scripts/lay-demo.sh" ]; then
  "$root/scripts/lay-demo.sh" "$build"
  demo="$build/wineprefix/drive_c/Quendix"
else
  demo="$build/bin"
fi
if [ -z "${DISPLAY:-}" ]; then
  source "$root/scripts/xvfb.sh"
  start_private_xvfb 77
  trap stop_private_xvfb EXIT
  echo "No display: the program runs on Xvfb $DISPLAY until it ends (see it with: DISPLAY=$DISPLAY import -window root shot.png)."
fi
cd "$demo"
"$build/wine-run" "$demo/quendix.exe"
