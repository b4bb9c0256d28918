"""HTML pages for the oracle: comments, references, %xx escapes, mixed
case, scripts, scripts encoded by the Script Encoder and data URLs, with
signatures of target types 0 and 3 written for the normalised views (which
both scanners must find), for text only the raw page holds (which neither
may find: a page's own bytes are not matched) and MD5 signatures of the
views and of data URL payloads.

make_cases(work, rng) -> (files, hdb, ndb, ldb, planted)
"""
import base64
import hashlib
import os
import re
import shutil
import subprocess
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
DECODER_SOURCE = os.path.join(HERE, "..", "core", "script_decode.cpp")
ORDER = "0210212112120121012100211201211200121210100210120121002110021012"


def _tables():
    """Per table, plain character -> encoded character, from the decoder's tables."""
    with open(DECODER_SOURCE) as f:
        text = f.read()
    body = text[text.index("kPrintable[96][3]"):]
    rows = re.findall(r"\{0x([0-9A-F]{2}), 0x([0-9A-F]{2}), 0x([0-9A-F]{2})\}", body)[:96]
    inverse = [{}, {}, {}]
    for i, row in enumerate(rows):
        for t in range(3):
            inverse[t][int(row[t], 16)] = 0x20 + i
    tabs = re.search(r"kTab\[3\] = \{0x([0-9A-F]{2}), 0x([0-9A-F]{2}), 0x([0-9A-F]{2})\}", text).groups()
    for t in range(3):
        inverse[t][int(tabs[t], 16)] = 0x09
    return inverse


ESCAPES = {"<": "@!", ">": "@*", "@": "@$", "\r": "@#", "\n": "@&"}


def screnc(plain):
    """`plain` encoded as the Script Encoder does: #@~^ length == text checksum == ^#~@."""
    inverse = _tables()
    out, pos, checksum = [], 0, 0
    for ch in plain:
        if ch in ESCAPES:
            out.append(ESCAPES[ch])
        else:
            out.append(chr(inverse[int(ORDER[pos % 64])][ord(ch)]))
        checksum += ord(ch)
        pos += 1
    text = "".join(out)
    count = len(text)

    def b64(n):
        return base64.b64encode(n.to_bytes(4, "little")).decode()[:6] + "=="
    return "#@~^" + b64(count) + text + b64(checksum & 0xFFFFFFFF) + "^#~@"


WORDS = ["alpha", "bravo", "charlie", "delta", "echo", "foxtrot", "golf", "hotel", "india", "juliet", "kilo"]


def _hex(s):
    return s.encode("latin-1").hex()


def _views(path, work):
    """clamscan's own views of a page (nocomment.html, notags.html)."""
    temps = tempfile.mkdtemp(dir=work, prefix="views-")
    db = os.path.join(temps, "db")
    os.makedirs(db)
    with open(os.path.join(db, "none.ndb"), "w") as f:
        f.write("Qdx.None:0:*:0102030405060708090a\n")
    subprocess.run(["clamscan", "--leave-temps", "--tempdir", temps, "-d", db, path], capture_output=True)
    out = {}
    for d, _, names in os.walk(temps):
        for n in names:
            if n in ("nocomment.html", "notags.html"):
                with open(os.path.join(d, n), "rb") as f:
                    out[n] = f.read()
    shutil.rmtree(temps, ignore_errors=True)
    return out


def make_cases(work, rng):
    files, hdb, ndb, ldb, planted = [], [], [], [], {}

    def page(name, text, sigs=(), raw_only=()):
        with open(os.path.join(work, name), "wb") as f:
            f.write(text.encode("latin-1"))
        files.append(name)
        planted[name] = set()
        for i, (target, needle) in enumerate(sigs):
            sig = f"Qdx.Html.{name.split('.')[0]}.{i}.t{target}"
            ndb.append(f"{sig}:{target}:*:{_hex(needle)}")
            planted[name].add(sig)
        for i, (target, needle) in enumerate(raw_only):
            ndb.append(f"Qdx.Html.{name.split('.')[0]}.raw{i}.t{target}:{target}:*:{_hex(needle)}")

    for n in range(4):
        w = rng.sample(WORDS, 4)
        page(f"comments{n}.html",
             f"<HTML><Body>\n<!-- {w[0]} secret {w[1]} -->\n<P>{w[2].upper()}   {w[3]}\n\n<b>Tail</b></Body></HTML>\n",
             sigs=[(3, f"<p>{w[2]} {w[3]} <b>tail</b>"), (0, f" {w[2]} {w[3]} tail ")],
             raw_only=[(0, f"{w[0]} secret {w[1]}"), (3, f"{w[2].upper()}   {w[3]}")])
        page(f"entities{n}.html",
             f"<html><body>{w[0]}&amp;{w[1]} &#{ord('Q')};&#x{ord('R'):x};&lt;tag&gt; %41%42 &eacute;&bogus;</body></html>",
             sigs=[(3, f"{w[0]}&{w[1]} qr<tag> %41%42 \xe9&bogus;"), (0, f" {w[0]} {w[1]} tag %41%42 ")],
             raw_only=[(0, f"{w[0]}&amp;{w[1]}")])
        page(f"script{n}.html",
             f"<html><head><script type='text/javascript'>\nvar {w[0]} = '{w[1]}';\n"
             f"document.write({w[0]} + \"<b>\");\n</script></head><body>x</body></html>\n",
             sigs=[(3, f"var{w[0]}=\"{w[1]}\";document.write({w[0]}+\"<b>\");</script>")])
        plain = f"var {w[2]}='{w[3]}';\r\nwindow.status = \"{w[0]} <b>{w[1]}</b>\";"
        page(f"encoded{n}.html",
             f"<html><body><SCRIPT LANGUAGE=\"JScript.Encode\">{screnc(plain)}</SCRIPT>\n<p>after</p></body></html>\n",
             sigs=[(3, '<script language="javascript">'), (3, f"window.status=\"{w[0]}"),
                   (0, f"var{w[2]}=\"{w[3]}\";")],
             raw_only=[(0, "#@~^")])
        # An ASP page: its encoded block is read as it stands, then again decoded.
        asp = f"Response.Write \"{w[1]} <b>{w[2]}</b>\"\r\nDim {w[3]}"
        page(f"asp{n}.html", f"<%@ LANGUAGE = VBScript.Encode %>\n<html><body>\n<%{screnc(asp)}%>\n<p>Tail</p></body></html>\n",
             sigs=[(3, f"response.write \"{w[1]} <b>{w[2]}</b>\" dim {w[3]}%> <p>tail</p>"),
                   (0, f" tail response.write \"{w[1]} {w[2]} \" dim {w[3]}%> tail ")])
        payload = bytes(rng.randrange(256) for _ in range(300 + n))
        hdb.append(f"{hashlib.md5(payload).hexdigest()}:{len(payload)}:Qdx.Html.data{n}")
        page(f"data{n}.html",
             f"<html><body><a href=\"data:application/octet-stream;base64,{base64.b64encode(payload).decode()}\">"
             f"{w[0]}</a> <img src='data:,{w[1]}%41%4a'></body></html>\n")
        planted[f"data{n}.html"].add(f"Qdx.Html.data{n}")
    # MD5 signatures of the views themselves, from clamscan's own.
    for name in ("comments0.html", "entities1.html", "encoded2.html"):
        for view, data in sorted(_views(os.path.join(work, name), work).items()):
            sig = f"Qdx.Html.view.{name.split('.')[0]}.{view.split('.')[0]}"
            hdb.append(f"{hashlib.md5(data).hexdigest()}:{len(data)}:{sig}")
            planted[name].add(sig)
    return files, hdb, ndb, ldb, planted
