#!/usr/bin/env python3
"""Packed programs built to hurt, each timed with its peak memory:

    packed_bench.py --qdx-scan PROGRAM [--cache DIR] [--clamscan]

The cases are packed_cases.hostile_cases (engines/oracle): a UPX program
claiming 2 GB, 60 MiB unpacked from a few bytes, 100 MiB of matches into
room for 60, 250,000 fake programs for the embedded-program search, a
program packed 30 times over, a WWPack32 program claiming 2 GB and one
whose blocks write 300 MiB into an image of 60.
A database of one line; with --clamscan, clamscan on each as well.
"""
import argparse
import os
import shutil
import sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "oracle"))

import packed_cases  # noqa: E402
from archive_bench import timed_with_peak  # noqa: E402

CLAMSCAN_SECONDS = 60


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--qdx-scan", required=True)
    ap.add_argument("--cache", default=os.path.join(here, "..", "..", "build", "packed-bench"))
    ap.add_argument("--clamscan", action="store_true")
    args = ap.parse_args(argv)
    shutil.rmtree(args.cache, ignore_errors=True)
    db = os.path.join(args.cache, "db")
    os.makedirs(db)
    with open(os.path.join(db, "one.hdb"), "w") as f:
        f.write("00000000000000000000000000000000:1:Never\n")
    cases = packed_cases.hostile_cases(os.path.join(args.cache, "hostile"))
    print(f"{'hostile case':<32} {'MB':>6} {'seconds':>8} {'peak MB':>8}  first note")
    for name, path in cases:
        took, peak, lines = timed_with_peak([args.qdx_scan, "--no-image", "-d", db, path])
        size = os.path.getsize(path) / (1 << 20)
        print(f"{name:<32} {size:>6.1f} {took:>8.2f} {peak / 1024:>8.0f}  {lines[0][-70:] if lines else ''}")
        if args.clamscan:
            took, peak, _ = timed_with_peak(["timeout", str(CLAMSCAN_SECONDS), "clamscan", "--no-summary", "-d", db, path])
            over = "  stopped: over %d s" % CLAMSCAN_SECONDS if took >= CLAMSCAN_SECONDS else ""
            print(f"{'  clamscan':<32} {'':>6} {took:>8.2f} {peak / 1024:>8.0f}{over}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
