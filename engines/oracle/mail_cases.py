#!/usr/bin/env python3
"""Mail cases for the mail reader, checked against clamscan (mailweb.py).

make_cases(work, rng) writes the files into `work` and returns
(files, hdb_lines, ndb_lines, ldb_lines, planted): messages with each
transfer encoding (base64, quoted-printable, uuencode as an encoding and as
blocks in a plain body), multiparts nested in multiparts, boundaries written
as careless mailers write them, a ZIP archive attached, a message attached
to a message, an mbox of several messages, CRLF line ends, and messages
whose payload clamscan does not see (a boundary without its dashes). Hash
signatures name the attachments; body and logical signatures of target 0
name words that only the decoded text holds; body signatures of target 4
name words of messages, and of files that are no mail. `planted` maps each file's
name to the signatures that must be found in it, no more.
"""
import base64
import binascii
import hashlib
import io
import os
import zipfile


def _payload(rng, size):
    return bytes(rng.randrange(256) for _ in range(size))


def _uu(data, name="payload.bin"):
    out = f"begin 644 {name}\n"
    for i in range(0, len(data), 45):
        out += binascii.b2a_uu(data[i:i + 45]).decode()
    return out + "`\nend\n"


def _qp(text):
    """Quoted-printable with a soft break every 20 characters."""
    out, line = [], ""
    for ch in text:
        enc = ch if ch.isalnum() or ch == " " else "=%02X" % ord(ch)
        if len(line) >= 20:
            out.append(line + "=")
            line = ""
        line += enc
    out.append(line)
    return "\n".join(out) + "\n"


def _attachment(boundary, data, name="payload.bin", encoding="base64", dash="--"):
    body = base64.encodebytes(data).decode() if encoding == "base64" else _uu(data, name)
    return (f"{dash}{boundary}\nContent-Type: application/octet-stream; name=\"{name}\"\n"
            f"Content-Transfer-Encoding: {encoding}\nContent-Disposition: attachment; filename=\"{name}\"\n\n{body}")


def make_cases(work, rng):
    files, hdb, ndb, ldb, planted = [], [], [], [], {}

    def add(name, text, found, newline="\n"):
        with open(os.path.join(work, name), "w", newline="") as f:
            f.write(text.replace("\n", newline))
        files.append(name)
        planted[name] = set(found)

    def hashed(data, sig):
        hdb.append(f"{hashlib.md5(data).hexdigest()}:{len(data)}:{sig}")
        return sig

    def word(sig):
        """A word of its own and a body signature for it."""
        w = f"qdxmail{sig.lower().replace('.', '')}{rng.randrange(10**9)}"
        ndb.append(f"{sig}:0:*:{w.encode().hex()}")
        return w, sig

    head = "From: sender@example.com\nTo: rcpt@example.com\nSubject: case\nMIME-Version: 1.0\n"

    data = _payload(rng, 700)
    add("base64.eml", head + "Content-Type: multipart/mixed; boundary=\"=_b1\"\n\n--=_b1\nContent-Type: text/plain\n\n"
        "see the attachment\n" + _attachment("=_b1", data) + "--=_b1--\n", {hashed(data, "Qdx.Mail.Base64")})

    data = _payload(rng, 500)
    add("uu_encoding.eml", head + "Content-Type: application/octet-stream; name=p.bin\n"
        "Content-Transfer-Encoding: x-uuencode\n\n" + _uu(data), {hashed(data, "Qdx.Mail.UuEncoding")})

    data = _payload(rng, 600)
    add("uu_in_text.eml", "From: sender@example.com\nSubject: old style\n\nHere it is:\n\n" + _uu(data, "old.exe") +
        "\nregards\n", {hashed(data, "Qdx.Mail.UuInText")})

    w, sig = word("Qdx.Mail.QuotedText")
    add("quoted.eml", head + "Content-Type: text/plain; charset=us-ascii\nContent-Transfer-Encoding: quoted-printable\n\n"
        + _qp(f"before {w} after, with a long line to break"), {sig})

    data = _payload(rng, 800)
    w, sig = word("Qdx.Mail.DeepText")
    add("nested.eml", head + "Content-Type: multipart/mixed; boundary=L1\n\npreamble\n--L1\n"
        "Content-Type: multipart/related; boundary=L2\n\n--L2\nContent-Type: multipart/alternative; boundary=L3\n\n"
        "--L3\nContent-Type: text/plain\nContent-Transfer-Encoding: base64\n\n" +
        base64.encodebytes(f"deep {w} text".encode()).decode() + "--L3\nContent-Type: text/html\n\n<p>html</p>\n"
        "--L3--\n" + _attachment("L2", data) + "--L2--\n--L1--\n", {hashed(data, "Qdx.Mail.Deep"), sig})

    data = _payload(rng, 400)
    add("boundary_junk.eml", head + "Content-Type: multipart/mixed;\n\tboundary = \"odd one\"; charset=x\n\n"
        "  --odd one\nContent-Type: text/plain\n\nfirst\n--odd onejunk\n" +
        _attachment("odd one", data)[len("--odd one\n"):] + "--odd one--\n", {hashed(data, "Qdx.Mail.Junk")})

    data = _payload(rng, 450)
    add("unclosed.eml", head + "Content-Type: multipart/mixed; boundary=U\n\n" + _attachment("U", data),
        {hashed(data, "Qdx.Mail.Unclosed")})

    data = _payload(rng, 550)
    add("no_dashes.eml", head + "Content-Type: multipart/mixed; boundary=N\n\n" +
        _attachment("N", data, dash="") + "N--\n", set())
    hashed(data, "Qdx.Mail.NoDashes")

    data = _payload(rng, 900)
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("inside.bin", data)
    add("zip_attached.eml", head + "Content-Type: multipart/mixed; boundary=Z\n\n" +
        _attachment("Z", buffer.getvalue(), "files.zip") + "--Z--\n", {hashed(data, "Qdx.Mail.Zipped")})

    data = _payload(rng, 650)
    inner = "From: inner@example.com\nSubject: forwarded\nMIME-Version: 1.0\n" \
            "Content-Type: multipart/mixed; boundary=IN\n\n" + _attachment("IN", data) + "--IN--\n"
    add("forwarded.eml", head + "Content-Type: multipart/mixed; boundary=OUT\n\n--OUT\nContent-Type: text/plain\n\n"
        "forwarding\n--OUT\nContent-Type: message/rfc822\n\n" + inner + "--OUT--\n",
        {hashed(data, "Qdx.Mail.Forwarded")})

    data = _payload(rng, 720)
    w, sig = word("Qdx.Mail.MboxText")
    mbox = ""
    for i in range(4):
        mbox += f"From sender{i}@example.com Mon Jan  1 00:00:0{i} 2024\nFrom: sender{i}@example.com\nSubject: {i}\n"
        if i == 2:
            mbox += "MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=MB\n\n" + _attachment("MB", data) + \
                    "--MB--\n\n"
        elif i == 3:
            mbox += "Content-Type: text/plain\nContent-Transfer-Encoding: base64\n\n" + \
                base64.encodebytes(f"last {w}".encode()).decode() + "\n"
        else:
            mbox += f"\nbody {i}\n\n"
    add("several.mbox", mbox, {hashed(data, "Qdx.Mail.Mbox"), sig})

    data = _payload(rng, 480)
    add("crlf.eml", head + "Content-Type: multipart/mixed; boundary=C\n\n--C\nContent-Type: text/plain\n\ncrlf\n" +
        _attachment("C", data) + "--C--\n", {hashed(data, "Qdx.Mail.Crlf")}, newline="\r\n")

    # Two words in one decoded attachment: a logical signature of both.
    a, b = (f"qdxlogic{rng.randrange(10**9)}" for _ in range(2))
    ldb.append(f"Qdx.Mail.Logical;Target:0;(0&1);{a.encode().hex()};{b.encode().hex()}")
    add("logical.eml", head + "Content-Type: application/octet-stream; name=l.bin\nContent-Transfer-Encoding: base64\n\n"
        + base64.encodebytes(f"{a} and {b}".encode()).decode(), {"Qdx.Mail.Logical"})

    # Signatures for mail (target type 4) match the message, never a text
    # that is not mail, nor the text parts taken out of a message.
    w = f"qdxheader{rng.randrange(10**9)}"
    ndb.append(f"Qdx.Mail.Header:4:*:{w.encode().hex()}")
    add("target4.eml", f"Subject: about {w}\nFrom: a@example.com\n\nbody {w}\n", {"Qdx.Mail.Header"})
    add("target4.mbox", f"From a@example.com Mon\nFrom: a@example.com\nSubject: {w}\n\nbody\n", {"Qdx.Mail.Header"})
    add("not_mail.txt", f"subject: about {w}\nfrom: a@example.com\n\nbody {w}\n", set())
    add("forwarded4.eml", head + "Content-Type: multipart/mixed; boundary=F4\n\n--F4\nContent-Type: message/rfc822\n"
        f"\nFrom: inner@example.com\nSubject: {w}\n\ninner body\n--F4--\n", {"Qdx.Mail.Header"})

    data = _payload(rng, 520)
    add("uuencoded.uu", _uu(data, "plain.bin") + "\n", {hashed(data, "Qdx.Mail.UuFile")})
    return files, hdb, ndb, ldb, planted
