"""Signature containers as ClamAV's tools make them: a 512-byte header line
padded with blanks, then a tar archive of database files, gzip-compressed
in a .cvd (the header carries the MD5 of the compressed content) and plain
or compressed in a .cld (the header carries "X" for MD5 and digital
signature, as the updater writes it).

A .cvd's digital signature can only be made with its maker's key, so ours
carry a placeholder; clamscan refuses such a file, but reads the same
content as a .cud (its unsigned container), so the oracle gives it that.
"""
import gzip
import hashlib
import io
import tarfile

HEADER_SIZE = 512
BUILD_TIME = 1704067200        # fixed, so that a seed always gives the same bytes
BUILD_DATE = "01 Jan 2024 00-00 +0000"


def header_line(version, sigs, flevel, md5="X", dsig="X", builder="qdxgen"):
    return f"ClamAV-VDB:{BUILD_DATE}:{version}:{sigs}:{flevel}:{md5}:{dsig}:{builder}:{BUILD_TIME}"


def _tar(members):
    buf = io.BytesIO()
    with tarfile.open(fileobj=buf, mode="w", format=tarfile.USTAR_FORMAT) as tar:
        for name, data in members:
            info = tarfile.TarInfo(name)
            info.size = len(data)
            info.mtime = BUILD_TIME
            info.mode = 0o644
            info.uname = info.gname = "clamav"
            tar.addfile(info, io.BytesIO(data))
    return buf.getvalue()


def _gzip(data):
    return gzip.compress(data, compresslevel=9, mtime=BUILD_TIME)


def _members(base, files, info_head):
    """COPYING, the .info file (the header line, then name:size:sha256 of
    every file) and the database files themselves."""
    info = info_head + "\n" + "".join(
        f"{name}:{len(data)}:{hashlib.sha256(data).hexdigest()}\n" for name, data in files)
    return [("COPYING", b"Test signatures made by the oracle generator; no rights reserved.\n"),
            (f"{base}.info", info.encode())] + list(files)


def count_signatures(files):
    return sum(len([l for l in data.decode().splitlines() if l.strip()]) for name, data in files
               if not name.endswith((".info", ".ign2")) and name != "COPYING")


def cvd(base, files, version=7, flevel=90):
    """A .cvd: (name, data) database files, gzip-compressed, with the MD5
    of the compressed content in the header."""
    sigs = count_signatures(files)
    body = _gzip(_tar(_members(base, files, header_line(version, sigs, flevel))))
    digest = hashlib.md5(body).hexdigest()
    head = header_line(version, sigs, flevel, md5=digest, dsig="UnsignedTestContainer0000000000")
    return head.encode().ljust(HEADER_SIZE, b" ") + body


def cld(base, files, version=9, flevel=90, compressed=False):
    """A .cld as the updater builds it from an unpacked database."""
    sigs = count_signatures(files)
    head = header_line(version, sigs, flevel)
    body = _tar(_members(base, files, head))
    if compressed:
        body = _gzip(body)
    return head.encode().ljust(HEADER_SIZE, b" ") + body
