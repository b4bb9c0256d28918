#!/usr/bin/env python3
"""Cases for the NSIS reader, checked against clamscan.

    nsis_cases.py [--qdx-scan PROGRAM] [--keep DIR] [--seed N]

make_cases(work, rng) writes the files into `work` and returns
(files, hdb_lines, ndb_lines, ldb_lines, planted). Installers made by
Debian's makensis with each compressor (zlib, bzip2, lzma), solid and not,
each carrying a payload flagged by its MD5, a body signature and a logical
signature, clam.exe, a small program flagged by PE body signatures at its
entry point (EP+0) and in its second section (S1+16), an empty file, and a
random filler last. Their scripts carry a file's name (in UTF-16, as
makensis 3 writes it) flagged by a body signature: the script block is
scanned as raw data.
Two bzip2 installers put 2 MB of text before the payload (several bzip2
blocks). Debian's clam-nsis.exe is added, flagged by the MD5 of clam.exe.
`planted` maps each file's name to the signatures that must be found in it.

clamscan reads a solid zlib installer only until its inflater has taken
all the packed data, up to 32 KiB ahead of what it has handed out: the
files in that last stretch are never scanned. The filler keeps the planted
files out of it; this reader reads them all.

Run alone, it checks the cases with clamscan --allmatch and, when given,
qdx-scan --all-match: each must find exactly what was planted in every file.
"""
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import tempfile

import pebuild

TESTFILES = "/usr/share/clamav-testfiles"
CLAM_EXE_MD5 = "aa15bcf478d165efd2065190eb473bcb"
WORDS = [b"alpha ", b"bravo ", b"charlie ", b"delta ", b"echo ", b"foxtrot ", b"golf ", b"hotel ",
         b"india ", b"juliet ", b"kilo ", b"lima ", b"mike ", b"november ", b"oscar ", b"papa\n"]


def text(rng, size):
    out = bytearray()
    while len(out) < size:
        out += WORDS[rng.randrange(16)]
    return bytes(out[:size])


def small_program(rng, entry, second):
    """A valid PE file of two sections: `entry` at its entry point (64
    bytes into the first), `second` 16 bytes into the second."""
    layout = pebuild.Layout([pebuild.FILE_ALIGN, pebuild.FILE_ALIGN], 0, 0x40, 0)
    data = bytearray(bytes(rng.randrange(256) for _ in range(layout.size - layout.headers_end)))
    at = layout.ep_offset - layout.headers_end
    data[at:at + len(entry)] = entry
    at = layout.sections[1].raw_offset - layout.headers_end + 16
    data[at:at + len(second)] = second
    return layout.header_bytes(0x5F000000) + bytes(data)


def makensis(work, name, compressor, solid, files):
    """An installer of `files` (name, bytes) in that order; its path."""
    folder = tempfile.mkdtemp(dir=work)
    lines = ["SetCompressor %s%s" % ("/SOLID " if solid else "", compressor),
             'OutFile "%s"' % os.path.join(work, name), "Section", "SetOutPath $INSTDIR"]
    for file_name, data in files:
        with open(os.path.join(folder, file_name), "wb") as f:
            f.write(data)
        lines.append('File "%s"' % os.path.join(folder, file_name))
    lines.append("SectionEnd")
    script = os.path.join(folder, "make.nsi")
    with open(script, "w") as f:
        f.write("\n".join(lines) + "\n")
    subprocess.run(["makensis", "-V1", script], check=True, capture_output=True)
    shutil.rmtree(folder)
    return os.path.join(work, name)


def make_cases(work, rng):
    files, hdb, ndb, ldb, planted = [], [], [], [], {}
    with open(os.path.join(TESTFILES, "clam.exe"), "rb") as f:
        clam = f.read()
    hdb.append(CLAM_EXE_MD5 + ":544:Qdx.Oracle.ClamExe")
    have_makensis = shutil.which("makensis") is not None

    for compressor in ("zlib", "bzip2", "lzma"):
        for solid in (False, True):
            for multi in ((False, True) if compressor == "bzip2" else (False,)):
                case = "%s%s%s" % (compressor, "-solid" if solid else "", "-blocks" if multi else "")
                tag = case.replace("-", "").capitalize()
                body = ("QDX-NSIS-%s-%08x" % (tag, rng.randrange(1 << 32))).encode()
                left = ("QDX-LEFT-%s-%08x" % (tag, rng.randrange(1 << 32))).encode()
                right = ("QDX-RIGHT-%s-%08x" % (tag, rng.randrange(1 << 32))).encode()
                payload = text(rng, 3000) + body + text(rng, 500) + left + text(rng, 700) + right + text(rng, 200)
                label = "QdxInstalled%s%08x.txt" % (tag, rng.randrange(1 << 32))
                entry, second = bytes(rng.randrange(256) for _ in range(16)), bytes(rng.randrange(256) for _ in range(16))
                names = {"Nsis.Hash." + tag, "Nsis.Body." + tag, "Nsis.Logical." + tag, "Nsis.Script." + tag,
                         "Nsis.EntryPoint." + tag, "Nsis.Section." + tag, "Qdx.Oracle.ClamExe"}
                ndb.append("Nsis.EntryPoint.%s:1:EP+0:%s" % (tag, entry.hex()))
                ndb.append("Nsis.Section.%s:1:S1+16:%s" % (tag, second.hex()))
                hdb.append("%s:%d:Nsis.Hash.%s" % (hashlib.md5(payload).hexdigest(), len(payload), tag))
                ndb.append("Nsis.Body.%s:0:*:%s" % (tag, body.hex()))
                ndb.append("Nsis.Script.%s:0:*:%s" % (tag, label.encode("utf-16-le").hex()))
                ldb.append("Nsis.Logical.%s;Target:0;0&1;%s;%s" % (tag, left.hex(), right.hex()))
                contents = [("clam.exe", clam), ("setup.exe", small_program(rng, entry, second)), (label, b"x")]
                if multi:
                    contents.append(("words.txt", text(rng, 2 << 20)))
                contents += [("payload.txt", payload), ("empty.txt", b""),
                             ("filler.bin", bytes(rng.randrange(256) for _ in range(96 << 10)))]
                name = "nsis-%s.exe" % case
                if not have_makensis:
                    continue
                files.append(makensis(work, name, compressor, solid, contents))
                planted[name] = names

    # A program with no installer in it, yet the header's bytes: nothing.
    plain = b"MZ" + b"\0" * 100 + b"\xef\xbe\xad\xdeNullsoftInst" + b"\xff" * 64
    path = os.path.join(work, "header-only.exe")
    with open(path, "wb") as f:
        f.write(plain)
    files.append(path)
    planted["header-only.exe"] = set()

    if os.path.exists(os.path.join(TESTFILES, "clam-nsis.exe")):
        path = os.path.join(work, "testfiles-clam-nsis.exe")
        shutil.copyfile(os.path.join(TESTFILES, "clam-nsis.exe"), path)
        files.append(path)
        planted["testfiles-clam-nsis.exe"] = {"Qdx.Oracle.ClamExe"}
    return files, hdb, ndb, ldb, planted


def hostile_cases(folder):
    """Installer data built to hurt, as (name, path): a solid stream that
    never ends, a file claiming 4 GB, millions of empty entries, sizes that
    run past the archive, an LZMA dictionary of 4 GB."""
    import zlib
    os.makedirs(folder, exist_ok=True)
    out = []

    def installer(name, body, stated=None):
        head = struct.pack("<I", 0) + b"\xef\xbe\xad\xdeNullsoftInst"
        head += struct.pack("<II", 100, stated if stated is not None else 0x1C + len(body))
        path = os.path.join(folder, name)
        with open(path, "wb") as f:
            f.write(b"MZ" + b"\0" * 62 + head + body)
        out.append((name, path))

    def deflate(chunks):
        z = zlib.compressobj(9, zlib.DEFLATED, -15)
        return b"".join(z.compress(c) for c in chunks) + z.flush()

    zeros = b"\0" * (1 << 20)
    # One file of 4 GB of zeros in a solid stream (about 4 MB packed).
    installer("solid-4GB-file.exe", deflate([struct.pack("<I", 6) + b"script", struct.pack("<I", 0xFFFFFFFF)] +
                                            [zeros] * 4095) + b"\0" * 4)
    # Zeros after the script: a billion empty files, four bytes each.
    installer("solid-endless-empty.exe", deflate([struct.pack("<I", 6) + b"script"] + [zeros] * 1024) + b"\0" * 4)
    # Non-solid: a million empty entries, then a block past the end.
    installer("million-empty-entries.exe", b"\0" * (4 << 20) + struct.pack("<I", 0x7FFFFFF0) + b"x" * 1000,
              stated=0xFFFFFFF0)
    # Blocks of 4 GB claimed, stored: the archive's size says otherwise.
    installer("lying-block-sizes.exe", (struct.pack("<I", 0x7FFFFFFF) + b"y" * 1000) * 1000)
    # A solid LZMA stream asking for a 4 GB dictionary (its first "size" runs past the archive).
    installer("lzma-4GB-dictionary.exe", b"\x5d\x00\x00\x00\xff" + b"\0" * 59)
    return out


if __name__ == "__main__":
    import cases_alone
    sys.exit(cases_alone.check(make_cases, "nsis-cases"))
