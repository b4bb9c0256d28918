"""Signed database containers and patches made as the database maker makes
them, with the tests' keys (test_keys.h), for the updater's tests and its
benchmark. Independent of the updater's own code: Python's integers do the
RSA, hashlib the digests."""
import gzip
import hashlib
import io
import os
import re
import subprocess
import tarfile
import tempfile

_HERE = os.path.dirname(os.path.abspath(__file__))
_ALPHABET = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+/"


CERTS = os.path.join(_HERE, "certs")


def self_signed(work, common_name):
    """A self-signed certificate and its key under `common_name` (any bytes,
    control characters included), as anyone can make one."""
    key, cert = os.path.join(work, "self.key"), os.path.join(work, "self.crt")
    subprocess.run(["openssl", "req", "-x509", "-new", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-subj",
                    "/CN=" + common_name, "-days", "30", "-out", cert], check=True, capture_output=True)
    return cert, key


def sign_detached(data, trusted=True, signer_name=None):
    """A detached signature file (.sign) for `data` as the maker's signing
    tool writes it: OpenSSL's PKCS#7 (detached, binary) by the tests' signer,
    the intermediate carried along. trusted=False: the same signer's key
    certified by another root of the same name, which the test build does
    not trust. signer_name: a self-signed signer of that name instead."""
    with tempfile.TemporaryDirectory() as work:
        content = os.path.join(work, "content")
        open(content, "wb").write(data)
        signer, carried = os.path.join(CERTS, "signer.crt"), ["-certfile", os.path.join(CERTS, "intermediate.crt")]
        signer_key = os.path.join(CERTS, "signer.key")
        if signer_name is not None:
            (signer, signer_key), carried = self_signed(work, signer_name), []
        elif not trusted:
            request, signer, carried = os.path.join(work, "signer.csr"), os.path.join(work, "signer.crt"), []
            subprocess.run(["openssl", "req", "-new", "-key", os.path.join(CERTS, "signer.key"), "-subj",
                            "/O=Quendix Test/CN=Quendix_test_datafiles", "-config", os.path.join(CERTS, "ext.cnf"),
                            "-out", request], check=True, capture_output=True)
            subprocess.run(["openssl", "x509", "-req", "-in", request, "-CA", os.path.join(CERTS, "other-root.crt"),
                            "-CAkey", os.path.join(CERTS, "other-root.key"), "-set_serial", "9", "-days", "3650",
                            "-extfile", os.path.join(CERTS, "ext.cnf"), "-extensions", "signer", "-out", signer],
                           check=True, capture_output=True)
        pem = subprocess.run(["openssl", "smime", "-sign", "-binary", "-md", "sha256", "-in", content, "-signer", signer,
                              "-inkey", signer_key, "-outform", "PEM"] + carried,
                             check=True, capture_output=True).stdout.decode()
    body = "".join(line for line in pem.splitlines() if not line.startswith("-----"))
    return ("#clamsign-1.0\n220::pkcs7-pem:%s\n" % body).encode()


def _keys():
    text = open(os.path.join(_HERE, "test_keys.h")).read()
    values = {}
    for name, body in re.findall(r'k(\w+) =\s*((?:"[0-9]+"\s*)+);', text):
        values[name] = int("".join(re.findall(r'"([0-9]+)"', body)))
    return values


KEYS = _keys()


def _encode(number):
    out = ""
    while number:
        out += _ALPHABET[number & 63]
        number >>= 6
    return out


def sign_classic(md5_hex):
    m = int(md5_hex, 16)
    return _encode(pow(m, KEYS["HeaderPrivate"], KEYS["HeaderModulus"]))


def _mgf1(seed, length):
    out = b""
    counter = 0
    while len(out) < length:
        out += hashlib.sha256(seed + counter.to_bytes(4, "big")).digest()
        counter += 1
    return out[:length]


def sign_pss(data, salt=None):
    """RSA-PSS over SHA-256 of `data`: 2048-bit key, MGF1-SHA-256, 32-byte salt."""
    m_hash = hashlib.sha256(data).digest()
    salt = salt if salt is not None else os.urandom(32)
    h = hashlib.sha256(b"\0" * 8 + m_hash + salt).digest()
    db = b"\0" * (256 - 32 - 32 - 2) + b"\x01" + salt
    masked = bytes(a ^ b for a, b in zip(db, _mgf1(h, len(db))))
    masked = bytes([masked[0] & 0x7F]) + masked[1:]
    em = int.from_bytes(masked + h + b"\xbc", "big")
    return _encode(pow(em, KEYS["PssPrivate"], KEYS["PssModulus"]))


def header_line(version, md5="X", dsig="X", signatures=None):
    return "ClamAV-VDB:08 Dec 2026 10-00 +0000:%d:%d:216:%s:%s:tester:1796724000" % (
        version, signatures if signatures is not None else 4, md5, dsig)


def info_for(version, files):
    text = header_line(version) + "\n"
    for name, data in files:
        text += "%s:%d:%s\n" % (name, len(data), hashlib.sha256(data).hexdigest())
    body = text.encode()
    return body + b"DSIG:" + sign_pss(body).encode() + b"\n"


def tar_of(files):
    out = io.BytesIO()
    with tarfile.open(fileobj=out, mode="w", format=tarfile.USTAR_FORMAT) as tar:
        for name, data in files:
            member = tarfile.TarInfo(name)
            member.size = len(data)
            member.mtime = 1796724000
            tar.addfile(member, io.BytesIO(data))
    return out.getvalue()


def members(base, version, files):
    return [("COPYING", b"test data\n"), (base + ".info", info_for(version, files))] + list(files)


def make_cvd(base, version, files, damage=None):
    """A signed .cvd; `damage`: "signature" or "md5" spoils that part."""
    body = gzip.compress(tar_of(members(base, version, files)), mtime=0)
    md5 = hashlib.md5(body).hexdigest()
    dsig = sign_classic(md5)
    if damage == "signature":
        dsig = sign_classic(hashlib.md5(b"another").hexdigest())
    if damage == "md5":
        body = body[:-12] + bytes([body[-12] ^ 1]) + body[-11:]
    head = header_line(version, md5, dsig).encode().ljust(512, b" ")
    return head + body


def make_cld(base, version, files, header=None):
    """A .cld as a private mirror keeps it: an unsigned header (`header`, any
    bytes, or the usual one), then the plain archive with the signed list."""
    head = (header if header is not None else header_line(version).encode()).ljust(512, b" ")
    return head + tar_of(members(base, version, files))


def make_patch(version, script):
    script = script.encode() if isinstance(script, str) else script
    signed = b"ClamAV-Diff:%d:%d:" % (version, len(script)) + gzip.compress(script, mtime=0)
    return signed + b":" + sign_pss(signed).encode()


def patch_between(base, old_files, new_version, new_files):
    """A script that turns the files of one version into the next: each
    changed file is rewritten by line edits (deletes, exchanges, additions)
    and the member list replaced, as the maker's tool does."""
    old = dict(old_files)
    lines = []
    for name, data in new_files:
        before = old.get(name, b"").decode().splitlines()
        after = data.decode().splitlines()
        if before == after:
            continue
        lines.append("OPEN " + name)
        common = 0
        while common < min(len(before), len(after)) and before[common] == after[common]:
            common += 1
        for number in range(common + 1, len(before) + 1):
            lines.append("DEL %d %s" % (number, before[number - 1][:16]))
        lines.extend("ADD " + line for line in after[common:])
        lines.append("CLOSE")
    for name in old:
        if name not in dict(new_files):
            lines.append("UNLINK " + name)
    info = info_for(new_version, new_files).decode().splitlines()
    lines.append("UNLINK %s.info" % base)
    lines.append("OPEN %s.info" % base)
    lines.extend("ADD " + line for line in info)
    lines.append("CLOSE")
    return "\n".join(lines) + "\n"


def read_container(data):
    """(version, {member: bytes}) of a .cvd or .cld."""
    version = int(data[:512].decode().split(":")[2])
    body = data[512:]
    if body[:2] == b"\x1f\x8b":
        body = gzip.decompress(body)
    out = {}
    with tarfile.open(fileobj=io.BytesIO(body), mode="r:") as tar:
        for member in tar.getmembers():
            out[member.name] = tar.extractfile(member).read()
    return version, out
