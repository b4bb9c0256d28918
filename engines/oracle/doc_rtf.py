#!/usr/bin/env python3
"""Cases for the RTF and OneNote readers, checked against clamscan.

    doc_rtf.py [--qdx-scan PROGRAM] [--keep DIR] [--seed N]

make_cases(work, rng) writes the files into `work` and returns
(files, hdb_lines, ndb_lines, ldb_lines, planted): RTF documents whose
\\objdata holds OLE1 objects (a package with a payload file, an OLE2 object,
two objects in one group, digits broken by words and groups), RTF documents
whose objects clamscan does not see (the word not ended by a space, no
\\object before it, the 8 bytes after the class name split by a block's
end) and OneNote sections built by hand (the section's 16 bytes, then file
data blocks) with payloads, one with a lying length that hides the file
after it. `planted` maps each file's name to the signatures that must be
found in it, no more. Debian's clam.exe.rtf is added, flagged by the MD5 of
clam.exe.

Run alone, it checks the cases with clamscan --allmatch and, when given,
qdx-scan --all-match: each must find exactly what was planted.
"""
import hashlib
import os
import shutil
import struct
import sys

TESTFILES = "/usr/share/clamav-testfiles"
CLAM_EXE_MD5 = "aa15bcf478d165efd2065190eb473bcb"
ONE_MAGIC = bytes.fromhex("e4525c7b8cd8a74daeb15378d02996d3")
ONE_FILE_DATA = bytes.fromhex("e716e3bd65261145a4c48d4d0b7a9eac")
OLE2_MAGIC = bytes.fromhex("d0cf11e0a1b11ae1")


def le32(v):
    return struct.pack("<I", v)


def package_body(data, label="report.txt"):
    """A package as an OLE1 object's native data holds it."""
    path = b"C:\\" + label.encode() + b"\0"
    return (b"\x02\x00" + label.encode() + b"\0" + path + b"\x00\x00\x03\x00" + le32(len(path)) + path +
            le32(len(data)) + data + b"\x00\x00")


def ole1_object(class_name, data, format_id=2):
    name = class_name.encode() + b"\0"
    return le32(0x0501) + le32(format_id) + le32(len(name)) + name + le32(0) + le32(0) + le32(len(data)) + data


def presentation():
    return (le32(0x0501) + le32(5) + le32(13) + b"METAFILEPICT\0" + le32(0x5E4) + le32(0xFFFFFABB) + le32(64) +
            bytes(range(64)))


def hex_lines(data, width=128, upper=False):
    h = data.hex().upper() if upper else data.hex()
    return "\r\n".join(h[i:i + width] for i in range(0, len(h), width))


def word_rtf(objdata, word="\\*\\objdata "):
    return ("{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\froman Times New Roman;}}\r\n"
            "{\\info{\\title doc}}\\pard\\plain Some text.\\par\r\n"
            "{\\object\\objemb\\objw855\\objh765{\\*\\objclass Package}{" + word + objdata + "}"
            "{\\result {\\pict\\wmetafile8\\picw100\\pich100 0100090000033a0700000000}}}\\par}\r\n").encode()


def one_block(data, length=None):
    n = len(data) if length is None else length
    return ONE_FILE_DATA + struct.pack("<QIQ", n, 0, 0) + data


def one_section(rng, blocks):
    # Some filler that looks like a revision store: nothing clamscan reads.
    filler = bytes(rng.randrange(256) for _ in range(200)).replace(ONE_FILE_DATA[:1], b"\0")
    return ONE_MAGIC + filler + b"".join(blocks) + bytes(64)


def make_cases(work, rng):
    files, hdb, ndb, planted = [], [], [], {}
    count = [0]

    def payload(kind):
        count[0] += 1
        marker = "QDX-DOCRTF-%d-%08x" % (count[0], rng.getrandbits(32))
        words = " ".join(rng.choice(["alpha", "bravo", "delta", "kilo", "zulu"]) for _ in range(rng.randrange(50, 400)))
        data = (marker + " " + kind + " " + words + "\n").encode()
        md5_name, body_name = "DocRtf.Md5.%d" % count[0], "DocRtf.Body.%d" % count[0]
        hdb.append("%s:%d:%s" % (hashlib.md5(data).hexdigest(), len(data), md5_name))
        ndb.append("%s:0:*:%s" % (body_name, marker.encode().hex()))
        return data, {md5_name, body_name}

    def write(name, content, found):
        path = os.path.join(work, name)
        with open(path, "wb") as f:
            f.write(content)
        files.append(path)
        planted[name] = set(found)

    # The package Word writes, with its picture after it.
    p, names = payload("package")
    write("package.rtf", word_rtf(hex_lines(ole1_object("Package", package_body(p)) + presentation())), names)
    # Upper case digits, words and a group among them, an odd space.
    p, names = payload("broken digits")
    h = hex_lines(ole1_object("Package", package_body(p)), upper=True)
    cut = len(h) // 3
    write("broken.rtf", word_rtf(h[:cut] + "\\par {\\foo 0102} " + h[cut:cut + 1] + " " + h[cut + 1:]), names)
    # An OLE2 object is scanned as it is: its MD5 is the object's.
    p, names = payload("ole2 object")
    ole2 = OLE2_MAGIC + bytes(504) + p
    md5_name = "DocRtf.Ole2.%d" % count[0]
    hdb.append("%s:%d:%s" % (hashlib.md5(ole2).hexdigest(), len(ole2), md5_name))
    body_name = [n for n in names if ".Body." in n][0]
    write("ole2.rtf", word_rtf(hex_lines(ole1_object("Word.Document.8", ole2))), {md5_name, body_name})
    # Two objects in one group, and a second group after the first.
    p1, names1 = payload("first of two")
    p2, names2 = payload("second of two")
    two = ole1_object("Package", package_body(p1)) + ole1_object("Package", package_body(p2, "b.txt"))
    write("two.rtf", word_rtf(hex_lines(two)), names1 | names2)
    p3, names3 = payload("second group")
    doc = word_rtf(hex_lines(ole1_object("Package", package_body(p3)))).replace(
        b"{\\result", b"{\\*\\objdata " + hex_lines(ole1_object("Package", package_body(p1))).encode() + b"}{\\result")
    write("groups.rtf", doc, names3 | names1)
    # Objects nested in objects.
    p, names = payload("nested")
    inner = "{\\*\\objdata " + hex_lines(ole1_object("Package", package_body(p))) + "}"
    write("nested.rtf", word_rtf("0105" + inner + "0000"), names)
    # Documents cut short: the object whole, the groups not closed.
    p, names = payload("unclosed")
    doc = word_rtf(hex_lines(ole1_object("Package", package_body(p))))
    write("unclosed.rtf", doc[:doc.index(b"}{\\result")], names)

    # Objects clamscan does not see: no members, nothing found.
    p, _ = payload("not seen")
    obj = hex_lines(ole1_object("Package", package_body(p)))
    write("newline.rtf", word_rtf(obj, "\\*\\objdata\r\n"), set())
    write("no-object.rtf", ("{\\rtf1{\\*\\objdata " + obj + "}}").encode(), set())
    write("objdata-param.rtf", word_rtf(obj, "\\*\\objdata1 "), set())
    # The 8 bytes after the class name split by the end of a block of 8 KiB.
    raw = ole1_object("Package", package_body(p)).hex()
    start = "{\\rtf1{\\object{\\*\\objdata "
    split = (20 + 5) * 2
    write("block-split.rtf", (start + " " * (8192 - len(start) - split) + raw + "}}}").encode(), set())
    p, names = payload("block clear")
    raw = ole1_object("Package", package_body(p)).hex()
    write("block-clear.rtf", (start + " " * (8192 - len(start) - 60) + raw + "}}}").encode(), names)

    # OneNote sections.
    p, names = payload("onenote")
    write("one.one", one_section(rng, [one_block(p)]), names)
    p1, names1 = payload("onenote first")
    p2, names2 = payload("onenote second")
    write("two.one", one_section(rng, [one_block(b"tiny"), one_block(b""), one_block(p1), b"between", one_block(p2)]),
          names1 | names2)
    # A length past the end hides every later file; the payload is in the
    # section's own bytes, so only its body signature is found.
    p, names = payload("onenote hidden")
    body_only = {n for n in names if ".Body." in n}
    write("lying.one", ONE_MAGIC + bytes(40) + one_block(b"x", 1 << 30) + one_block(p), body_only)
    # Without the section's 16 bytes, nothing is opened.
    p, names = payload("not onenote")
    write("not-one.bin", bytes(16) + one_block(p), {n for n in names if ".Body." in n})

    # Debian's test file.
    rtf = os.path.join(TESTFILES, "clam.exe.rtf")
    if os.path.exists(rtf):
        dest = os.path.join(work, "clam.exe.rtf")
        shutil.copyfile(rtf, dest)
        files.append(dest)
        hdb.append("%s:544:Qdx.Oracle.ClamExe" % CLAM_EXE_MD5)
        planted["clam.exe.rtf"] = {"Qdx.Oracle.ClamExe"}
    return files, hdb, ndb, [], planted


if __name__ == "__main__":
    import cases_alone
    sys.exit(cases_alone.check(make_cases, "doc-rtf"))
