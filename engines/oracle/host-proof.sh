#!/usr/bin/env bash
# Builds the optimised host scanner qdx-scan where scripts/host-test.sh builds
# it (host-build-engines/release) and runs one of the proofs against clamscan
# on it: host-proof.sh archives.py|documents.py|mailweb.py|packed.py ARGS...
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${QUENDIX_HOST_ENGINES_BUILD:-$root/host-build-engines}/release
proof=$1
shift
cmake -S "$root/engines/host" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 \
  -DCMAKE_BUILD_TYPE=Release -DQDX_SANITIZE=OFF >/dev/null
cmake --build "$build" --target qdx-scan >/dev/null
exec python3 "$root/engines/oracle/$proof" --qdx-scan "$build/qdx-scan" "$@"
