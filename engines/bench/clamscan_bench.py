#!/usr/bin/env python3
"""Our host scanner against clamscan, side by side on one database and one
tree: load time and scan time of each, and the ratio.

    clamscan_bench.py --qdx-scan PROGRAM [--cache DIR] [--seed N]
                      [--body N] [--hashes N] [--files N] [--megabytes N]

The database (default 100,000 body signatures and 1,000,000 hashes) and the
tree (default 10,000 files, 1,000 MB in all) come from the seed and are
kept in DIR (default build/clamscan-bench) for later runs. Run it with the
optimised build of qdx-scan.

clamscan's load time is its run on an empty file with the same database;
its scan time is its run on the tree minus that. Ours are what
qdx-scan --timing reports. Both scanners get the tree warm from the page
cache and limits high enough that clamscan skips no file.
"""
import argparse
import json
import os
import random
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "oracle"))

import bodysig  # noqa: E402
import corpus  # noqa: E402
import pebuild  # noqa: E402
import scanners  # noqa: E402

MB = 1_000_000


def _realistic(rng, tokens):
    """Real body signatures begin with a long run of fixed bytes, which is
    what a matcher is built for; ours get 8 to 24 of them in front."""
    if tokens[0][0] == "b" and len(tokens) > 1 and tokens[1][0] == "anchor":
        return tokens
    return [("b", rng.randrange(256)) for _ in range(rng.randint(8, 24))] + tokens


def make_database(rng, folder, body, hashes):
    """ClamAV-format files: body signatures as .ndb (nine in ten) and .ldb,
    hashes as .hdb (MD5), .hsb (SHA-256 and SHA-1) and .mdb."""
    os.makedirs(folder, exist_ok=True)
    features = bodysig.FEATURES
    ndb, ldb, plantable = [], [], []
    for i in range(body):
        name = f"Win.Bench.S{i}-{rng.randint(10**6, 10**7)}-0"
        if i % 10 == 9:
            subs = ";".join(bodysig.render(_realistic(rng, bodysig.random_pattern(rng, rng.choice(features))))
                            for _ in range(rng.randint(2, 3)))
            ldb.append(f"{name};Engine:51-255,Target:0;(0&1)|2;{subs}" if subs.count(";") == 2
                       else f"{name};Target:0;0&1;{subs}")
            continue
        tokens = _realistic(rng, bodysig.random_pattern(rng, rng.choice(features)))
        r = rng.random()
        if r < 0.7:
            line = f"{name}:0:*:{bodysig.render(tokens)}"
            plantable.append(tokens)
        elif r < 0.85:
            line = f"{name}:1:*:{bodysig.render(tokens)}"
        elif r < 0.95:
            line = f"{name}:1:EP+{rng.randint(0, 512)}:{bodysig.render(tokens)}"
        else:
            line = f"{name}:0:{rng.randint(0, 4096)}:{bodysig.render(tokens)}"
        ndb.append(line)
    hdb, hsb, mdb = [], [], []
    for i in range(hashes):
        name = f"Win.Bench.H{i}-{rng.randint(10**6, 10**7)}-0"
        size = int(10 ** rng.uniform(2.5, 7))
        r = rng.random()
        if r < 0.65:
            hdb.append(f"{rng.randbytes(16).hex()}:{size}:{name}")
        elif r < 0.9:
            hsb.append(f"{rng.randbytes(32).hex()}:{size}:{name}")
        elif r < 0.95:
            hsb.append(f"{rng.randbytes(20).hex()}:{size}:{name}")
        else:
            mdb.append(f"{pebuild.FILE_ALIGN * rng.randint(1, 64)}:{rng.randbytes(16).hex()}:{name}")
    files = {"bench.ndb": ndb, "bench.ldb": ldb, "bench.hdb": hdb, "bench.hsb": hsb, "bench.mdb": mdb}
    return files, plantable


def _content(rng, size):
    """Random bytes, zero runs, repeated motifs and a small alphabet of
    byte values, mixed like in real programs and data files."""
    out = bytearray()
    while len(out) < size:
        n = min(size - len(out), rng.randint(512, 256 * 1024))
        r = rng.random()
        if r < 0.45:
            out += rng.randbytes(n)
        elif r < 0.6:
            out += bytes(n)
        elif r < 0.8:
            motif = rng.randbytes(rng.randint(2, 64))
            out += (motif * (n // len(motif) + 1))[:n]
        else:
            alphabet = rng.randbytes(rng.randint(4, 24))
            table = bytes(alphabet[v % len(alphabet)] for v in range(256))
            out += rng.randbytes(n).translate(table)
    return bytes(out)


def make_tree(rng, folder, files, total, database, plantable):
    """`files` files of `total` bytes in all, over 100 folders: plain data,
    PE files and stored ZIP archives; one in a hundred carries a match of a
    body signature or is listed by its hash."""
    weights = [10 ** rng.uniform(3, 7.3) for _ in range(files)]
    scale = total / sum(weights)
    sizes = [max(64, int(w * scale)) for w in weights]
    sizes[-1] += total - sum(sizes)
    hdb = database["bench.hdb"]
    for i, size in enumerate(sizes):
        path = os.path.join(folder, f"d{i % 100:02d}", f"file{i:05d}")
        r = rng.random()
        if r < 0.15 and size > 8192:
            layout = pebuild.random_layout(rng)
            head = layout.header_bytes(timestamp=i)
            data = head + _content(rng, max(0, size - len(head)))
            path += ".exe"
        else:
            data = _content(rng, size)
            path += ".bin"
        if i % 100 == 7:
            piece, _ = bodysig.instance(rng, rng.choice(plantable))
            at = rng.randrange(max(1, len(data) - len(piece)))
            data = data[:at] + piece + data[at + len(piece):]
        if r > 0.95:
            data = corpus.zip_bytes([("inner.bin", data)])
            path = path.rsplit(".", 1)[0] + ".zip"
        if i % 100 == 13:
            hdb.append(f"{corpus.hashes(data)['md5']}:{len(data)}:Win.Bench.Listed{i}-1-0")
        corpus.write_file(folder, os.path.relpath(path, folder), data)


def prepare(args):
    key = dict(seed=args.seed, body=args.body, hashes=args.hashes, files=args.files, megabytes=args.megabytes,
               version=2)
    stamp = os.path.join(args.cache, "made.json")
    db, tree = os.path.join(args.cache, "db"), os.path.join(args.cache, "tree")
    if os.path.exists(stamp) and json.load(open(stamp)) == key:
        return db, tree
    print(f"making the database and the tree in {args.cache} (once)...", flush=True)
    import shutil
    shutil.rmtree(args.cache, ignore_errors=True)
    rng = random.Random(args.seed)
    database, plantable = make_database(rng, db, args.body, args.hashes)
    make_tree(rng, tree, args.files, args.megabytes * MB, database, plantable)
    for name, lines in database.items():
        with open(os.path.join(db, name), "w") as f:
            f.write("\n".join(lines) + "\n")
    with open(os.path.join(args.cache, "empty"), "wb"):
        pass
    json.dump(key, open(stamp, "w"))
    return db, tree


def timed(cmd):
    start = time.perf_counter()
    proc = subprocess.run(cmd, capture_output=True, text=True, errors="replace")
    return time.perf_counter() - start, proc


def warm(tree):
    for dirpath, _, names in os.walk(tree):
        for n in names:
            with open(os.path.join(dirpath, n), "rb") as f:
                while f.read(1 << 20):
                    pass


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--qdx-scan", required=True)
    ap.add_argument("--cache", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                                    "build", "clamscan-bench"))
    ap.add_argument("--seed", type=int, default=13)
    ap.add_argument("--body", type=int, default=100_000)
    ap.add_argument("--hashes", type=int, default=1_000_000)
    ap.add_argument("--files", type=int, default=10_000)
    ap.add_argument("--megabytes", type=int, default=1000)
    args = ap.parse_args(argv)
    args.cache = os.path.abspath(args.cache)
    db, tree = prepare(args)
    empty = os.path.join(args.cache, "empty")
    warm(tree)

    load_theirs, proc = timed(["clamscan", "--no-summary", "-d", db] + scanners.LIMITS + [empty])
    if proc.returncode not in (0, 1):
        print("clamscan failed:", proc.stderr[-2000:])
        return 2
    total_theirs, proc = timed(["clamscan", "--no-summary", "-r", "--infected", "-d", db] + scanners.LIMITS + [tree])
    found_theirs = proc.stdout.count(" FOUND\n")
    # The databases as clamscan reads them: no compiled image (image_bench.py times that).
    wall_ours, proc = timed([args.qdx_scan, "--timing", "--no-image", "-d", db, tree])
    if proc.returncode not in (0, 1):
        print("qdx-scan failed:", proc.stderr[-2000:])
        return 2
    figures = dict(line.split()[:2] for line in proc.stderr.splitlines() if line.startswith(("load ", "scan ")))
    if set(figures) != {"load", "scan"}:
        print("qdx-scan --timing printed no load and scan times:", proc.stderr[-2000:])
        return 2
    load_ours, scan_ours = float(figures["load"]), float(figures["scan"])
    found_ours = proc.stdout.count(" FOUND\n")
    scan_theirs = total_theirs - load_theirs

    size = sum(os.path.getsize(os.path.join(d, n)) for d, _, ns in os.walk(tree) for n in ns)
    print(f"database: {args.body} body signatures, {args.hashes} hashes; tree: {args.files} files, "
          f"{size / MB:.0f} MB (seed {args.seed})")
    print(f"{'':14}{'qdx-scan':>12}{'clamscan':>12}{'clamscan/ours':>15}")
    print(f"{'load (s)':14}{load_ours:12.2f}{load_theirs:12.2f}{load_theirs / load_ours:15.2f}")
    print(f"{'scan (s)':14}{scan_ours:12.2f}{scan_theirs:12.2f}{scan_theirs / scan_ours:15.2f}")
    print(f"{'scan (MB/s)':14}{size / MB / scan_ours:12.1f}{size / MB / scan_theirs:12.1f}")
    print(f"{'whole run (s)':14}{wall_ours:12.2f}{total_theirs:12.2f}{total_theirs / wall_ours:15.2f}")
    print(f"{'files found':14}{found_ours:12d}{found_theirs:12d}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
