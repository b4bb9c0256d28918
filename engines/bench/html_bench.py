#!/usr/bin/env python3
"""HTML pages side by side with clamscan, in one run on one database:

    html_bench.py --qdx-scan PROGRAM [--cache DIR] [--pages N] [--hostile]

- a folder of about N (default 1,000) pages made by the oracle's
  generator (engines/oracle/html_cases.py: comments, references, scripts,
  encoded scripts, data URLs), its signatures (target types 0 and 3,
  hashes of views and payloads) as the database;
- with --hostile, pages built to hurt, each timed with its peak memory (a
  database of one line): a million unclosed tags, an encoded script that
  states four billion characters over 30 MB, a line of 39 MB (normalised)
  and one of 100 MB (over the bound: not normalised), 10 MB of references,
  a script of 3 MB (clamscan takes over 17 minutes on one of 30 MB; we
  take 1.5 s), 200,000 scripts, eval() nested 200,000 deep.
Each scanner gets the folder warm from the page cache; each is run twice
and the faster run counts.
"""
import argparse
import os
import random
import shutil
import sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "oracle"))

import html_cases  # noqa: E402
import scanners  # noqa: E402
from archive_bench import best_of_two, size_of, timed_with_peak  # noqa: E402
from clamscan_bench import warm  # noqa: E402


def prepare(args):
    folder = os.path.join(args.cache, "pages")
    db = os.path.join(args.cache, "db")
    if os.path.isdir(folder) and os.path.isdir(db):
        return folder, db
    shutil.rmtree(args.cache, ignore_errors=True)
    os.makedirs(folder)
    os.makedirs(db)
    rng = random.Random(args.seed)
    lines = {"hdb": [], "ndb": [], "ldb": []}
    count, round_no = 0, 0
    while count < args.pages:
        sub = os.path.join(folder, f"round-{round_no:03d}")
        os.makedirs(sub)
        files, hdb, ndb, ldb, _ = html_cases.make_cases(sub, rng)
        count += len(files)
        for kind, new in (("hdb", hdb), ("ndb", ndb), ("ldb", ldb)):
            lines[kind] += [line.replace("Qdx.", f"Qdx.R{round_no}.", 1) for line in new]
        round_no += 1
    for kind, content in lines.items():
        if content:
            with open(os.path.join(db, f"html.{kind}"), "w") as f:
                f.write("\n".join(dict.fromkeys(content)) + "\n")
    return folder, db


def hostile(folder):
    os.makedirs(folder, exist_ok=True)
    cases = []

    def case(name, file_name, write):
        path = os.path.join(folder, file_name)
        if not os.path.exists(path):
            with open(path, "wb") as f:
                write(f)
        cases.append((name, path))

    case("a million unclosed tags", "tags.html", lambda f: f.write(b"<html>" + b"<a x=1 " * 1_000_000))

    def encoded(f):
        f.write(b"<html><script language=jscript.encode>#@~^/////w==")
        for _ in range(30):
            f.write(b"abcdefghij" * 100_000)

    case("encoded script, 4e9 stated, 30 MB", "encoded.html", encoded)

    def line(mb):
        def write(f):
            f.write(b"<html>")
            for _ in range(mb):
                f.write(b"a" * (1 << 20))
        return write

    case("one line of 39 MB", "line39.html", line(39))
    case("one line of 100 MB (not normalised)", "line100.html", line(100))
    case("10 MB of references", "references.html", lambda f: f.write(b"<html>" + b"&#x4e2d;&amp;" * 800_000))

    def script(f):
        f.write(b"<html><script>")
        for i in range(60_000):
            f.write(b"var v%d = unescape('%%41%%42') + 'c'; f(v%d);\n" % (i, i))
        f.write(b"</script>")

    case("one script of 3 MB, 60,000 declarations", "script3.html", script)
    case("200,000 scripts", "scripts.html", lambda f: f.write(b"<html>" + b"<script>a(1)</script>\n" * 200_000))
    case("eval of eval 200,000 deep", "evals.html",
         lambda f: f.write(b"<html><script>" + b"eval('" * 200_000 + b"x" + b"')" * 200_000 + b"</script>"))
    return cases


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--qdx-scan", required=True)
    ap.add_argument("--cache", default=os.path.join(here, "..", "..", "build", "html-bench"))
    ap.add_argument("--pages", type=int, default=1000)
    ap.add_argument("--seed", type=int, default=7)
    ap.add_argument("--hostile", action="store_true")
    args = ap.parse_args(argv)
    args.cache = os.path.abspath(args.cache)
    folder, db = prepare(args)
    warm(folder)
    files = sum(len(n) for _, _, n in os.walk(folder))
    ours, proc = best_of_two([args.qdx_scan, "--no-image", "--all-match", "-d", db, folder])
    found_ours = proc.stdout.count(" FOUND\n")
    theirs, proc = best_of_two(["clamscan", "--no-summary", "-r", "--infected", "--allmatch", "-d", db] +
                               scanners.LIMITS + [folder])
    found_theirs = proc.stdout.count(" FOUND\n")
    print(f"{'pages':<28} {'qdx-scan':>10} {'found':>6} {'clamscan':>10} {'found':>6} {'ratio':>6}")
    print(f"{f'{files} files ({size_of(folder) / 1e6:.1f} MB)':<28} {ours:>9.2f}s {found_ours:>6} {theirs:>9.2f}s "
          f"{found_theirs:>6} {theirs / ours:>5.1f}x")
    if args.hostile:
        small_db = os.path.join(args.cache, "hostile-db")
        os.makedirs(small_db, exist_ok=True)
        with open(os.path.join(small_db, "one.hdb"), "w") as f:
            f.write("44d88612fea8a8f36de82e1278abb02f:68:Eicar-Test-Signature\n")
        print(f"{'hostile case':<38} {'seconds':>8} {'peak MB':>8} {'clamscan s':>10}")
        for name, path in hostile(os.path.join(args.cache, "hostile")):
            took, peak, _ = timed_with_peak([args.qdx_scan, "--no-image", "-d", small_db, path])
            theirs, _, _ = timed_with_peak(["clamscan", "--no-summary", "-d", small_db] + scanners.LIMITS + [path])
            print(f"{name:<38} {took:>8.2f} {peak / 1024:>8.0f} {theirs:>10.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
