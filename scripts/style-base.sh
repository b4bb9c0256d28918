# Sourced. style_base: prints the commit whose lines the format check leaves
# alone: the last one that changed a .clang-format (a change of style never
# reformats what was there), or, in a clone too shallow to hold it, HEAD's
# parent (only the newest commit is checked then). Prints nothing when the
# history has neither.
style_base() {
  local root=$1 base
  base=$(git -C "$root" log -1 --format=%H -- .clang-format engines/.clang-format 2>/dev/null || true)
  if [ -z "$base" ]; then
    base=$(git -C "$root" rev-parse --verify -q HEAD~1 || true)
  fi
  echo "$base"
}
