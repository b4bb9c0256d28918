#!/usr/bin/env bash
# Runs one fuzz target for as long as asked:  scripts/fuzz.sh fuzz_line_reader 600
# (or with RUNS=1000000 for a number of executions). Targets of the front
# end's portable logic live in host-build, those of the engine core in
# host-build-engines/sanitized. New inputs go to a work corpus beside the
# target; the committed seeds stay as they are.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QUENDIX_HOST_BUILD:-$root/host-build}
engines=${QUENDIX_HOST_ENGINES_BUILD:-$root/host-build-engines}/sanitized
name=${1:?usage: fuzz.sh TARGET [SECONDS]}
seconds=${2:-60}
if [ -x "$build/$name" ]; then
  target="$build/$name"
  seeds="$root/fuzz/corpus/${name#fuzz_}"
elif [ -x "$engines/$name" ]; then
  target="$engines/$name"
  seeds="$root/engines/fuzz/corpus/${name#fuzz_}"
else
  echo "build the host targets first: scripts/host-test.sh" >&2
  exit 2
fi
work="$(dirname "$target")/corpus/$name"
mkdir -p "$work" "$seeds"
args=(-max_total_time="$seconds" -print_final_stats=1 -rss_limit_mb=4096 -artifact_prefix="$(dirname "$target")/")
[ -n "${RUNS:-}" ] && args=(-runs="$RUNS" -print_final_stats=1 -rss_limit_mb=4096 -artifact_prefix="$(dirname "$target")/")
# A library asked for an impossible size on hostile input gets no memory, as
# it would in the product, and says the archive is damaged.
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
"$target" "${args[@]}" "$work" "$seeds"
