#!/usr/bin/env python3
"""Time to the first file scanned with a set of databases of the full
official size and mix, with and without the compiled signature image, side
by side with clamscan's load of the same set.

    image_bench.py --qdx-scan PROGRAM --build BUILD_DIR [--cache DIR]
                   [--seed N] [--scale F] [--runs N]

The set (at scale 1: 4,000,000 MD5 and 2,500,000 SHA file hashes, 500,000
MD5 and 100,000 SHA-256 section hashes, 100,000 body and 50,000 logical
signatures, an allow list and an ignore list) is made once from the seed
and kept in DIR (default build/image-bench). Run it with the optimised
build of qdx-scan (host-build-engines/release) and a build of the Windows
programs (quendix7.exe, engine_load_bench.exe) and its wine-run script.

For each scanner: the databases loaded as they are; the first run, which
builds the image; later runs, which map it. "ready" is the wall time from
starting the program to its end after scanning one small file; under Wine
it includes Wine's own start, shown alone as "no databases". Memory: the
peak resident set of the process (Linux), and the working set and
committed memory as Windows counts them (engine_load_bench.exe).
"""
import argparse
import json
import os
import random
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "oracle"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import bodysig  # noqa: E402
import clamscan_bench  # noqa: E402
import pebuild  # noqa: E402

MB = 1 << 20
PLATFORMS = ("Win.Trojan", "Win.Malware", "Win.Downloader", "Doc.Macro", "Xls.Dropper", "Js.Trojan",
             "Html.Phishing", "Unix.Trojan", "Andr.Malware", "Win.Ransomware")


def kinds(scale):
    n = lambda count: max(1, int(count * scale))  # noqa: E731
    return dict(md5=n(4_000_000), sha256=n(2_000_000), sha1=n(500_000), mdb=n(500_000), msb=n(100_000),
                ndb=n(100_000), ldb=n(50_000), fp=n(5_000), ign=n(500))


def write_lines(path, lines):
    with open(path, "w") as f:
        for line in lines:
            f.write(line)
            f.write("\n")


def make_set(rng, folder, k):
    """The databases, and a small file that one body signature matches."""
    os.makedirs(folder, exist_ok=True)
    name = lambda kind, i: f"{PLATFORMS[i % len(PLATFORMS)]}.{kind}-{1000000 + i}-0"  # noqa: E731
    size = lambda: int(10 ** rng.uniform(2.5, 7))  # noqa: E731
    write_lines(os.path.join(folder, "bench.hdb"),
                (f"{rng.randbytes(16).hex()}:{size()}:{name('Md5', i)}" for i in range(k["md5"])))
    write_lines(os.path.join(folder, "bench.hsb"),
                [f"{rng.randbytes(32).hex()}:{size()}:{name('Sha256', i)}" for i in range(k["sha256"])] +
                [f"{rng.randbytes(20).hex()}:{size()}:{name('Sha1', i)}" for i in range(k["sha1"])])
    write_lines(os.path.join(folder, "bench.mdb"),
                (f"{pebuild.FILE_ALIGN * rng.randint(1, 64)}:{rng.randbytes(16).hex()}:{name('Section', i)}"
                 for i in range(k["mdb"])))
    write_lines(os.path.join(folder, "bench.msb"),
                (f"{pebuild.FILE_ALIGN * rng.randint(1, 64)}:{rng.randbytes(32).hex()}:{name('Section256', i)}"
                 for i in range(k["msb"])))
    write_lines(os.path.join(folder, "bench.fp"),
                (f"{rng.randbytes(16).hex()}:{size()}:allowed-{i}" for i in range(k["fp"])))
    write_lines(os.path.join(folder, "bench.ign2"), (name("Md5", i * 7) for i in range(k["ign"])))
    features = bodysig.FEATURES
    ndb, plantable = [], []
    for i in range(k["ndb"]):
        tokens = clamscan_bench._realistic(rng, bodysig.random_pattern(rng, rng.choice(features)))
        r = rng.random()
        if r < 0.7:
            ndb.append(f"{name('Body', i)}:0:*:{bodysig.render(tokens)}")
            plantable.append(tokens)
        elif r < 0.9:
            ndb.append(f"{name('Body', i)}:1:*:{bodysig.render(tokens)}")
        else:
            ndb.append(f"{name('Body', i)}:1:EP+{rng.randint(0, 512)}:{bodysig.render(tokens)}")
    write_lines(os.path.join(folder, "bench.ndb"), ndb)
    ldb = []
    for i in range(k["ldb"]):
        subs = [bodysig.render(clamscan_bench._realistic(rng, bodysig.random_pattern(rng, rng.choice(features))))
                for _ in range(rng.randint(2, 3))]
        logic = "(0&1)|2" if len(subs) == 3 else "0&1"
        ldb.append(f"{name('Logical', i)};Engine:51-255,Target:{i % 2};{logic};{';'.join(subs)}")
    write_lines(os.path.join(folder, "bench.ldb"), ldb)
    piece, _ = bodysig.instance(rng, plantable[0])
    data = bytearray(rng.randbytes(64 * 1024))
    data[1000:1000 + len(piece)] = piece
    return bytes(data)


def prepare(args):
    key = dict(seed=args.seed, scale=args.scale, version=1)
    made = os.path.join(args.cache, "made.json")
    db = os.path.join(args.cache, "db")
    if not (os.path.exists(made) and json.load(open(made)) == key):
        print(f"making the databases in {args.cache} (once)...", flush=True)
        shutil.rmtree(args.cache, ignore_errors=True)
        sample = make_set(random.Random(args.seed), db, kinds(args.scale))
        with open(os.path.join(args.cache, "sample.bin"), "wb") as f:
            f.write(sample)
        json.dump(key, open(made, "w"))
    return db, os.path.join(args.cache, "sample.bin")


def run(cmd, cwd=None):
    """Wall seconds, peak resident MB of the process (as /usr/bin/time
    measures it), the output and the exit code."""
    rss_file = os.path.join(os.environ.get("TMPDIR", "/tmp"), f"image-bench-rss-{os.getpid()}")
    start = time.perf_counter()
    proc = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", rss_file] + cmd, cwd=cwd, capture_output=True)
    wall = time.perf_counter() - start
    try:
        rss = int(open(rss_file).read().split()[-1]) / 1024
    except (OSError, ValueError, IndexError):
        rss = None
    return wall, rss, proc.stdout.decode(errors="replace") + proc.stderr.decode(errors="replace"), proc.returncode


def figures(text):
    out = {}
    for line in text.splitlines():
        parts = line.split()
        if len(parts) == 2:
            try:
                out[parts[0]] = float(parts[1])
            except ValueError:
                pass
    return out


def best(cmd, runs, **kw):
    results = [run(cmd, **kw) for _ in range(runs)]
    return min(results, key=lambda r: r[0])


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--qdx-scan", required=True)
    ap.add_argument("--build", required=True, help="the Windows build (bin/, bench/, wine-run)")
    ap.add_argument("--cache", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                                    "build", "image-bench"))
    ap.add_argument("--seed", type=int, default=21)
    ap.add_argument("--scale", type=float, default=1.0)
    ap.add_argument("--runs", type=int, default=3, help="runs with the image, the best counts")
    args = ap.parse_args(argv)
    args.cache = os.path.abspath(args.cache)
    build = os.path.abspath(args.build)
    db, sample = prepare(args)
    empty = os.path.join(args.cache, "empty")
    open(empty, "wb").close()
    db_bytes = sum(os.path.getsize(os.path.join(db, n)) for n in os.listdir(db) if n != "quendix.img")
    rows = []  # (what, ready s, peak RSS MB, Windows working set / peak / committed, note)

    # clamscan: its load is a run on an empty file.
    wall, rss, out, code = run(["clamscan", "--no-summary", "-d", db] + clamscan_bench.scanners.LIMITS + [empty])
    rows.append(("clamscan, databases", wall, rss, "", f"exit {code}" if code not in (0, 1) else ""))
    clam = wall

    # qdx-scan on the host.
    image = os.path.join(db, "quendix.img")
    q = [args.qdx_scan, "--timing", "-d", db, sample]
    wall, rss, out, code = run([args.qdx_scan, "--timing", "--no-image", "-d", db, sample])
    rows.append(("qdx-scan, databases", wall, rss, "", f"load {figures(out).get('load', 0):.2f} s"))
    if os.path.exists(image):
        os.remove(image)
    wall, rss, out, code = run(q)
    f = figures(out)
    rows.append(("qdx-scan, building image", wall, rss, "", f"image written in {f.get('image', 0):.2f} s"))
    image_mb = os.path.getsize(image) / MB if os.path.exists(image) else 0
    wall, rss, out, code = best(q, args.runs)
    rows.append(("qdx-scan, image", wall, rss, "", f"load {figures(out).get('load', 0):.3f} s; " +
                 ("from image" if "from image" in out else "NOT FROM IMAGE: " + out[-300:])))
    host_image = wall

    # The Windows programs under Wine, in an installation of their own whose
    # signatures are links to the same database files.
    prefix = os.path.join(build, "wineprefix")
    wine_run = os.path.join(build, "wine-run")
    install = os.path.join(prefix, "drive_c", "image-bench")
    bare = os.path.join(prefix, "drive_c", "image-bench-bare")
    shutil.rmtree(install, ignore_errors=True)
    shutil.rmtree(bare, ignore_errors=True)
    for folder in (install, bare):
        os.makedirs(os.path.join(folder, "win"))
        for f in ("bin/quendix7.exe", "bin/quendix3.dat", "bench/engine_load_bench.exe"):
            shutil.copy(os.path.join(build, f), folder)
        with open(os.path.join(folder, "windir.inf"), "w", newline="\r\n") as f:
            f.write("C:\\" + os.path.basename(folder) + "\\win\n")
        with open(os.path.join(folder, "win", "$$file$5"), "w", newline="\r\n") as f:
            f.write("\n".join(["Z:" + sample.replace("/", "\\"), "4", "5", "2", "2", "2", "1"]) + "\n")
    signatures = os.path.join(install, "signatures")
    os.makedirs(signatures)
    for n in os.listdir(db):
        if n != "quendix.img":
            os.symlink(os.path.join(db, n), os.path.join(signatures, n))
    wimage = os.path.join(signatures, "quendix.img")
    win_sample = "Z:" + sample.replace("/", "\\")
    bench = lambda mode: [wine_run, os.path.join(install, "engine_load_bench.exe"), mode,  # noqa: E731
                          "C:\\image-bench\\signatures", win_sample]
    run([wine_run, os.path.join(bare, "quendix7.exe")], cwd=bare)  # Wine warm
    wall, rss, out, code = best([wine_run, os.path.join(bare, "quendix7.exe")], args.runs, cwd=bare)
    rows.append(("quendix7.exe, no databases", wall, rss, "", "Wine's own start and our definitions"))
    wine_start = wall

    def windows(out):
        f = figures(out)
        if "ready" not in f:
            return "failed: " + out[-300:]
        return (f"{f['ready']:.2f} s inside; working set {f.get('working-set', 0):.0f} MB, "
                f"peak {f.get('peak-working-set', 0):.0f} MB, committed {f.get('peak-committed', 0):.0f} MB")

    wall, rss, out, code = run(bench("databases"))
    rows.append(("load bench, databases", wall, rss, windows(out), ""))
    if os.path.exists(wimage):
        os.remove(wimage)
    wall, rss, out, code = run([wine_run, os.path.join(install, "quendix7.exe")], cwd=install)
    rows.append(("quendix7.exe, building image", wall, rss, "", "databases loaded, image written"))
    wall, rss, out, code = best([wine_run, os.path.join(install, "quendix7.exe")], args.runs, cwd=install)
    rows.append(("quendix7.exe, image", wall, rss, "", f"{wall - wine_start:.2f} s beyond Wine's start"))
    wine_image = wall
    wall, rss, out, code = best(bench("image"), args.runs)
    rows.append(("load bench, image", wall, rss, windows(out), ""))
    results = open(os.path.join(install, "win", "$$file$3"), encoding="latin-1").read()
    found = [line for line in results.splitlines() if line.startswith("Found ")]

    k = kinds(args.scale)
    print(f"databases: {k['md5'] + k['sha256'] + k['sha1']:,} file hashes, {k['mdb'] + k['msb']:,} section hashes, "
          f"{k['ndb']:,} body, {k['ldb']:,} logical; {db_bytes / MB:.0f} MB of text; image {image_mb:.0f} MB "
          f"(seed {args.seed}, scale {args.scale})")
    print(f"{'':32}{'ready (s)':>10}{'peak RSS (MB)':>15}  notes")
    for what, wall, rss, win, note in rows:
        rss_text = f"{rss:15.0f}" if rss else f"{'-':>15}"
        print(f"{what:32}{wall:10.2f}{rss_text}  {'; '.join(x for x in (win, note) if x)}")
    print(f"clamscan's load / qdx-scan ready from the image: {clam / host_image:.1f}x; "
          f"/ quendix7.exe ready from the image (Wine's start included): {clam / wine_image:.1f}x")
    print("quendix7.exe found in the sample: " + ("; ".join(found) if found else "nothing (expected one signature)"))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
