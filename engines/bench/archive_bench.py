#!/usr/bin/env python3
"""Archives side by side with clamscan, in one run on one database:

    archive_bench.py --qdx-scan PROGRAM [--baseline PROGRAM] [--cache DIR]
                     [--archives N] [--plain-tree DIR]

- a folder of N (default 1,000) archives of mixed kinds (tar, tar.gz,
  tar.bz2, tar.xz, 7z, ZIP, CAB, ISO, cpio, gzip, bzip2, xz; each holding
  a few files of 20 to 200 KB of program-like data), and the same files
  unpacked into a folder of their own;
- with --hostile, archives built to hurt, each timed with its peak memory:
  a gzip of 10 GB of zeros, a 7z whose one member expands to 4 GB, a cpio
  that never ends (headers after headers, no trailer, in an xz stream),
  an ISO 9660 image whose directory holds itself, a CAB of 65,535 files,
  and nested gzips a thousand deep;
- with --plain-tree, a folder of plain files (clamscan_bench.py's tree):
  scanned by PROGRAM and by --baseline (the scanner as it was before the
  archive walk, built from an earlier commit) to show what the walk costs
  files that hold no archive.
The database: 100,000 generated body signatures and 100,000 hashes, and
the MD5 of one file in fifty of those packed. Each scanner gets the trees
warm from the page cache; each is run twice and the faster run counts.
"""
import argparse
import hashlib
import json
import os
import random
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "oracle"))

import scanners  # noqa: E402
from clamscan_bench import warm  # noqa: E402

KINDS = [
    ("tar", ["bsdtar", "-cf"]), ("tar.gz", ["bsdtar", "-czf"]), ("tar.bz2", ["bsdtar", "-cjf"]),
    ("tar.xz", ["bsdtar", "-cJf"]), ("7z", ["7zz", "a", "-bd", "-t7z"]), ("zip", ["7zz", "a", "-bd", "-tzip"]),
    ("cab", ["gcab", "-c", "-z"]), ("iso", ["genisoimage", "-quiet", "-J", "-R", "-o"]),
    ("cpio", ["bsdtar", "--format", "newc", "-cf"]),
]


def content(rng, size):
    out = bytearray()
    while len(out) < size:
        n = min(size - len(out), rng.randint(256, 16384))
        r = rng.random()
        if r < 0.4:
            out += rng.randbytes(n)
        elif r < 0.6:
            out += bytes(n)
        else:
            motif = rng.randbytes(rng.randint(2, 48))
            out += (motif * (n // len(motif) + 1))[:n]
    return bytes(out)


def prepare(args):
    key = dict(archives=args.archives, seed=args.seed, version=1)
    stamp = os.path.join(args.cache, "made.json")
    if os.path.exists(stamp) and json.load(open(stamp)) == key:
        return
    print(f"making the archives, the unpacked tree and the database in {args.cache} (once)...", flush=True)
    shutil.rmtree(args.cache, ignore_errors=True)
    rng = random.Random(args.seed)
    packed, unpacked, db = (os.path.join(args.cache, d) for d in ("packed", "unpacked", "db"))
    for d in (packed, unpacked, db):
        os.makedirs(d)
    hdb, ndb = [], []
    for i in range(100_000):
        hdb.append(f"{rng.randbytes(16).hex()}:{rng.randint(300, 10**7)}:Bench.Hash.{i}")
        ndb.append(f"Bench.Body.{i}:0:*:{rng.randbytes(rng.randint(10, 24)).hex()}")
    for i in range(args.archives):
        kind, command = KINDS[i % len(KINDS)]
        src = os.path.join(unpacked, f"a{i:04d}")
        os.makedirs(src)
        names = []
        for k in range(rng.randint(1, 4)):
            name = f"f{k}.bin"
            data = content(rng, rng.randint(20_000, 200_000))
            open(os.path.join(src, name), "wb").write(data)
            names.append(name)
            if rng.random() < 0.02:
                hdb.append(f"{hashlib.md5(data).hexdigest()}:{len(data)}:Bench.Packed.{i}.{k}")
        out = os.path.join(packed, f"a{i:04d}.{kind}")
        args_ = [out] + (["."] if kind == "iso" else names)
        subprocess.run(command + args_, cwd=src, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(os.path.join(db, "bench.hdb"), "w") as f:
        f.write("\n".join(hdb) + "\n")
    with open(os.path.join(db, "bench.ndb"), "w") as f:
        f.write("\n".join(ndb) + "\n")
    json.dump(key, open(stamp, "w"))


def hostile_cases(folder):
    """Made once into `folder`; each a (name, path) pair."""
    os.makedirs(folder, exist_ok=True)
    cases = []

    def case(name, path, make):
        if not os.path.exists(path):
            make(path)
        cases.append((name, path))

    def sh(command):
        subprocess.run(["sh", "-c", command], check=True)

    case("gzip of 10 GB of zeros", os.path.join(folder, "zeros.gz"),
         lambda p: sh(f"head -c 10G /dev/zero | gzip -1 > {p}"))

    def seven(p):
        work = os.path.join(folder, "7zwork")
        os.makedirs(work, exist_ok=True)
        sh(f"cd {work} && head -c 4G /dev/zero > zeros && 7zz a -bd -t7z -mx1 {p} zeros >/dev/null && rm zeros")
    case("7z member of 4 GB", os.path.join(folder, "zeros.7z"), seven)

    def endless_cpio(p):
        import lzma
        header = b"070707" + b"0" * 12 + b"100644" + b"0" * 30 + b"000002" + b"00000000000" + b"a\0"
        with lzma.open(p, "wb", preset=9) as f:
            for _ in range(200_000):
                f.write(header * 50)
    case("cpio that never ends", os.path.join(folder, "endless.cpio.xz"), endless_cpio)

    def looping_iso(p):
        work = os.path.join(folder, "isowork")
        os.makedirs(os.path.join(work, "d"), exist_ok=True)
        open(os.path.join(work, "d", "f.txt"), "w").write("x")
        subprocess.run(["genisoimage", "-quiet", "-o", p, work], check=True)
        d = bytearray(open(p, "rb").read())
        # Every directory record of "d" points at the root's extent instead.
        root_extent = d[0x8000 + 156 + 2:0x8000 + 156 + 6]
        at = d.find(b"\x01D", 0x8800)
        while at != -1:
            start = at - 33 + 1  # the record begins 33 bytes before its name
            d[start + 2:start + 6] = root_extent
            at = d.find(b"\x01D", at + 2)
        open(p, "wb").write(d)
    case("ISO whose directories loop", os.path.join(folder, "loop.iso"), looping_iso)

    def many_cab(p):
        # Written here: gcab takes its files from the command line, which
        # cannot hold 65,535 names. One stored folder, each file one byte.
        import struct
        count, data = 65535, b"x" * 65535
        names = [f"{i:05d}".encode() + b"\0" for i in range(count)]
        files_at = 36 + 8
        entries = b"".join(struct.pack("<IIHHHH", 1, i, 0, 0x5821, 0, 0x20) + n for i, n in enumerate(names))
        blocks = [data[i:i + 32768] for i in range(0, len(data), 32768)]
        data_at = files_at + len(entries)
        def checksum(data, seed=0):
            for i in range(0, len(data) - len(data) % 4, 4):
                seed ^= int.from_bytes(data[i:i + 4], "little")
            tail = 0
            for b in data[len(data) - len(data) % 4:]:
                tail = (tail << 8) | b
            return seed ^ tail

        def block(b):
            sizes = struct.pack("<HH", len(b), len(b))
            return struct.pack("<I", checksum(sizes, checksum(b))) + sizes + b
        cfdata = b"".join(block(b) for b in blocks)
        total = data_at + len(cfdata)
        header = b"MSCF" + struct.pack("<IIIIIBBHHHHH", 0, total, 0, files_at, 0, 3, 1, 1, count, 0, 0x1234, 0)
        folder_entry = struct.pack("<IHH", data_at, len(blocks), 0)
        open(p, "wb").write(header + folder_entry + entries + cfdata)
    case("CAB folder of 65,535 files", os.path.join(folder, "many.cab"), many_cab)

    def deep(p):
        import gzip
        data = b"deep"
        for _ in range(1000):
            data = gzip.compress(data, mtime=0)
        open(p, "wb").write(data)
    case("gzips a thousand deep", os.path.join(folder, "deep.gz"), deep)
    return cases


def best_of_two(cmd):
    best, out = None, None
    for _ in range(2):
        start = time.perf_counter()
        proc = subprocess.run(cmd, capture_output=True, text=True, errors="replace")
        took = time.perf_counter() - start
        if best is None or took < best:
            best, out = took, proc
    return best, out


def timed_with_peak(cmd):
    """Seconds, peak memory in KiB and the lines on standard error of one run.
    The peak through GNU time where there is one: a child of this process
    starts with this process's own peak, which would count in its figure."""
    import tempfile
    timer = ["/usr/bin/time", "-f", "peak %M"] if os.path.exists("/usr/bin/time") else []
    with tempfile.TemporaryFile() as err:
        start = time.perf_counter()
        proc = subprocess.Popen(timer + cmd, stdout=subprocess.DEVNULL, stderr=err)
        _, _, usage = os.wait4(proc.pid, 0)
        took = time.perf_counter() - start
        err.seek(0)
        lines = err.read().decode(errors="replace").strip().splitlines()
    peak = usage.ru_maxrss
    if timer and lines and lines[-1].startswith("peak "):
        peak = int(lines.pop().split()[1])
    return took, peak, lines


def size_of(tree):
    return sum(os.path.getsize(os.path.join(d, n)) for d, _, names in os.walk(tree) for n in names)


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--qdx-scan", required=True)
    ap.add_argument("--baseline", help="qdx-scan built before the archive walk, for the plain tree")
    ap.add_argument("--plain-tree", help="a folder of plain files (clamscan_bench.py's tree)")
    ap.add_argument("--cache", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                                    "build", "archive-bench"))
    ap.add_argument("--archives", type=int, default=1000)
    ap.add_argument("--seed", type=int, default=5)
    ap.add_argument("--hostile", action="store_true", help="time the hostile archives too")
    args = ap.parse_args(argv)
    args.cache = os.path.abspath(args.cache)
    prepare(args)
    db = os.path.join(args.cache, "db")
    rows = []
    for label in ("packed", "unpacked"):
        tree = os.path.join(args.cache, label)
        warm(tree)
        ours, proc = best_of_two([args.qdx_scan, "--no-image", "-d", db, tree])
        found_ours = proc.stdout.count(" FOUND\n")
        theirs, proc = best_of_two(["clamscan", "--no-summary", "-r", "--infected", "-d", db] + scanners.LIMITS + [tree])
        found_theirs = proc.stdout.count(" FOUND\n")
        rows.append((f"{label} ({size_of(tree) / 1e6:.0f} MB)", ours, found_ours, theirs, found_theirs))
    print(f"{'tree':<24} {'qdx-scan':>10} {'found':>6} {'clamscan':>10} {'found':>6} {'ratio':>6}")
    for label, ours, fo, theirs, ft in rows:
        print(f"{label:<24} {ours:>9.2f}s {fo:>6} {theirs:>9.2f}s {ft:>6} {theirs / ours:>5.1f}x")
    print("(both load the same database each run; qdx-scan from the databases, not from a compiled image)")
    if args.hostile:
        import tempfile
        # A database of one line: the peak is what the archive costs, not the signatures.
        small_db = os.path.join(args.cache, "hostile-db")
        os.makedirs(small_db, exist_ok=True)
        with open(os.path.join(small_db, "one.hdb"), "w") as f:
            f.write("44d88612fea8a8f36de82e1278abb02f:68:Eicar-Test-Signature\n")
        print(f"{'hostile case':<30} {'seconds':>8} {'peak MB':>8}  first note (a database of one line)")
        for name, path in hostile_cases(os.path.join(args.cache, "hostile")):
            took, peak, notes = timed_with_peak([args.qdx_scan, "--no-image", "-d", small_db, path])
            print(f"{name:<30} {took:>8.2f} {peak / 1024:>8.0f}  {notes[0][-90:] if notes else ''}")
    if args.plain_tree and args.baseline:
        tree = os.path.abspath(args.plain_tree)
        warm(tree)
        now, _ = best_of_two([args.qdx_scan, "--no-image", "-d", db, tree])
        before, _ = best_of_two([args.baseline, "--no-image", "-d", db, tree])
        print(f"plain files ({size_of(tree) / 1e6:.0f} MB): now {now:.2f}s, before the archive walk {before:.2f}s, "
              f"{(now / before - 1) * 100:+.1f}%")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
