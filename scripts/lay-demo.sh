#!/usr/bin/env bash
# Lays out a ready installation in the build's Wine prefix:
#   C:\Quendix          the front end, the quarantine window, the engines and the
#                       updater, the definitions, the virus list
#   C:\Quendix\signatures  the folder for signature databases (left as it is)
#   C:\Quendix\Samples  sample files, a few of them with test detections
# Usage: scripts/lay-demo.sh BUILD_DIR
# Safe to run again: the programs are replaced and the samples reset.
set -euo pipefail
if [ $# -ne 1 ]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
drive_c=$build/wineprefix/drive_c
dest=$drive_c/Quendix

if [ ! -d "$drive_c" ]; then
  echo "$0: no Wine prefix in $build (build the project first)" >&2
  exit 1
fi
for f in quendix7.exe quendix9.exe quendix3.dat qdxvlst.txt; do
  if [ ! -f "$build/bin/$f" ]; then
    echo "$0: $build/bin/$f is missing (build the project first)" >&2
    exit 1
  fi
done
if [ ! -d "$build/demo-samples" ]; then
  echo "$0: $build/demo-samples is missing (build the project first)" >&2
  exit 1
fi

mkdir -p "$dest"
for f in quendix.exe quendixq.exe quendix7.exe quendix9.exe quendix3.dat qdxvlst.txt qdxupdate.exe; do
  if [ -f "$build/bin/$f" ]; then
    cp -f "$build/bin/$f" "$dest/"
  else
    echo "$0: warning: $build/bin/$f is missing, the installation lacks it" >&2
  fi
done

# The folder for the signature databases (ClamAV's main.cvd, daily.cvd, ...);
# databases a user put there stay, and so do the updater's settings.
mkdir -p "$dest/signatures"
[ -f "$dest/update.ini" ] || [ ! -f "$build/bin/update.ini" ] || cp "$build/bin/update.ini" "$dest/"

# The samples (with the test file) are made by the build from the definitions;
# a scan may have disinfected, renamed or deleted them, so start afresh.
rm -rf "$dest/Samples"
cp -r "$build/demo-samples" "$dest/Samples"
echo "Installation laid out in C:\\Quendix ($dest)"
