#!/usr/bin/env bash
# Formats, in place, the lines changed since the style last changed (those
# committed since, and those not yet committed): run it before committing.
# Lines nobody touched keep their shape.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/style-base.sh"
base=$(style_base "$root")
[ -n "$base" ] || { echo "format: no commit to compare with"; exit 0; }
cd "$root"
# As a diff applied to the working tree: git clang-format alone refuses
# files with changes not yet staged.
diff=$(git-clang-format-14 --binary clang-format-14 --extensions c,cc,cpp,h,hpp --diff "$base" -- "$@")
case "$diff" in
  "diff --git"*)
    printf '%s\n' "$diff" | git apply --whitespace=nowarn -
    printf '%s\n' "$diff" | sed -n 's|^+++ b/|formatted: |p' ;;
  *) echo "format: nothing to change" ;;
esac
