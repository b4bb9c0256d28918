"""OLE2 cases of the documents oracle: Word and Excel files with VBA macros
(body and logical signatures of target types 0 and 2 on the source text,
which only decompression shows), streams in sectors and in the mini
stream (MD5 and body signatures), an archive in a stream, and signatures
of the OLE2 header for OLE2 files (found) and for PDF files (not)."""
import hashlib
import io
import os
import string
import zipfile

import ole2write as w


def _marker(rng, tag):
    # The repeated start compresses to a copy token: the raw stream never
    # holds the whole marker, only the decompressed source does.
    return ("qdxqdxqdx" + tag + "".join(rng.choice(string.ascii_lowercase) for _ in range(10))).encode()


def _payload(rng, tag):
    marker = f"QDX-ORACLE-OLE2-{tag}-{rng.randrange(10**9):09d}".encode()
    data = bytes(rng.randrange(256) for _ in range(rng.randrange(100, 6000))) + marker + \
        bytes(rng.randrange(256) for _ in range(rng.randrange(0, 3000)))
    return data, marker


def make_cases(work, rng):
    files, hdb, ndb, ldb, planted = [], [], [], [], {}

    def write(name, data, names):
        path = os.path.join(work, name)
        with open(path, "wb") as f:
            f.write(data)
        files.append(path)
        planted[name] = set(names)

    def macro_sigs(tag, marker):
        names = [f"Qdx.Doc.{tag}.Ole2Body", f"Qdx.Doc.{tag}.AnyBody", f"Qdx.Doc.{tag}.Ole2Logical"]
        ndb.append(f"{names[0]}:2:*:{marker.hex()}")
        ndb.append(f"{names[1]}:0:*:{marker.hex()}")
        ldb.append(f"{names[2]};Engine:51-255,Target:2;0&1;{marker[:12].hex()};{marker[12:].hex()}")
        return names

    for i in range(3):
        tag = f"word{i}"
        marker = _marker(rng, tag)
        lines = [b"sub autoopen()", b"  shell " + marker, b"end sub"]
        filler = [b"  x = %d" % rng.randrange(10**6) for _ in range(rng.randrange(0, 40))]
        source = b'Attribute VB_Name = "Module1"\r\n' + b"\r\n".join(filler + lines) + b"\r\n"
        write(f"macros-{i}.doc", w.word_with_macros([("Module1", source)]), macro_sigs(tag, marker))
    for i in range(2):
        tag = f"excel{i}"
        marker = _marker(rng, tag)
        modules = [("Module1", b"sub a()\r\n  y = 2\r\nend sub\r\n"),
                   ("ThisWorkbook", b"sub workbook_open()\r\n  " + marker + b"\r\nend sub\r\n")]
        write(f"macros-{i}.xls", w.excel_with_macros(modules, cache=bytes(rng.randrange(256) for _ in range(200))),
              macro_sigs(tag, marker))
    # Word 6/95 macros, each XORed with a key.
    for i in range(2):
        tag = f"word95{i}"
        marker = _marker(rng, tag)
        macros = [b"sub main\r\n  beep\r\nend sub\r\n", b"sub main\r\n  " + marker + b"\r\nend sub\r\n"]
        names = [f"Qdx.Doc.{tag}.Ole2Body", f"Qdx.Doc.{tag}.AnyBody"]
        ndb.append(f"{names[0]}:2:*:{marker.hex()}")
        ndb.append(f"{names[1]}:0:*:{marker.hex()}")
        write(f"word95-{i}.doc", w.word95_with_macros(macros, key_of=lambda k: 0x21 + 7 * k + i), names)
    # Office Open XML with macros: the VBA project is an OLE2 file in the ZIP.
    for i, ext in enumerate(("docm", "xlsm")):
        tag = f"ooxml{i}"
        marker = _marker(rng, tag)
        source = b"sub document_open()\r\n  " + marker + b"\r\nend sub\r\n"
        project = w.word_with_macros([("ThisDocument", source)])
        part = "word" if ext == "docm" else "xl"
        buffer = io.BytesIO()
        with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("[Content_Types].xml", '<?xml version="1.0"?><Types xmlns="http://schemas.openxmlformats.org/'
                       'package/2006/content-types"/>')
            z.writestr(f"{part}/document.xml", "<document/>")
            z.writestr(f"{part}/vbaProject.bin", project)
        write(f"macros-{i}.{ext}", buffer.getvalue(), macro_sigs(tag, marker))
    # Payloads in streams: one under the mini stream cutoff, one over it,
    # and one in a ZIP (deflated) in a stream.
    for i in range(3):
        small, small_marker = _payload(rng, f"mini{i}")
        small = small[:3000] + small_marker
        large, large_marker = _payload(rng, f"big{i}")
        large = bytes(5000) + large
        names = set()
        for data, marker, tag in ((small, small_marker, f"mini{i}"), (large, large_marker, f"big{i}")):
            hdb.append(f"{hashlib.md5(data).hexdigest()}:{len(data)}:Qdx.Doc.{tag}.Hash")
            ndb.append(f"Qdx.Doc.{tag}.Body:0:*:{marker.hex()}")
            names |= {f"Qdx.Doc.{tag}.Hash", f"Qdx.Doc.{tag}.Body"}
        tree = {"WordDocument": bytes(4096), "Small": small, "Objects": {"Large": large}}
        write(f"streams-{i}.doc", w.compound_file(tree), names)
    # The OLE2 header: a signature for OLE2 files finds every one, one for
    # PDF files none.
    ndb.append("Qdx.Doc.Ole2Header:2:0:d0cf11e0a1b11ae1")
    ndb.append("Qdx.Doc.PdfOnly:10:0:d0cf11e0a1b11ae1")
    for name in planted:  # a vbaProject.bin in a ZIP too
        planted[name].add("Qdx.Doc.Ole2Header")
    return files, hdb, ndb, ldb, planted
