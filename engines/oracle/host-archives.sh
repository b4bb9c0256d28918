#!/usr/bin/env bash
# Builds the optimised host scanner qdx-scan where scripts/host-test.sh builds
# it (host-build-engines/release) and proves its archive walk against
# clamscan with archives.py; the arguments go to archives.py.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${QUENDIX_HOST_ENGINES_BUILD:-$root/host-build-engines}/release
cmake -S "$root/engines/host" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 \
  -DCMAKE_BUILD_TYPE=Release -DQDX_SANITIZE=OFF >/dev/null
cmake --build "$build" --target qdx-scan >/dev/null
exec python3 "$root/engines/oracle/archives.py" --qdx-scan "$build/qdx-scan" "$@"
