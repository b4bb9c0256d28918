#!/usr/bin/env python3
"""The updater's benchmark: a daily database of the real size (about
400,000 signatures in the kinds daily holds), a day's patch to it (a few
thousand signatures added, some hundreds dropped or changed), both signed
with the tests' keys; then update_bench.exe under Wine checks the full
download and, in another run, applies the patch, and both are printed side
by side with the bytes each way has to fetch, and what checking the
detached signature file of the full download adds.

  engines/bench/update_bench.py [--build build] [--signatures 400000]
"""
import argparse
import hashlib
import os
import random
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "update"))
import dbmaker  # noqa: E402


def make_daily(count, rng):
    hdb = ["%s:%d:Win.Trojan.Gen-%d-0" % (hashlib.md5(b"%d" % i).hexdigest(), rng.randrange(1000, 900000), i)
           for i in range(count * 45 // 100)]
    hsb = ["%s:%d:Win.Malware.Agent-%d-0" % (hashlib.sha256(b"%d" % i).hexdigest(), rng.randrange(1000, 900000), i)
           for i in range(count * 35 // 100)]
    ndb = ["Win.Trojan.Body-%d-0:1:*:%s" % (i, os.urandom(rng.randrange(12, 40)).hex()) for i in range(count * 15 // 100)]
    ldb = ["Win.Packed.Logic-%d-0;Engine:51-255,Target:1;0&1;%s;%s" % (i, os.urandom(8).hex(), os.urandom(10).hex())
           for i in range(count * 5 // 100)]
    return {"daily.hdb": hdb, "daily.hsb": hsb, "daily.ndb": ndb, "daily.ldb": ldb}


def day_patch(files, rng):
    """The script and the new files: per file some lines dropped, some
    exchanged, new ones added at the end."""
    script, new = [], {}
    day = 1
    for name, lines in files.items():
        n = len(lines)
        drop = set(rng.sample(range(n), n // 2000))
        change = set(rng.sample(sorted(set(range(n)) - drop), n // 4000))
        added = ["%s-new-%d" % (lines[rng.randrange(n)].rsplit("-", 1)[0], k) for k in range(n // 100)]
        script.append("OPEN " + name)
        out = []
        for i, line in enumerate(lines):
            if i in drop:
                script.append("DEL %d %s" % (i + 1, line[:20]))
            elif i in change:
                first = line.split(":")[0]
                replacement = line.replace("-0", "-%d" % day)
                script.append("XCHG %d %s %s" % (i + 1, first, replacement))
                out.append(replacement)
            else:
                out.append(line)
        script.extend("ADD " + a for a in added)
        script.append("CLOSE")
        new[name] = out + added
    return script, new


def as_files(files):
    return [(name, ("\n".join(lines) + "\n").encode()) for name, lines in files.items()]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build")
    parser.add_argument("--signatures", type=int, default=400000)
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    work = os.path.join(build, "update-bench")
    os.makedirs(work, exist_ok=True)
    cvd, patch = os.path.join(work, "daily.cvd"), os.path.join(work, "daily-1001.cdiff")
    stamp = os.path.join(work, "made-%d" % args.signatures)
    if not os.path.exists(stamp):
        rng = random.Random(20)
        old = make_daily(args.signatures, rng)
        script, new = day_patch(old, rng)
        info = dbmaker.info_for(1001, as_files(new)).decode().splitlines()
        script += ["UNLINK daily.info", "OPEN daily.info"] + ["ADD " + line for line in info] + ["CLOSE"]
        open(cvd, "wb").write(dbmaker.make_cvd("daily", 1000, as_files(old)))
        open(patch, "wb").write(dbmaker.make_patch(1001, "\n".join(script) + "\n"))
        open(stamp, "w").write("")
    print("daily.cvd %.1f MB (%d signatures), daily-1001.cdiff %.2f MB" % (
        os.path.getsize(cvd) / 1048576, args.signatures, os.path.getsize(patch) / 1048576))
    sign = os.path.join(work, "daily-1000.cvd.sign")
    open(sign, "wb").write(dbmaker.sign_detached(open(cvd, "rb").read()))
    results = {}
    for way, extra in (("full", []), ("patch", [patch]), ("sign", [sign])):
        out = subprocess.run([os.path.join(build, "wine-run"), os.path.join(build, "bench", "update_bench.exe"), way, cvd] + extra,
                             capture_output=True, text=True, stdin=subprocess.DEVNULL)
        if out.returncode != 0:
            print(way, "failed:", out.stderr.strip())
            return 1
        f = out.stdout.split()
        results[way] = (float(f[f.index("seconds") + 1]), float(f[f.index("peak_mb") + 1]), int(f[f.index("version") + 1]))
    print("%-34s %10s %12s %10s" % ("", "seconds", "peak MB", "download"))
    print("%-34s %10.2f %12.0f %9.1fM" % ("full download: check daily.cvd", results["full"][0], results["full"][1],
                                           os.path.getsize(cvd) / 1048576))
    print("%-34s %10.2f %12.0f %9.2fM" % ("patch: check, apply, rebuild, check", results["patch"][0], results["patch"][1],
                                           os.path.getsize(patch) / 1048576))
    print("%-34s %10.2f %12.0f %9.2fM" % ("detached .sign of daily.cvd", results["sign"][0], results["sign"][1],
                                           os.path.getsize(sign) / 1048576))
    return 0


if __name__ == "__main__":
    sys.exit(main())
