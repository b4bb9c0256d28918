#!/usr/bin/env bash
# How the archives beside this script were made (run in an empty folder;
# Debian's arj 3.10 and 7zip 22 packages). The test text is words picked by
# a 31-bit LCG; arj_test.cpp and zip_methods_test.cpp make the same text to
# compare. mixed.bin holds 3000 random bytes, so d64.zip differs when remade;
# its members are checked against their CRC-32 and sizes.
set -euo pipefail
text() {  # SIZE SEED
  python3 - "$@" <<'PY'
import sys
words = ["alpha ", "bravo ", "charlie ", "delta ", "echo ", "foxtrot ", "golf ", "hotel ",
         "india ", "juliet ", "kilo ", "lima ", "mike ", "november ", "oscar ", "papa\n"]
size, x = int(sys.argv[1]), int(sys.argv[2])
out = bytearray()
while len(out) < size:
    x = (x * 1103515245 + 12345) & 0x7FFFFFFF
    out += words[(x >> 16) % 16].encode()
sys.stdout.buffer.write(bytes(out[:size]))
PY
}
text 80000 1 >big.txt
text 300 2 >small.txt
text 5000 3 >medium.txt
arj a -m0 -i -y m0.arj medium.txt small.txt
for m in 1 2 3 4; do arj a -m$m -i -y m$m.arj big.txt small.txt; done
arj a -m1 -gsecret -i -y garbled.arj small.txt big.txt
arj a -m1 -v10k -i -y vol.arj small.txt big.txt  # vol.arj and vol.a01
python3 -c "import sys; sys.stdout.buffer.write(b'Z' * 70000 + b'end\n')" >runs.bin
(head -c 2000 big.txt; head -c 3000 /dev/urandom; tail -c 2000 big.txt) >mixed.bin
7zz a -tzip -mm=Deflate64 -mx=9 d64.zip big.txt small.txt runs.bin mixed.bin
