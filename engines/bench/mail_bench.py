#!/usr/bin/env python3
"""Mail side by side with clamscan:

    mail_bench.py --qdx-scan PROGRAM [--cache DIR] [--mails N] [--hostile]

- an mbox of N (default 10,000) messages, a fifth of them with a base64
  attachment, a fifth quoted-printable, some uuencoded, some nested
  multiparts, with hash signatures of their attachments as the database;
  both scanners once each on it (the faster of two runs counts);
- with --hostile, messages built to hurt, each timed with its peak memory by
  both scanners (a database of one line): 100,000 parts, boundaries nested
  10,000 deep, a base64 body of 1 GB, a line of 100 MB without a break.
"""
import argparse
import base64
import hashlib
import os
import random
import shutil
import sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "oracle"))

import scanners  # noqa: E402
from archive_bench import best_of_two, size_of, timed_with_peak  # noqa: E402
from clamscan_bench import warm  # noqa: E402

HEAD = "From bench@example.com Mon Jan  1 00:00:00 2024\nFrom: bench@example.com\nSubject: {i}\nMIME-Version: 1.0\n"


def prepare(args):
    folder = os.path.join(args.cache, "mbox")
    db = os.path.join(args.cache, "db")
    if os.path.isdir(folder) and os.path.isdir(db):
        return folder, db
    shutil.rmtree(args.cache, ignore_errors=True)
    os.makedirs(folder)
    os.makedirs(db)
    rng = random.Random(args.seed)
    hdb = []
    with open(os.path.join(folder, "bench.mbox"), "w") as f:
        for i in range(args.mails):
            f.write(HEAD.format(i=i))
            data = bytes(rng.randrange(256) for _ in range(rng.randrange(200, 3000)))
            kind = i % 5
            if kind == 0:
                hdb.append(f"{hashlib.md5(data).hexdigest()}:{len(data)}:Qdx.Bench.Mail{i}")
                f.write("Content-Type: multipart/mixed; boundary=B\n\n--B\nContent-Type: text/plain\n\nhello\n"
                        "--B\nContent-Type: application/octet-stream\nContent-Transfer-Encoding: base64\n\n" +
                        base64.encodebytes(data).decode() + "--B--\n\n")
            elif kind == 1:
                text = "".join("=%02X" % b + ("=\n" if k % 24 == 23 else "") for k, b in enumerate(data))
                f.write("Content-Type: text/plain\nContent-Transfer-Encoding: quoted-printable\n\n" + text + "\n\n")
            elif kind == 2:
                f.write("Content-Type: multipart/mixed; boundary=O\n\n--O\nContent-Type: multipart/alternative; "
                        "boundary=I\n\n--I\nContent-Type: text/plain\n\nplain\n--I\nContent-Type: text/html\n\n"
                        "<p>html</p>\n--I--\n--O--\n\n")
            else:
                f.write("\n" + "A line of ordinary words in a plain message body.\n" * rng.randrange(5, 60) + "\n")
    with open(os.path.join(db, "mail.hdb"), "w") as f:
        f.write("\n".join(hdb) + "\n")
    return folder, db


def hostile_cases(folder):
    os.makedirs(folder, exist_ok=True)
    cases = []

    def case(name, file_name, write):
        path = os.path.join(folder, file_name)
        if not os.path.exists(path):
            with open(path, "w") as f:
                write(f)
        cases.append((name, path))

    def parts(f):
        f.write("From: a@b\nContent-Type: multipart/mixed; boundary=P\n\n")
        for i in range(100_000):
            f.write(f"--P\nContent-Type: application/octet-stream\n\npart {i}\n")
        f.write("--P--\n")

    def nested(f):
        f.write("From: a@b\nContent-Type: multipart/mixed; boundary=b0\n\n")
        for i in range(1, 10_000):
            f.write(f"--b{i - 1}\nContent-Type: multipart/mixed; boundary=b{i}\n\n")
        f.write("--b9999\n\nleaf\n")

    def big_base64(f):
        f.write("From: a@b\nContent-Type: application/octet-stream\nContent-Transfer-Encoding: base64\n\n")
        line = base64.b64encode(bytes(range(256)) * 3)[:76].decode() + "\n"
        block = line * 10_000
        for _ in range((1 << 30) // len(block)):
            f.write(block)

    def long_line(f):
        f.write("From: a@b\nContent-Type: text/plain\n\n")
        for _ in range(100):
            f.write("x" * (1 << 20))
        f.write("\n")

    case("100,000 parts", "parts.eml", parts)
    case("boundaries nested 10,000 deep", "nested.eml", nested)
    case("a base64 body of 1 GB", "base64.eml", big_base64)
    case("a line of 100 MB", "line.eml", long_line)
    return cases


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--qdx-scan", required=True)
    ap.add_argument("--cache", default=os.path.join(here, "..", "..", "build", "mail-bench"))
    ap.add_argument("--mails", type=int, default=10_000)
    ap.add_argument("--seed", type=int, default=7)
    ap.add_argument("--hostile", action="store_true")
    args = ap.parse_args(argv)
    args.cache = os.path.abspath(args.cache)
    folder, db = prepare(args)
    warm(folder)
    ours, proc = best_of_two([args.qdx_scan, "--no-image", "-d", db, folder])
    found_ours = proc.stdout.count(" FOUND\n")
    theirs, proc = best_of_two(["clamscan", "--no-summary", "-r", "--infected", "-d", db] + scanners.LIMITS + [folder])
    found_theirs = proc.stdout.count(" FOUND\n")
    print(f"{'mail':<28} {'qdx-scan':>10} {'found':>6} {'clamscan':>10} {'found':>6} {'ratio':>6}")
    print(f"{f'{args.mails} mails ({size_of(folder) / 1e6:.0f} MB)':<28} {ours:>9.2f}s {found_ours:>6} "
          f"{theirs:>9.2f}s {found_theirs:>6} {theirs / ours:>5.1f}x")
    print("(one mbox, so each scanner reports it once: `found` counts files, not attachments)")
    if args.hostile:
        small_db = os.path.join(args.cache, "hostile-db")
        os.makedirs(small_db, exist_ok=True)
        with open(os.path.join(small_db, "one.hdb"), "w") as f:
            f.write("44d88612fea8a8f36de82e1278abb02f:68:Eicar-Test-Signature\n")
        print(f"{'hostile case':<32} {'qdx s':>7} {'qdx MB':>7} {'clam s':>7} {'clam MB':>7}  first note")
        for name, path in hostile_cases(os.path.join(args.cache, "hostile")):
            took, peak, lines = timed_with_peak([args.qdx_scan, "--no-image", "-d", small_db, path])
            ctook, cpeak, _ = timed_with_peak(["clamscan", "--no-summary", "-d", small_db] + scanners.LIMITS + [path])
            print(f"{name:<32} {took:>7.2f} {peak / 1024:>7.0f} {ctook:>7.2f} {cpeak / 1024:>7.0f}  "
                  f"{lines[0][-60:] if lines else ''}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
