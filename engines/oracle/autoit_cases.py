#!/usr/bin/env python3
"""Cases for the AutoIt reader, checked against clamscan.

    autoit_cases.py [--qdx-scan PROGRAM] [--keep DIR] [--seed N]

make_cases(work, rng) writes the files into `work` and returns
(files, hdb_lines, ndb_lines, ldb_lines, planted). Compiled AutoIt payloads
built here in both versions (EA05: Mersenne Twister keys; EA06: its own
generator), their members stored or compressed by AutoIt's LZ77, placed
after a small Windows program: files flagged by hash, body (an offset from
the member's start) and logical signatures; an EA06 script whose text, as
clamscan writes it, is flagged; a member under 4 bytes passed over (the
numbering differs by version, the names do not show it); a member cut short
by the end of the file (not scanned, nor anything after it); the same
payload after bytes that are not a program (not opened). Debian's
clam.ea05.exe and clam.ea06.exe are added, flagged by the MD5 of clam.exe.
InstallShield installers of the MSI kind built the same way (two files
after a program, flagged by hash, body and logical signatures; the same
after bytes that are no program, not opened), and Debian's
clam_ISmsi_ext.exe and clam_ISmsi_int.exe.
`planted` maps each file's name to the signatures that must be found in it.

Run alone, it checks the cases with clamscan --allmatch and, when given,
qdx-scan --all-match: each must find exactly what was planted.
"""
import hashlib
import os
import struct
import sys
import zlib

import pebuild

TESTFILES = "/usr/share/clamav-testfiles"
CLAM_EXE_MD5 = "aa15bcf478d165efd2065190eb473bcb"
MARK = bytes.fromhex("a3484bbe986c4aa9994c530a86d6487d") + b"AU3!EA0"
SIXTEEN = b"qdx-autoit-cases"


def mt_bytes(seed, n):
    """The EA05 keys: MT19937 outputs shifted right once, low byte."""
    mt = [seed & 0xFFFFFFFF]
    for i in range(1, 624):
        mt.append((0x6C078965 * (mt[-1] ^ (mt[-1] >> 30)) + i) & 0xFFFFFFFF)
    out, index = bytearray(), 624
    for _ in range(n):
        if index == 624:
            for i in range(624):
                y = (mt[i] & 0x80000000) | (mt[(i + 1) % 624] & 0x7FFFFFFF)
                mt[i] = mt[(i + 397) % 624] ^ (y >> 1) ^ (0x9908B0DF if y & 1 else 0)
            index = 0
        y = mt[index]
        index += 1
        y ^= y >> 11
        y ^= (y << 7) & 0x9D2C5680
        y ^= (y << 15) & 0xEFC60000
        y ^= y >> 18
        out.append((y >> 1) & 0xFF)
    return bytes(out)


def lame_bytes(seed, n):
    """The EA06 keys: two rotated sums over a ring of 17 words per byte."""
    ring, s = [], seed & 0xFFFF
    for _ in range(17):
        s = (1 - s * 0x53A9B4FB) & 0xFFFFFFFF
        ring.append(s)
    state = [0, 10]

    def rotl(v, k):
        return ((v << k) | (v >> (32 - k))) & 0xFFFFFFFF

    def step():
        a, b = state
        v = (rotl(ring[a], 9) + rotl(ring[b], 13)) & 0xFFFFFFFF
        ring[a] = v
        state[0] = 16 if a == 0 else a - 1
        state[1] = 16 if b == 0 else b - 1
        return v

    for _ in range(9):
        step()
    out = bytearray()
    for _ in range(n):
        step()
        out.append(step() >> 24)
    return bytes(out)


def xor(data, keys):
    return bytes(a ^ b for a, b in zip(data, keys))


def compress(data, ea06):
    """AutoIt's LZ77 with matches found by a table of 3-byte strings."""
    bits = []
    match_flag = 0 if ea06 else 1

    def put(value, width):
        for i in range(width - 1, -1, -1):
            bits.append((value >> i) & 1)

    last = {}
    i = 0
    while i < len(data):
        key = data[i:i + 3]
        at = last.get(key)
        length = 0
        if at is not None and i - at < 32768 and len(key) == 3:
            while i + length < len(data) and length < 5000 and data[at + length] == data[i + length]:
                length += 1
        if length >= 3:
            put(match_flag, 1)
            put(i - at, 15)
            rest = length - 3
            for width in (2, 3, 5, 8):
                top = (1 << width) - 1
                if rest < top:
                    put(rest, width)
                    break
                put(top, width)
                rest -= top
            else:
                while rest >= 255:
                    put(255, 8)
                    rest -= 255
                put(rest, 8)
            for k in range(i, i + length):
                last[data[k:k + 3]] = k
            i += length
        else:
            put(1 - match_flag, 1)
            put(data[i], 8)
            last[key] = i
            i += 1
    bits += [0] * (-len(bits) % 16)
    packed = bytes(int("".join(map(str, bits[k:k + 8])), 2) for k in range(0, len(bits), 8))
    return (b"EA06" if ea06 else b"EA05") + struct.pack(">I", len(data)) + packed


def payload_box(entries, ea06):
    """The payload: its mark, then (tag, name, data, method, stated size) entries."""
    out = MARK + (b"6" if ea06 else b"5") + SIXTEEN
    key_sum = sum(SIXTEEN)
    for tag, name, data, method, stated in entries:
        stated = len(data) if stated is None else stated
        if ea06:
            t, n = tag.encode("utf-16-le"), name.encode("utf-16-le")
            out += struct.pack("<II", 0x52CA436B, len(tag) ^ 0xADBC) + xor(t, lame_bytes(len(tag) + 0xB33F, len(t)))
            out += struct.pack("<I", len(name) ^ 0xF820) + xor(n, lame_bytes(len(name) + 0xF479, len(n)))
            out += bytes([method]) + struct.pack("<III", stated ^ 0x87BC, 0x87BC, 0xA685) + b"T" * 16
            out += xor(data, lame_bytes(0x2477, len(data)))
        else:
            t, n = tag.encode(), name.encode()
            out += struct.pack("<II", 0xCEB06DFF, len(t) ^ 0x29BC) + xor(t, mt_bytes(len(t) + 0xA25E, len(t)))
            out += struct.pack("<I", len(n) ^ 0x29AC) + xor(n, mt_bytes(len(n) + 0xF25E, len(n)))
            out += bytes([method]) + struct.pack("<III", stated ^ 0x45AA, 0x45AA, 0xC3D2) + b"T" * 16
            out += xor(data, mt_bytes(0x22AF + key_sum, len(data)))
    return out


def tiny_program():
    """A valid two-section PE file: the payload is appended after it."""
    layout = pebuild.Layout([0x400, 0x200], 0, 0x10, 0)
    return layout.header_bytes(0x5F000000) + b"\xC3" + bytes(0x5FF)


def ishield_encrypt(data, name):
    """InstallShield's MSI kind: each byte XORed with the name's key, then its halves swapped."""
    mask = (0xEC, 0xCA, 0x79, 0xF8)
    key = [b ^ mask[i & 3] for i, b in enumerate(name.encode())]
    out = bytearray()
    for i, b in enumerate(data):
        c = b ^ key[(i % 1024) % len(key)]
        out.append(((c << 4) | (c >> 4)) & 0xFF)
    return bytes(out)


def ishield_msi(files):
    """"InstallShield\0", a count, then per file its block of 312 bytes and its data."""
    out = b"InstallShield\0" + struct.pack("<I", len(files)) + bytes(0x1C)
    for name, data in files:
        packed = ishield_encrypt(zlib.compress(data), name)
        out += name.encode().ljust(0x104, b"\0") + struct.pack("<IIQII", 6, 0, len(packed), 0, 1) + bytes(28)
        out += packed
    return out


def script_tokens(lines):
    """EA06 tokens: a line count, then per line a keyword, a variable, '=', a string, a line end."""
    out = struct.pack("<I", len(lines))
    for variable, text in lines:
        out += b"\x00" + struct.pack("<I", 28)  # LOCAL
        for op, s in ((0x33, variable), (None, None), (0x36, text)):
            if op is None:
                out += b"\x41"
                continue
            n = len(s)
            units = bytes(b ^ (n >> (8 * (k & 1)) & 0xFF) for k, b in enumerate(s.encode("utf-16-le")))
            out += bytes([op]) + struct.pack("<I", n) + units
        out += b"\x7f"
    return out


def make_cases(work, rng):
    files, hdb, ndb, ldb, planted = [], [], [], [], {}

    def hashed(name, data):
        hdb.append("%s:%d:%s" % (hashlib.md5(data).hexdigest(), len(data), name))
        return name

    def marker(name, offset="*"):
        text = ("QDX-%s-%08x" % (name, rng.randrange(1 << 32))).encode()
        ndb.append("%s:0:%s:%s" % (name, offset, text.hex()))
        return text

    def write(name, data, names):
        path = os.path.join(work, name)
        with open(path, "wb") as f:
            f.write(data)
        files.append(path)
        planted[name] = set(names)

    def payload(size, mark=b""):
        body = bytes(rng.randrange(256) for _ in range(size))
        return body[:size // 2] + mark + body[size // 2:]

    program = tiny_program()
    for version, ea06 in (("Ea05", False), ("Ea06", True)):
        stored = payload(3000)
        at_start = marker("AutoIt.%s.Start" % version, "0")
        packed = at_start + payload(20000, marker("AutoIt.%s.Body" % version)) + b"z" * 4000
        logic = b"QDX-LOGIC-%s-%08x" % (version.encode(), rng.randrange(1 << 32))
        ldb.append("AutoIt.%s.Logical;Target:0;0&1;%s;%s" % (version, logic[:12].hex(), logic[12:].hex()))
        logical = payload(5000, logic)
        entries = [("FILE", "stored.bin", stored, 0, None),
                   ("FILE", "tiny.bin", b"abc", 0, None),
                   ("FILE", "packed.bin", compress(packed, ea06), 1, None),
                   ("FILE", "logic.bin", compress(logical, ea06), 1, None)]
        write("%s-files.exe" % version.lower(), program + payload_box(entries, ea06),
              {hashed("AutoIt.%s.Stored" % version, stored), hashed("AutoIt.%s.Packed" % version, packed),
               "AutoIt.%s.Start" % version, "AutoIt.%s.Body" % version, "AutoIt.%s.Logical" % version})
        hashed("AutoIt.%s.NotAProgram" % version, stored + b"x")
        write("%s-not-a-program.bin" % version.lower(),
              b"NZ" + bytes(600) + payload_box([("FILE", "s.bin", stored + b"x", 0, None)], ea06), set())
        after = payload(800)
        hashed("AutoIt.%s.AfterCut" % version, after)
        cut = payload(2000)
        hashed("AutoIt.%s.Cut" % version, cut)
        box = payload_box([("FILE", "c.bin", cut, 0, 1 << 20), ("FILE", "a.bin", after, 0, None)], ea06)
        write("%s-cut.exe" % version.lower(), program + box, set())

    lines = [("greeting", "QDX-AUTOIT-SCRIPT-%08x" % rng.randrange(1 << 32)), ("count", "12")]
    text = "".join("LOCAL $%s = \"%s\" \n" % (v, s) for v, s in lines)
    tokens = script_tokens(lines)
    script_file = payload(1500)
    box = payload_box([(">>>AUTOIT SCRIPT<<<", "script", compress(tokens, True), 1, None),
                       ("FILE", "f.bin", script_file, 0, None)], True)
    write("ea06-script.exe", program + box,
          {hashed("AutoIt.Ea06.ScriptText", text.encode()), hashed("AutoIt.Ea06.ScriptFile", script_file)})

    # InstallShield installers of the MSI kind.
    ini = b"[Startup]\r\nProductName=qdx\r\n"
    logic = b"QDX-ISHIELD-LOGIC-%08x" % rng.randrange(1 << 32)
    ldb.append("IShield.Logical;Target:0;0&1;%s;%s" % (logic[:12].hex(), logic[12:].hex()))
    body = payload(30000, marker("IShield.Body")) + payload(3000, logic)
    write("ishield-msi.exe", program + payload(700) + ishield_msi([("0x0409.ini", ini), ("setup.msi", body)]),
          {hashed("IShield.Ini", ini), hashed("IShield.Msi", body), "IShield.Body", "IShield.Logical"})
    lone = payload(2000)
    hashed("IShield.NotAProgram", lone)
    write("ishield-not-a-program.bin", b"NZ" + payload(700) + ishield_msi([("a.exe", lone)]), set())

    if os.path.isdir(TESTFILES):
        for name in ("clam_ISmsi_ext.exe", "clam_ISmsi_int.exe"):
            if os.path.exists(os.path.join(TESTFILES, name)):
                with open(os.path.join(TESTFILES, name), "rb") as f:
                    write("testfiles-" + name, f.read(), {"Qdx.Oracle.ClamExe"})
        for name in ("clam.ea05.exe", "clam.ea06.exe"):
            if os.path.exists(os.path.join(TESTFILES, name)):
                with open(os.path.join(TESTFILES, name), "rb") as f:
                    write("testfiles-" + name, f.read(), {"Qdx.Oracle.ClamExe"})
        hdb.append(CLAM_EXE_MD5 + ":544:Qdx.Oracle.ClamExe")
    return files, hdb, ndb, ldb, planted


def long_match_stream(ea06, length):
    """One literal, then copies of it (distance 1) making `length` bytes in all:
    some 8 bits of input per 255 bytes of output."""
    match_flag = "0" if ea06 else "1"
    bits = [("1" if ea06 else "0") + "01011010"]  # a literal 'Z'
    left = length - 1
    while left >= 3:
        n = min(left, 3 + 296 + 255 * 4000)
        rest = n - 3 - 296
        k, r = divmod(rest, 255) if rest >= 0 else (0, 0)
        if rest < 0:
            n = 3
            bits.append(match_flag + format(1, "015b") + "00")
        else:
            bits.append(match_flag + format(1, "015b") + "11" + "111" + "11111" + "11111111" + "11111111" * k +
                        format(r, "08b"))
        left -= n
    stream = "".join(bits)
    stream += "0" * (-len(stream) % 16)
    packed = int(stream, 2).to_bytes(len(stream) // 8, "big")
    return (b"EA06" if ea06 else b"EA05") + struct.pack(">I", length) + packed


def hostile_cases(folder):
    """Files built to hurt, as (name, path): unpacking that makes 100 MiB
    from 400 KB, a script of 32 MiB of operators (96 MiB of text), sizes
    claiming 4 GB, lengths that lie, half a million empty entries; and
    InstallShield files inflating to 1 GiB, counting 4 billion, claiming 2^63."""
    os.makedirs(folder, exist_ok=True)
    out = []
    program = tiny_program()

    def write(name, data):
        path = os.path.join(folder, name)
        with open(path, "wb") as f:
            f.write(program + data)
        out.append((name, path))

    mib = 1 << 20
    write("ea05-100MiB-from-400KB.exe", payload_box([("FILE", "b", long_match_stream(False, 100 * mib), 1, None)], False))
    write("ea06-100MiB-from-400KB.exe", payload_box([("FILE", "b", long_match_stream(True, 100 * mib), 1, None)], True))
    # Tokens: a line count of 2^32 - 1, then '>' operators only.
    tokens = struct.pack("<I", 0xFFFFFFFF) + b"\x42" * (32 * mib - 4)
    write("ea06-script-32MiB-of-operators.exe",
          payload_box([(">>>AUTOIT SCRIPT<<<", "s", compress_runs(tokens), 1, None)], True))
    claims = b"EA06" + struct.pack(">I", 0xFFFFFFFF) + b"\0" * 64
    write("ea06-claiming-4GB.exe", payload_box([("FILE", "c", claims, 1, None)] * 1000, True))
    write("ea05-lying-packed-size.exe", payload_box([("FILE", "l", b"x" * 1000, 0, 0x7FFFFFF0)], False))
    empty = struct.pack("<II", 0xCEB06DFF, 0x29BC) + struct.pack("<I", 0x29AC) + b"\0" + struct.pack(
        "<III", 0x45AA, 0x45AA, 0xC3D2) + b"T" * 16
    write("ea05-500k-empty-entries.exe", MARK + b"5" + SIXTEEN + empty * 500000)

    # InstallShield (MSI kind): 1 GiB of zeros in 1 MB of zlib, a count of
    # 4 billion, a packed size of 2^63.
    z = zlib.compressobj(9)
    bomb = b"".join(z.compress(bytes(mib)) for _ in range(1024)) + z.flush()
    bomb = ishield_encrypt(bomb, "bomb.bin")
    head = b"InstallShield\0" + struct.pack("<I", 1) + bytes(0x1C)
    write("ishield-1GiB-of-zeros.exe",
          head + b"bomb.bin".ljust(0x104, b"\0") + struct.pack("<IIQII", 6, 0, len(bomb), 0, 1) + bytes(28) + bomb)
    many = ishield_msi([("a.ini", b"x" * 100)])
    write("ishield-count-4G.exe", many[:14] + struct.pack("<I", 0xFFFFFFFF) + many[18:])
    write("ishield-packed-2^63.exe",
          head + b"big.bin".ljust(0x104, b"\0") + struct.pack("<IIQII", 6, 0, 1 << 63, 0, 1) + bytes(28) + b"x" * 1000)
    return out


def compress_runs(data):
    """Runs compressed fast: the first bytes as literals, then one long copy
    per run of a byte (the tokens of the hostile script)."""
    head, body = data[:4], data[4:]
    stream = bytearray(long_match_stream(True, len(body)))
    # long_match_stream starts with a literal 'Z': the body's byte instead, after the head as literals.
    bits = "".join("1" + format(b, "08b") for b in head)
    rest = format(int.from_bytes(stream[8:], "big"), "0%db" % (8 * (len(stream) - 8)))
    rest = "1" + format(body[0], "08b") + rest[9:]
    allbits = bits + rest
    allbits += "0" * (-len(allbits) % 16)
    return b"EA06" + struct.pack(">I", len(data)) + int(allbits, 2).to_bytes(len(allbits) // 8, "big")


if __name__ == "__main__":
    import cases_alone
    sys.exit(cases_alone.check(make_cases, "autoit-cases"))
