#!/usr/bin/env python3
"""Proves the archive walk against clamscan, on archives that neither
scanner's authors wrote.

    archives.py --qdx-scan PROGRAM [--quendix7 BIN_DIR --wine-run W --prefix P] [--keep DIR]

Three sets, one database (MD5 signatures of the payloads and of the test
program clam.exe, and a body signature of each payload):
  (a) Debian's clamav-testfiles: every clam.* file in a container format
      this scanner opens; clamscan flags each with the MD5 of clam.exe.
  (b) archives made here with Debian's tools (bsdtar, 7zz, gcab,
      genisoimage, gzip, bzip2, xz, zstd, Python's zipfile), one payload
      each, in every format and method, and nested in each other.
  (c) RAR 4 and 5 archives (libarchive's own test archives, kept in
      engines/tests/core/data/archives): clamscan here reads no RAR, so
      they are judged by their members' hashes (bsdtar -xO | md5sum).
Where clamscan reads the format, every (file, name) pair of
qdx-scan --all-match must be one of clamscan --allmatch's and the other
way round. Where it does not (RAR, ZIP with LZMA or PPMd, zstd, lzma,
compress, xar, ar: see oracle-notes), what was planted must be found and
nothing else. quendix7.exe under Wine, when given, must find the same
files. Exit code 0 when everything agrees.
"""
import argparse
import hashlib
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
FIXTURES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "core", "data", "archives")

# clam.* test files whose format belongs to the documents, mail, packed
# programs and installers still to come: not this set's business.
NOT_ARCHIVES = ("clam-", "clam.ea0", "clam.exe.binhex", "clam.exe.html", "clam.exe.mbox", "clam.exe.rtf",
                "clam.mail", "clam.ole.doc", "clam.pdf", "clam.ppt", "clam.sis", "clam.tnef", "clam_IS")
# Formats clamscan leaves unopened here (oracle-notes, and 7z folders packed
# by bzip2 or deflate): judged by what was planted.
BEYOND_CLAMSCAN = (".rar", "lzma.zip", "ppmd.zip", ".zst", ".lzma", ".Z", ".xar", ".a", "bsdtar.7z", "bzip2.7z",
                   "deflate.7z")


def tool(*cmd, cwd=None):
    subprocess.run(cmd, cwd=cwd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def payloads(rng, count):
    """Files of random bytes with a recognisable middle: each has an MD5
    signature and a body signature of its own."""
    out = []
    for i in range(count):
        marker = f"QDX-ORACLE-ARCHIVE-{i:03d}-{rng.randrange(10**9):09d}".encode()
        data = bytes(rng.randrange(256) for _ in range(rng.randrange(200, 3000))) + marker + \
            bytes(rng.randrange(256) for _ in range(rng.randrange(0, 2000)))
        out.append((f"payload{i:03d}.bin", data, marker))
    return out


def make_corpus(work, rng):
    """(b): archives made with the tools, each holding one payload; returns
    the database lines and {file: {names planted}}."""
    corpus = os.path.join(work, "corpus")
    os.makedirs(corpus)
    items = payloads(rng, 40)
    planted = {}
    hdb, ndb = [], []
    for name, data, marker in items:
        hdb.append(f"{hashlib.md5(data).hexdigest()}:{len(data)}:Qdx.Oracle.Hash.{name}")
        ndb.append(f"Qdx.Oracle.Body.{name}:0:*:{marker.hex()}")

    def src(i):
        d = os.path.join(work, "src", str(i))
        os.makedirs(d, exist_ok=True)
        name, data, _ = items[i]
        with open(os.path.join(d, name), "wb") as f:
            f.write(data)
        return d, name

    def plant(out, i):
        name = items[i][0]
        planted.setdefault(out, set()).update({f"Qdx.Oracle.Hash.{name}", f"Qdx.Oracle.Body.{name}"})

    makers = [
        ("tar", lambda d, n, o: tool("bsdtar", "-cf", o, n, cwd=d)),
        ("tar.gz", lambda d, n, o: tool("bsdtar", "-czf", o, n, cwd=d)),
        ("tar.bz2", lambda d, n, o: tool("bsdtar", "-cjf", o, n, cwd=d)),
        ("tar.xz", lambda d, n, o: tool("bsdtar", "-cJf", o, n, cwd=d)),
        ("tar.zst", lambda d, n, o: tool("bsdtar", "--zstd", "-cf", o, n, cwd=d)),
        ("tar.lzma", lambda d, n, o: tool("bsdtar", "--lzma", "-cf", o, n, cwd=d)),
        ("tar.Z", lambda d, n, o: tool("bsdtar", "-cZf", o, n, cwd=d)),
        ("newc.cpio", lambda d, n, o: tool("bsdtar", "--format", "newc", "-cf", o, n, cwd=d)),
        ("odc.cpio", lambda d, n, o: tool("bsdtar", "--format", "odc", "-cf", o, n, cwd=d)),
        ("bin.cpio", lambda d, n, o: tool("bsdtar", "--format", "bin", "-cf", o, n, cwd=d)),
        ("xar", lambda d, n, o: tool("bsdtar", "--format", "xar", "-cf", o, n, cwd=d)),
        ("a", lambda d, n, o: tool("bsdtar", "--format", "ar", "-cf", o, n, cwd=d)),
        ("bsdtar.7z", lambda d, n, o: tool("bsdtar", "--format", "7zip", "-cf", o, n, cwd=d)),
        ("lzma2.7z", lambda d, n, o: tool("7zz", "a", "-bd", "-t7z", "-m0=LZMA2", o, n, cwd=d)),
        ("lzma.7z", lambda d, n, o: tool("7zz", "a", "-bd", "-t7z", "-m0=LZMA", o, n, cwd=d)),
        ("ppmd.7z", lambda d, n, o: tool("7zz", "a", "-bd", "-t7z", "-m0=PPMd", o, n, cwd=d)),
        ("bzip2.7z", lambda d, n, o: tool("7zz", "a", "-bd", "-t7z", "-m0=BZip2", o, n, cwd=d)),
        ("deflate.7z", lambda d, n, o: tool("7zz", "a", "-bd", "-t7z", "-m0=Deflate", o, n, cwd=d)),
        ("deflate.zip", lambda d, n, o: tool("7zz", "a", "-bd", "-tzip", "-mm=Deflate", o, n, cwd=d)),
        ("bzip2.zip", lambda d, n, o: tool("7zz", "a", "-bd", "-tzip", "-mm=BZip2", o, n, cwd=d)),
        ("lzma.zip", lambda d, n, o: tool("7zz", "a", "-bd", "-tzip", "-mm=LZMA", o, n, cwd=d)),
        ("mszip.cab", lambda d, n, o: tool("gcab", "-c", "-z", o, n, cwd=d)),
        ("stored.cab", lambda d, n, o: tool("gcab", "-c", o, n, cwd=d)),
        ("iso", lambda d, n, o: tool("genisoimage", "-quiet", "-J", "-R", "-o", o, n, cwd=d)),
        ("gz", lambda d, n, o: shell(f"gzip -9n < {n} > {o}", d)),
        ("bz2", lambda d, n, o: shell(f"bzip2 -9 < {n} > {o}", d)),
        ("xz", lambda d, n, o: shell(f"xz < {n} > {o}", d)),
        ("zst", lambda d, n, o: shell(f"zstd -q < {n} > {o}", d)),
    ]
    for i, (ext, make) in enumerate(makers):
        d, name = src(i)
        out = os.path.join(corpus, f"single-{i:02d}.{ext}")
        make(d, name, out)
        plant(out, i)
    # Nested in each other: a ZIP in a 7z in a tar.gz; a CAB in an ISO in a
    # tar.bz2; a gzip in a cpio in a xz'd tar; and an archive behind a program.
    i = len(makers)
    d, name = src(i)
    tool("7zz", "a", "-bd", "-tzip", "in.zip", name, cwd=d)
    tool("7zz", "a", "-bd", "-t7z", "mid.7z", "in.zip", cwd=d)
    out = os.path.join(corpus, "nested-zip-7z-targz.tar.gz")
    tool("bsdtar", "-czf", out, "mid.7z", cwd=d)
    plant(out, i)
    i += 1
    d, name = src(i)
    tool("gcab", "-c", "-z", "in.cab", name, cwd=d)
    os.makedirs(os.path.join(d, "iso"))
    shutil.move(os.path.join(d, "in.cab"), os.path.join(d, "iso", "in.cab"))
    tool("genisoimage", "-quiet", "-J", "-R", "-o", "mid.iso", "iso", cwd=d)
    out = os.path.join(corpus, "nested-cab-iso-tarbz2.tar.bz2")
    tool("bsdtar", "-cjf", out, "mid.iso", cwd=d)
    plant(out, i)
    i += 1
    d, name = src(i)
    shell(f"gzip -9n < {name} > in.gz", d)
    tool("bsdtar", "--format", "newc", "-cf", "mid.cpio", "in.gz", cwd=d)
    out = os.path.join(corpus, "nested-gz-cpio-tarxz.tar.xz")
    tool("bsdtar", "-cJf", out, "mid.cpio", cwd=d)
    plant(out, i)
    i += 1
    d, name = src(i)
    tool("7zz", "a", "-bd", "-t7z", "sfx.7z", name, cwd=d)
    out = os.path.join(corpus, "program-with-7z.exe")
    with open(out, "wb") as f:
        f.write(b"MZ" + bytes(rng.randrange(256) for _ in range(3000)))
        f.write(open(os.path.join(d, "sfx.7z"), "rb").read())
    plant(out, i)
    i += 1
    d, name = src(i)
    tool("gcab", "-c", "-z", "pic.cab", name, cwd=d)
    out = os.path.join(corpus, "picture-with-cab.gif")
    with open(out, "wb") as f:
        f.write(b"GIF89a" + bytes(rng.randrange(256) for _ in range(2000)))
        f.write(open(os.path.join(d, "pic.cab"), "rb").read())
    plant(out, i)
    # RAR: libarchive's own test archives, by their members' hashes.
    for rar in ("rar4.rar", "rar5.rar", "rar5-solid.rar", "rar5-sfx.exe"):
        src_path = os.path.join(FIXTURES, rar)
        out = os.path.join(corpus, f"libarchive-{rar}")
        shutil.copy(src_path, out)
        listing = subprocess.run(["bsdtar", "-tvf", src_path], capture_output=True, text=True).stdout.splitlines()
        # Regular files only: a link's "data" is the name it points to.
        for member in [line.split()[-1] for line in listing if line.startswith("-")]:
            data = subprocess.run(["bsdtar", "-xOf", src_path, member], capture_output=True).stdout
            if not data:
                continue
            sig = f"Qdx.Oracle.Rar.{hashlib.md5(data).hexdigest()[:12]}"
            hdb.append(f"{hashlib.md5(data).hexdigest()}:{len(data)}:{sig}")
            planted.setdefault(out, set()).add(sig)
    return corpus, hdb, ndb, {os.path.relpath(k, corpus): v for k, v in planted.items()}


def shell(command, cwd):
    subprocess.run(["sh", "-c", command], cwd=cwd, check=True)


def beyond_clamscan(path):
    return path.endswith(BEYOND_CLAMSCAN) or "libarchive-" in path


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--qdx-scan", required=True)
    ap.add_argument("--quendix7")
    ap.add_argument("--wine-run")
    ap.add_argument("--prefix")
    ap.add_argument("--keep")
    ap.add_argument("--seed", type=int, default=1)
    args = ap.parse_args(argv)
    for tool_name in ("clamscan", "bsdtar", "7zz", "gcab", "genisoimage", "zstd", "xz"):
        if shutil.which(tool_name) is None:
            print(f"{tool_name} is not installed")
            return 2
    work = os.path.abspath(args.keep) if args.keep else tempfile.mkdtemp(prefix="oracle-archives-")
    if os.path.exists(work) and args.keep:
        shutil.rmtree(work)
    os.makedirs(work, exist_ok=True)
    rng = random.Random(args.seed)
    corpus, hdb, ndb, planted = make_corpus(work, rng)
    if os.path.isdir(TESTFILES):
        for name in sorted(os.listdir(TESTFILES)):
            if not name.startswith(NOT_ARCHIVES):
                shutil.copy(os.path.join(TESTFILES, name), os.path.join(corpus, "testfiles-" + name))
    hdb.append(f"{CLAM_EXE_MD5}:544:Qdx.Oracle.ClamExe")
    ours = os.path.join(work, "signatures")
    theirs = os.path.join(work, "clamscan-db")
    for d in (ours, theirs):
        os.makedirs(d)
        with open(os.path.join(d, "archives.hdb"), "w") as f:
            f.write("\n".join(hdb) + "\n")
        with open(os.path.join(d, "archives.ndb"), "w") as f:
            f.write("\n".join(ndb) + "\n")

    manifest = {"definitions": {}, "notes": {}}
    clam = scanners.clamscan(theirs, corpus)
    ours_run = scanners.qdx_scan(os.path.abspath(args.qdx_scan), ours, corpus, image=False)
    verdicts = []
    files = scanners.corpus_files(corpus)
    # Where clamscan reads the format, the pairs are equal.
    readable = {f for f in files if not beyond_clamscan(f)}
    v = compare.same_pairs("qdx-scan --all-match equals clamscan --allmatch where clamscan reads the format",
                           manifest, {p for p in clam.pairs if p[0] in readable}, "clamscan",
                           {p for p in ours_run.pairs if p[0] in readable}, "qdx-scan")
    v.problems[:0] = [f"  qdx-scan: {e}" for e in ours_run.errors]
    verdicts.append(v)
    # What clamscan flags of Debian's test files, we flag: every one.
    testfiles = {f for f in files if f.startswith("testfiles-")}
    missed = sorted(f for f in testfiles if f not in {p[0] for p in ours_run.pairs} and
                    f in {p[0] for p in clam.pairs})
    v = compare.Verdict("every clam.* container clamscan flags, qdx-scan flags")
    for f in missed:
        v.add(f"  qdx-scan finds nothing in {f}")
    verdicts.append(v)
    # Everything planted is found, and nothing else, in every file made here.
    expected = {(f, n) for f, names in planted.items() for n in names}
    made = {f for f in files if not f.startswith("testfiles-")}
    verdicts.append(compare.same_pairs("qdx-scan finds what was planted in every archive made here", manifest,
                                       expected, "planted", {p for p in ours_run.pairs if p[0] in made}, "qdx-scan"))
    if args.quendix7:
        verdicts.append(scanners.quendix7_verdict(args, manifest, ours, corpus, ours_run))
    return compare.report(len(files), clam, ours_run, verdicts, work, args.keep)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
