#!/usr/bin/env bash
# Builds the portable logic for the host with clang under ASan and UBSan, runs
# its unit tests, then runs every fuzz target briefly on its seed corpus. Any
# sanitizer report or property failure fails the run. The engine core is
# built the same way (host-build-engines/sanitized), and once more optimised
# for the command-line scanner host-build-engines/release/qdx-scan.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QUENDIX_HOST_BUILD:-$root/host-build}
engines=${QUENDIX_HOST_ENGINES_BUILD:-$root/host-build-engines}
seconds=${QUENDIX_FUZZ_SECONDS:-3}

cmake -S "$root/host" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build" -j"$(nproc)"
cmake -S "$root/engines/host" -B "$engines/sanitized" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 \
  -DCMAKE_BUILD_TYPE=Debug -DQDX_SANITIZE=ON >/dev/null
cmake --build "$engines/sanitized" -j"$(nproc)"
cmake -S "$root/engines/host" -B "$engines/release" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 \
  -DCMAKE_BUILD_TYPE=Release -DQDX_SANITIZE=OFF >/dev/null
cmake --build "$engines/release" -j"$(nproc)"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
"$build/portable_tests" --gtest_brief=1
"$engines/sanitized/engine_core_tests" --gtest_brief=1

for target in "$build"/fuzz_* "$engines/sanitized"/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  "$root/scripts/fuzz.sh" "$name" "$seconds" >/dev/null 2>"$target.log" || {
    tail -n 40 "$target.log"; echo "fuzz target $name failed"; exit 1; }
  echo "fuzz target $name: $(grep -Eo 'Done [0-9]+ runs in [0-9]+ second' "$target.log" | tail -n 1)"
done
