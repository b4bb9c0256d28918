#!/usr/bin/env python3
"""Generates a signature database of every kind our scanner loads and a
corpus of files to test it on, with the detections a correct scanner makes.

    gensigs.py [--seed N] [--size S] OUTDIR

Writes into OUTDIR:
    signatures/       the database for our scanner: loose .hdb .hsb .mdb .msb
                      .ndb .ldb .fp .sfp .ign2 files, a .cvd and a .cld
    clamscan-db/      the same for clamscan (the containers as .cud, since
                      clamscan refuses containers without its maker's signature)
    corpus/           the files to scan
    manifest.json     expected (file, name) pairs with every match reported,
                      each name's definitions and what was planted in each file
The same seed and size always give the same bytes.
"""
import argparse
import json
import os
import shutil
import sys

import bodysig
import cases
import containers
import corpus
import offsets

LOOSE_BASE = "qdxgen"
CVD_BASE = "qdxmain"
CLD_BASE = "qdxextra"
DIRS = ("", "", "a", "a/b", "pe", "deep/one/two", "with space")


def build(seed, size):
    g = cases.Generator(seed, size)
    rng = g.rng
    scale = lambda n: max(1, round(n * size))

    features = list(bodysig.FEATURES)
    for i in range(scale(140)):
        if i % len(features) == 0:
            rng.shuffle(features)
        r = rng.random()
        if r < 0.5:
            target, form = 0, rng.choice(offsets.PLAIN_FORMS)
        elif r < 0.9:
            target, form = 1, rng.choice(offsets.PLAIN_FORMS + offsets.PE_FORMS * 2)
        else:
            target, form = rng.choice(cases.OTHER_TARGETS), rng.choice(("any", "abs"))
        g.ndb_case(features[i % len(features)], target, form)
    for _ in range(scale(4)):
        g.ndb_straddle_case()
    for _ in range(2):
        g.ndb_far_parts_case()
    for _ in range(scale(3)):
        g.ndb_case(rng.choice(bodysig.FEATURES), 1, rng.choice(offsets.PE_FORMS), big=True)
    for _ in range(scale(45)):
        g.ldb_case()
    for _ in range(3):
        g.ldb_skipped_case()
    g.hash_cases(scale(70))
    g.allowlist_cases(scale(6))
    g.ignore_cases(scale(5))
    return g


def lay_out(g):
    """Paths for every file, some of them stored in ZIP archives. Returns
    {path: [blobs]}, one blob for a plain file, the members for an archive."""
    rng = g.rng
    items = {}
    eligible = [b for b in g.blobs if b.zip_safe]
    rng.shuffle(eligible)
    # One archive at least holds a member larger than a chunk.
    big = [b for b in eligible if b.big]
    if big:
        eligible.remove(big[0])
        eligible.insert(0, big[0])
    archives = []
    for _ in range(max(3, len(g.blobs) // 12)):
        members, names = [], set()
        for b in list(eligible):
            if len(members) >= rng.randint(1, 3):
                break
            if not (b.material & names):
                members.append(b)
                names |= b.material
                eligible.remove(b)
        if members:
            archives.append(members)
    zipped = {id(b) for m in archives for b in m}
    for serial, blob in enumerate(b for b in g.blobs if id(b) not in zipped):
        folder = rng.choice(DIRS)
        if blob.kind == "pe":
            name = f"p{serial:04d}.exe"
        else:
            name = rng.choice((f"f{serial:04d}.bin", f"f{serial:04d}.dat", f"data {serial:04d}.bin"))
        items[os.path.join(folder, name)] = [blob]
    for serial, members in enumerate(archives):
        items[os.path.join(rng.choice(DIRS), f"z{serial:04d}.zip")] = members
    return items


def write(g, items, out):
    root = os.path.join(out, "corpus")
    expected, notes = [], {}
    for path, blobs in sorted(items.items()):
        if path.endswith(".zip"):
            members = []
            for k, blob in enumerate(blobs):
                inner = f"m{k}.exe" if blob.kind == "pe" else f"dir{k}/m{k}.bin" if k % 2 else f"m{k}.bin"
                members.append((inner, blob.content()))
                notes.setdefault(path, []).extend(f"[{inner}] {n}" for n in blob.notes)
            # Deflating the corpus's random data leaves it in the archive's
            # bytes at other places than a stored member's, where clamscan
            # also looks (and finds objects of its own); near misses are
            # made for one reading of those bytes, so they stay stored.
            layout = corpus.LAYOUTS[int(os.path.basename(path)[1:5]) % len(corpus.LAYOUTS)]
            if any("near miss" in n for blob in blobs for n in blob.notes):
                layout = "stored"
            corpus.write_file(root, path, corpus.archive_bytes(members, layout))
        else:
            corpus.write_file(root, path, blobs[0].content())
            notes[path] = list(blobs[0].notes)
        found = set()
        for blob in blobs:
            found |= g.expected(blob)
        expected += [[path, name] for name in sorted(found)]
    corpus.write_file(root, "empty.bin", b"")
    definitions = write_databases(g, out)
    manifest = {"seed": g.seed, "size": g.size, "expected": expected, "definitions": definitions,
                "notes": notes, "ignored": sorted(g.ignored)}
    with open(os.path.join(out, "manifest.json"), "w") as f:
        json.dump(manifest, f, indent=1, sort_keys=True)
    return manifest


def write_databases(g, out):
    """Loose files for part of every kind, the rest in a .cvd and a .cld;
    gives each name's definitions with the file they ended up in."""
    rng = g.rng
    ours = os.path.join(out, "signatures")
    theirs = os.path.join(out, "clamscan-db")
    for d in (ours, theirs):
        os.makedirs(d, exist_ok=True)
    parts = {CVD_BASE: [], CLD_BASE: [], LOOSE_BASE: []}
    where = {}
    for ext, lines in sorted(g.db.lines.items()):
        lines = list(lines)
        rng.shuffle(lines)
        if ext == "ign2":
            cut = {LOOSE_BASE: lines}
        else:
            a, b = int(len(lines) * 0.3), int(len(lines) * 0.5)
            cut = {CVD_BASE: lines[:a], CLD_BASE: lines[a:b], LOOSE_BASE: lines[b:]}
        for base, chunk in cut.items():
            if chunk:
                parts[base].append((f"{base}.{ext}", ("\n".join(chunk) + "\n").encode()))
                for line in chunk:
                    where[line] = f"{base}.{ext}" if base == LOOSE_BASE else f"{base}.{'cvd' if base == CVD_BASE else 'cld'}/{base}.{ext}"
    for name, data in parts[LOOSE_BASE]:
        for d in (ours, theirs):
            with open(os.path.join(d, name), "wb") as f:
                f.write(data)
    cvd = containers.cvd(CVD_BASE, parts[CVD_BASE])
    cld = containers.cld(CLD_BASE, parts[CLD_BASE], compressed=rng.random() < 0.3)
    for d, name, data in ((ours, f"{CVD_BASE}.cvd", cvd), (ours, f"{CLD_BASE}.cld", cld),
                          (theirs, f"{CVD_BASE}.cud", cvd), (theirs, f"{CLD_BASE}.cud", cld)):
        with open(os.path.join(d, name), "wb") as f:
            f.write(data)
    return {name: [[where[line], line] for ext, line in defs] for name, defs in g.db.defs.items()}


def generate(seed, size, out):
    if os.path.exists(out):
        shutil.rmtree(out)
    os.makedirs(out)
    g = build(seed, size)
    return write(g, lay_out(g), out)


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--size", type=float, default=1.0)
    ap.add_argument("out")
    args = ap.parse_args(argv)
    m = generate(args.seed, args.size, args.out)
    print(f"{len(m['definitions'])} signatures, {len(m['notes'])} files, "
          f"{len(m['expected'])} expected detections in {args.out}")


if __name__ == "__main__":
    main(sys.argv[1:])
