"""Runs one generator module of cases alone: its files scanned by clamscan
--allmatch and, when given, qdx-scan --all-match, each of which must find
exactly what was planted in every file.

    python3 MODULE.py [--qdx-scan PROGRAM] [--keep DIR] [--seed N]
"""
import argparse
import os
import random
import shutil
import subprocess
import tempfile


def found_by(command, files):
    """The names each scanner reports, per file's base name."""
    out = subprocess.run(command + files, capture_output=True, text=True).stdout
    found = {}
    for line in out.splitlines():
        if not line.endswith(" FOUND"):
            continue
        path, name = line[:-len(" FOUND")].rsplit(": ", 1)
        found.setdefault(os.path.basename(path), set()).add(name.replace(".UNOFFICIAL", ""))
    return found


def check(make_cases, label, options=(), also=None):
    """Exit code 0 when both scanners find what was planted, no more.
    `options`: more command-line options (names); `also(args, files, sigs,
    work)`: a further check of the module's own, giving its disagreements."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--qdx-scan")
    parser.add_argument("--keep")
    parser.add_argument("--seed", type=int, default=1)
    for option in options:
        parser.add_argument(option)
    args = parser.parse_args()
    work = args.keep or tempfile.mkdtemp(prefix=label + "-")
    sigs, cases = os.path.join(work, "sigs"), os.path.join(work, "cases")
    os.makedirs(sigs, exist_ok=True)
    os.makedirs(cases, exist_ok=True)
    files, hdb, ndb, ldb, planted = make_cases(cases, random.Random(args.seed))
    for ext, lines in (("hdb", hdb), ("ndb", ndb), ("ldb", ldb)):
        if lines:
            with open(os.path.join(sigs, "cases." + ext), "w") as f:
                f.write("\n".join(lines) + "\n")
    scanners = [("clamscan", ["clamscan", "--allmatch", "--no-summary", "-d", sigs])]
    if args.qdx_scan:
        scanners.append(("qdx-scan", [args.qdx_scan, "--all-match", "-d", sigs]))
    bad = 0
    for who, command in scanners:
        found = found_by(command, files)
        for name in sorted(planted):
            got = found.get(name, set())
            if got != planted[name]:
                bad += 1
                print("%s %s: found %s, planted %s" % (who, name, sorted(got), sorted(planted[name])))
    if also:
        bad += also(args, files, sigs, work)
    print("%d files, %d disagreements" % (len(files), bad))
    if not args.keep:
        shutil.rmtree(work)
    return 1 if bad else 0
