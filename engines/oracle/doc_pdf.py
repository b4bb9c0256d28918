"""PDF documents for the oracle: payloads in streams behind every filter the
engine decodes and in chains of them, in object streams, in /JS strings and
streams, in documents encrypted with an empty user password (RC4 40 and 128
bits, AES-128, AES-256), and the cases clamscan leaves alone (a stream whose
only filter is LZW or RunLength, a predictor, a password). Each payload has
an MD5 signature and a body signature; `planted` names what clamscan finds.

Run as a program to check the cases against clamscan (and qdx-scan when
given): python3 doc_pdf.py WORK [QDX-SCAN]."""

import hashlib
import os
import random
import struct
import subprocess
import sys
import zlib

PAD = bytes.fromhex("28BF4E5E4E758A4164004E56FFFA01082E2E00B6D0683E802F0CA9FE6453697A")


def payload(rng, tag, printable=False):
    """Random bytes around a recognisable middle (printable ones for
    JavaScript strings, without the characters a string escapes)."""
    marker = f"QDX-ORACLE-PDF-{tag}-{rng.randrange(10**9):09d}".encode()
    if printable:
        alphabet = b"abcdefghijklmnopqrstuvwxyz0123456789 ;=+.,"
        noise = lambda n: bytes(rng.choice(alphabet) for _ in range(n))
    else:
        noise = lambda n: bytes(rng.randrange(256) for _ in range(n))
    while True:
        data = noise(rng.randrange(100, 1500 if not printable else 150)) + marker + noise(rng.randrange(0, 800 if not printable else 60))
        # The object's end is found by searching for its marker.
        if b"endobj" not in data and b"endstream" not in data:
            return data, marker


# --- Filters -----------------------------------------------------------------

def lzw(data, early=1):
    table = {bytes([i]): i for i in range(256)}
    nxt, bits, acc, nb, out = 258, 9, 0, 0, bytearray()

    def put(code):
        nonlocal acc, nb
        acc = (acc << bits) | code
        nb += bits
        while nb >= 8:
            nb -= 8
            out.append((acc >> nb) & 255)
    put(256)
    w = b""
    for b in data:
        wc = w + bytes([b])
        if wc in table:
            w = wc
            continue
        put(table[w])
        table[wc] = nxt
        nxt += 1
        if nxt + early > (1 << bits) and bits < 12:
            bits += 1
        if nxt >= 4094:
            put(256)
            table = {bytes([i]): i for i in range(256)}
            nxt, bits = 258, 9
        w = bytes([b])
    if w:
        put(table[w])
    nxt += 1
    if nxt + early > (1 << bits) and bits < 12:
        bits += 1
    put(257)
    if nb:
        out.append((acc << (8 - nb)) & 255)
    return bytes(out)


def run_length(data):
    out = bytearray()
    for i in range(0, len(data), 128):
        chunk = data[i:i + 128]
        out += bytes([len(chunk) - 1]) + chunk
    return bytes(out + b"\x80")


def a85(data):
    import base64
    return base64.a85encode(data) + b"~>"


ENCODE = {
    "FlateDecode": zlib.compress,
    "ASCIIHexDecode": lambda d: d.hex().encode() + b">",
    "ASCII85Decode": a85,
    "LZWDecode": lzw,
    "RunLengthDecode": run_length,
}
SHORT = {"Fl": "FlateDecode", "AHx": "ASCIIHexDecode", "A85": "ASCII85Decode", "LZW": "LZWDecode",
         "RL": "RunLengthDecode"}


def encode(data, filters):
    """The stream for `filters` as a /Filter lists them (the first is undone first)."""
    for f in reversed(filters):
        data = ENCODE[SHORT.get(f, f)](data)
    return data


def filter_entry(filters):
    if not filters:
        return b""
    if len(filters) == 1:
        return b"/Filter /" + filters[0].encode() + b" "
    return b"/Filter [" + b" ".join(b"/" + f.encode() for f in filters) + b"] "


# --- Encryption --------------------------------------------------------------

def rc4(key, data):
    s = list(range(256))
    j = 0
    for i in range(256):
        j = (j + s[i] + key[i % len(key)]) & 255
        s[i], s[j] = s[j], s[i]
    out = bytearray()
    i = j = 0
    for c in data:
        i = (i + 1) & 255
        j = (j + s[i]) & 255
        s[i], s[j] = s[j], s[i]
        out.append(c ^ s[(s[i] + s[j]) & 255])
    return bytes(out)


def aes_cbc(key, iv, data, pad=True):
    """AES-CBC through the openssl program (Python has no AES)."""
    args = ["openssl", "enc", f"-aes-{len(key) * 8}-cbc", "-K", key.hex(), "-iv", iv.hex()]
    if not pad:
        args.append("-nopad")
    return subprocess.run(args, input=data, stdout=subprocess.PIPE, check=True).stdout


class Security:
    """The standard security handler with an empty user password."""

    def __init__(self, rng, kind, user=b""):
        self.rng, self.kind = rng, kind
        self.file_id = bytes(rng.randrange(256) for _ in range(16))
        owner = b"owner-password"
        if kind == "aes256":
            self.key = bytes(rng.randrange(256) for _ in range(32))
            vsalt, ksalt = (bytes(rng.randrange(256) for _ in range(8)) for _ in range(2))
            self.u = hashlib.sha256(user + vsalt).digest() + vsalt + ksalt
            self.ue = aes_cbc(hashlib.sha256(user + ksalt).digest(), bytes(16), self.key, pad=False)
            self.o = hashlib.sha256(owner + vsalt + self.u).digest() + vsalt + ksalt
            self.oe = aes_cbc(hashlib.sha256(owner + ksalt + self.u).digest(), bytes(16), self.key, pad=False)
            self.p = -1028
            return
        self.revision, self.length = {"rc4-40": (2, 40), "rc4-128": (3, 128), "aes128": (4, 128),
                                      "rc4-v4": (4, 128)}[kind]
        n = self.length // 8
        # O from the owner password (Algorithm 3).
        h = hashlib.md5((owner + PAD)[:32]).digest()
        if self.revision >= 3:
            for _ in range(50):
                h = hashlib.md5(h[:n]).digest()
        o = rc4(h[:n], (user + PAD)[:32])
        if self.revision >= 3:
            for i in range(1, 20):
                o = rc4(bytes(b ^ i for b in h[:n]), o)
        self.o = o
        self.p = -1028
        d = (user + PAD)[:32] + self.o + struct.pack("<i", self.p) + self.file_id
        k = hashlib.md5(d).digest()
        if self.revision >= 3:
            for _ in range(50):
                k = hashlib.md5(k[:n]).digest()
        self.key = k[:n]
        if self.revision == 2:
            self.u = rc4(self.key, PAD)
        else:
            u = rc4(self.key, hashlib.md5(PAD + self.file_id).digest())
            for i in range(1, 20):
                u = rc4(bytes(b ^ i for b in self.key), u)
            self.u = u + bytes(16)

    def dictionary(self):
        lit = lambda b: b"<" + b.hex().encode() + b">"
        if self.kind == "aes256":
            return (b"<< /Filter /Standard /V 5 /R 5 /Length 256 /P %d /O %s /U %s /OE %s /UE %s "
                    b"/CF << /StdCF << /CFM /AESV3 /AuthEvent /DocOpen /Length 32 >> >> "
                    b"/StmF /StdCF /StrF /StdCF >>" % (self.p, lit(self.o), lit(self.u), lit(self.oe), lit(self.ue)))
        if self.revision == 4:
            cfm = b"/AESV2" if self.kind == "aes128" else b"/V2"
            return (b"<< /Filter /Standard /V 4 /R 4 /Length 128 /P %d /O %s /U %s "
                    b"/CF << /StdCF << /CFM %s /AuthEvent /DocOpen /Length 16 >> >> "
                    b"/StmF /StdCF /StrF /StdCF >>" % (self.p, lit(self.o), lit(self.u), cfm))
        return (b"<< /Filter /Standard /V %d /R %d /Length %d /P %d /O %s /U %s >>"
                % (1 if self.revision == 2 else 2, self.revision, self.length, self.p, lit(self.o), lit(self.u)))

    def encrypt(self, number, data):
        if self.kind == "aes256":
            iv = bytes(self.rng.randrange(256) for _ in range(16))
            return iv + aes_cbc(self.key, iv, data)
        material = self.key + struct.pack("<I", number)[:3] + b"\0\0"
        aes = self.kind == "aes128"
        key = hashlib.md5(material + (b"sAlT" if aes else b"")).digest()[:min(len(self.key) + 5, 16)]
        if aes:
            iv = bytes(self.rng.randrange(256) for _ in range(16))
            return iv + aes_cbc(key, iv, data)
        return rc4(key, data)


def literal(data):
    return b"(" + data.replace(b"\\", b"\\\\").replace(b"(", b"\\(").replace(b")", b"\\)") + b")"


# --- Documents ---------------------------------------------------------------

def document(objects, security=None, xref=True, damage_xref=False):
    """`objects`: [(number, body bytes)], written in order with a cross
    reference table (offsets all wrong when `damage_xref`) and a trailer."""
    out = bytearray(b"%PDF-1.7\n%\xe2\xe3\xcf\xd3\n")
    offsets = {}
    if security:
        objects = objects + [(max(n for n, _ in objects) + 1, security.dictionary())]
    for number, body in objects:
        offsets[number] = len(out)
        out += b"%d 0 obj\n" % number + body + b"\nendobj\n"
    start = len(out)
    size = max(offsets) + 1
    if xref:
        out += b"xref\n0 %d\n0000000000 65535 f \n" % size
        for i in range(1, size):
            where = offsets.get(i, 0) + (7 if damage_xref else 0)
            out += b"%010d 00000 %s \n" % (where, b"n" if i in offsets else b"f")
    trailer = b"trailer\n<< /Size %d /Root 1 0 R" % size
    if security:
        trailer += b" /Encrypt %d 0 R /ID [<%s><%s>]" % (objects[-1][0], security.file_id.hex().encode(),
                                                          security.file_id.hex().encode())
    out += trailer + b" >>\nstartxref\n%d\n%%%%EOF\n" % start
    return bytes(out)


def catalog():
    return [(1, b"<< /Type /Catalog /Pages 2 0 R >>"), (2, b"<< /Type /Pages /Kids [] /Count 0 >>")]


def stream(dictionary, data):
    return b"<< " + dictionary + b"/Length %d >>\nstream\n" % len(data) + data + b"\nendstream"


def make_cases(work, rng):
    files, hdb, ndb, planted = [], [], [], {}
    counter = [0]

    def plant(data, marker, md5=True, body=True):
        counter[0] += 1
        names = set()
        if md5:
            name = f"Qdx.Oracle.Pdf.Hash.{counter[0]:03d}"
            hdb.append(f"{hashlib.md5(data).hexdigest()}:{len(data)}:{name}")
            names.add(name)
        if body:
            name = f"Qdx.Oracle.Pdf.Body.{counter[0]:03d}"
            ndb.append(f"{name}:0:*:{marker.hex()}")
            names.add(name)
        return names

    def write(name, data, names):
        path = os.path.join(work, name)
        with open(path, "wb") as f:
            f.write(data)
        files.append(path)
        planted[name] = set(names)

    # Each filter alone and in chains. A stream whose only filters are LZW or
    # RunLength is not scanned by clamscan unless something marks the object
    # (an embedded file here): planted only then.
    chains = [["FlateDecode"], ["Fl"], ["ASCIIHexDecode"], ["AHx"], ["ASCII85Decode"], ["A85"],
              ["AHx", "Fl"], ["A85", "FlateDecode"], ["ASCIIHexDecode", "LZWDecode"], ["A85", "RL"],
              ["Fl", "Fl"], ["AHx", "A85", "Fl", "LZW", "RL"]]
    for i, chain in enumerate(chains):
        data, marker = payload(rng, f"chain{i}")
        body = stream(filter_entry(chain), encode(data, chain))
        write(f"pdf-chain-{i:02d}.pdf", document(catalog() + [(3, body)]), plant(data, marker))
    for name, chain in (("lzw", ["LZWDecode"]), ("rl", ["RunLengthDecode"])):
        data, marker = payload(rng, name)
        alone = stream(filter_entry(chain), encode(data, chain))
        write(f"pdf-{name}-alone.pdf", document(catalog() + [(3, alone)]), set())
        data, marker = payload(rng, name + "file")
        embedded = stream(b"/Type /EmbeddedFile " + filter_entry(chain), encode(data, chain))
        write(f"pdf-{name}-embedded.pdf", document(catalog() + [(3, embedded)]), plant(data, marker))
    # LZW with /EarlyChange 0.
    data, marker = payload(rng, "early0")
    body = stream(b"/Type /EmbeddedFile /Filter /LZWDecode /DecodeParms <</EarlyChange 0>> ", lzw(data, early=0))
    write("pdf-lzw-early0.pdf", document(catalog() + [(3, body)]), plant(data, marker))
    # A stream without filters: its payload lies in the file as it is. With
    # "/Length N >>" clamscan reads no length (it takes what follows the
    # number for a generation), so the stream runs to "endstream" and its
    # line end stays: only the body signature holds.
    data, marker = payload(rng, "plain")
    body = b"<< /Length %d>>\nstream\n" % len(data) + data + b"\nendstream"
    write("pdf-plain.pdf", document(catalog() + [(3, body)]), plant(data, marker))
    data, marker = payload(rng, "plainspace")
    write("pdf-plain-spaced.pdf", document(catalog() + [(3, stream(b"", data))]), plant(data, marker, md5=False))
    # A predictor is not undone by clamscan: nothing is found.
    data, marker = payload(rng, "predictor")
    rows = b"".join(b"\x00" + data[i:i + 16].ljust(16, b"\0") for i in range(0, len(data), 16))
    body = stream(b"/Filter /FlateDecode /DecodeParms << /Predictor 12 /Columns 16 >> ", zlib.compress(rows))
    write("pdf-predictor.pdf", document(catalog() + [(3, body)]), set())
    # An image codec leaves the stream as the filters before it made it.
    data, marker = payload(rng, "dct")
    body = stream(b"/Filter [/FlateDecode /DCTDecode] ", zlib.compress(data))
    write("pdf-flate-dct.pdf", document(catalog() + [(3, body)]), plant(data, marker))
    # Damaged deflate data: what came before the damage is scanned.
    data, marker = payload(rng, "damaged")
    packed = zlib.compress(data + bytes(rng.randrange(256) for _ in range(20000)), 1)
    body = stream(b"/Filter /FlateDecode ", packed[:len(packed) // 2] + b"\xff" * 64)
    write("pdf-flate-damaged.pdf", document(catalog() + [(3, body)]), plant(data, marker, md5=False))
    # Objects found although the cross reference table is wrong or missing.
    data, marker = payload(rng, "xref")
    objects = catalog() + [(3, stream(b"/Filter /FlateDecode ", zlib.compress(data)))]
    write("pdf-bad-xref.pdf", document(objects, damage_xref=True), plant(data, marker))
    data, marker = payload(rng, "noxref")
    objects = catalog() + [(3, stream(b"/Filter /FlateDecode ", zlib.compress(data)))]
    write("pdf-no-xref.pdf", document(objects, xref=False), plant(data, marker))
    # JavaScript: a literal string, a hex string (clamscan writes the last
    # hex digit and ">" after it, so only the body signature holds), a stream.
    data, marker = payload(rng, "js", printable=True)
    objects = catalog() + [(3, b"<< /S /JavaScript /JS " + literal(data) + b" >>")]
    write("pdf-js-literal.pdf", document(objects), plant(data, marker))
    data, marker = payload(rng, "jshex", printable=True)
    objects = catalog() + [(3, b"<< /S /JavaScript /JS <" + data.hex().encode() + b"> >>")]
    write("pdf-js-hex.pdf", document(objects), plant(data, marker, md5=False))
    data, marker = payload(rng, "jsstream", printable=True)
    objects = catalog() + [(3, b"<< /S /JavaScript /JS 4 0 R >>"),
                           (4, stream(b"/Filter /FlateDecode ", zlib.compress(data)))]
    write("pdf-js-stream.pdf", document(objects), plant(data, marker))
    # An object stream: its objects are objects too (a /JS string in one).
    # clamscan knows one by "/Type/ObjStm" written without a space.
    data, marker = payload(rng, "objstm", printable=True)
    first = b"<< /S /JavaScript /JS " + literal(data) + b" >> "
    second = b"<< /Type /Annot >>"
    header = b"5 0 6 %d " % len(first)
    content = header + first + second
    body = stream(b"/Type/ObjStm /N 2 /First %d /Filter /FlateDecode " % len(header), zlib.compress(content))
    write("pdf-objstm.pdf", document(catalog() + [(4, body)]), plant(data, marker))
    # Encrypted with an empty user password: streams behind Flate, and a
    # JavaScript string. A stream without filters clamscan scans as it
    # stands (encrypted): nothing is planted in it.
    for kind in ("rc4-40", "rc4-128", "rc4-v4", "aes128", "aes256"):
        sec = Security(rng, kind)
        data, marker = payload(rng, kind)
        objects = catalog() + [(3, stream(b"/Filter /FlateDecode ", sec.encrypt(3, zlib.compress(data))))]
        names = plant(data, marker)
        while True:  # clamscan ends a string at its first NUL: payloads that encrypt to none
            jsdata, jsmarker = payload(rng, kind + "-js", printable=True)
            cipher = sec.encrypt(5, jsdata)
            if b"\0" not in cipher:
                break
        objects.append((5, b"<< /S /JavaScript /JS " + literal(cipher) + b" >>"))
        names |= plant(jsdata, jsmarker)
        hidden, _ = payload(rng, kind + "-raw")
        objects.append((6, stream(b"", sec.encrypt(6, hidden))))
        write(f"pdf-encrypted-{kind}.pdf", document(objects, security=sec), names)
    # A user password: nothing is decrypted, nothing found.
    sec = Security(rng, "rc4-128", user=b"secret")
    data, marker = payload(rng, "password")
    objects = catalog() + [(3, stream(b"/Filter /FlateDecode ", sec.encrypt(3, zlib.compress(data))))]
    write("pdf-password.pdf", document(objects, security=sec), set())
    # The test file clamav ships.
    clam = "/usr/share/clamav-testfiles/clam.pdf"
    if os.path.exists(clam):
        with open(clam, "rb") as f:
            write("clam.pdf", f.read(), {"Qdx.Oracle.ClamExe"})
        hdb.append("aa15bcf478d165efd2065190eb473bcb:544:Qdx.Oracle.ClamExe")
    return files, hdb, ndb, [], planted


def found_by(command, sigdir, files):
    """{basename: names} as a scanner in clamscan's output format reports them."""
    out = subprocess.run(command + ["-d", sigdir] + files, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                         text=True).stdout
    found = {os.path.basename(f): set() for f in files}
    for line in out.splitlines():
        if line.endswith(" FOUND") and ": " in line:
            path, name = line[:-len(" FOUND")].rsplit(": ", 1)
            name = name.strip()
            if name.endswith(".UNOFFICIAL"):  # clamscan's mark for a database of its own
                name = name[:-len(".UNOFFICIAL")]
            found.setdefault(os.path.basename(path), set()).add(name)
    return found


def main():
    work = sys.argv[1]
    os.makedirs(work, exist_ok=True)
    files, hdb, ndb, _, planted = make_cases(work, random.Random(1))
    sigdir = os.path.join(work, "sigs")
    os.makedirs(sigdir, exist_ok=True)
    with open(os.path.join(sigdir, "pdf.hdb"), "w") as f:
        f.write("\n".join(hdb) + "\n")
    with open(os.path.join(sigdir, "pdf.ndb"), "w") as f:
        f.write("\n".join(ndb) + "\n")
    scanners = {"clamscan": ["clamscan", "--allmatch", "--no-summary"]}
    if len(sys.argv) > 2:
        scanners["qdx-scan"] = [sys.argv[2], "--all-match"]
    bad = 0
    for label, command in scanners.items():
        found = found_by(command, sigdir, files)
        for name in sorted(planted):
            if found.get(name, set()) != planted[name]:
                bad += 1
                print(f"{label}: {name}: found {sorted(found.get(name, set()))}, planted {sorted(planted[name])}")
    print(f"{len(files)} files, {bad} differences")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
