#!/usr/bin/env bash
# The second pair of eyes: fails when a line changed since the style last
# changed is not formatted (printing the diff that would mend it, file by
# file), or when clang-tidy finds anything in the portable code (each finding
# with its file, line and check). clang-tidy reads the compile databases of
# the host builds scripts/host-test.sh makes.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
host=${QUENDIX_HOST_BUILD:-$root/host-build}
engines=${QUENDIX_HOST_ENGINES_BUILD:-$root/host-build-engines}
source "$root/scripts/style-base.sh"
status=0

base=$(style_base "$root")
if [ -z "$base" ]; then
  echo "format: no earlier commit to compare with, nothing checked"
else
  diff=$(cd "$root" && git-clang-format-14 --binary clang-format-14 --extensions c,cc,cpp,h,hpp --diff "$base" 2>&1)
  case "$diff" in
    "no modified files to format"*|"clang-format did not modify any files"*)
      echo "format: every line changed since $(git -C "$root" log -1 --format='%h (%cs)' "$base") is formatted" ;;
    *)
      echo "format: these lines changed since $(git -C "$root" log -1 --format=%h "$base") are not formatted (scripts/format.sh mends them):"
      echo "$diff"
      status=1 ;;
  esac
fi

# The portable code of each build: what its compile database holds, less the
# tests, fuzz targets, benchmarks and GoogleTest.
portable='^'"$root"'/(src|shared|engines/core|engines/update/core|engines/lib)/[^ ]*\.cpp$'
log=$(mktemp)
trap 'rm -f "$log"' EXIT
# Prints the findings; a run that failed without any is a finding too.
tidy() {
  local db=$1
  if [ ! -f "$db/compile_commands.json" ]; then
    echo "$db/compile_commands.json: error: missing (scripts/host-test.sh makes it)"
    return
  fi
  run-clang-tidy-14 -p "$db" -j"$(nproc)" -quiet -header-filter="^$root/(src|shared|engines)/" "$portable" 2>&1 |
    sed -E 's/\x1b\[[0-9;]*m//g' >"$log"
  local result=${PIPESTATUS[0]}
  grep -E ': (warning|error): ' "$log" | sort -u
  if [ $result -ne 0 ] && ! grep -qE ': (warning|error): ' "$log"; then
    echo "$db: error: clang-tidy failed with no finding; its last words:"
    tail -n 20 "$log"
  fi
}
started=$SECONDS
findings=$(tidy "$host"; tidy "$engines/sanitized")
if [ -n "$findings" ]; then
  echo "clang-tidy: findings in the portable code after $((SECONDS - started)) s (mend them, or turn a check off in .clang-tidy with its reason):"
  echo "$findings" | awk '!seen[$0]++' | sed "s|^$root/||"
  status=1
else
  echo "clang-tidy: no findings in the portable code ($((SECONDS - started)) s)"
fi
exit $status
