#!/usr/bin/env python3
"""Plain text side by side with clamscan, in one run on one database:

    text_bench.py --qdx-scan PROGRAM [--cache DIR] [--files N] [--hostile]

- a folder of N (default 1,000) text files (scripts and prose, 1 KiB to
  256 KiB, 60 MB or so in all), scanned with signatures of target types 0
  and 7 written for their normalised view and for their raw bytes plus the
  MD5 of each file (the database), and with the hashes alone (the floor:
  every byte read and hashed, nothing normalised or matched);
- with --hostile, text built to hurt, each timed with its peak memory: a
  line of 100 MB without a break (normalised up to 20 MiB, matched as it
  lies after), 19 MiB of blanks (a view of one byte), and 19 MiB of one
  letter in alternating case.
Each scanner gets the folder warm from the page cache; each is run twice
and the faster run counts.
"""
import argparse
import hashlib
import os
import random
import shutil
import sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "oracle"))

from archive_bench import best_of_two, size_of, timed_with_peak  # noqa: E402
from clamscan_bench import warm  # noqa: E402
from text_cases import normalised  # noqa: E402

WORDS = ("function", "var", "Dim", "Set", "WScript.Shell", "powershell", "-enc", "echo", "the", "of",
         "Invoke-Expression", "document.write", "eval(", "unescape(", "\r\n", "\t", "    ", "if", "else")


def text(rng, size):
    parts, n = [], 0
    while n < size:
        w = rng.choice(WORDS)
        parts.append(w)
        parts.append(" " if rng.random() < 0.8 else "\n")
        n += len(w) + 1
    return "".join(parts).encode()


def prepare(args):
    folder, db, floor = (os.path.join(args.cache, n) for n in ("text", "db", "floor"))
    if all(os.path.isdir(d) for d in (folder, db, floor)):
        return folder, db, floor
    shutil.rmtree(args.cache, ignore_errors=True)
    for d in (folder, db, floor):
        os.makedirs(d)
    rng = random.Random(args.seed)
    hdb, ndb, ldb = [], [], []
    for i in range(args.files):
        token = "QdX-Bench  Token\t%d %08X" % (i, rng.getrandbits(32))
        body = text(rng, rng.randrange(1024, 256 * 1024))
        at = rng.randrange(len(body))
        data = body[:at] + b" " + token.encode() + b" " + body[at:]
        with open(os.path.join(folder, "t%04d.txt" % i), "wb") as f:
            f.write(data)
        view = normalised(token.encode())
        if i % 3 == 0:
            ndb.append("Bench.View.%d:7:*:%s" % (i, view.hex()))
        elif i % 3 == 1:
            ndb.append("Bench.Raw.%d:0:*:%s" % (i, token.encode().hex()))
        else:
            ldb.append("Bench.Logical.%d;Engine:51-255,Target:7;0&1;%s;%s" % (i, view[:10].hex(), view[-8:].hex()))
        hdb.append("%s:%d:Bench.Md5.%d" % (hashlib.md5(data + b"x").hexdigest(), len(data) + 1, i))
    for path, lines in ((os.path.join(db, "t.ndb"), ndb), (os.path.join(db, "t.ldb"), ldb),
                        (os.path.join(db, "t.hdb"), hdb), (os.path.join(floor, "t.hdb"), hdb)):
        with open(path, "w") as f:
            f.write("\n".join(lines) + "\n")
    return folder, db, floor


def hostile(folder):
    os.makedirs(folder, exist_ok=True)
    cases = []

    def case(name, file_name, chunk, count):
        path = os.path.join(folder, file_name)
        if not os.path.exists(path):
            with open(path, "wb") as f:
                for _ in range(count):
                    f.write(chunk)
        cases.append((name, path))

    case("a line of 100 MB", "line.txt", b"abcdefgh" * 131072, 100)
    case("19 MiB of blanks", "blanks.txt", b" \t\r\n" * 262144, 19)
    case("19 MiB of aAaA", "case.txt", b"aA" * 524288, 19)
    return cases


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--qdx-scan", required=True)
    ap.add_argument("--cache", default=os.path.join(here, "..", "..", "build", "text-bench"))
    ap.add_argument("--files", type=int, default=1000)
    ap.add_argument("--seed", type=int, default=7)
    ap.add_argument("--hostile", action="store_true")
    args = ap.parse_args(argv)
    folder, db, floor = prepare(args)
    mb = size_of(folder) / 1e6
    print("%d text files, %.1f MB" % (len(os.listdir(folder)), mb))
    rows = []
    for label, cmd in (("qdx-scan, hashes only", [args.qdx_scan, "-d", floor, folder]),
                       ("qdx-scan, text signatures", [args.qdx_scan, "--all-match", "-d", db, folder]),
                       ("clamscan, text signatures", ["clamscan", "--allmatch", "--no-summary", "-r", "-d", db,
                                                      folder])):
        warm(folder)
        took, out = best_of_two(cmd)
        found = sum(1 for line in out.stdout.splitlines() if line.endswith(" FOUND"))
        rows.append((label, took, found))
    for label, took, found in rows:
        print("  %-28s %7.2f s  %6.1f MB/s  %d found" % (label, took, mb / took, found))
    if args.hostile:
        one = os.path.join(args.cache, "one")
        os.makedirs(one, exist_ok=True)
        with open(os.path.join(one, "one.ndb"), "w") as f:
            f.write("Bench.One:7:*:%s\n" % b"never here".hex())
        for name, path in hostile(os.path.join(args.cache, "hostile")):
            for label, cmd in (("qdx-scan", [args.qdx_scan, "-d", one, path]),
                               ("clamscan", ["clamscan", "--no-summary", "-d", one, path])):
                took, peak, _ = timed_with_peak(cmd)
                print("  %-22s %-9s %6.2f s  peak %6.1f MB" % (name, label, took, peak / 1024))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
