"""The encrypted test documents of pdf_test.cpp: each holds, behind Flate
and encrypted, the stream "QDX-PDF-ENCRYPTED-PAYLOAD <kind>" and a /JS
string "QDX-PDF-ENCRYPTED-SCRIPT <kind>", with an empty user password
(password.pdf: the user password "secret"). Run from this folder:
python3 make.py (needs the openssl program)."""
import os
import random
import sys
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "..", "oracle"))
from doc_pdf import Security, catalog, document, literal, stream  # noqa: E402

rng = random.Random(7)
for kind, user in (("rc4-40", b""), ("rc4-128", b""), ("rc4-v4", b""), ("aes128", b""), ("aes256", b""),
                   ("password", b"secret")):
    sec = Security(rng, "rc4-128" if kind == "password" else kind, user=user)
    data = b"QDX-PDF-ENCRYPTED-PAYLOAD " + kind.encode()
    objects = catalog() + [(3, stream(b"/Filter /FlateDecode ", sec.encrypt(3, zlib.compress(data))))]
    script = b"QDX-PDF-ENCRYPTED-SCRIPT " + kind.encode()
    cipher = sec.encrypt(5, script)
    while b"\0" in cipher:  # a string ends at its first NUL
        script += b" "
        cipher = sec.encrypt(5, script)
    objects.append((5, b"<< /S /JavaScript /JS " + literal(cipher) + b" >>"))
    with open(f"{kind}.pdf", "wb") as f:
        f.write(document(objects, security=sec))
