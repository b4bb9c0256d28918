#!/usr/bin/env python3
"""Proves our scanner against clamscan on generated signatures and files.

    oracle.py [--seed N ...] [--size S] [--keep DIR]
              [--qdx-scan PROGRAM] [--quendix7 BIN_DIR --wine-run WINE_RUN --prefix PREFIX]

For each seed: generates a database and a corpus (gensigs.py), checks that
clamscan finds exactly what the generator planted, then runs our scanners
on the same files:
  - qdx-scan (the host scanner): with --all-match the set of (file, name)
    pairs must equal clamscan --allmatch's; by default (first detection per
    file) it must find the same files, each under a name clamscan finds
    there.
  - quendix7.exe under Wine, report only, all files, archives on: the same
    files, each under a name clamscan finds there.
Both must refuse a .cvd damaged on purpose with a message naming it, and
find what clamscan finds without it.
On a difference it prints each pair with the signature's definition and
what was planted in the file, keeps the files and says how to run the case
again. Exit code 0 when everything agrees, 1 otherwise.
"""
import argparse
import os
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import compare  # noqa: E402
import gensigs  # noqa: E402
import scanners  # noqa: E402


def damaged_databases(work):
    """Copies of both database folders: ours with the .cvd damaged (its
    content no longer has the MD5 of its header), clamscan's without it."""
    ours = os.path.join(work, "damaged", "signatures")
    theirs = os.path.join(work, "damaged", "clamscan-db")
    if not os.path.isdir(ours):
        shutil.copytree(os.path.join(work, "signatures"), ours)
        shutil.copytree(os.path.join(work, "clamscan-db"), theirs)
        with open(os.path.join(ours, f"{gensigs.CVD_BASE}.cvd"), "r+b") as f:
            f.seek(0, 2)
            at = 512 + (f.tell() - 512) // 2
            f.seek(at)
            byte = f.read(1)[0]
            f.seek(at)
            f.write(bytes([byte ^ 0x40]))
        os.remove(os.path.join(theirs, f"{gensigs.CVD_BASE}.cud"))
    return ours, theirs


def damaged_container(work, manifest, program):
    """qdx-scan refuses a damaged .cvd, says so, and finds what clamscan
    finds without it."""
    v = compare.Verdict("qdx-scan refuses a damaged .cvd and uses the rest")
    ours, theirs = damaged_databases(work)
    root = os.path.join(work, "corpus")
    without = scanners.clamscan(theirs, root)
    got = scanners.qdx_scan(program, ours, root, raise_errors=False)
    if got.code not in (0, 1, 2):
        v.add(f"  exit code {got.code} (a crash?)")
    if f"{gensigs.CVD_BASE}.cvd" not in got.stderr:
        v.add(f"  no message names the damaged {gensigs.CVD_BASE}.cvd; stderr: {got.stderr.strip()[:300]}")
    v.problems += compare.same_pairs(v.title, manifest, without.pairs, "clamscan without it", got.pairs,
                                     "qdx-scan").problems
    return v


def damaged_container_wine(work, manifest, args):
    """quendix7.exe says "Error: ..." about a damaged .cvd in its results and
    finds what clamscan finds without it."""
    v = compare.Verdict("quendix7.exe refuses a damaged .cvd and uses the rest")
    ours, theirs = damaged_databases(work)
    root = os.path.join(work, "corpus")
    without = scanners.clamscan(theirs, root)
    got = scanners.quendix7(args.quendix7, args.wine_run, args.prefix, ours, root)
    if not any(f"{gensigs.CVD_BASE}.cvd" in e for e in got.errors):
        v.add(f"  no \"Error:\" line names the damaged {gensigs.CVD_BASE}.cvd; errors: {got.errors[:3]}")
    v.problems += compare.first_matches(v.title, manifest, without.pairs, "clamscan without it", got.pairs,
                                        "quendix7").problems
    return v


def with_image(manifest, loaded, mapped, scanner):
    """A second run takes its signatures from the compiled image the first
    one wrote, and finds exactly the same."""
    v = compare.same_pairs(f"{scanner} finds the same from its compiled image", manifest, loaded.pairs,
                           "from the databases", mapped.pairs, "from the image")
    if scanner == "quendix7":  # written by the first run, left as it was by the second
        used = loaded.image is not None and mapped.image == loaded.image
    else:
        used = "from image" in mapped.stderr
    if not used:
        v.add(f"  the second run did not use the image: {mapped.stderr.strip()[:300]}")
    v.problems[:0] = [f"  {scanner}: {e}" for e in mapped.errors]
    return v


def run_seed(seed, size, work, args):
    manifest = gensigs.generate(seed, size, work)
    expected = {tuple(p) for p in manifest["expected"]}
    db_theirs = os.path.join(work, "clamscan-db")
    db_ours = os.path.join(work, "signatures")
    root = os.path.join(work, "corpus")

    verdicts = []
    c_all = scanners.clamscan(db_theirs, root)
    v = compare.same_pairs("clamscan --allmatch finds what the generator planted", manifest, expected,
                           "generator", c_all.pairs, "clamscan")
    v.problems[:0] = [f"  clamscan: {e}" for e in c_all.errors]
    verdicts.append(v)
    c_first = scanners.clamscan(db_theirs, root, all_matches=False)
    verdicts.append(compare.first_matches("clamscan (first match per file)", manifest, c_all.pairs,
                                          "clamscan --allmatch", c_first.pairs, "clamscan"))
    if args.qdx_scan:
        q_all = scanners.qdx_scan(args.qdx_scan, db_ours, root)
        v = compare.same_pairs("qdx-scan --all-match equals clamscan --allmatch", manifest, c_all.pairs,
                               "clamscan", q_all.pairs, "qdx-scan")
        v.problems[:0] = [f"  qdx-scan: {e}" for e in q_all.errors]
        verdicts.append(v)
        verdicts.append(with_image(manifest, q_all, scanners.qdx_scan(args.qdx_scan, db_ours, root), "qdx-scan"))
        q_none = scanners.qdx_scan(args.qdx_scan, db_ours, root, image=False)
        verdicts.append(compare.same_pairs("qdx-scan --no-image finds what it finds from its image", manifest,
                                           q_all.pairs, "qdx-scan", q_none.pairs, "qdx-scan --no-image"))
        q_first = scanners.qdx_scan(args.qdx_scan, db_ours, root, all_matches=False)
        v = compare.first_matches("qdx-scan (first match per file)", manifest, c_all.pairs,
                                  "clamscan --allmatch", q_first.pairs, "qdx-scan")
        v.problems[:0] = [f"  qdx-scan: {e}" for e in q_first.errors]
        verdicts.append(v)
        verdicts.append(damaged_container(work, manifest, args.qdx_scan))
    if args.quendix7:
        w, w_image = scanners.quendix7(args.quendix7, args.wine_run, args.prefix, db_ours, root, runs=2)
        verdicts.append(with_image(manifest, w, w_image, "quendix7"))
        v = compare.first_matches("quendix7.exe (report only, all files, archives)", manifest, c_all.pairs,
                                  "clamscan --allmatch", w.pairs, "quendix7")
        v.problems[:0] = [f"  quendix7: {e}" for e in w.errors]
        verdicts.append(v)
        verdicts.append(damaged_container_wine(work, manifest, args))

    files = len(scanners.corpus_files(root))
    print(f"seed {seed} size {size}: {len(manifest['definitions'])} signatures, {files} files, "
          f"{len(c_all.pairs)} detections by clamscan")
    for v in verdicts:
        print(f"  {'ok  ' if v.ok else 'FAIL'} {v.title}")
        for line in v.problems[:args.max_lines]:
            print("  " + line)
        if len(v.problems) > args.max_lines:
            print(f"      ... {len(v.problems) - args.max_lines} more lines")
    return all(v.ok for v in verdicts)


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--seed", type=int, action="append", help="seed (repeat for several); default 1")
    ap.add_argument("--size", type=float, default=1.0, help="scale of database and corpus; default 1")
    ap.add_argument("--keep", help="generate into this folder and keep it")
    ap.add_argument("--qdx-scan", help="the host scanner program")
    ap.add_argument("--quendix7", metavar="BIN_DIR", help="folder of quendix7.exe and quendix3.dat")
    ap.add_argument("--wine-run", help="the build's wine-run script (with --quendix7)")
    ap.add_argument("--prefix", help="the build's Wine prefix (with --quendix7)")
    ap.add_argument("--max-lines", type=int, default=60, help="report lines shown per check")
    args = ap.parse_args(argv)
    if args.quendix7 and not (args.wine_run and args.prefix):
        ap.error("--quendix7 needs --wine-run and --prefix")
    for option in ("qdx_scan", "quendix7", "wine_run", "prefix", "keep"):
        if getattr(args, option):
            setattr(args, option, os.path.abspath(getattr(args, option)))
    if shutil.which("clamscan") is None:
        print("clamscan is not installed (Debian package clamav)")
        return 2
    seeds = args.seed or [1]
    all_ok = True
    for seed in seeds:
        if args.keep:
            work = os.path.join(args.keep, f"seed{seed}") if len(seeds) > 1 else args.keep
        else:
            work = tempfile.mkdtemp(prefix=f"oracle-seed{seed}-")
        ok = run_seed(seed, args.size, work, args)
        all_ok = all_ok and ok
        if ok and not args.keep:
            shutil.rmtree(work, ignore_errors=True)
        elif not ok:
            print(f"  files kept in {work}; run again with: {os.path.abspath(__file__)} --seed {seed} "
                  f"--size {args.size} --keep DIR ...")
    return 0 if all_ok else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
