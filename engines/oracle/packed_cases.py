#!/usr/bin/env python3
"""Cases for packed Windows programs (UPX, WWPack32), checked against clamscan.

    packed_cases.py [--qdx-scan PROGRAM] [--keep DIR] [--seed N]

make_cases(work, rng) writes the files into `work` and returns
(files, hdb_lines, ndb_lines, ldb_lines, planted). Debian's clam-upx.exe is
flagged by the MD5 of clam.exe (carried in the unpacked image) and by the
unpacked image's own MD5, body signatures at its entry point and in its
second section, and a logical signature of both. Programs packed here the
way UPX packs them, NRV2B, NRV2D, NRV2E (near and far matches) or LZMA
behind a loader whose code tells the method: bytes without PE headers (a
program is made around them), an original program's sections placed by its
own headers (found through the loader's imports offset), and damaged data
(not unpacked: the markers in it are never found). Markers are placed at
the unpacked entry point (EP+) and at a section's start (S1+), so they
match only in the unpacked image. A program carried in another's overlay,
after a false start, is flagged by the MD5 of its bytes to the end.
Debian's clam-wwpack.exe by clam.exe's MD5, the unpacked image's MD5 and
an EP+ body signature; programs packed here as WWPack32 packs them (two
blocks, literals and matches of every distance), and one damaged.

Run alone, it checks the cases with clamscan --allmatch and, when given,
qdx-scan --all-match: each must find exactly what was planted.
"""
import hashlib
import lzma
import os
import shutil
import struct
import sys

import pebuild

TESTFILES = "/usr/share/clamav-testfiles"
CLAM_EXE_MD5 = "aa15bcf478d165efd2065190eb473bcb"
# clam-upx.exe's image as clamscan rebuilds it: 20,480 bytes.
CLAM_UPX_IMAGE_MD5 = "3b03bc19b1f39587a0650c7b6fe35d38"
CLAM_UPX_EP = "83ec4456ff150c2040006a448bf08d44"
CLAM_UPX_RDATA = b"embedded clam.exe".hex()

# clam-wwpack.exe's image as clamscan rebuilds it: 20,480 bytes.
CLAM_WWPACK_IMAGE_MD5 = "7b8cd3dd6a198ec191afce0206665d2d"
WWPACK_ENTRY = (b"\x53\x55\x8b\xe8\x33\xdb\xeb",
                b"\xe8\x00\x00\x00\x00\x58\x2d\x6d\x00\x00\x00\x50\x60\x33\xc9\x50\x58\x50\x50")

LOOPS = {"b": b"\x11\xdb\x11\xc9\x01\xdb\x75\x07\x8b\x1e\x83\xee\xfc",
         "d": b"\x83\xf0\xff\x74\x78\xd1\xf8\x89\xc5\xeb\x0b\x01\xdb",
         "e": b"\xeb\x52\x31\xc9\x83\xe8\x03\x72\x11\xc1\xe0\x08\x8a"}
LZMA_LOADER = b"\x56\x83\xc3\x04\x53\x50\xc7\x03\x03\x00\x02\x00\x90\x90\x90\x90\x90\x55\x57\x56"


class Nrv:
    """UPX's NRV2B, NRV2D or NRV2E stream: literals and matches, bits 32
    at a time. 2D and 2E code offsets with a step back between the bit
    pairs and carry the first length bit in the offset's lowest bit."""

    def __init__(self, method="b"):
        self.method = method
        self.out = bytearray()
        self.left = 0
        self.word = 0
        self.last = 0

    def bit(self, b):
        if self.left == 0:
            self.word = len(self.out)
            self.out += bytes(4)
            self.left = 32
        self.left -= 1
        if b:
            self.out[self.word + self.left // 8] |= 1 << (self.left % 8)

    def gamma(self, v):
        bits = bin(v)[3:]
        for i, c in enumerate(bits):
            self.bit(int(c))
            self.bit(1 if i == len(bits) - 1 else 0)

    def gamma_stepped(self, v):
        if v < 4:
            return [v - 2, 1]
        # After a 0 "more" bit: one step back and two more bits.
        bits = self.gamma_stepped((v >> 2) + 1)
        bits[-1] = 0
        return bits + [(v >> 1) & 1, v & 1, 1]

    def offset(self, v):
        if self.method == "b":
            self.gamma(v)
        else:
            for b in self.gamma_stepped(v):
                self.bit(b)

    def literal(self, c):
        self.bit(1)
        self.out.append(c)

    def match(self, distance, count):
        self.bit(0)
        reuse = distance == self.last
        self.last = distance
        far = 1 if distance > (0xD00 if self.method == "b" else 0x500) else 0
        if self.method == "b":
            if reuse:
                self.offset(2)
            else:
                self.offset(((distance - 1) >> 8) + 3)
                self.out.append((distance - 1) & 0xFF)
            length = count - 1 - far
            if length <= 3:
                self.bit(length >> 1)
                self.bit(length & 1)
            else:
                self.bit(0)
                self.bit(0)
                self.gamma(length - 2)
            return
        rest, rest_gamma = [], 0
        if self.method == "d":
            length = count - 1 - far
            first, rest = (length >> 1, [length & 1]) if length <= 3 else (0, [0])
            rest_gamma = length - 2 if length > 3 else 0
        else:
            k = count - far
            if k <= 3:
                first, rest = 1, [k - 2]
            elif k <= 5:
                first, rest = 0, [1, k - 4]
            else:
                first, rest, rest_gamma = 0, [0], k - 4
        if reuse:
            self.offset(2)
            self.bit(first)
        else:
            m = 2 * distance - 1 - first
            self.offset((m >> 8) + 3)
            self.out.append(m & 0xFF)
        for b in rest:
            self.bit(b)
        if rest_gamma:
            self.gamma(rest_gamma)

    def finish(self):
        self.bit(0)
        self.offset(0x1000002)
        self.out.append(0xFF)
        return bytes(self.out)


def nrv2b(data, method="b"):
    """Runs of one byte as matches one byte back, a repeat of the 64 bytes
    before as a match, the rest as literals."""
    w = Nrv(method)
    i = 0
    while i < len(data):
        run = 0
        while i > 0 and i + run < len(data) and data[i + run] == data[i - 1] and run < 4000:
            run += 1
        if run >= 3:
            w.match(1, run)
            i += run
        elif i >= 0x600 + 64 and data[i:i + 64] == data[i - 0x600:i - 0x600 + 64]:
            w.match(0x600, 64)
            i += 64
        else:
            w.literal(data[i])
            i += 1
    return w.finish()


def lzma_raw(data):
    filters = [{"id": lzma.FILTER_LZMA1, "lc": 3, "lp": 0, "pb": 2, "dict_size": 1 << 16}]
    return lzma.compress(data, format=lzma.FORMAT_RAW, filters=filters)


def upx_program(packed, loader, room, unpacked_size=0, imports_at=None):
    """Two sections: UPX0 (room in memory, nothing on disk) and UPX1, the
    packed data with the loader after it at the entry point."""
    stub = bytearray(b"\x90" * 0x200)
    stub[0] = 0x60  # pusha
    if loader.startswith("nrv2"):
        loop = LOOPS[loader[-1]]
        stub[0x69:0x69 + len(loop)] = loop
        if imports_at is not None:  # lea edi, [esi + imports]
            stub[0x106:0x108] = b"\x8d\xbe"
            struct.pack_into("<I", stub, 0x108, imports_at)
    else:
        stub[0x2F:0x2F + len(LZMA_LOADER)] = LZMA_LOADER
        struct.pack_into("<I", stub, 0x21, unpacked_size)
    data = packed + bytes(-len(packed) % 16)
    entry_in_section = len(data)
    data += bytes(stub)
    data += bytes(-len(data) % 0x200)
    upx0 = 0x1000
    upx1 = upx0 + (room + 0xFFF) // 0x1000 * 0x1000
    upx1_size = (len(data) + 0xFFF) // 0x1000 * 0x1000
    head = bytearray(0x200)
    head[0:2] = b"MZ"
    struct.pack_into("<I", head, 0x3C, 0x40)
    head[0x40:0x44] = b"PE\0\0"
    struct.pack_into("<HHIIIHH", head, 0x44, 0x14C, 2, 0, 0, 0, 0xE0, 0x010F)
    opt = 0x58
    struct.pack_into("<H", head, opt, 0x10B)
    struct.pack_into("<I", head, opt + 16, upx1 + entry_in_section)
    struct.pack_into("<IIII", head, opt + 28, 0x400000, 0x1000, 0x200, 0)
    struct.pack_into("<H", head, opt + 48, 4)  # subsystem version
    struct.pack_into("<II", head, opt + 56, upx1 + upx1_size, 0x200)
    struct.pack_into("<H", head, opt + 68, 2)
    struct.pack_into("<I", head, opt + 92, 16)
    table = opt + 0xE0
    struct.pack_into("<8sIIIIIIHHI", head, table, b"UPX0", room, upx0, 0, 0, 0, 0, 0, 0, 0xE0000080)
    struct.pack_into("<8sIIIIIIHHI", head, table + 40, b"UPX1", upx1_size, upx1, len(data), 0x200, 0, 0, 0, 0,
                     0xE0000040)
    return bytes(head) + data


def original_headers(entry_rva):
    """The PE header UPX keeps after the imports: .text at 0x1000 and
    .data at 0x2000, 0x1000 bytes each."""
    coff = struct.pack("<HHIIIHH", 0x14C, 2, 0, 0, 0, 0xE0, 0x010F)
    opt = bytearray(0xE0)
    struct.pack_into("<H", opt, 0, 0x10B)
    struct.pack_into("<I", opt, 16, entry_rva)
    struct.pack_into("<IIII", opt, 28, 0x400000, 0x1000, 0x200, 0)
    struct.pack_into("<H", opt, 48, 4)
    struct.pack_into("<II", opt, 56, 0x3000, 0x400)
    struct.pack_into("<H", opt, 68, 2)
    struct.pack_into("<I", opt, 92, 16)
    sections = (struct.pack("<8sIIIIIIHHI", b".text", 0x1000, 0x1000, 0x1000, 0x400, 0, 0, 0, 0, 0x60000020) +
                struct.pack("<8sIIIIIIHHI", b".data", 0x1000, 0x2000, 0x1000, 0x1400, 0, 0, 0, 0, 0xC0000040))
    return b"PE\0\0" + coff + bytes(opt) + sections


class WwStream:
    """WWPack32's stream: 32-bit words of codes, most significant bit
    first, literal bytes between them where the decoder needs them."""

    DISTANCES = [(0, None, 5, 1), (1, None, 6, 33), (2, None, 7, 97), (3, 0, 8, 225), (3, 1, 9, 481),
                 (4, 0, 10, 993), (4, 1, 11, 2017), (5, None, 12, 4065), (6, None, 14, 0x1FE1),
                 (7, None, 15, 0x5FE1)]

    def __init__(self):
        self.out = bytearray()
        self.new_word()

    def new_word(self):
        self.word = len(self.out)
        self.out += bytes(4)
        self.used = 0

    def bit(self, b):
        if b:
            self.out[self.word + 3 - self.used // 8] |= 0x80 >> (self.used % 8)
        self.used += 1
        if self.used == 32:
            self.new_word()

    def bits(self, v, n):
        for i in reversed(range(n)):
            self.bit((v >> i) & 1)

    def literal(self, c):
        self.bit(0)
        self.out.append(c)

    def match(self, distance, length):
        """length 3..16383, distance 1..57312."""
        head = {3: 1, 4: 2}.get(length, 0)
        self.bit(1)
        self.bits(head, 2)
        kind, extra, width, base = next(c for c in self.DISTANCES if c[3] <= distance < c[3] + (1 << c[2]))
        self.bits(kind, 3)
        if extra is not None:
            self.bit(extra)
        self.bits(distance - base, width)
        if head:
            return
        if length <= 6:
            self.bit(0)
            return self.bit(length - 5)
        self.bit(1)
        if length <= 13:
            return self.bits(length - 6, 3)
        self.bits(0, 3)
        if length <= 28:
            return self.bits(length - 13, 4)
        self.bits(0, 4)
        base = 29
        for width in (5, 6, 7):
            if length < base + (1 << width):
                self.bit(1)
                return self.bits(length - base, width)
            self.bit(0)
            base = base * 2 + 3
        self.bits(length, 14)

    def finish(self):
        self.bit(1)
        self.bits(3, 2)
        self.bits(3, 2)
        self.bits(0x1FF, 9)
        out = bytes(self.out)
        return out + bytes(-len(out) % 4 + 4)


def wwpack(data, matches=()):
    """Literals, with each (at, distance, length) of `matches` coded as a
    match where the data reaches `at`."""
    w = WwStream()
    todo = dict((at, (d, n)) for at, d, n in matches)
    i = 0
    while i < len(data):
        if i in todo:
            d, n = todo[i]
            w.match(d, n)
            i += n
        else:
            w.literal(data[i])
            i += 1
    return w.finish()


def wwpack_program(blocks, text_vsz, entry_rva, text_fill=b""):
    """A program whose first section holds the (rva, stream) blocks, and
    the packer's section after it lists them; the loader is at the entry."""
    text = bytearray(text_fill or bytes(0x200))
    for rva, stream in blocks:
        at = rva - 0x1000
        text[len(text):] = bytes(max(0, at + len(stream) - len(text)))
        text[at:at + len(stream)] = stream
    text += bytes(-len(text) % 0x200)
    packer_rva = 0x1000 + (text_vsz + 0xFFF) // 0x1000 * 0x1000
    packer = bytearray(b"\xCC" * 0x400)
    packer[0:7] = WWPACK_ENTRY[0]
    packer[0x68:0x68 + 19] = WWPACK_ENTRY[1]
    packer[0x295:0x299] = struct.pack("<I", (entry_rva - packer_rva - 0x299) & 0xFFFFFFFF)
    for i, (rva, stream) in enumerate(blocks):
        e = 0x2A1 + i * 17
        packer[e:e + 17] = struct.pack("<IIIIB", (packer_rva - rva) & 0xFFFFFFFF, 0, len(stream) // 4,
                                       len(stream) - 4, 1 if i + 1 < len(blocks) else 0)
    pe = 0x80
    head = bytearray(0x200)
    head[0:2] = b"MZ"
    head[0x3C:0x40] = struct.pack("<I", pe)
    opt = bytearray(0xE0)
    struct.pack_into("<HBBIIIIIIIIIHHHHHHIIIIHHIIIIII", opt, 0, 0x10B, 1, 0, len(text), 0, 0, packer_rva, 0x1000,
                     0, 0x400000, 0x1000, 0x200, 4, 0, 0, 0, 4, 0, 0, packer_rva + 0x1000, 0x200, 0, 2, 0,
                     0x100000, 0x1000, 0x100000, 0x1000, 0, 16)
    head[pe:pe + 24] = b"PE\0\0" + struct.pack("<HHIIIHH", 0x14C, 2, 0, 0, 0, 0xE0, 0x10F)
    head[pe + 24:pe + 24 + 0xE0] = opt
    table = pe + 24 + 0xE0
    head[table:table + 40] = struct.pack("<8sIIIIIIHHI", b".text", text_vsz, 0x1000, len(text), 0x200,
                                         0, 0, 0, 0, 0xE0000020)
    head[table + 40:table + 80] = struct.pack("<8sIIIIIIHHI", b".wwp32", 0x1000, packer_rva, len(packer),
                                              0x200 + len(text), 0, 0, 0, 0, 0xE0000020)
    return bytes(head) + bytes(text) + bytes(packer)


def make_cases(work, rng):
    files, hdb, ndb, ldb, planted = [], [], [], [], {}

    def write(name, data, names):
        path = os.path.join(work, name)
        with open(path, "wb") as f:
            f.write(data)
        files.append(path)
        planted[name] = set(names)

    def marker(name):
        return ("QDX-%s-%08x" % (name, rng.randrange(1 << 32))).encode()

    def noise(n):
        return bytes(rng.randrange(256) for _ in range(n))

    # Debian's test program packed by UPX.
    hdb.append("%s:544:Qdx.Oracle.ClamExe" % CLAM_EXE_MD5)
    hdb.append("%s:20480:Upx.Clam.Image" % CLAM_UPX_IMAGE_MD5)
    ndb.append("Upx.Clam.Ep:1:EP+0:%s" % CLAM_UPX_EP)
    ndb.append("Upx.Clam.Rdata:1:S1+64:%s" % CLAM_UPX_RDATA)
    ldb.append("Upx.Clam.Logical;Engine:51-255,Target:1;0&1;%s;%s" % (CLAM_UPX_EP, CLAM_UPX_RDATA))
    clam_upx = os.path.join(TESTFILES, "clam-upx.exe")
    if os.path.exists(clam_upx):
        target = os.path.join(work, "clam-upx.exe")
        shutil.copyfile(clam_upx, target)
        files.append(target)
        planted["clam-upx.exe"] = {"Qdx.Oracle.ClamExe", "Upx.Clam.Image", "Upx.Clam.Ep", "Upx.Clam.Rdata",
                                   "Upx.Clam.Logical", "WwPack.Clam.Ep"}

    # Debian's test program packed by WWPack32: the same program unpacked,
    # so the UPX case's body and logical signatures match as well.
    hdb.append("%s:20480:WwPack.Clam.Image" % CLAM_WWPACK_IMAGE_MD5)
    ndb.append("WwPack.Clam.Ep:1:EP+0:%s" % CLAM_UPX_EP)
    clam_wwpack = os.path.join(TESTFILES, "clam-wwpack.exe")
    if os.path.exists(clam_wwpack):
        target = os.path.join(work, "clam-wwpack.exe")
        shutil.copyfile(clam_wwpack, target)
        files.append(target)
        planted["clam-wwpack.exe"] = {"Qdx.Oracle.ClamExe", "WwPack.Clam.Image", "WwPack.Clam.Ep", "Upx.Clam.Ep",
                                      "Upx.Clam.Rdata", "Upx.Clam.Logical"}

    # WWPack32 here: two blocks, the first with matches of every distance
    # class before the marker at its entry point, the second with a marker
    # at a section offset: both are found only in the unpacked image.
    ep, second = marker("WwPack.Ep"), marker("WwPack.Second")
    first = bytearray(noise(60000))
    matches = []
    for i, d in enumerate([1, 40, 100, 300, 700, 1500, 3000, 6000, 20000, 50000]):
        matches.append((len(first), d, 3 + i % 4))
        for _ in range(3 + i % 4):
            first.append(first[len(first) - d])
    entry_at = len(first)
    first += ep + noise(100)
    ndb.append("WwPack.Ep:1:EP+0:%s" % ep.hex())
    ndb.append("WwPack.Second:1:S0+%d:%s" % (0x11000, second.hex()))
    stream_one = wwpack(bytes(first), matches)
    blocks = [(0x1000, stream_one), (0x12000, wwpack(second + noise(300)))]
    write("wwpack.exe", wwpack_program(blocks, 0x20000, 0x1000 + entry_at), {"WwPack.Ep", "WwPack.Second"})
    # Cut in the middle: not unpacked, nothing found.
    damaged = [(0x1000, stream_one[:len(stream_one) // 2])]
    write("wwpack-damaged.exe", wwpack_program(damaged, 0x20000, 0x1000 + entry_at), set())

    # Bytes without headers, NRV2B: the made program's entry point is the
    # first unpacked byte.
    ep = marker("Upx.Nrv2b.Ep")
    body = ep + noise(900) + bytes(3000) + noise(500) + b"\xCC" * 700 + noise(300)
    ndb.append("Upx.Nrv2b.Ep:1:EP+0:%s" % ep.hex())
    inside = marker("Upx.Nrv2b.Inside")
    ndb.append("Upx.Nrv2b.Inside:1:*:%s" % inside.hex())
    ldb.append("Upx.Nrv2b.Logical;Engine:51-255,Target:1;0&1;%s;%s" % (ep.hex(), inside.hex()))
    write("upx-nrv2b.exe", upx_program(nrv2b(body + inside + noise(200)), "nrv2b", 0x4000),
          {"Upx.Nrv2b.Ep", "Upx.Nrv2b.Inside", "Upx.Nrv2b.Logical"})

    # NRV2D and NRV2E, with matches near and far.
    for method in "de":
        name = "Upx.Nrv2%s.Ep" % method.upper()
        ep = marker(name)
        block = noise(64)
        body = ep + noise(0x600) + block + noise(0x600 - 64) + block + bytes(2000) + noise(400)
        ndb.append("%s:1:EP+0:%s" % (name, ep.hex()))
        write("upx-nrv2%s.exe" % method, upx_program(nrv2b(body, method), "nrv2" + method, 0x4000), {name})

    # LZMA.
    ep = marker("Upx.Lzma.Ep")
    body = ep + noise(2000) + bytes(5000) + noise(700)
    ndb.append("Upx.Lzma.Ep:1:EP+0:%s" % ep.hex())
    write("upx-lzma.exe", upx_program(b"\0\0" + lzma_raw(body), "lzma", 0x4000, len(body)), {"Upx.Lzma.Ep"})

    # The original program's headers after its sections and the imports.
    text_marker, data_marker = marker("Upx.Rebuilt.Ep"), marker("Upx.Rebuilt.Data")
    text = noise(0x10) + text_marker + noise(0x400) + bytes(0x1000 - 0x410 - len(text_marker))
    data = data_marker + noise(0x300) + bytes(0x1000 - 0x300 - len(data_marker))
    unpacked = text + data + bytes(4) + original_headers(0x1010)
    ndb.append("Upx.Rebuilt.Ep:1:EP+0:%s" % text_marker.hex())
    ndb.append("Upx.Rebuilt.Data:1:S1+0:%s" % data_marker.hex())
    write("upx-rebuilt.exe", upx_program(nrv2b(unpacked), "nrv2b", 0x3000, imports_at=0x2000),
          {"Upx.Rebuilt.Ep", "Upx.Rebuilt.Data"})

    # A program carried in another's overlay, after a false start (an "MZ"
    # whose header points nowhere): scanned from its own "MZ" to the end.
    inner_layout = pebuild.Layout([0x400, 0x200], 0, 0x10, 0)
    inner = inner_layout.header_bytes(0x5EED) + noise(0x600)
    tail = noise(300)
    false_start = b"MZ" + bytes(58) + struct.pack("<I", 0x7000) + b"PE\0\0" + noise(40)
    overlay = noise(100) + false_start + inner + tail
    outer = pebuild.Layout([0x200, 0x400], 0, 0, len(overlay))
    hdb.append("%s:%d:Embedded.Program" % (hashlib.md5(inner + tail).hexdigest(), len(inner + tail)))
    write("embedded-program.exe", outer.header_bytes(0x1234) + noise(0x600) + overlay, {"Embedded.Program"})

    # Damaged: cut in the middle. Nothing is unpacked, nothing found.
    ep = marker("Upx.Damaged.Ep")
    ndb.append("Upx.Damaged.Ep:1:EP+0:%s" % ep.hex())
    stream = nrv2b(ep + noise(3000))
    write("upx-damaged.exe", upx_program(stream[:len(stream) // 2], "nrv2b", 0x4000), set())

    return files, hdb, ndb, ldb, planted


def hostile_cases(folder):
    """Packed programs built to cost: (name, path) each."""
    os.makedirs(folder, exist_ok=True)
    cases = []

    def add(name, data):
        path = os.path.join(folder, name.replace(" ", "-").replace(",", "") + ".exe")
        with open(path, "wb") as f:
            f.write(data)
        cases.append((name, path))

    def runs(first, count, size):
        w = Nrv()
        w.literal(first)
        for _ in range(count):
            w.match(1, size)
        return w.finish()

    add("claims 2 GB", upx_program(nrv2b(b"x" * 1000), "nrv2b", 0x7FFF0000))
    # 60 MiB from a few bytes, just under the bound.
    add("60 MiB from one match", upx_program(runs(0x41, 1, 60 * 2**20 - 1), "nrv2b", 60 * 2**20))
    # More than the room: every method fails only after filling it.
    add("100 MiB into 60", upx_program(runs(0x41, 100, 2**20), "nrv2b", 60 * 2**20))
    # Every "MZ" followed by "PE" where the embedded programs are looked for.
    fake = (b"MZ" + bytes(58) + struct.pack("<I", 64) + b"PE\0\0" + bytes(12)) * (20 * 2**20 // 84)
    add("250,000 fake programs", upx_program(nrv2b(b"x" * 100), "nrv2b", 0x4000) + fake)
    # A program packed in a program, 30 times over.
    inner = upx_program(nrv2b(b"innermost" * 100), "nrv2b", 0x4000)
    for _ in range(30):
        inner = upx_program(nrv2b(inner), "nrv2b", (len(inner) + 0xFFF) // 0x1000 * 0x1000 + 0x1000)
    add("30 times packed", inner)
    # WWPack32: an image of 2 GB claimed, and blocks each rewriting 60 MiB
    # of the image, 300 MiB in all, past the bound on what blocks write.
    add("WWPack claims 2 GB", wwpack_program([(0x1000, wwpack(b"x" * 100))], 0x7FFF0000, 0x1000))
    blocks = []
    for i in reversed(range(5)):
        w = WwStream()
        w.literal(0x41 + i)
        for _ in range((60 * 2**20 - 0x20000) // 16383):
            w.match(1, 16383)
        blocks.append((0x1000 + i * 0x5000, w.finish()))
    add("WWPack 300 MiB of blocks", wwpack_program(blocks, 60 * 2**20, 0x1000))
    return cases


if __name__ == "__main__":
    import cases_alone
    sys.exit(cases_alone.check(make_cases, "packed-cases"))
