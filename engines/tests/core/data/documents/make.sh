#!/bin/sh
# The fixtures of the document readers' tests, from Debian's clamav-testfiles.
# clam-ppt-document.bin: the "PowerPoint Document" stream of clam.ppt, as
# clamscan extracts it (its OLE2 streams are named by the MD5 of their name
# in lower case; 87320d13... is "powerpoint document").
# clam-ole-ole10native.bin: the "\x01Ole10Native" stream of clam.ole.doc
# (e74f5f7b... is the MD5 of "_1_ole10native").
set -e
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo 'aa15bcf478d165efd2065190eb473bcb:544:Clam.Test' > "$work/t.hdb"
mkdir "$work/tmp"
clamscan --leave-temps --tempdir "$work/tmp" -d "$work/t.hdb" /usr/share/clamav-testfiles/clam.ppt > /dev/null || true
cp "$(find "$work/tmp" -name '87320d137f01f7b183eb533a1de6c62a_1' | head -n 1)" "$here/clam-ppt-document.bin"
rm -rf "$work/tmp" && mkdir "$work/tmp"
clamscan --leave-temps --tempdir "$work/tmp" -d "$work/t.hdb" /usr/share/clamav-testfiles/clam.ole.doc > /dev/null || true
cp "$(find "$work/tmp" -name 'e74f5f7bbf0b77708bc591157d708d3d_1' | head -n 1)" "$here/clam-ole-ole10native.bin"
