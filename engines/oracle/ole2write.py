"""Writes OLE2 compound files and VBA projects, as Office lays them out, for
the documents oracle: streams under the mini stream cutoff in the mini
stream, the rest in 512-byte sectors, one FAT, the directory's trees made
of right siblings only (readers follow every link), and VBA source
compressed as the VBA format prescribes."""
import struct

SECTOR = 512
MINI = 64
CUTOFF = 4096
FREE, END, FATSECT = 0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFFFD


def vba_compress(data):
    """The VBA compressed container: a signature byte, then chunks of up to
    4096 bytes, each of literals and copy tokens (greedy longest matches)."""
    out = bytearray(b"\x01")
    for c in range(0, max(len(data), 1), 4096):
        chunk = data[c:c + 4096]
        body = bytearray()
        pos = 0
        while pos < len(chunk):
            flags, tokens = 0, bytearray()
            for bit in range(8):
                if pos >= len(chunk):
                    break
                bits = 4
                while (1 << bits) < pos:
                    bits += 1
                max_len = (0xFFFF >> bits) + 3
                best_len, best_off = 0, 0
                for off in range(1, min(pos, 1 << (16 - bits)) + 1):
                    n = 0
                    while n < max_len and pos + n < len(chunk) and chunk[pos + n] == chunk[pos + n - off]:
                        n += 1
                    if n > best_len:
                        best_len, best_off = n, off
                if best_len >= 3:
                    flags |= 1 << bit
                    tokens += struct.pack("<H", ((best_off - 1) << (16 - bits)) | (best_len - 3))
                    pos += best_len
                else:
                    tokens.append(chunk[pos])
                    pos += 1
            body.append(flags)
            body += tokens
        out += struct.pack("<H", 0xB000 | (len(body) + 2 - 3))
        out += body
    return bytes(out)


def _record(rid, data):
    return struct.pack("<HI", rid, len(data)) + data


def vba_dir(modules, project="VBAProject"):
    """A decompressed `dir` stream naming `modules` [(name, text offset)]."""
    d = bytearray()
    d += _record(0x0001, struct.pack("<I", 1))
    d += _record(0x0002, struct.pack("<I", 0x409))
    d += _record(0x0014, struct.pack("<I", 0x409))
    d += _record(0x0003, struct.pack("<H", 1252))
    d += _record(0x0004, project.encode())
    d += _record(0x0005, b"") + _record(0x0040, b"")
    d += _record(0x0006, b"") + _record(0x003D, b"")
    d += _record(0x0007, struct.pack("<I", 0))
    d += _record(0x0008, struct.pack("<I", 0))
    d += struct.pack("<HIIH", 0x0009, 4, 1, 0)
    d += _record(0x000C, b"") + _record(0x003C, b"")
    d += _record(0x000F, struct.pack("<H", len(modules)))
    d += _record(0x0013, struct.pack("<H", 0xFFFF))
    for name, offset in modules:
        d += _record(0x0019, name.encode())
        d += _record(0x0047, name.encode("utf-16-le"))
        d += _record(0x001A, name.encode()) + _record(0x0032, name.encode("utf-16-le"))
        d += _record(0x001C, b"") + _record(0x0048, b"")
        d += _record(0x0031, struct.pack("<I", offset))
        d += _record(0x001E, struct.pack("<I", 0))
        d += _record(0x002C, struct.pack("<H", 0xFFFF))
        d += _record(0x0021, b"")
        d += _record(0x002B, b"")
    d += struct.pack("<HI", 0x0010, 0)
    return bytes(d)


def vba_project_stream(modules):
    """A `_VBA_PROJECT` stream with the part of its cache that older readers
    take the module list from (clamscan among them): a reference string,
    then per module its name and where its source text begins."""
    out = bytearray(b"\xcc\x61" + struct.pack("<I", 0x5E) + b"\0" * 28)
    ref = "*\\G{000204EF-0000-0000-C000-000000000046}".encode("utf-16-le")
    out += struct.pack("<H", len(ref)) + ref + struct.pack("<H", 0) + b"\0" * 10
    out += b"\0\0\xff\xff\xff\xff\xff\xff" + b"\0" * 100
    out += struct.pack("<H", len(modules))
    for name, offset in modules:
        wide = name.encode("utf-16-le")
        out += struct.pack("<H", len(wide)) + wide + struct.pack("<HH", 0, 0) + b"\0" * 10
        out += struct.pack("<H", 0) + b"\0" * 5 + struct.pack("<I", offset) + b"\0\0"
    return bytes(out)


def vba_storage(modules, cache=b""):
    """The streams of a VBA storage: `modules` [(name, source bytes)], each
    stream a performance cache of `cache` bytes and then the source."""
    streams = {"_VBA_PROJECT": vba_project_stream([(n, len(cache)) for n, _ in modules]),
               "dir": vba_compress(vba_dir([(n, len(cache)) for n, _ in modules]))}
    for name, source in modules:
        streams[name] = cache + vba_compress(source)
    return streams


def compound_file(tree):
    """An OLE2 file of `tree`: a dict of name -> bytes (a stream) or dict (a
    storage)."""
    entries = []  # [name, type, child, right, data]

    def add(name, node):
        index = len(entries)
        entries.append([name, 1 if isinstance(node, dict) else 2, -1, -1, node])
        if isinstance(node, dict):
            children = [add(k, v) for k, v in node.items()]
            for a, b in zip(children, children[1:]):
                entries[a][3] = b
            entries[index][2] = children[0] if children else -1
        return index

    entries.append(["Root Entry", 5, -1, -1, None])
    children = [add(k, v) for k, v in tree.items()]
    for a, b in zip(children, children[1:]):
        entries[a][3] = b
    entries[0][2] = children[0] if children else -1

    mini = bytearray()
    minifat = []
    big = []  # (entry index, data)
    starts = {}
    for i, e in enumerate(entries):
        if e[1] != 2:
            continue
        data = e[4]
        if len(data) < CUTOFF:
            if not data:
                starts[i] = END
                continue
            first = len(mini) // MINI
            count = (len(data) + MINI - 1) // MINI
            minifat += [first + k + 1 for k in range(count - 1)] + [END]
            starts[i] = first
            mini += data + b"\0" * (count * MINI - len(data))
        else:
            big.append((i, data))

    sectors = []  # sector contents, in order
    fat = []

    def place(data):
        first = len(sectors)
        count = max(1, (len(data) + SECTOR - 1) // SECTOR)
        for k in range(count):
            sectors.append(data[k * SECTOR:(k + 1) * SECTOR].ljust(SECTOR, b"\0"))
            fat.append(first + k + 1 if k + 1 < count else END)
        return first

    for i, data in big:
        starts[i] = place(data)
    root_start = place(bytes(mini)) if mini else END
    minifat_bytes = b"".join(struct.pack("<I", x) for x in minifat)
    minifat_start = place(minifat_bytes.ljust(((len(minifat_bytes) + SECTOR - 1) // SECTOR) * SECTOR, b"\xff")) \
        if minifat else END
    minifat_count = (len(minifat_bytes) + SECTOR - 1) // SECTOR
    directory = bytearray()
    for i, e in enumerate(entries):
        name = e[0].encode("utf-16-le")
        start = root_start if e[1] == 5 else starts.get(i, 0)
        size = len(mini) if e[1] == 5 else (len(e[4]) if e[1] == 2 else 0)
        if e[1] == 1:
            start = 0
        directory += name.ljust(64, b"\0") + struct.pack("<HBB", len(name) + 2, e[1], 1)
        directory += struct.pack("<III", FREE, e[3] & 0xFFFFFFFF, e[2] & 0xFFFFFFFF)
        directory += b"\0" * 16 + struct.pack("<I", 0) + b"\0" * 16
        directory += struct.pack("<IQ", start, size)
    while len(directory) % SECTOR:
        directory += (b"\0" * 64 + struct.pack("<HBB", 0, 0, 0) + struct.pack("<III", FREE, FREE, FREE)
                      + b"\0" * 48)[:128]
    dir_start = place(bytes(directory))
    # The FAT itself: enough sectors to describe every sector, its own too.
    fat_count = 1
    while (len(sectors) + fat_count) > fat_count * (SECTOR // 4):
        fat_count += 1
    fat_start = len(sectors)
    fat += [FATSECT] * fat_count
    fat += [FREE] * (fat_count * (SECTOR // 4) - len(fat))
    fat_bytes = b"".join(struct.pack("<I", x) for x in fat)
    for k in range(fat_count):
        sectors.append(fat_bytes[k * SECTOR:(k + 1) * SECTOR])
    assert fat_count <= 109
    header = bytearray(b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + b"\0" * 16)
    header += struct.pack("<HHHHH", 0x3E, 3, 0xFFFE, 9, 6) + b"\0" * 6
    header += struct.pack("<IIIIIIIII", 0, fat_count, dir_start, 0, CUTOFF, minifat_start, minifat_count, END, 0)
    difat = [fat_start + k for k in range(fat_count)] + [FREE] * (109 - fat_count)
    header += b"".join(struct.pack("<I", x) for x in difat)
    assert len(header) == 512
    return bytes(header) + b"".join(sectors)


def word_with_macros(modules, body=b"", cache=b""):
    """A Word 97-2003 file whose VBA project holds `modules`."""
    vba = vba_storage(modules, cache)
    return compound_file({
        "WordDocument": body.ljust(4096, b"\0"),
        "Macros": {"VBA": vba, "PROJECT": b"ID=\"{00000000-0000-0000-0000-000000000000}\"\r\n"},
    })


def excel_with_macros(modules, cache=b""):
    """An Excel 97-2003 file whose VBA project holds `modules`."""
    return compound_file({
        "Workbook": b"\x09\x08\x10\x00\x00\x06\x05\x00".ljust(600, b"\0"),
        "_VBA_PROJECT_CUR": {"VBA": vba_storage(modules, cache), "PROJECT": b"ID=\"{0}\"\r\n"},
    })


def word95_with_macros(macros, key_of=lambda i: 0x5A + i):
    """A Word 6/95 file: its document stream's header (at 0x118) names a
    macro table listing `macros`, each stored XORed with a key of its own."""
    stream = bytearray(4096)
    table = bytearray(b"\xff\x01") + struct.pack("<H", len(macros))
    at = len(stream)
    bodies = bytearray()
    for i, macro in enumerate(macros):
        key = key_of(i) & 0xFF
        entry = bytearray(24)
        entry[0], entry[1] = 0x55, key
        entry[12:16] = struct.pack("<I", len(macro))
        entry[20:24] = struct.pack("<I", at + len(bodies))
        table += entry
        bodies += bytes(c ^ key for c in macro)
    table += b"\x40"
    stream += bodies
    stream[2000:2000 + len(table)] = table
    stream[0x118:0x120] = struct.pack("<II", 2000, len(table))
    return compound_file({"WordDocument": bytes(stream)})
