#!/usr/bin/env bash
# Makes the archives the walk's tests read, with Debian's own tools
# (libarchive-tools, 7zip, gcab, genisoimage, cpio, bzip2, xz-utils, zstd,
# python3). Each holds payload.txt, which carries the tests' marker, beside
# a harmless file. Kept in the repository, so that the tests never depend on
# the tools' versions; run again only to change them.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in/sub"
printf 'before QDX-WALK-PAYLOAD-4f1c9a after\n' > "$work/in/payload.txt"
printf 'nothing to see here\n' > "$work/in/sub/harmless.txt"
# Large enough that 7-Zip packs it rather than storing it.
mkdir -p "$work/big"
{ cat "$work/in/payload.txt"; for i in $(seq 1 400); do echo "line $i of a text that packs well"; done; } > "$work/big/payload.txt"
(
  cd "$work/in"
  touch -d 2024-01-01 payload.txt sub/harmless.txt sub
  bsdtar -cf "$work/payload.tar" payload.txt sub
  bsdtar -czf "$work/payload.tar.gz" payload.txt sub
  bsdtar -cjf "$work/payload.tar.bz2" payload.txt sub
  bsdtar -cJf "$work/payload.tar.xz" payload.txt sub
  bsdtar --lzma -cf "$work/payload.tar.lzma" payload.txt sub
  bsdtar --zstd -cf "$work/payload.tar.zst" payload.txt sub
  bsdtar -cZf "$work/payload.tar.Z" payload.txt sub
  bsdtar --format newc -cf "$work/payload-newc.cpio" payload.txt sub
  bsdtar --format odc -cf "$work/payload-odc.cpio" payload.txt sub
  bsdtar --format bin -cf "$work/payload-bin.cpio" payload.txt sub
  bsdtar --format xar -cf "$work/payload.xar" payload.txt sub/harmless.txt
  bsdtar --format ar -cf "$work/payload.a" payload.txt
  bsdtar --format 7zip -cf "$work/payload-bsdtar.7z" payload.txt sub
  7zz a -bd -bso0 -t7z -m0=LZMA2 "$work/payload.7z" payload.txt sub >/dev/null
  7zz a -bd -bso0 -t7z -m0=PPMd "$work/payload-ppmd.7z" -w"$work/big" "$work/big/payload.txt" >/dev/null
  7zz a -bd -bso0 -t7z -pqdx "$work/payload-encrypted.7z" payload.txt sub >/dev/null
  ( cd "$work/big"
    7zz a -bd -bso0 -tzip -mm=BZip2 "$work/payload-bzip2.zip" payload.txt >/dev/null
    7zz a -bd -bso0 -tzip -mm=LZMA "$work/payload-lzma.zip" payload.txt >/dev/null
    7zz a -bd -bso0 -tzip -mm=PPMd "$work/payload-ppmd.zip" payload.txt >/dev/null )
  gcab -c -z "$work/payload.cab" payload.txt sub/harmless.txt
  gcab -c "$work/payload-stored.cab" payload.txt sub/harmless.txt
  genisoimage -quiet -J -R -o "$work/payload.iso" .
  gzip -9n < payload.txt > "$work/payload.txt.gz"
  bzip2 -9 < payload.txt > "$work/payload.txt.bz2"
  xz -9 < payload.txt > "$work/payload.txt.xz"
  xz --format=lzma < payload.txt > "$work/payload.txt.lzma"
  zstd -q -19 < payload.txt > "$work/payload.txt.zst"
)
# A solid 7z whose first member spends a small budget before the payload.
( mkdir -p "$work/spent" && cd "$work/spent" && head -c 8M /dev/zero > a-zeros.bin &&
  cp "$work/in/payload.txt" b-payload.txt && touch -d 2024-01-01 a-zeros.bin b-payload.txt &&
  7zz a -bd -bso0 -t7z -mx1 "$work/budget-spent.7z" a-zeros.bin b-payload.txt >/dev/null )
# A sparse member: a megabyte of hole, then a line.
( cd "$work" && truncate -s 1M sparse.bin && printf 'the end of a sparse file\n' >> sparse.bin &&
  tar --sparse --format=posix --owner=0 --group=0 --mtime=2024-01-01 \
      --pax-option=delete=atime,delete=ctime -cf sparse.tar sparse.bin )
# Nested: a ZIP in a 7z in a gzip'd tar.
( cd "$work/in" && 7zz a -bd -bso0 -tzip "$work/inner.zip" payload.txt >/dev/null )
( cd "$work" && 7zz a -bd -bso0 -t7z middle.7z inner.zip >/dev/null && bsdtar -czf nested.tar.gz middle.7z )
# Two archives one after the other, and one behind a picture's bytes.
cat "$work/payload.7z" "$work/payload.cab" > "$work/two.bin"
{ printf 'GIF89a'; head -c 2000 /dev/zero; cat "$work/payload.cab"; } > "$work/picture-with-cab.gif"
python3 - "$work" <<'PY'
import sys, zipfile, io
w = sys.argv[1]
data = open(f"{w}/in/payload.txt", "rb").read()
for name, method in (("payload-pyzip-lzma.zip", zipfile.ZIP_LZMA), ("payload-pyzip-bzip2.zip", zipfile.ZIP_BZIP2)):
    with zipfile.ZipFile(f"{w}/{name}", "w", method) as z:
        z.writestr(zipfile.ZipInfo("payload.txt", (2024, 1, 1, 0, 0, 0)), data, compress_type=method)
# Two ZIP archives one after the other: only the directory of the second
# lies at the end.
def one(member, content):
    b = io.BytesIO()
    with zipfile.ZipFile(b, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr(zipfile.ZipInfo(member, (2024, 1, 1, 0, 0, 0)), content)
    return b.getvalue()
open(f"{w}/two-zips.bin", "wb").write(one("payload.txt", data) + one("other.txt", b"harmless\n"))
PY
# A 7z whose LZMA coder asks for a dictionary of 1.5 GiB: made small with
# its header uncompressed, then the property set and the CRCs mended.
( cd "$work/in" && 7zz a -bd -bso0 -t7z -m0=LZMA:d=64k -mhc=off "$work/payload-hugedict.7z" payload.txt >/dev/null )
python3 - "$work/payload-hugedict.7z" <<'PY'
import struct, sys, zlib
path = sys.argv[1]
d = bytearray(open(path, "rb").read())
offset, size = struct.unpack_from("<QQ", d, 12)
header = 32 + offset
at = d.index(b"\x03\x01\x01\x05\x5d", header) + 5  # LZMA's coder id, 5 bytes of properties
struct.pack_into("<I", d, at, 0x60000000)
struct.pack_into("<I", d, 28, zlib.crc32(bytes(d[header:header + size])))
struct.pack_into("<I", d, 8, zlib.crc32(bytes(d[12:32])))
open(path, "wb").write(d)
PY
for f in "$work"/*.tar* "$work"/*.cpio "$work"/*.xar "$work"/*.a "$work"/*.7z "$work"/*.zip "$work"/*.cab \
         "$work"/*.iso "$work"/payload.txt.* "$work"/nested.tar.gz "$work"/two.bin "$work"/picture-with-cab.gif \
         "$work"/two-zips.bin; do
  cp "$f" .
done
rm -f inner.zip
# The RAR archives (rar4.rar, rar5.rar, rar5-solid.rar, rar4-encrypted.rar,
# rar5-sfx.exe) are libarchive's own test archives, uudecoded from
# libarchive/test/test_read_format_rar*.uu in Debian's source package of
# libarchive: no tool in Debian writes RAR.
