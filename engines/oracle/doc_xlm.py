"""Excel 4.0 (XLM) macro cases of the documents oracle: .xls files whose
Workbook (or Book) stream holds a macro sheet, an auto_open name and
formulas (EXEC, CALL, strings 8-bit and wide, numbers, references), and
drawing groups with a PNG. clamscan scans the listing's header line and
only the text its stdio buffer (4096 bytes) had written out by then, so
the formulas come first and filler records after them. Signatures: body
and logical ones of target 0 for the scanned text (found), of target 2 on
it (never: the listing is not an OLE2 file) and on text past what was
written out (never), the MD5 of a listing that is its header alone, or
of the header and the text written out where clamscan's file still holds
it, and the MD5 of each image. Workbooks whose records break clamscan's walk, or
that hold neither a macro sheet nor a drawing, give no listing; random
records must give the same findings.

    doc_xlm.py --fixtures DIR [--seed N]

writes random workbook streams (NAME.biff) and the listing clamscan wrote
for each (NAME.txt, --leave-temps: whole where its text is shorter than
4096 bytes and longer than its header, which the last write overwrites)
for the unit tests' byte-for-byte check."""
import argparse
import hashlib
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

import ole2write as w


def record(opcode, data):
    return struct.pack("<HH", opcode, len(data)) + data


def bof():
    return record(0x0809, struct.pack("<HHHHII", 0x600, 0x10, 0x1DB3, 0x7CC, 0, 0x106))


def boundsheet(name, kind, state=0):
    return record(0x85, struct.pack("<IBBBB", 0, state, kind, len(name), 0) + name.encode())


def auto_open():
    return record(0x18, struct.pack("<HBBHHHBBBB", 0x20, 0, 1, 0, 0, 0, 0, 0, 0, 0) + b"\x00\x01")


def formula(row, col, tokens):
    return record(0x06, struct.pack("<HHH", row, col, 0) + b"\0" * 8 + struct.pack("<HIH", 0, 0, len(tokens))
                  + tokens)


def ascii_str(s):
    return bytes([0x17, len(s), 0]) + s.encode()


def wide_str(s):
    return bytes([0x17, len(s), 1]) + s.encode("utf-16-le")


def func_var(count, fid):
    return bytes([0x42, count]) + struct.pack("<H", fid)


EXEC, CALL, HALT = 0x6E, 0x96, 0x36


def png(marker):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    raw = b"".join(b"\0" + bytes(3 * 4) for _ in range(4))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 4, 4, 8, 2, 0, 0, 0))
            + chunk(b"tEXt", b"Comment\0" + marker) + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def art(version, instance, kind, data):
    return struct.pack("<HHI", version | instance << 4, kind, len(data)) + data


def drawing_group(images):
    """An OfficeArt drawing group whose blip store holds `images` (PNG)."""
    entries = b""
    for image in images:
        blip = art(0, 0x6E0, 0xF01E, b"\x11" * 16 + b"\xff" + image)
        fbse = struct.pack("<BB16sHIIIBBBB", 6, 6, b"\x22" * 16, 0xFF, len(blip), 1, 0, 0, 0, 0, 0)
        entries += art(2, 6, 0xF007, fbse + blip)
    return art(0xF, 0, 0xF000, art(0xF, len(images), 0xF001, entries))


def drawing_records(group):
    """The group in an MSODRAWINGGROUP record and CONTINUE records of 8224 bytes."""
    out = record(0xEB, group[:8224])
    for k in range(8224, len(group), 8224):
        out += record(0x3C, group[k:k + 8224])
    return out


def clamscan_listings(path):
    """The XLM listings clamscan writes for `path`, each as bytes."""
    work = tempfile.mkdtemp(prefix="xlm-temps-")
    try:
        db = os.path.join(work, "x.ndb")
        with open(db, "w") as f:
            f.write("Qdx.Nothing:0:*:71647871647871647871647871647871\n")
        temps = os.path.join(work, "t")
        os.makedirs(temps)
        subprocess.run(["clamscan", "--leave-temps", "--tempdir", temps, "-d", db, path], capture_output=True)
        out = []
        for d, _, names in os.walk(temps):
            for n in sorted(names):
                with open(os.path.join(d, n), "rb") as f:
                    data = f.read()
                if n.startswith("xlm_macros"):
                    out.append(data)
        return out
    finally:
        shutil.rmtree(work, ignore_errors=True)


def clamscan_finds(path, hdb_line):
    with tempfile.TemporaryDirectory(prefix="xlm-db-") as db:
        with open(os.path.join(db, "x.hdb"), "w") as f:
            f.write(hdb_line + "\n")
        r = subprocess.run(["clamscan", "--no-summary", "-d", db, path], capture_output=True, text=True)
        return "FOUND" in r.stdout


def make_cases(work, rng):
    files, hdb, ndb, ldb, planted = [], [], [], [], {}
    if shutil.which("clamscan") is None:
        return files, hdb, ndb, ldb, planted

    def marker(tag):
        return f"qdxXlm{tag}{rng.randrange(10**9):09d}"

    header = (b"-- BIFF content extracted and disassembled from CL_TYPE_MSXL .xls file because a XLM macro was "
              b"found in the document\n")
    hdb.append(f"{hashlib.md5(header).hexdigest()}:{len(header)}:Qdx.Xlm.ListingHeader")
    filler = b"".join(record(0x1234, b"") for _ in range(250))

    def write(name, tree, names, listings=1, header_only=False):
        path = os.path.join(work, name)
        with open(path, "wb") as f:
            f.write(w.compound_file(tree))
        files.append(path)
        names = set(names)
        # A walk that breaks off leaves its listing written but not scanned.
        found = clamscan_listings(path)
        assert listings is None or len(found) == listings, f"{name}: clamscan wrote {len(found)} listings"
        if header_only:
            names.add("Qdx.Xlm.ListingHeader")
        # What clamscan scanned of a longer listing is its header and the
        # text written out, which its last write overwrote the front of:
        # where that write was no longer than the header, the rest of the
        # file is the text. clamscan itself tells whether it was.
        for k, text in enumerate(found):
            if len(text) > 4096 + len(header):
                scanned = header + text[len(header):]
                line = f"{hashlib.md5(scanned).hexdigest()}:{len(scanned)}:Qdx.Xlm.{name}.Scanned{k}"
                if clamscan_finds(path, line):
                    hdb.append(line)
                    names.add(f"Qdx.Xlm.{name}.Scanned{k}")
        planted[name] = names

    def text_sigs(tag, shown, hidden_text):
        """Target 0 body and logical signatures on the listing, found;
        target 2 on the same text, never."""
        names = [f"Qdx.Xlm.{tag}.AnyBody", f"Qdx.Xlm.{tag}.Logical"]
        ndb.append(f"{names[0]}:0:*:{shown.hex()}")
        ndb.append(f"Qdx.Xlm.{tag}.Ole2Body:2:*:{shown.hex()}")
        ldb.append(f"{names[1]};Engine:51-255,Target:0;0&1;{hidden_text.hex()};{shown.hex()}")
        return names

    # Macro sheets with EXEC and CALL, visible, hidden and very hidden.
    for i in range(3):
        tag = f"macro{i}"
        command = marker(tag + "c")
        wide = marker(tag + "w")
        sheet = bof() + boundsheet("Sheet1", 0) + boundsheet(f"Macro{i}", 1, i) + auto_open()
        cells = (formula(0, 0, ascii_str("cmd /c " + command) + func_var(1, EXEC))
                 + formula(1, 0, wide_str(wide) + ascii_str("kernel32") + ascii_str("WinExec")
                           + func_var(4, CALL))
                 + formula(2, 0, bytes([0x1E]) + struct.pack("<H", rng.randrange(60000)) + bytes([0x1F])
                           + struct.pack("<d", rng.random() * 10**rng.randrange(12))
                           + bytes([0x24]) + struct.pack("<HH", rng.randrange(0x3FFF), rng.randrange(200))
                           + bytes([0x03]))
                 + formula(3, 0, func_var(0, HALT))
                 + record(0x207, struct.pack("<HB", len(wide), 1) + wide.encode("utf-16-le")))
        tail = marker(tag + "t")
        ndb.append(f"Qdx.Xlm.{tag}.NotWrittenOut:0:*:{tail.encode().hex()}")
        cells += filler + formula(9, 0, wide_str(tail)) + record(0x0A, b"")
        # The 8-bit string shows from its token on, its last three characters cut.
        shown = ("cmd /c " + command)[:-3].encode()
        names = text_sigs(tag, wide.encode(), b"built-in-name 1 auto_open") + \
            text_sigs(tag + "a", shown, b"Excel 4.0 macro sheet")
        hdb.append(f"{hashlib.md5(sheet + cells).hexdigest()}:{len(sheet + cells)}:Qdx.Xlm.{tag}.StreamMd5")
        write(f"xlm-{i}.xls", {"Workbook": sheet + cells}, names + [f"Qdx.Xlm.{tag}.StreamMd5"])

    # A drawing group with images and no macro sheet: listed too, and the
    # images scanned as files of their own.
    for i in range(2):
        tag = f"image{i}"
        images = [png(marker(tag + str(k)).encode() + bytes(rng.randrange(256) for _ in range(rng.randrange(10, 300))))
                  for k in range(1 + i)]
        if i == 1:
            images.append(png(b"x" * 9000))  # across CONTINUE records
        stream = bof() + boundsheet("Sheet1", 0) + drawing_records(drawing_group(images)) + record(0x0A, b"")
        names = []
        for k, image in enumerate(images):
            hdb.append(f"{hashlib.md5(image).hexdigest()}:{len(image)}:Qdx.Xlm.{tag}.Image{k}")
            names.append(f"Qdx.Xlm.{tag}.Image{k}")
        # clamscan scans no stream of a file with a drawing and no macros.
        hdb.append(f"{hashlib.md5(stream).hexdigest()}:{len(stream)}:Qdx.Xlm.{tag}.StreamMd5")
        write(f"xlm-image-{i}.xls", {"Workbook": stream}, names, header_only=True)

    # A macro sheet in a Book stream has the Workbook streams listed; a Book
    # stream never is (clamscan looks for one and cannot find it).
    tag = "book"
    command = marker(tag)
    ndb.append(f"Qdx.Xlm.{tag}.NotListed:0:*:{command.encode().hex()}")
    stream = bof() + boundsheet("Macro1", 1) + formula(0, 0, wide_str(command) + func_var(1, EXEC)) + filler
    write("xlm-book.xls", {"Book": stream}, [], listings=0)
    tag = "both"
    command, other = marker(tag), marker(tag + "b")
    ndb.append(f"Qdx.Xlm.{tag}.NotListed:0:*:{other.encode().hex()}")
    write("xlm-both.xls", {"Book": boundsheet("Macro1", 1) + formula(0, 0, wide_str(other)) + filler,
                           "Workbook": bof() + formula(0, 0, wide_str(command)) + filler},
          text_sigs(tag, command.encode(), b"FORMULA"))

    # Records clamscan's walk stops at: no listing at all.
    for i, tail in enumerate((record(0x1234, b"x" * 8229), record(0x06, b"short")[:-2])):
        tag = f"broken{i}"
        command = marker(tag)
        ndb.append(f"Qdx.Xlm.{tag}.NotListed:0:*:{command.encode().hex()}")
        write(f"xlm-broken-{i}.xls",
              {"Workbook": bof() + boundsheet("M", 1) + formula(0, 0, wide_str(command)) + filler + tail}, [],
              listings=None)

    # Random records and then fillers enough that clamscan's last write is
    # no longer than the header: its file then holds all the text it
    # scanned, and the MD5 of header and text must be found by both.
    made = 0
    while made < 2:
        stream = random_stream(rng, rng.randrange(3, 20))
        with tempfile.NamedTemporaryFile(suffix=".xls") as f:
            f.write(w.compound_file({"Workbook": stream}))
            f.flush()
            short = clamscan_listings(f.name)
        if len(short) != 1 or not len(header) < len(short[0]) < 4096:
            continue
        count = next(n for n in range(171, 400) if 0 < (len(short[0]) + 24 * n) % 4096 <= len(header) - 10)
        write(f"xlm-exact-{made}.xls", {"Workbook": stream + b"".join(record(0x1234, b"") for _ in range(count))}, [])
        assert any("Scanned" in n for n in planted[f"xlm-exact-{made}.xls"])
        made += 1

    # Random records of the kinds the listing decodes: the same findings.
    for i in range(6):
        write(f"xlm-random-{i}.xls", {"Workbook": random_stream(rng, rng.randrange(5, 300))}, [])
    return files, hdb, ndb, ldb, planted


def random_stream(rng, count):
    """A macro sheet and `count` records of the kinds the listing decodes,
    formulas mostly of tokens clamscan decodes, so that they run on."""
    kinds = (0x06, 0x18, 0x85, 0x207, 0x3C, 0xEB, 0x0A, 0x1234, 0x809)
    pool = (0x03, 0x17, 0x19, 0x1D, 0x1E, 0x1F, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x01, 0x3A, 0x39, 0x41, 0x42,
            0x44, 0x5A, 0x61, 0x62, 0x11, 0x16, 0xA4, 0x07)
    # clamscan's record buffer starts as whatever its heap held, and records
    # are read past their end: a first record that fills it keeps that
    # defined (ours starts as zeros).
    stream = record(0x1234, bytes(8228)) + bof() + boundsheet("Macro", 1)
    for _ in range(count):
        kind = rng.choice(kinds)
        size = rng.choice((0, 3, 6, 15, 16, 20, 21, 22, 23, 30, rng.randrange(0, 400)))
        data = bytearray(rng.randrange(256) for _ in range(size))
        if kind == 0x06:
            for k in range(22, size):
                if rng.random() < 0.5:
                    data[k] = rng.choice(pool)
        stream += record(kind, bytes(data))
    return stream


def write_fixtures(out, rng, count=8):
    os.makedirs(out, exist_ok=True)
    made = 0
    while made < count:
        stream = random_stream(rng, rng.randrange(3, 25))
        with tempfile.NamedTemporaryFile(suffix=".xls") as f:
            f.write(w.compound_file({"Workbook": stream}))
            f.flush()
            found = clamscan_listings(f.name)
        if len(found) != 1 or not 130 < len(found[0]) < 4000:
            continue
        with open(os.path.join(out, f"random-{made}.biff"), "wb") as g:
            g.write(stream)
        with open(os.path.join(out, f"random-{made}.txt"), "wb") as g:
            g.write(found[0])
        made += 1


if __name__ == "__main__":
    ap = argparse.ArgumentParser()
    ap.add_argument("--fixtures", required=True)
    ap.add_argument("--seed", type=int, default=1)
    args = ap.parse_args()
    write_fixtures(args.fixtures, random.Random(args.seed))
    sys.exit(0)
