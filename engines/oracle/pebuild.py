"""Small, valid 32-bit PE files built for the tests: headers, several
sections with raw data, an entry point and optional overlay.

Section data is filled by the caller; the layout tells where everything is
in the file, which is what the offsets of PE signatures refer to.
"""
import struct

FILE_ALIGN = 0x200
SECTION_ALIGN = 0x1000
PE_OFFSET = 0x80
NAMES = (b".text", b".rdata", b".data", b".idata2", b".code2", b".bss2", b".tls2", b".sdata")


def _align(n, a):
    return (n + a - 1) // a * a


class Section:
    def __init__(self, name, raw_offset, raw_size, rva):
        self.name = name
        self.raw_offset = raw_offset
        self.raw_size = raw_size
        self.rva = rva

    @property
    def raw_end(self):
        return self.raw_offset + self.raw_size


class Layout:
    """Where the parts of a PE file are."""

    def __init__(self, raw_sizes, ep_section, ep_delta, overlay, skews=None):
        self.raw_sizes = list(raw_sizes)
        # Section table entries may point up to 511 bytes past where the
        # section's data lies: loaders round the offset down to 512.
        self.skews = list(skews) if skews else [0] * len(raw_sizes)
        self.ep_delta = ep_delta
        self.overlay = overlay
        header_size = PE_OFFSET + 4 + 20 + 224 + 40 * len(raw_sizes)
        self.headers_end = _align(header_size, FILE_ALIGN)
        self.sections = []
        raw = self.headers_end
        rva = SECTION_ALIGN
        for i, size in enumerate(raw_sizes):
            assert size % FILE_ALIGN == 0 and size > 0
            self.sections.append(Section(NAMES[i % len(NAMES)], raw, size, rva))
            raw += size
            rva += _align(size, SECTION_ALIGN)
        self.image_size = rva
        self.ep_section = ep_section
        ep = self.sections[ep_section]
        assert 0 <= ep_delta < ep.raw_size
        self.ep_rva = ep.rva + ep_delta
        self.ep_offset = ep.raw_offset + ep_delta
        self.size = raw + overlay

    @property
    def last(self):
        return self.sections[-1]

    def header_bytes(self, timestamp):
        n = len(self.sections)
        dos = bytearray(PE_OFFSET)
        dos[0:2] = b"MZ"
        struct.pack_into("<H", dos, 2, 0x90)          # bytes on the last page
        struct.pack_into("<H", dos, 4, 3)             # pages
        struct.pack_into("<H", dos, 8, 4)             # header paragraphs
        struct.pack_into("<H", dos, 0x18, 0x40)       # relocation table
        struct.pack_into("<I", dos, 0x3C, PE_OFFSET)
        code = sum(s.raw_size for s in self.sections[:1])
        data = sum(s.raw_size for s in self.sections[1:])
        coff = struct.pack("<HHIIIHH", 0x14C, n, timestamp, 0, 0, 224, 0x0102)
        optional = struct.pack(
            "<HBBIIIIIIIIIHHHHHHIIIIHHIIIIII",
            0x10B, 10, 0, code, data, 0, self.ep_rva, self.sections[0].rva,
            self.sections[min(1, n - 1)].rva, 0x400000, SECTION_ALIGN, FILE_ALIGN,
            5, 1, 0, 0, 5, 1, 0, self.image_size, self.headers_end, 0, 2, 0x8140,
            0x100000, 0x1000, 0x100000, 0x1000, 0, 16) + bytes(16 * 8)
        assert len(optional) == 224
        table = bytearray()
        for i, s in enumerate(self.sections):
            flags = 0x60000020 if i == self.ep_section else 0xC0000040
            table += struct.pack("<8sIIIIIIHHI", s.name, s.raw_size, s.rva, s.raw_size,
                                 s.raw_offset + self.skews[i], 0, 0, 0, 0, flags)
        head = bytes(dos) + b"PE\0\0" + coff + optional + bytes(table)
        return head + bytes(self.headers_end - len(head))


def random_layout(rng, sections=None, big_section=None):
    """A layout of 2 to 5 sections, or `sections` of them; with
    `big_section` set, that section is made larger than 1 MiB so that it
    spans the scanner's first chunk boundary."""
    n = sections or rng.randint(2, 5)
    sizes = [FILE_ALIGN * rng.randint(1, 24) for _ in range(n)]
    if big_section is not None:
        sizes[big_section] = FILE_ALIGN * rng.randint(2100, 2400)
    ep_section = rng.randrange(n)
    ep_delta = rng.randrange(sizes[ep_section])
    overlay = rng.choice((0, 0, rng.randint(1, 3000)))
    skews = None
    if rng.random() < 0.25:
        skews = [rng.choice((0, rng.randint(1, FILE_ALIGN - 1))) for _ in range(n)]
    return Layout(sizes, ep_section, ep_delta, overlay, skews)
