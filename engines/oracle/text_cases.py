#!/usr/bin/env python3
"""Cases for the normalised view of text files, checked against clamscan.

    text_cases.py [--qdx-scan PROGRAM] [--keep DIR] [--seed N]

make_cases(work, rng) writes the files into `work` and returns
(files, hdb_lines, ndb_lines, ldb_lines, planted). A text file is matched as
it lies and by its normalised view (letters lowered, blanks and line ends
one space, control characters and bytes past ASCII dropped): body and
logical signatures of target types 0 and 7 written for the view, others
for the raw bytes only, and the MD5 of the view (which no scanner may
match: the view is never hashed). Files that are not text by their first
1024 bytes (a zero byte and a control character at an even offset there)
are matched only as they lie; data that is no 8-bit text but has no such
pair is taken for UTF-16 text, as clamscan takes it; UTF-16 text with a byte order mark is text; text in a ZIP archive is
text too.

Run alone, it checks the cases with clamscan --allmatch and, when given,
qdx-scan --all-match: each must find exactly what was planted.
"""
import hashlib
import io
import os
import sys
import zipfile


def normalised(data):
    """The view clamscan matches target type 7 signatures against."""
    out = bytearray()
    space = False
    for c in data:
        if 9 <= c <= 13 or c == 32:
            if not space:
                out.append(32)
            space = True
        elif 65 <= c <= 90:
            out.append(c + 32)
            space = False
        elif 32 < c < 128:
            out.append(c)
            space = False
    return bytes(out)


def make_cases(work, rng):
    files, hdb, ndb, ldb, planted = [], [], [], [], {}
    count = [0]

    def words(n):
        return " ".join(rng.choice(["Alpha", "BRAVO", "delta", "Kilo\t", "zulu\r\n", "Echo  "]) for _ in range(n))

    def marker(kind):
        """A token in mixed case, with blanks the view collapses."""
        count[0] += 1
        return "QdX-Text-%d  %s\t\t%08X" % (count[0], kind, rng.getrandbits(32))

    def sigs_for(token, target_view=True):
        """Signatures of the raw token and of its view; the names to find."""
        n = count[0]
        raw, view = token.encode(), normalised(token.encode())
        ndb.append("Text.Raw.%d:0:*:%s" % (n, raw.hex()))
        ndb.append("Text.View.%d:0:*:%s" % (n, view.hex()))
        ndb.append("Text.Target7.%d:7:*:%s" % (n, view.hex()))
        ldb.append("Text.Logical7.%d;Engine:51-255,Target:7;0&1;%s;%s" % (n, view[:8].hex(), view[-8:].hex()))
        return {"Text.Raw.%d" % n}, {"Text.View.%d" % n, "Text.Target7.%d" % n, "Text.Logical7.%d" % n}

    def write(name, content, found):
        path = os.path.join(work, name)
        with open(path, "wb") as f:
            f.write(content)
        files.append(path)
        planted[name] = set(found)
        view = normalised(content)
        # The view is matched, never hashed.
        hdb.append("%s:%d:Text.ViewMd5.%s" % (hashlib.md5(view).hexdigest(), len(view), name))

    # Plain text: found as it lies and by its view.
    token = marker("plain")
    raw, view = sigs_for(token)
    write("plain.txt", (words(40) + " " + token + " " + words(40) + "\n").encode(), raw | view)
    # Bell, backspace and escape are text; so is every byte past ASCII,
    # which the view drops (here between the token's letters).
    token = marker("controls")
    raw, view = sigs_for(token)
    spread = token[:6] + "\xe9\xe9" + token[6:]
    text = (words(20) + "\x07\x08\x1b " + spread + " " + words(20)).encode("latin-1")
    write("controls.txt", text, view)
    # A DEL among the first 1024 bytes: not 8-bit text, but clamscan takes
    # data without zero bytes at even offsets for UTF-16, and normalises it.
    token = marker("delete")
    raw, view = sigs_for(token)
    write("del.bin", words(10).encode() + b"\x7f " + token.encode() + b" " + words(10).encode(), raw | view)
    # A zero byte and a control character at an even offset: binary data,
    # matched only as it lies.
    token = marker("binary")
    raw, _ = sigs_for(token)
    start = words(10).encode()
    start += b" " * (len(start) % 2)
    write("zeros.bin", start + b"\x00\x01 " + token.encode() + b" " + words(10).encode(), raw)
    # ... but past them it is text still.
    token = marker("late control")
    raw, view = sigs_for(token)
    write("late-control.txt", (words(300)).encode()[:1100] + b"\x01\x7f " + token.encode() + b" end", raw | view)
    # UTF-16 with a byte order mark: the view drops the zero bytes.
    token = marker("wide")
    raw, view = sigs_for(token)
    write("wide.txt", ("\ufeff" + words(20) + " " + token + " " + words(5)).encode("utf-16-le"), view)
    # A long text, the token past the first 128 KiB of the view.
    token = marker("long")
    raw, view = sigs_for(token)
    head = words(30000).encode()
    write("long.txt", head + b" " + token.encode() + b" " + words(100).encode(), raw | view)
    # Text in a ZIP archive is a text file too.
    token = marker("zipped")
    raw, view = sigs_for(token)
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("readme.txt", words(50) + " " + token + " " + words(50))
    write("text.zip", buf.getvalue(), raw | view)
    return files, hdb, ndb, ldb, planted


if __name__ == "__main__":
    import cases_alone
    sys.exit(cases_alone.check(make_cases, "text-cases"))
