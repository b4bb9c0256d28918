#!/usr/bin/env python3
"""Documents side by side with clamscan, in one run on one database:

    documents_bench.py --qdx-scan PROGRAM [--cache DIR] [--documents N] [--hostile]

- a folder of about N (default 400) documents made by the oracle's
  generators (engines/oracle/doc_*.py: Word, Excel and Office Open XML
  files with VBA macros, Word 6/95 macros, OLE2 files with payload
  streams, PDFs with every filter, object streams, scripts and encryption,
  RTFs with embedded objects, OneNote files), their signatures (target
  types 0, 2 and 10, hashes of the payloads) as the database;
- with --hostile, documents built to hurt, each timed with its peak memory
  (a database of one line): an OLE2 file of a million directory entries,
  one whose every FAT chain loops, a PDF of 100,000 objects, one whose
  filter chain is 1,000 deep, one whose LZW stream unpacks to 1.4 GB, an
  RTF whose groups nest 10,000 deep, one with an object of 100 MB of hex,
  and the generators' own hostile cases (`hostile_cases(folder)` of a
  doc_*.py module, where it has one).
Each scanner gets the folder warm from the page cache; each is run twice
and the faster run counts.
"""
import argparse
import os
import random
import shutil
import struct
import sys
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "oracle"))

import scanners  # noqa: E402
from archive_bench import best_of_two, size_of, timed_with_peak  # noqa: E402
from clamscan_bench import warm  # noqa: E402

MODULES = ("doc_ole2", "doc_pdf", "doc_rtf")


def generators():
    import importlib
    out = []
    for name in MODULES:
        try:
            out.append(importlib.import_module(name))
        except ModuleNotFoundError:
            pass
    return out


def prepare(args):
    folder = os.path.join(args.cache, "documents")
    db = os.path.join(args.cache, "db")
    if os.path.isdir(folder) and os.path.isdir(db):
        return folder, db
    shutil.rmtree(args.cache, ignore_errors=True)
    os.makedirs(folder)
    os.makedirs(db)
    rng = random.Random(args.seed)
    lines = {"hdb": [], "ndb": [], "ldb": []}
    count, round_no = 0, 0
    while count < args.documents:
        for module in generators():
            sub = os.path.join(folder, f"{module.__name__}-{round_no:03d}")
            os.makedirs(sub)
            files, hdb, ndb, ldb, _ = module.make_cases(sub, rng)
            count += len(files)
            # Names differ by round: each round's signatures are its own.
            for kind, new in (("hdb", hdb), ("ndb", ndb), ("ldb", ldb)):
                lines[kind] += [line.replace("Qdx.", f"Qdx.R{round_no}.", 1) for line in new]
        round_no += 1
    for kind, content in lines.items():
        if content:
            with open(os.path.join(db, f"documents.{kind}"), "w") as f:
                f.write("\n".join(dict.fromkeys(content)) + "\n")
    return folder, db


def ole2_hostile(folder):
    import ole2write as w
    os.makedirs(folder, exist_ok=True)
    cases = []
    # A million directory entries (128 MB of directory), each an empty stream.
    path = os.path.join(folder, "million-entries.doc")
    if not os.path.exists(path):
        entries = 1_000_000
        sector = 4096
        dir_sectors = (entries + 1) * 128 // sector + 1
        per = sector // 4
        fat_sectors = (dir_sectors + per) // per + 1
        header = bytearray(b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + b"\0" * 16)
        header += struct.pack("<HHHHH", 0x3E, 4, 0xFFFE, 12, 6) + b"\0" * 6
        header += struct.pack("<IIIIIIIII", dir_sectors, fat_sectors, 0, 0, 4096, 0xFFFFFFFE, 0, 0xFFFFFFFE, 0)
        header += b"".join(struct.pack("<I", dir_sectors + k if k < fat_sectors else 0xFFFFFFFF) for k in range(109))
        header = bytes(header).ljust(sector, b"\0")
        with open(path, "wb") as f:
            f.write(header)
            root = "Root Entry".encode("utf-16-le").ljust(64, b"\0") + struct.pack("<HBB", 22, 5, 1)
            root += struct.pack("<III", 0xFFFFFFFF, 0xFFFFFFFF, 1) + b"\0" * 36 + struct.pack("<IQ", 0xFFFFFFFE, 0)
            f.write(root)
            for i in range(1, entries + 1):
                e = "s".encode("utf-16-le").ljust(64, b"\0") + struct.pack("<HBB", 4, 2, 1)
                e += struct.pack("<III", 0xFFFFFFFF, i + 1 if i < entries else 0xFFFFFFFF, 0xFFFFFFFF)
                e += b"\0" * 36 + struct.pack("<IQ", 0xFFFFFFFE, 0)
                f.write(e)
            f.write(b"\0" * (dir_sectors * sector - (entries + 1) * 128))
            fat = [k + 1 for k in range(dir_sectors - 1)] + [0xFFFFFFFE] + [0xFFFFFFFD] * fat_sectors
            fat += [0xFFFFFFFF] * (fat_sectors * per - len(fat))
            f.write(b"".join(struct.pack("<I", x) for x in fat))
    cases.append(("OLE2, 1,000,000 entries", path))
    # Every stream's chain loops back to its start: 1,000 streams of 4 KiB.
    path = os.path.join(folder, "looping-chains.doc")
    if not os.path.exists(path):
        data = bytearray(w.compound_file({f"s{i}": bytes(4096) for i in range(1000)}))
        # Each 4096-byte stream takes 8 sectors; its last one points back at its first.
        fat_count = struct.unpack_from("<I", data, 44)[0]
        fat = bytearray()
        for k in range(fat_count):
            s = struct.unpack_from("<I", data, 76 + 4 * k)[0]
            fat += data[(s + 1) * 512:(s + 2) * 512]
        for i in range(1000):
            struct.pack_into("<I", fat, 4 * (i * 8 + 7), i * 8)
        # ...and each stream states 1 MiB, so the chain is followed round.
        dir_start = struct.unpack_from("<I", data, 48)[0]
        for i in range(1, 1001):
            struct.pack_into("<I", data, (dir_start + 1) * 512 + i * 128 + 120, 1 << 20)
        for k in range(fat_count):
            s = struct.unpack_from("<I", data, 76 + 4 * k)[0]
            data[(s + 1) * 512:(s + 2) * 512] = fat[k * 512:(k + 1) * 512]
        with open(path, "wb") as f:
            f.write(data)
    cases.append(("OLE2, 1,000 looping chains", path))
    return cases


def lzw_zeros(cycles):
    """An LZW stream (early change) that unpacks to about 7 MB of zeros per
    cycle of 3,836 codes: each code one zero longer than the one before."""
    out, acc, nb = bytearray(), 0, 0
    bits = 9

    def put(code):
        nonlocal acc, nb
        acc = (acc << bits) | code
        nb += bits
        while nb >= 8:
            nb -= 8
            out.append((acc >> nb) & 255)
            acc &= (1 << nb) - 1

    put(256)
    for _ in range(cycles):
        put(0)
        nxt, code = 259, 258
        while True:
            if nxt + 1 > (1 << bits) and bits < 12:
                bits += 1
            put(code)
            code += 1
            nxt += 1
            if nxt + 1 > (1 << bits) and bits < 12:
                bits += 1
            if nxt >= 4094:
                put(256)
                bits = 9
                break
    put(257)
    if nb:
        out.append((acc << (8 - nb)) & 255)
    return bytes(out)


def pdf_rtf_hostile(folder):
    os.makedirs(folder, exist_ok=True)
    cases = []

    def case(name, file_name, write):
        path = os.path.join(folder, file_name)
        if not os.path.exists(path):
            with open(path, "wb") as f:
                write(f)
        cases.append((name, path))

    # Written piece by piece: a large buffer here would count in the peak
    # memory of every scanner started after it (a child's peak begins with
    # its parent's).
    def objects(f):
        f.write(b"%PDF-1.4\n")
        for i in range(1, 100001):
            f.write(b"%d 0 obj\n<< /Length 10 >>\nstream\n0123456789\nendstream\nendobj\n" % i)

    case("PDF, 100,000 objects", "objects.pdf", objects)
    chain = b"[" + b" /AHx" * 1000 + b"]"
    case("PDF, a filter chain 1,000 deep", "chain.pdf", lambda f: f.write(
        b"%PDF-1.4\n1 0 obj\n<< /Filter " + chain + b" /Length 8 >>\nstream\n41424344\nendstream\nendobj\n"))

    def bomb(f):
        # An embedded file: LZW streams that nothing marks are not decoded.
        data = lzw_zeros(200)
        f.write(b"%PDF-1.4\n1 0 obj\n<< /Type /EmbeddedFile /Filter /LZWDecode /Length " + str(len(data)).encode() +
                b" >>\nstream\n")
        f.write(data + b"\nendstream\nendobj\n")

    case("PDF, an LZW file of 1.4 GB of zeros", "lzw-bomb.pdf", bomb)
    case("RTF, groups nested 10,000 deep", "nested.rtf", lambda f: f.write(
        b"{\\rtf1" + b"{\\b " * 10000 + b"{\\object{\\*\\objdata 0102}}" + b"}" * 10000 + b"}"))

    def hex_object(f):
        f.write(b"{\\rtf1{\\object{\\*\\objdata ")
        for _ in range(100):
            f.write(b"0123456789abcdef" * (1 << 16))
        f.write(b"}}}")

    case("RTF, an object of 100 MB of hex", "hex.rtf", hex_object)
    return cases


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--qdx-scan", required=True)
    ap.add_argument("--cache", default=os.path.join(here, "..", "..", "build", "documents-bench"))
    ap.add_argument("--documents", type=int, default=400)
    ap.add_argument("--seed", type=int, default=7)
    ap.add_argument("--hostile", action="store_true")
    args = ap.parse_args(argv)
    args.cache = os.path.abspath(args.cache)
    folder, db = prepare(args)
    warm(folder)
    files = sum(len(n) for _, _, n in os.walk(folder))
    ours, proc = best_of_two([args.qdx_scan, "--no-image", "-d", db, folder])
    found_ours = proc.stdout.count(" FOUND\n")
    theirs, proc = best_of_two(["clamscan", "--no-summary", "-r", "--infected", "-d", db] + scanners.LIMITS + [folder])
    found_theirs = proc.stdout.count(" FOUND\n")
    print(f"{'documents':<28} {'qdx-scan':>10} {'found':>6} {'clamscan':>10} {'found':>6} {'ratio':>6}")
    print(f"{f'{files} files ({size_of(folder) / 1e6:.0f} MB)':<28} {ours:>9.2f}s {found_ours:>6} {theirs:>9.2f}s "
          f"{found_theirs:>6} {theirs / ours:>5.1f}x")
    print("(both load the same database each run; qdx-scan from the databases, not from a compiled image)")
    if args.hostile:
        small_db = os.path.join(args.cache, "hostile-db")
        os.makedirs(small_db, exist_ok=True)
        with open(os.path.join(small_db, "one.hdb"), "w") as f:
            f.write("44d88612fea8a8f36de82e1278abb02f:68:Eicar-Test-Signature\n")
        cases = ole2_hostile(os.path.join(args.cache, "hostile"))
        cases += pdf_rtf_hostile(os.path.join(args.cache, "hostile"))
        for module in generators():
            if hasattr(module, "hostile_cases"):
                cases += module.hostile_cases(os.path.join(args.cache, "hostile"))
        print(f"{'hostile case':<36} {'seconds':>8} {'peak MB':>8}  first note (a database of one line)")
        for name, path in cases:
            took, peak, lines = timed_with_peak([args.qdx_scan, "--no-image", "-d", small_db, path])
            print(f"{name:<36} {took:>8.2f} {peak / 1024:>8.0f}  {lines[0][-80:] if lines else ''}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
