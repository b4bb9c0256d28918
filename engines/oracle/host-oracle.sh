#!/usr/bin/env bash
# Builds the optimised host scanner qdx-scan into BUILD_DIR and proves it
# against clamscan with oracle.py; the other arguments go to oracle.py.
#
#   host-oracle.sh BUILD_DIR [--seed N ...] [--size S] [--keep DIR]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=$1
shift
cmake -S "$here/../host" -B "$build" -G Ninja -DQDX_SANITIZE=OFF -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
cmake --build "$build" --target qdx-scan >/dev/null
exec python3 "$here/oracle.py" --qdx-scan "$build/qdx-scan" "$@"
