#!/usr/bin/env python3
"""Cases for the TNEF and BinHex readers, checked against clamscan.

    tnef_cases.py [--qdx-scan PROGRAM] [--keep DIR] [--seed N]

make_cases(work, rng) writes the files into `work` and returns
(files, hdb_lines, ndb_lines, ldb_lines, planted). TNEF streams (winmail.dat)
built record by record: one attachment; two attachments after one message
record (clamscan makes one file of both); groups split by message records,
the nameless one dropped; a ZIP attachment; a stray line end after the
last record; an unknown level that spoils the whole stream. BinHex 4.0
files: data and resource forks; long runs and the escaped run mark; a
small file with text after its closing colon (clamscan scans nothing); a
bad character late in the resource fork of a larger file (only the data
fork, finished in an earlier chunk); a file cut short in its data fork (the
fork as far as it goes); a resource fork under 5 bytes (passed over).
Hash signatures name each payload as clamscan extracts it, body signatures
a marker in them. Debian's clam.tnef and clam.exe.binhex are added, flagged
by the MD5 of clam.exe. `planted` maps each file's name to the signatures
that must be found in it, no more.

Run alone, it checks the cases with clamscan --allmatch and, when given,
qdx-scan --all-match: each must find exactly what was planted.
"""
import hashlib
import io
import os
import struct
import sys
import zipfile

TESTFILES = "/usr/share/clamav-testfiles"
CLAM_EXE_MD5 = "aa15bcf478d165efd2065190eb473bcb"
TNEF_MAGIC = struct.pack("<I", 0x223E9F78)
BINHEX_LINE = b"(This file must be converted with BinHex 4.0)"
HQX_ALPHABET = b"!\"#$%&'()*+,-012345689@ABCDEFGHIJKLMNPQRSTUVXYZ[`abcdefhijklmpqr"
MESSAGE, ATTACHMENT = 1, 2
ATT_DATA, ATT_TITLE, ATT_RENDDATA, TNEF_VERSION, MSG_CLASS = 0x800F, 0x8010, 0x9002, 0x9006, 0x8008


def record(level, tag, data, kind=6):
    checksum = sum(data) & 0xFFFF
    return bytes([level]) + struct.pack("<II", tag | kind << 16, len(data)) + data + struct.pack("<H", checksum)


def tnef(records):
    return TNEF_MAGIC + b"\x01\x02" + b"".join(records)


def message_head():
    return [record(MESSAGE, TNEF_VERSION, struct.pack("<I", 0x10000)),
            record(MESSAGE, MSG_CLASS, b"IPM.Microsoft Mail.Note\0")]


def attachment(name, data):
    return [record(ATTACHMENT, ATT_RENDDATA, b"\x01" * 14), record(ATTACHMENT, ATT_TITLE, name.encode() + b"\0"),
            record(ATTACHMENT, ATT_DATA, data)]


def run_length(data):
    out = bytearray()
    i = 0
    while i < len(data):
        n = 1
        while i + n < len(data) and data[i + n] == data[i] and n < 255:
            n += 1
        out.append(data[i])
        if data[i] == 0x90:
            out.append(0)
        if n >= 3:
            out += bytes([0x90, n])
        else:
            n = 1
        i += n
    return bytes(out)


def six_bits(data):
    chars = bytearray()
    bits = count = 0
    for c in data:
        bits = (bits << 8 | c) & 0xFFFFFF
        count += 8
        while count >= 6:
            count -= 6
            chars.append(HQX_ALPHABET[(bits >> count) & 63])
    if count:
        chars.append(HQX_ALPHABET[(bits << (6 - count)) & 63])
    lines = [bytes(chars[i:i + 64]) for i in range(0, len(chars), 64)]
    return BINHEX_LINE + b"\r\n\r\n:" + b"\n".join(lines) + b":\n"


def crc16(data):
    crc = 0
    for b in data + b"\0\0":
        for _ in range(8):
            top = crc & 0x8000
            crc = ((crc << 1) | (b >> 7)) & 0xFFFF
            b = (b << 1) & 0xFF
            if top:
                crc ^= 0x1021
    return struct.pack(">H", crc)


def binhex_bytes(name, data, resource):
    head = bytes([len(name)]) + name.encode() + b"\0" + b"TEXTttxt" + b"\0\0" + struct.pack(">II", len(data),
                                                                                           len(resource))
    return head + crc16(head) + data + crc16(data) + resource + crc16(resource)


def binhex(name, data, resource):
    return six_bits(run_length(binhex_bytes(name, data, resource)))


def payload(rng, size, marker):
    body = bytes(rng.randrange(256) for _ in range(size))
    half = size // 2
    return body[:half] + marker + body[half:]


def make_cases(work, rng):
    files, hdb, ndb, planted = [], [], [], {}

    def hashed(name, data):
        hdb.append("%s:%d:%s" % (hashlib.md5(data).hexdigest(), len(data), name))
        return name

    def marker(name):
        text = ("QDX-%s-%08x" % (name, rng.randrange(1 << 32))).encode()
        ndb.append("%s:0:*:%s" % (name, text.hex()))
        return text

    def write(name, data, names):
        path = os.path.join(work, name)
        with open(path, "wb") as f:
            f.write(data)
        files.append(path)
        planted[name] = set(names)

    # TNEF.
    m = marker("Tnef.Body.One")
    one = payload(rng, 3000, m)
    write("tnef-one.dat", tnef(message_head() + attachment("setup.exe", one)),
          {hashed("Tnef.Hash.One", one), "Tnef.Body.One"})
    a, b = payload(rng, 1500, b""), payload(rng, 900, b"")
    hashed("Tnef.Hash.SecondAlone", b)
    write("tnef-two.dat", tnef(message_head() + attachment("a.exe", a) + attachment("b.exe", b)),
          {hashed("Tnef.Hash.Both", a + b)})
    g1, g2, g3 = payload(rng, 700, b""), payload(rng, 800, b""), payload(rng, 600, b"")
    groups = (attachment("first.bin", g1) + message_head() + [record(ATTACHMENT, ATT_DATA, g2)] + message_head() +
              [record(ATTACHMENT, ATT_DATA, g3)])
    hashed("Tnef.Hash.Dropped", g2)
    write("tnef-groups.dat", tnef(groups), {hashed("Tnef.Hash.Named", g1), hashed("Tnef.Hash.LastNameless", g3)})
    inner = payload(rng, 2500, b"")
    zipped = io.BytesIO()
    with zipfile.ZipFile(zipped, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("inner.exe", inner)
    write("tnef-zip.dat", tnef(message_head() + attachment("pack.zip", zipped.getvalue())),
          {hashed("Tnef.Hash.InZip", inner), hashed("Tnef.Hash.Zip", zipped.getvalue())})
    newline = payload(rng, 1200, b"")
    write("tnef-newline.dat", tnef(message_head() + attachment("n.exe", newline)) + b"\n",
          {hashed("Tnef.Hash.Newline", newline)})
    spoiled = payload(rng, 1300, b"")
    hashed("Tnef.Hash.Spoiled", spoiled)
    write("tnef-spoiled.dat", tnef(message_head() + attachment("s.exe", spoiled) + [record(5, ATT_DATA, b"xx")]), set())

    # BinHex.
    data, resource = payload(rng, 5000, b""), payload(rng, 2000, b"")
    write("forks.hqx", binhex("Forks", data, resource),
          {hashed("Hqx.Hash.Data", data), hashed("Hqx.Hash.Resource", resource)})
    runs = b"\0" * 3000 + b"\x90" * 400 + b"a\x90b" + b"\x90\x90" + payload(rng, 300, b"") + b"z" * 1000
    write("runs.hqx", binhex("Runs", runs, b""), {hashed("Hqx.Hash.Runs", runs)})
    small = payload(rng, 600, b"")
    hashed("Hqx.Hash.AfterColon", small)
    write("after-colon.hqx", binhex("S", small, b"") + b"-- end of file --\n", set())
    big, big_resource = payload(rng, 20000, b""), payload(rng, 10000, b"")
    text = binhex("Chunks", big, big_resource)
    start = text.index(b":") + 1
    at = start + (len(text) - start) * 95 // 100
    hashed("Hqx.Hash.UnfinishedResource", big_resource)
    write("bad-char.hqx", text[:at] + b" " + text[at:], {hashed("Hqx.Hash.FinishedData", big)})
    cut_data = payload(rng, 9000, b"")
    raw = binhex_bytes("Cut", cut_data, b"resource")
    head = 1 + 3 + 1 + 8 + 2 + 8 + 2
    hashed("Hqx.Hash.WholeData", cut_data)
    write("cut.hqx", six_bits(run_length(raw[:head + 5000]))[:-2], {hashed("Hqx.Hash.CutData", cut_data[:5000])})
    tiny = payload(rng, 800, b"")
    hashed("Hqx.Hash.TinyResource", b"abcd")
    write("tiny-resource.hqx", binhex("T", tiny, b"abcd"), {hashed("Hqx.Hash.TinyData", tiny)})

    if os.path.isdir(TESTFILES):
        for name in ("clam.tnef", "clam.exe.binhex"):
            if os.path.exists(os.path.join(TESTFILES, name)):
                with open(os.path.join(TESTFILES, name), "rb") as f:
                    write("testfiles-" + name, f.read(), {"Qdx.Oracle.ClamExe"})
        hdb.append(CLAM_EXE_MD5 + ":544:Qdx.Oracle.ClamExe")
    return files, hdb, ndb, [], planted


def hostile_cases(folder):
    """Files built to hurt, as (name, path): lying lengths, millions of
    records, a large attachment, run-length expansion and forks claiming
    4 GB."""
    os.makedirs(folder, exist_ok=True)
    out = []

    def write(name, chunks):
        path = os.path.join(folder, name)
        with open(path, "wb") as f:
            for chunk in chunks:
                f.write(chunk)
        out.append((name, path))

    empty = bytes([ATTACHMENT]) + struct.pack("<II", ATT_DATA, 0)
    write("tnef-2M-empty-records.dat", [tnef([]), empty * (2 << 20), record(ATTACHMENT, ATT_DATA, b"end")])
    group = record(ATTACHMENT, ATT_TITLE, b"m\0") + record(ATTACHMENT, ATT_DATA, b"d") + record(MESSAGE, MSG_CLASS, b"c")
    write("tnef-500k-attachments.dat", [tnef([]), group * 500000])
    lying = bytes([ATTACHMENT]) + struct.pack("<II", ATT_DATA, 0x7FFFFFF0) + b"x" * 1000
    write("tnef-lying-length.dat", [tnef(message_head() + attachment("a.exe", b"y" * 1000)), lying])
    big = bytes([ATTACHMENT]) + struct.pack("<II", ATT_DATA, 200 << 20)
    write("tnef-200MB-attachment.dat",
          [tnef(message_head() + [record(ATTACHMENT, ATT_TITLE, b"big.bin\0")]), big] + [b"\0" * (1 << 20)] * 200 +
          [b"\0\0"])

    def expansion(name, stated_data, stated_resource, runs):
        head = bytes([4]) + b"bomb\0TEXTttxt\0\0" + struct.pack(">II", stated_data, stated_resource) + b"\0\0"
        body = head + b"A" + b"\x90\xff" * runs
        write(name, [six_bits(body)])

    # 100 MiB from about 1 MB of text; then one that goes on for 40 MB of text
    # (some 4 GB of runs) past what its fork states.
    expansion("hqx-100MiB-of-runs.hqx", 100 << 20, 0, (100 << 20) // 254 + 1)
    expansion("hqx-runs-without-end.hqx", 100 << 20, 100 << 20, 15 << 20)
    expansion("hqx-forks-claiming-4GB.hqx", 0xFFFFFFFF, 0xFFFFFFFF, 1000)
    expansion("hqx-resource-claiming-4GB.hqx", 1000, 0xFFFFFFFF, 1000)
    return out


if __name__ == "__main__":
    import cases_alone
    sys.exit(cases_alone.check(make_cases, "tnef-cases"))
