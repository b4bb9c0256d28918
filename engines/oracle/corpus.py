"""Files of the test corpus: plain binary files and PE files with signature
material placed at chosen offsets over random filler, and ZIP archives of
some of them, laid out in the ways real archives are (and lie).

Each file keeps what was planted in it (for the report on a mismatch) and
which signature names it holds material of, so that archives never combine
two pieces of the same signature.
"""
import hashlib
import io
import os
import random
import struct
import zipfile

import pebuild

MiB = 1 << 20
# First bytes of formats ClamAV would recognise; plain files never start so.
MAGICS = (b"MZ", b"PK", b"\x7fELF", b"%PDF", b"Rar!", b"\x1f\x8b", b"MSCF", b"\xd0\xcf\x11\xe0",
          b"\xca\xfe\xba\xbe", b"\xfe\xed\xfa", b"\xcf\xfa\xed\xfe", b"7z\xbc\xaf", b"BZh", b"GIF8",
          b"\x89PNG", b"\xff\xd8\xff", b"{\\rtf", b"<", b"#!", b"\xef\xbb\xbf", b"\xff\xfe", b"\xfe\xff")
# clamscan takes a file without a byte-order mark for UTF-16 text when no
# pair of its first bytes reads as a control character, and then also scans
# a normalised copy, whose verdicts differ (a binary part is lost, letters
# change case). Bytes 2 and 3 of a plain file are such a pair; nothing is
# planted in the first TEXT_GUARD bytes.
TEXT_GUARD = 4


class Blob:
    """One file's content: kind "plain" or "pe", fixed size, placements."""

    def __init__(self, rng, kind, size=None, layout=None, big=False):
        self.rng = rng
        self.kind = kind
        self.layout = layout
        self.size = layout.size if layout else size
        self.big = big
        self.placements = []          # (offset, bytes)
        self.notes = []               # what was planted, for the reports
        self.material = set()         # names with material in here
        self.positives = set()        # names meant to match by their body
        self.zip_safe = True
        self.path = None              # relative path in the corpus, once written
        self.member_of = None         # the archive it went into, if any
        self._content = None
        self._seed = rng.getrandbits(64)
        if layout:
            self.free = [(layout.headers_end, layout.size)]
        else:
            self.free = [(TEXT_GUARD, size)]

    # --- placing ---------------------------------------------------------
    def fits(self, start, length):
        return length >= 0 and any(a <= start and start + length <= b for a, b in self.free)

    def place(self, start, data, note=None):
        for k, (a, b) in enumerate(self.free):
            if a <= start and start + len(data) <= b:
                parts = [(a, start), (start + len(data), b)]
                self.free[k:k + 1] = [p for p in parts if p[1] > p[0]]
                self.placements.append((start, data))
                if note:
                    self.notes.append(note)
                self._content = None
                return start
        raise ValueError(f"no room at {start}+{len(data)}")

    def place_anywhere(self, data, lo=0, hi=None, note=None):
        """Places `data` at a random free spot starting in [lo, hi]."""
        hi = self.size if hi is None else hi
        spots = []
        for a, b in self.free:
            first, last = max(a, lo), min(b - len(data), hi)
            if first <= last:
                spots.append((first, last))
        if not spots:
            return None
        weights = [last - first + 1 for first, last in spots]
        first, last = self.rng.choices(spots, weights)[0]
        return self.place(self.rng.randint(first, last), data, note)

    def room(self):
        return sum(b - a for a, b in self.free)

    # --- content ---------------------------------------------------------
    def content(self):
        if self._content is None:
            filler = _random_bytes(self._seed, self.size)
            data = bytearray(filler)
            if self.layout:
                head = self.layout.header_bytes(timestamp=self._seed & 0x3FFFFFFF)
                data[:len(head)] = head
            else:
                data[2:4] = b"\x00\x01"
                if bytes(data[:8]).startswith(MAGICS) or data[:1] == b"\0":
                    data[0] = 0xEE
            for off, piece in self.placements:
                data[off:off + len(piece)] = piece
            self._content = bytes(data)
        return self._content

    def section(self, index):
        s = self.layout.sections[index]
        return self.content()[s.raw_offset:s.raw_end]

    def twin(self, rng, inside=None):
        """A copy with one filler byte changed (inside section `inside` when
        given): the same planted material, other hashes."""
        other = Blob.__new__(Blob)
        other.__dict__.update(self.__dict__)
        other.placements = list(self.placements)
        other.notes = list(self.notes) + ["twin of another file with one byte changed"]
        other.material = set(self.material)
        other.positives = set(self.positives)
        other.free = list(self.free)
        other.path = other.member_of = None
        other._content = None
        lo, hi = (0, self.size)
        if inside is not None:
            s = self.layout.sections[inside]
            lo, hi = s.raw_offset, s.raw_end
        spots = [(max(a, lo), min(b, hi)) for a, b in self.free if min(b, hi) > max(a, lo)]
        if not spots:
            return None
        a, b = rng.choice(spots)
        at = rng.randrange(a, b)
        old = self.content()[at]
        other.place(at, bytes([old ^ (1 + rng.randrange(255))]))
        return other


def _random_bytes(seed, n):
    return random.Random(seed).randbytes(n)


def new_plain(rng, big=False, size=None):
    if size is None:
        size = rng.randint(2 * MiB + 4096, 3 * MiB) if big else rng.choice(
            (rng.randint(256, 4096), rng.randint(4096, 48 * 1024)))
    return Blob(rng, "plain", size=size, big=big)


def new_pe(rng, big=False, sections=None):
    n = sections or rng.randint(2, 5)
    layout = pebuild.random_layout(rng, sections=n, big_section=rng.randrange(n) if big else None)
    return Blob(rng, "pe", layout=layout, big=big)


def zip_bytes(members, deflate=False):
    """A ZIP archive of (name, data) pairs, every member stored or deflated."""
    kind = zipfile.ZIP_DEFLATED if deflate else zipfile.ZIP_STORED
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", compression=kind) as z:
        for name, data in members:
            info = zipfile.ZipInfo(name, date_time=(2024, 1, 1, 0, 0, 0))
            info.compress_type = kind
            z.writestr(info, data)
    return buf.getvalue()


# How an archive of the corpus is laid out: its members stored (clamscan
# then also finds them in the archive's own bytes), deflated, inside two
# archives inside the archive, appended to a program without its offsets
# adjusted, with an end record that understates the entries, or with
# stated sizes smaller than the data. (ZIP64 archives are left out: clamscan
# finds no central directory in them and reads only what their local
# headers lead it to; the unit tests cover them.)
LAYOUTS = ("stored", "deflated", "nested", "appended", "understated", "lying")


def _patch_sizes(z, small):
    """Every member's stated unpacked size set to `small`, in both headers."""
    at = 0
    while True:
        at = z.find(b"PK\x01\x02", at)
        if at < 0:
            break
        local = struct.unpack_from("<I", z, at + 42)[0]
        struct.pack_into("<I", z, at + 24, small)
        struct.pack_into("<I", z, local + 22, small)
        at += 4


def archive_bytes(members, layout):
    if layout == "stored":
        return zip_bytes(members)
    if layout == "deflated":
        return zip_bytes(members, True)
    if layout == "nested":
        return zip_bytes([("outer/inner.zip", zip_bytes([("deep.zip", zip_bytes(members, True))], True))])
    if layout == "appended":
        return b"MZ" + bytes(4094) + zip_bytes(members, True)
    if layout == "understated":
        z = bytearray(zip_bytes(members, True))
        end = z.rfind(b"PK\x05\x06")
        struct.pack_into("<HH", z, end + 8, 1, 1)
        return bytes(z)
    if layout == "lying":
        z = bytearray(zip_bytes(members, True))
        _patch_sizes(z, 16)
        return bytes(z)
    raise ValueError(layout)


def hashes(data):
    return {"md5": hashlib.md5(data).hexdigest(), "sha1": hashlib.sha1(data).hexdigest(),
            "sha256": hashlib.sha256(data).hexdigest()}


def write_file(root, rel, data):
    path = os.path.join(root, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
