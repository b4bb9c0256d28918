"""The one driver of the benches of hostile files a generator module makes
(its hostile_cases(folder) -> [(name, path)]): each file scanned with a
database of one line, timed with its peak memory and the scanner's first
note; with --clamscan, clamscan on each as well, stopped after a minute
(it writes every member to a file of its own: some cases take it minutes).
"""
import argparse
import os
import shutil

from archive_bench import timed_with_peak

CLAMSCAN_SECONDS = 60


def run(argv, doc, label, hostile_cases):
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=doc.split("\n")[0])
    ap.add_argument("--qdx-scan", required=True)
    ap.add_argument("--cache", default=os.path.join(here, "..", "..", "build", f"{label}-bench"))
    ap.add_argument("--clamscan", action="store_true")
    args = ap.parse_args(argv)
    shutil.rmtree(args.cache, ignore_errors=True)
    db = os.path.join(args.cache, "db")
    os.makedirs(db)
    with open(os.path.join(db, "one.hdb"), "w") as f:
        f.write("00000000000000000000000000000000:1:Never\n")
    cases = hostile_cases(os.path.join(args.cache, "hostile"))
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
