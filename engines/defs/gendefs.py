#!/usr/bin/env python3
"""Builds the engines' definitions from definitions.src.

    gendefs.py SOURCE OUT_DIR [SAMPLES_DIR]

Writes OUT_DIR/quendix3.dat (the signature file both engines read) and
OUT_DIR/qdxvlst.txt (the virus list the front end shows), and, when asked,
the demo sample files into SAMPLES_DIR. Signatures are stored as hex in the
signature file so that the file itself never looks infected to a scanner.
"""
import io
import os
import shutil
import sys
import zipfile

CATEGORIES = ("dos", "macro", "java", "bat", "script", "destructive", "other")
# The virus list window: left list DOS and Windows, right list the rest.
LEFT = ("dos", "destructive", "other")
# The list window ends its first section only at this exact line, whatever
# the real figures are; it is never shown.
SUMMARY_LINE = "DOS/Windows: 25354 viruses and 14388 Trojans"


class DefError(Exception):
    pass


def parse(text):
    created = None
    records = []
    current = None
    for number, raw in enumerate(text.splitlines(), 1):
        line = raw.rstrip()
        stripped = line.strip()
        if not stripped or stripped.startswith("#"):
            continue
        word, _, rest = stripped.partition(" ")
        if word == "created":
            created = rest.strip()
        elif word == "sig":
            fields = rest.split()
            if len(fields) != 4 or fields[1] not in CATEGORIES \
                    or fields[2] not in ("removable", "fixed") \
                    or fields[3] not in ("start", "anywhere"):
                raise DefError(f"line {number}: bad sig line")
            current = {"kind": "sig", "name": fields[0], "category": fields[1],
                       "removable": fields[2], "where": fields[3], "bytes": b""}
            records.append(current)
        elif word == "family":
            current = {"kind": "family", "name": rest.strip(), "bytes": b""}
            records.append(current)
        elif word in ("piece", "hexpiece"):
            if current is None:
                raise DefError(f"line {number}: piece outside a record")
            if word == "piece":
                current["bytes"] += rest.encode("latin-1")
            else:
                current["bytes"] += bytes.fromhex(rest)
        else:
            raise DefError(f"line {number}: unknown keyword {word!r}")
    if not created:
        raise DefError("no 'created' line")
    for r in records:
        if len(r["bytes"]) < 8:
            raise DefError(f"{r['name']}: signature shorter than 8 bytes")
    names = [r["name"] for r in records]
    if len(set(names)) != len(names):
        raise DefError("duplicate names")
    return created, records


def write_lines(path, lines):
    with open(path, "wb") as f:
        for line in lines:
            f.write(line.encode("latin-1") + b"\r\n")


def signature_file(created, records):
    lines = ["Quendix virus definitions", "created " + created]
    for r in records:
        if r["kind"] == "sig":
            lines.append(f"sig {r['name']} {r['category']} {r['removable']} "
                         f"{r['where']} {r['bytes'].hex().upper()}")
        else:
            lines.append(f"family {r['name']} {r['bytes'].hex().upper()}")
    lines.append(f"end {len(records)}")
    return lines


def virus_list(created, records):
    sigs = [r for r in records if r["kind"] == "sig"]
    left = sorted(r["name"] for r in sigs if r["category"] in LEFT)
    right = sorted(r["name"] for r in sigs if r["category"] not in LEFT)
    if not right:
        raise DefError("the virus list needs at least one entry in its second section")
    lines = [
        "QDXVLST.TXT",
        "Virus list of Quendix Professional",
        "",
        f"{len(sigs)} signatures",
        "",
        "Virus definitions created " + created,   # line 6: shown in both lists
        "",
        "DOS and Windows viruses, Trojans and test files:",
    ]
    lines += left
    lines.append(SUMMARY_LINE)
    lines += right
    lines += ["", "End of list."]
    return lines


def sig_bytes(records, name):
    for r in records:
        if r["name"] == name:
            return r["bytes"]
    raise DefError(f"samples need the signature {name}")


def write_samples(records, folder):
    """A small folder with a few detections of each kind for the demo."""
    if os.path.isdir(folder):
        shutil.rmtree(folder)
    os.makedirs(os.path.join(folder, "Programs"))
    # An unknown member of the test family, for the heuristics.
    variant = b"<<QDX-TEST Tail.Z: harmless test signature of an unknown variant>>"
    host = b"MZ" + bytes(range(32, 127)) * 4
    document = b"Dear reader,\r\nthis letter carries a harmless test macro.\r\n"
    files = {
        "readme.txt": b"Sample files for trying the Quendix scanner. Nothing here is harmful.\r\n",
        "clean.com": host,
        "notes.doc": b"A clean document.\r\n",
        "eicar.com": sig_bytes(records, "EICAR-Test-File"),
        "tool.com": host + sig_bytes(records, "Quendix-Test.Tail.A"),
        "letter.doc": document + sig_bytes(records, "Quendix-Test.Macro.A"),
        "variant.com": host + variant,
        "cleanup.vbs": b"' cleanup script\r\n" + sig_bytes(records, "Quendix-Test.Script") + b"\r\n",
        os.path.join("Programs", "setup.exe"): b"MZ" + sig_bytes(records, "Quendix-Test.Overwriter"),
        os.path.join("Programs", "clean.exe"): host,
    }
    for name, data in files.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_STORED) as z:
        z.writestr("eicar.com", sig_bytes(records, "EICAR-Test-File"))
        z.writestr("readme.txt", b"An archive with the test file inside.\r\n")
    with open(os.path.join(folder, "tests.zip"), "wb") as f:
        f.write(buffer.getvalue())


def main(argv):
    if len(argv) not in (3, 4):
        print(__doc__, file=sys.stderr)
        return 2
    try:
        with open(argv[1], encoding="latin-1") as f:
            created, records = parse(f.read())
        os.makedirs(argv[2], exist_ok=True)
        write_lines(os.path.join(argv[2], "quendix3.dat"), signature_file(created, records))
        write_lines(os.path.join(argv[2], "qdxvlst.txt"), virus_list(created, records))
        if len(argv) == 4:
            write_samples(records, argv[3])
    except (DefError, OSError, ValueError) as e:
        print(f"{argv[1]}: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
