#!/usr/bin/env bash
# Runs one fuzz target for as long as asked:  scripts/fuzz.sh fuzz_line_reader 600
# (or with RUNS=1000000 for a number of executions). New inputs go to a work
# corpus under host-build/; the committed seeds stay as they are.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QUENDIX_HOST_BUILD:-$root/host-build}
name=${1:?usage: fuzz.sh TARGET [SECONDS]}
seconds=${2:-60}
[ -x "$build/$name" ] || { echo "build the host targets first: scripts/host-test.sh" >&2; exit 2; }
work="$build/corpus/$name"
mkdir -p "$work"
seeds="$root/fuzz/corpus/${name#fuzz_}"
args=(-max_total_time="$seconds" -print_final_stats=1 -rss_limit_mb=4096)
[ -n "${RUNS:-}" ] && args=(-runs="$RUNS" -print_final_stats=1 -rss_limit_mb=4096)
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
"$build/$name" "${args[@]}" "$work" "$seeds"
