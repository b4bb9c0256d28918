#!/usr/bin/env python3
"""Proves the document readers against clamscan.

    documents.py --qdx-scan PROGRAM [--quendix7 BIN_DIR --wine-run W --prefix P] [--keep DIR] [--seed N]

Two sets, one database:
  (a) Debian's clamav-testfiles in the document formats (clam.ole.doc,
      clam.ppt, clam.exe.rtf, clam.pdf, ...): clamscan flags each with the
      MD5 of the test program clam.exe, and so must we;
  (b) documents made here by the doc_*.py modules (each has
      make_cases(work, rng) -> files, hdb, ndb, ldb, planted), with
      signatures of target types 0, 2 and 10 written for what they hide.
Every (file, name) pair of qdx-scan --all-match must be one of clamscan
--allmatch's and the other way round; what was planted must be found by
both. quendix7.exe under Wine, when given, must find the same files.
Exit code 0 when everything agrees.
"""
import argparse
import importlib
import os
import random
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import compare  # noqa: E402
import scanners  # noqa: E402

TESTFILES = "/usr/share/clamav-testfiles"
CLAM_EXE_MD5 = "aa15bcf478d165efd2065190eb473bcb"
# The test files in formats this scanner reads as documents.
DOCUMENT_TESTFILES = ("clam.ole.doc", "clam.ppt", "clam.exe.rtf", "clam.pdf")
MODULES = ("doc_ole2", "doc_xlm", "doc_pdf", "doc_rtf")


def leave_temps(db, path, work):
    """Everything clamscan extracted from `path`, as a set of byte strings."""
    temps = tempfile.mkdtemp(dir=work, prefix="temps-")
    subprocess.run(["clamscan", "--leave-temps", "--tempdir", temps, "-d", db, path], capture_output=True)
    out = set()
    for d, _, names in os.walk(temps):
        for n in names:
            with open(os.path.join(d, n), "rb") as f:
                out.add(f.read())
    shutil.rmtree(temps, ignore_errors=True)
    return out


def main(argv):
    return prove(argv, __doc__, "documents", DOCUMENT_TESTFILES, MODULES)


def prove(argv, doc, label, testfile_names, modules):
    """The proof for one family of formats: `testfile_names` of Debian's
    clamav-testfiles, and the cases of the generator `modules`."""
    ap = argparse.ArgumentParser(description=doc.split("\n")[0])
    ap.add_argument("--qdx-scan", required=True)
    ap.add_argument("--quendix7")
    ap.add_argument("--wine-run")
    ap.add_argument("--prefix")
    ap.add_argument("--keep")
    ap.add_argument("--seed", type=int, default=1)
    args = ap.parse_args(argv)
    if shutil.which("clamscan") is None:
        print("clamscan is not installed")
        return 2
    work = os.path.abspath(args.keep) if args.keep else tempfile.mkdtemp(prefix=f"oracle-{label}-")
    if os.path.exists(work) and args.keep:
        shutil.rmtree(work)
    corpus = os.path.join(work, "corpus")
    os.makedirs(corpus)
    rng = random.Random(args.seed)
    hdb, ndb, ldb, planted = [f"{CLAM_EXE_MD5}:544:Qdx.Oracle.ClamExe"], [], [], {}
    extracted = {}
    for name in modules:
        try:
            module = importlib.import_module(name)
        except ModuleNotFoundError:
            continue
        sub = os.path.join(corpus, name)
        os.makedirs(sub)
        _, h, n, lines, p = module.make_cases(sub, rng)
        # One name per hash: of two, clamscan reports one.
        known = {line.split(":")[0] for line in hdb}
        hdb += [line for line in h if line.split(":")[0] not in known]
        ndb += n
        ldb += lines
        planted.update({f"{name}/{k}": v for k, v in p.items()})
        extracted.update({f"{name}/{k}": v for k, v in getattr(module, "EXTRACTED", {}).items()})
    testfiles = []
    if os.path.isdir(TESTFILES):
        for name in testfile_names:
            if os.path.exists(os.path.join(TESTFILES, name)):
                shutil.copy(os.path.join(TESTFILES, name), os.path.join(corpus, "testfiles-" + name))
                testfiles.append("testfiles-" + name)
    ours = os.path.join(work, "signatures")
    theirs = os.path.join(work, "clamscan-db")
    for d in (ours, theirs):
        os.makedirs(d)
        for ext, lines in (("hdb", hdb), ("ndb", ndb), ("ldb", ldb)):
            if lines:
                with open(os.path.join(d, f"{label}.{ext}"), "w") as f:
                    f.write("\n".join(lines) + "\n")

    manifest = {"definitions": {}, "notes": {}}
    clam = scanners.clamscan(theirs, corpus)
    ours_run = scanners.qdx_scan(os.path.abspath(args.qdx_scan), ours, corpus, image=False)
    files = scanners.corpus_files(corpus)
    verdicts = []
    v = compare.same_pairs("qdx-scan --all-match equals clamscan --allmatch", manifest, clam.pairs, "clamscan",
                           ours_run.pairs, "qdx-scan")
    v.problems[:0] = [f"  qdx-scan: {e}" for e in ours_run.errors]
    verdicts.append(v)
    expected = {(f, n) for f, names in planted.items() for n in names}
    v = compare.Verdict(f"clamscan finds what was planted in every file the {label} cases made")
    for f, name in sorted(expected - clam.pairs):
        v.add(f"  clamscan finds no {name} in {f}")
    verdicts.append(v)
    v = compare.Verdict("clamscan extracts the very bytes our readers give (--leave-temps)")
    for f, views in sorted(extracted.items()):
        kept = leave_temps(theirs, os.path.join(corpus, f), work)
        for i, view in enumerate(views):
            if view not in kept:
                v.add(f"  {f}: view {i} ({len(view)} bytes) is not among the {len(kept)} objects clamscan extracted")
    verdicts.append(v)
    v = compare.Verdict("every clam.* test file is flagged by both")
    for f in testfiles:
        for who, run in (("clamscan", clam), ("qdx-scan", ours_run)):
            if (f, "Qdx.Oracle.ClamExe") not in run.pairs:
                v.add(f"  {who} finds nothing in {f}")
    verdicts.append(v)
    if args.quendix7:
        verdicts.append(scanners.quendix7_verdict(args, manifest, ours, corpus, ours_run))
    return compare.report(len(files), clam, ours_run, verdicts, work, args.keep)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
