#!/usr/bin/env bash
# How the installer data beside this script was made (run in an empty
# folder; Debian's nsis 3.08 package). Each .bin is what follows a makensis
# installer's loader: its data from the flags before "NullsoftInst" on, so
# that the samples stay small. The files installed: medium.txt (LCG words,
# as format_samples.h makes them), small.txt, an empty file, and noise.bin
# (bytes of the same LCG, which deflate cannot shrink: a stored block).
set -euo pipefail
python3 - <<'PY'
words = ["alpha ", "bravo ", "charlie ", "delta ", "echo ", "foxtrot ", "golf ", "hotel ",
         "india ", "juliet ", "kilo ", "lima ", "mike ", "november ", "oscar ", "papa\n"]
def text(size, x):
    out = bytearray()
    while len(out) < size:
        x = (x * 1103515245 + 12345) & 0x7FFFFFFF
        out += words[(x >> 16) % 16].encode()
    return bytes(out[:size])
def noise(size, x):
    out = bytearray()
    while len(out) < size:
        x = (x * 1103515245 + 12345) & 0x7FFFFFFF
        out.append((x >> 16) & 0xFF)
    return bytes(out)
open("medium.txt", "wb").write(text(5000, 3))
open("small.txt", "wb").write(text(300, 2))
open("empty.txt", "wb").write(b"")
open("noise.bin", "wb").write(noise(400, 7))
PY
for method in zlib bzip2 lzma; do
  for solid in "" /SOLID; do
    name=$method$([ -n "$solid" ] && echo -solid || true)
    printf 'SetCompressor %s %s\nOutFile "%s.exe"\nSection\nSetOutPath $INSTDIR\nFile medium.txt\nFile empty.txt\nFile noise.bin\nFile small.txt\nSectionEnd\n' \
      "$solid" "$method" "$name" >"$name.nsi"
    makensis -V1 "$name.nsi"
    python3 - "$name.exe" "$name.bin" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
at = data.index(b"\xef\xbe\xad\xdeNullsoftInst") - 4
open(sys.argv[2], "wb").write(data[at:])
PY
    rm "$name.nsi" "$name.exe"
  done
done
rm medium.txt small.txt empty.txt noise.bin
