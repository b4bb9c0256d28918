#!/usr/bin/env python3
"""Writes the OLE2 fixtures of ole2_test.cpp with engines/oracle/ole2write.py:
a Word and an Excel file with VBA macros, a Word 6/95 file with two macros (the marker "qdxqdxqdxmarker"
compresses to a copy token, so only the decompressed source holds it)."""
import os
import sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "..", "..", "..", "oracle"))
import ole2write as w  # noqa: E402

src = b'Attribute VB_Name = "Module1"\r\nsub autoopen()\r\n  qdxqdxqdxmarker shell\r\nend sub\r\n'
with open(os.path.join(here, "word-macros.doc"), "wb") as f:
    f.write(w.word_with_macros([("Module1", src)]))
with open(os.path.join(here, "excel-two-modules.xls"), "wb") as f:
    f.write(w.excel_with_macros([("Module1", src), ("ThisWorkbook", b"sub a()\r\nqdxqdxqdxmarker\r\nend sub\r\n")],
                                cache=b"\0" * 300))
with open(os.path.join(here, "word95-macros.doc"), "wb") as f:
    f.write(w.word95_with_macros([b"sub main\r\n  beep\r\nend sub\r\n", b"sub main\r\n  qdxqdxqdxmarker\r\nend sub\r\n"]))
