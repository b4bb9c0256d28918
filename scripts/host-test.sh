#!/usr/bin/env bash
# Builds the portable logic for the host with clang under ASan and UBSan, runs
# its unit tests, then runs every fuzz target briefly on its seed corpus. Any
# sanitizer report or property failure fails the run.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QUENDIX_HOST_BUILD:-$root/host-build}
seconds=${QUENDIX_FUZZ_SECONDS:-3}

cmake -S "$root/host" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build" -j"$(nproc)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
"$build/portable_tests" --gtest_brief=1

for target in "$build"/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  "$root/scripts/fuzz.sh" "$name" "$seconds" >/dev/null 2>"$build/$name.log" || {
    tail -n 40 "$build/$name.log"; echo "fuzz target $name failed"; exit 1; }
  echo "fuzz target $name: $(grep -Eo 'Done [0-9]+ runs in [0-9]+ second' "$build/$name.log" | tail -n 1)"
done
