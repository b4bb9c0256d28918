#!/usr/bin/env python3
"""Compiled AutoIt payloads built to hurt, each timed with its peak memory:

    autoit_bench.py --qdx-scan PROGRAM [--cache DIR] [--clamscan]

The cases are autoit_cases.hostile_cases (engines/oracle): unpacking that
makes 100 MiB from 400 KB (both versions), a script of 32 MiB of operator
tokens (96 MiB of text), 1,000 members claiming 4 GB, a packed size of 2 GB
in a file of 1 KB, half a million empty entries; InstallShield files (MSI
kind) inflating to 1 GiB, counting 4 billion, claiming 2^63 bytes packed.
A database of one line;
with --clamscan, clamscan on each as well.
"""
import argparse
import os
import shutil
import sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "oracle"))

import autoit_cases  # noqa: E402
from archive_bench import timed_with_peak  # noqa: E402

# clamscan writes every member to a file of its own.
CLAMSCAN_SECONDS = 60


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--qdx-scan", required=True)
    ap.add_argument("--cache", default=os.path.join(here, "..", "..", "build", "autoit-bench"))
    ap.add_argument("--clamscan", action="store_true")
    args = ap.parse_args(argv)
    shutil.rmtree(args.cache, ignore_errors=True)
    db = os.path.join(args.cache, "db")
    os.makedirs(db)
    with open(os.path.join(db, "one.hdb"), "w") as f:
        f.write("00000000000000000000000000000000:1:Never\n")
    cases = autoit_cases.hostile_cases(os.path.join(args.cache, "hostile"))
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
