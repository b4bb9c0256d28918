#!/usr/bin/env bash
# Says where the host's -dev packages (the host build's libraries) are built
# from other source versions than third-party/versions names for Windows.
# Exit status 1 when any differs or is missing.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
declare -A dev=([bzip2]=libbz2-dev [xz-utils]=liblzma-dev [libzstd]=libzstd-dev [libxml2]=libxml2-dev
                [libarchive]=libarchive-dev [libmspack]=libmspack-dev)
status=0
while read -r name ver _; do
  [[ -z "$name" || "$name" == \#* ]] && continue
  package=${dev[$name]:-}
  [ -n "$package" ] || continue
  host=$(dpkg-query -W -f='${source:Version}' "$package" 2>/dev/null || true)
  if [ "$host" != "$ver" ]; then
    echo "third-party: the host's $package is built from $name ${host:-(not installed)}, the Windows programs from $ver" >&2
    status=1
  fi
done <"$here/versions"
exit $status
