"""Signature sets of every kind with the corpus that tests them.

For each signature the generator plants material in corpus files: an exact
match where the signature must fire, and near misses (one byte, one nibble,
one gap length or one offset off; PE-only signatures in plain files; logical
counts one off; target descriptions just out of range) where it must not.
Body material is planted; hash and allow-list matches are worked out from
the finished files. `Generator.expected()` gives the (file, name) pairs a
correct scanner reports with every match shown.
"""
import random
from collections import defaultdict

import bodysig
import corpus
import logical
import modifiers
import offsets
import pebuild

PLATFORMS = ("Win", "Doc", "Xls", "Java", "Html", "Js", "Vbs", "Unix", "Pdf", "Email", "Andr", "Txt",
             "Multios", "Osx", "Img", "Swf", "Legacy", "Win32", "Ppt", "Rtf")
CATEGORIES = ("Trojan", "Worm", "Virus", "Exploit", "Downloader", "Dropper", "Malware", "Adware",
              "Packed", "Tool", "Coinminer", "Ransomware")
# ClamAV's target types other than any (0) and PE (1): never matched here.
OTHER_TARGETS = (2, 3, 4, 5, 6, 7, 9, 10, 11, 12)
BOUNDARIES = (corpus.MiB, 2 * corpus.MiB)


class Database:
    """Signature lines by file extension, and each name's definitions."""

    def __init__(self):
        self.lines = defaultdict(list)
        self.defs = defaultdict(list)
        self.usable = {}

    def add(self, ext, name, line, usable=True):
        self.lines[ext].append(line)
        self.defs[name].append((ext, line))
        self.usable[name] = self.usable.get(name, False) or usable


class Generator:
    def __init__(self, seed, size=1.0):
        self.seed = seed
        self.size = size
        self.rng = random.Random(seed)
        self.db = Database()
        self.blobs = []
        self.serial = 0
        self.hash_sigs = []      # (algo, hexdigest, size or None, name, section)
        self.allow = []          # (algo, hexdigest, size)
        self.ignored = set()

    # --- helpers ---------------------------------------------------------
    def name(self, platform=None):
        self.serial += 1
        rng = self.rng
        return (f"{platform or rng.choice(PLATFORMS)}.{rng.choice(CATEGORIES)}."
                f"Qx{self.seed}n{self.serial}-{rng.randint(1000000, 9999999)}-{rng.randint(0, 3)}")

    def new_blob(self, kind, big=False):
        blob = corpus.new_pe(self.rng, big=big) if kind == "pe" else corpus.new_plain(self.rng, big=big)
        self.blobs.append(blob)
        return blob

    def sibling(self, blob, layout=None, size=None):
        """A fresh file of the same geometry (or the one given)."""
        if blob.kind == "pe" or layout is not None:
            other = corpus.Blob(self.rng, "pe", layout=layout or blob.layout, big=blob.big)
        else:
            other = corpus.Blob(self.rng, "plain", size=size or blob.size, big=blob.big)
        self.blobs.append(other)
        return other

    def hosts(self, kind, big, name, fresh=3, positive=False):
        """Existing files that may take more material of `name`, then new ones."""
        pool = [b for b in self.blobs if b.kind == kind and b.big == big and name not in b.material
                and (not positive or len(b.positives) < 3) and b.room() > 64]
        rng = self.rng
        for b in rng.sample(pool, min(len(pool), 6)):
            yield b
        for _ in range(fresh):
            yield self.new_blob(kind, big)

    def flevel(self):
        """An optional engine level suffix for a .ndb line; False when it
        keeps the signature from being used."""
        r = self.rng.random()
        if r < 0.75:
            return "", True
        if r < 0.85:
            return f":{self.rng.randint(1, 150)}", True
        if r < 0.93:
            return f":{self.rng.randint(1, 150)}:{self.rng.randint(250, 999)}", True
        if r < 0.97:
            return f":{self.rng.randint(300, 999)}", False
        return f":{self.rng.randint(1, 50)}:{self.rng.randint(51, 100)}", False

    @staticmethod
    def _mark(blob, name, positive, zip_safe):
        blob.material.add(name)
        if positive:
            blob.positives.add(name)
        blob.zip_safe = blob.zip_safe and zip_safe

    # --- .ndb ------------------------------------------------------------
    def ndb_case(self, feature, target, form, big=False):
        rng = self.rng
        if big and form == "se":
            # clamscan never matches SEx in a file over 256 KiB (its own
            # limit; the format means the whole section), so big files get Sx+n.
            form = "sec"
        tokens = bodysig.random_pattern(rng, feature)
        name = self.name("Win" if target == 1 else None)
        suffix, level_ok = self.flevel()
        usable = level_ok and target in (0, 1)
        data, lead = bodysig.instance(rng, tokens)
        kind = "pe" if target == 1 or form in offsets.PE_FORMS else rng.choice(("plain", "plain", "pe"))
        placed = None
        for blob in self.hosts(kind, big, name, positive=True):
            got = offsets.choose(rng, form, blob, data, lead)
            if got is None:
                continue
            where, p = got
            note = f"{name}: match ({'used' if usable else 'not used'}) of {offsets.render(where)}"
            if p is None:
                p = offsets.place(rng, blob, where, data, lead, note)
            else:
                blob.place(p - lead, data, note + f" at {p}")
            if p is not None:
                placed = blob
                break
        if placed is None:
            return
        line = f"{name}:{target}:{offsets.render(where)}:{bodysig.render(tokens)}{suffix}"
        self.db.add("ndb", name, line, usable)
        zip_safe = not (target == 0 and where[0] != "any" and usable)
        self._mark(placed, name, usable, zip_safe)

        misses = ["token"]
        if where[0] != "any":
            misses.append("offset")
        if where[0] == "eof" and where[3] and placed.kind == "plain" and not big:
            misses.append("before start")
        if target == 1:
            misses.append("plain")
        for miss in rng.sample(misses, rng.randint(1, len(misses))):
            self._ndb_miss(miss, name, tokens, where, placed, data, lead, zip_safe)

    def _ndb_miss(self, miss, name, tokens, where, host, data, lead, zip_safe):
        rng = self.rng
        if miss == "plain":
            for blob in self.hosts("plain", False, name):
                if blob.place_anywhere(data, note=f"{name}: PE-only match in a plain file") is not None:
                    self._mark(blob, name, False, True)
                    return
            return
        if miss == "before start":
            # A file shorter than n: EOF-n lies before its start, though the
            # shift reaches into it.
            n, shift = where[1], where[3]
            size = n - rng.randint(1, shift)
            if size < len(data) + 16:
                return
            last = min(size - n + shift, size - len(data) + lead)
            first = lead + corpus.TEXT_GUARD
            if last < first:
                return
            blob = self.sibling(host, size=size)
            p = rng.randint(first, last)
            blob.place(p - lead, data, f"{name}: match in a file shorter than n of {offsets.render(where)}")
            self._mark(blob, name, False, zip_safe)
            return
        if miss == "token":
            mdata, mlead, what = bodysig.miss_instance(rng, tokens)
            note = f"{name}: near miss ({what}) at {offsets.render(where)}"
            outside = False
        else:
            mdata, mlead = data, lead
            note = f"{name}: match just outside {offsets.render(where)}"
            outside = True
        candidates = [self.sibling(host)] if where[0] != "any" else self.hosts(host.kind, host.big, name)
        for blob in candidates:
            if name in blob.material:
                continue
            if offsets.place(rng, blob, where, mdata, mlead, note, outside=outside) is not None:
                self._mark(blob, name, False, zip_safe)
                return

    def ndb_straddle_case(self):
        """A match across the scanner's 1 MiB or 2 MiB chunk boundary, at any
        offset, an absolute one or one from the end, and its near miss."""
        rng = self.rng
        tokens = bodysig.random_pattern(rng, rng.choice(bodysig.FEATURES))
        name = self.name()
        data, lead = bodysig.instance(rng, tokens)
        if len(data) < 2:
            return
        form = rng.choice(("any", "abs", "eof"))
        for blob in self.hosts("plain", True, name, positive=True):
            bound = rng.choice([b for b in BOUNDARIES if b < blob.size - len(data)])
            start = bound - rng.randint(1, len(data) - 1)
            if blob.fits(start, len(data)):
                break
        else:
            return
        p = start + lead
        shift = rng.choice((0, rng.randint(1, 40)))
        k = rng.randint(0, shift)
        where = {"any": ("any",), "abs": ("abs", p - k, 0, shift), "eof": ("eof", blob.size - p + k, 0, shift)}[form]
        blob.place(start, data, f"{name}: match across {bound} by {offsets.render(where)}")
        self.db.add("ndb", name, f"{name}:0:{offsets.render(where)}:{bodysig.render(tokens)}")
        self._mark(blob, name, True, where[0] == "any")
        mdata, mlead, what = bodysig.miss_instance(rng, tokens)
        other = self.sibling(blob)
        mstart = p - mlead
        if other.fits(mstart, len(mdata)):
            other.place(mstart, mdata, f"{name}: near miss ({what}) across {bound}")
            self._mark(other, name, False, where[0] == "any")

    def ndb_far_parts_case(self):
        """Parts of one signature far apart, on both sides of a chunk
        boundary: *, {n-} or a wide {n-m} between them."""
        rng = self.rng
        kind = rng.choice(("star", "gap_from", "wide"))
        first = bodysig.random_pattern(rng, "plain")
        second = bodysig.random_pattern(rng, rng.choice(bodysig.FIXED_LENGTH_FEATURES))
        gap = {"star": ("gap", 0, None), "gap_from": ("gap", rng.randint(1, 5000), None),
               "wide": ("gap", rng.randint(1, 5000), rng.randint(1_600_000, 3_000_000))}[kind]
        tokens = first + [gap] + second
        name = self.name()
        length = rng.randint(max(gap[1], 300_000), 1_500_000)
        data, lead = bodysig.instance(rng, tokens, gap_lengths={len(first): length})
        for blob in self.hosts("plain", True, name, positive=True):
            start = corpus.MiB - len(first) - rng.randint(0, 200_000)
            if blob.fits(start, len(data)):
                break
        else:
            return
        blob.place(start, data, f"{name}: parts {length} bytes apart across 1 MiB")
        self.db.add("ndb", name, f"{name}:0:*:{bodysig.render(tokens)}")
        self._mark(blob, name, True, True)

    # --- .ldb ------------------------------------------------------------
    def ldb_case(self):
        rng = self.rng
        for _ in range(50):
            count = rng.randint(2, 6)
            tree = logical.random_tree(rng, range(count))
            yes, no = logical.plans(rng, tree, count)
            if yes is not None:
                break
        else:
            return
        sensitive = logical.counted(tree)
        target = rng.choice((0, 0, 1))
        kind = "pe" if target == 1 else rng.choice(("plain", "plain", "pe"))
        host = self.new_blob(kind)
        name = self.name("Win" if target == 1 else None)
        subs = []
        for i in range(count):
            feature = rng.choice(bodysig.FIXED_LENGTH_FEATURES if i in sensitive else bodysig.FEATURES)
            subs.append(bodysig.random_pattern(rng, feature))
        # Now and then a subsignature with modifiers (not a counted one).
        modified = [i for i in range(count) if i not in sensitive and yes[i] <= 1 and (not no or no[i] <= 1)]
        if modified and rng.random() < 0.35:
            subs[rng.choice(modified)] = modifiers.Modified(rng, rng.choice(modifiers.FLAGS))
        # Offsets only where at most one match is ever planted.
        specs = [("any",)] * count
        forms = [f for f in offsets.PLAIN_FORMS + (offsets.PE_FORMS if target == 1 else ()) if f != "any"]
        for i in range(count):
            if max(yes[i], no[i] if no else 0) <= 1 and rng.random() < 0.4 and isinstance(subs[i], list):
                data, lead = bodysig.instance(rng, subs[i])
                got = offsets.choose(rng, rng.choice(forms), host, data, lead)
                if got is not None:
                    specs[i] = got[0]

        with_modifiers = [i for i, t in enumerate(subs) if not isinstance(t, list)]
        tdb, tdb_misses, engine_ok = self._target_block(rng, target, host, modern=bool(with_modifiers))
        usable = engine_ok
        subtexts = [(offsets.render(s) + ":" if s[0] != "any" else "") + _render(t) for s, t in zip(specs, subs)]
        line = f"{name};{tdb};{logical.render(tree)};" + ";".join(subtexts)
        zip_safe = target == 1 or not usable or ("FileSize" not in tdb and all(s[0] == "any" for s in specs))
        if not self._plant_counts(host, name, subs, specs, yes, "match", usable):
            self.blobs.remove(host)
            return
        self.db.add("ldb", name, line, usable)
        self._mark(host, name, usable, zip_safe)

        misses = []
        if no is not None:
            misses.append(("counts", no, host))
        for miss_host in tdb_misses:
            misses.append(("target", yes, miss_host))
        for i, s in enumerate(specs):
            if (s[0] != "any" or i in with_modifiers) and yes[i] == 1:
                without = list(yes)
                without[i] = 0
                if not logical.evaluate(tree, without):
                    misses.append(("offset", (i, yes), host))
        for what, plan, like in misses:
            if rng.random() < 0.6 or len(misses) == 1:
                other = self.sibling(like) if what != "target" else like
                if what == "offset":
                    i, counts = plan
                    ok = self._plant_counts(other, name, subs, specs, counts, "near miss", usable, outside=i)
                else:
                    ok = self._plant_counts(other, name, subs, specs, plan, f"near miss ({what})", usable)
                if ok:
                    self._mark(other, name, False, zip_safe)
                else:
                    # A fresh file with part of the material would test nothing.
                    self.blobs.remove(other)

    def _plant_counts(self, blob, name, subs, specs, counts, what, usable, outside=None):
        """Plants counts[i] matches of each subsignature; with `outside`, that
        one misses: placed off its offset, or by its modifiers' rule."""
        rng = self.rng
        for i, n in enumerate(counts):
            for _ in range(n):
                note = f"{name}: subsignature {i} ({what}, {'used' if usable else 'not used'})"
                off = outside == i
                if isinstance(subs[i], list):
                    data, lead = bodysig.instance(rng, subs[i])
                elif off:
                    data, lead, how = subs[i].miss(rng)
                    note += f" missing by {how}"
                    off = False
                else:
                    data, lead = subs[i].instance(rng)
                if offsets.place(rng, blob, specs[i], data, lead, note, outside=off) is None:
                    return False
        blob.notes.append(f"{name}: {what} counts {counts}")
        return True

    def _target_block(self, rng, target, host, modern=False):
        """The target description block, files that miss it by one
        condition, and whether the engine level allows the signature.
        `modern`: subsignature modifiers need engine level 81 on."""
        parts, misses = [], []
        engine_ok = True
        r = rng.random()
        if modern:
            parts.append(f"Engine:{rng.choice((81, 90))}-255")
        elif r < 0.25:
            parts.append(f"Engine:{rng.choice((51, 81, 90))}-255")
        elif r < 0.3:
            parts.append(f"Engine:{rng.randint(230, 250)}-255")
            engine_ok = False
        parts.append(f"Target:{target}")
        if rng.random() < 0.4:
            lo = max(1, host.size - rng.choice((0, rng.randint(1, 3000))))
            hi = host.size + rng.choice((0, rng.randint(1, 3000)))
            parts.append(f"FileSize:{lo}-{hi}")
            if host.kind == "plain":
                size = rng.choice([s for s in (lo - 1, hi + 1, hi + rng.randint(2, 900)) if s > 16])
                misses.append(self.sibling(host, size=size))
            else:
                L = host.layout
                overlay = L.overlay + (hi - host.size) + rng.randint(1, 600)
                misses.append(self.sibling(host, pebuild.Layout(L.raw_sizes, L.ep_section, L.ep_delta, overlay, L.skews)))
        if target == 1 and rng.random() < 0.35:
            ep = host.layout.ep_offset
            lo, hi = ep - rng.choice((0, rng.randint(1, 200))), ep + rng.choice((0, rng.randint(1, 200)))
            parts.append(f"EntryPoint:{max(0, lo)}-{hi}")
            L = host.layout
            s = L.sections[L.ep_section]
            outside = [d for d in range(s.raw_size) if not lo <= s.raw_offset + d <= hi]
            if outside:
                delta = rng.choice(outside)
                misses.append(self.sibling(host, pebuild.Layout(L.raw_sizes, L.ep_section, delta, L.overlay, L.skews)))
        if target == 1 and rng.random() < 0.35:
            n = len(host.layout.sections)
            lo, hi = n - rng.randint(0, 1), n + rng.randint(0, 1)
            parts.append(f"NumberOfSections:{max(1, lo)}-{hi}")
            L = host.layout
            extra = L.raw_sizes + [pebuild.FILE_ALIGN * rng.randint(1, 4)] * (hi + 1 - n)
            misses.append(self.sibling(host, pebuild.Layout(extra, L.ep_section, L.ep_delta, L.overlay, L.skews + [0] * (len(extra) - len(L.raw_sizes)))))
        # Conditions beyond the target need an engine range, first.
        if len(parts) > 1 and not parts[0].startswith("Engine:"):
            parts.insert(0, f"Engine:{rng.choice((51, 81, 90))}-255")
        return ",".join(parts), misses, engine_ok

    def ldb_skipped_case(self):
        """A logical signature with a regular-expression or byte-compare
        subsignature: never used, though its other subsignature is there."""
        rng = self.rng
        name = self.name()
        tokens = bodysig.random_pattern(rng, rng.choice(bodysig.FEATURES))
        target = 0
        choice = rng.randrange(3)
        if choice == 0:
            extra = f"0/qdx{rng.randint(0, 10**9)}never[0-9]{{8}}/"
        elif choice == 1:
            # Four exact hex digits: random data never holds them by chance.
            extra = f"0(>>{rng.randint(0, 8)}#hbe4#={rng.randint(4096, 65535)})"
        else:
            # In a program's version information: not matched by our scanner.
            extra = "VI:" + bytes(f"QdxVersion{rng.randint(0, 10**9)}", "ascii").hex()
            target = 1
        line = f"{name};Engine:81-255,Target:{target};0&1;{bodysig.render(tokens)};{extra}"
        data, lead = bodysig.instance(rng, tokens)
        for blob in self.hosts("plain", False, name):
            if blob.place_anywhere(data, note=f"{name}: first subsignature of a skipped signature") is not None:
                self.db.add("ldb", name, line, False)
                self._mark(blob, name, False, True)
                return

    # --- hashes, allow lists, ignores ---------------------------------------
    def hash_cases(self, count):
        rng = self.rng
        subjects = rng.sample(self.blobs, min(count, len(self.blobs)))
        # Files larger than a chunk, hashed as a whole and by section, always.
        big = [b for b in self.blobs if b.big and b not in subjects]
        subjects += rng.sample(big, min(2, len(big)))
        for blob in subjects:
            kinds = ["hdb", "hdb", "hsb1", "hsb256", "hsbany", "size_off"]
            if blob.kind == "pe":
                kinds += ["mdb", "mdb", "msb1", "msb256", "msbany", "msize_off"]
                if blob.big:
                    kinds = ["mdb", "msb256"]
            kind = rng.choice(kinds)
            name = self.name("Win" if kind.startswith("m") else None)
            data = blob.content()
            section = None
            if kind.startswith("m"):
                sizes = [s.raw_size for s in blob.layout.sections]
                section = sizes.index(max(sizes)) if blob.big else rng.randrange(len(sizes))
                data = blob.section(section)
            h = corpus.hashes(data)
            size = len(data)
            if kind in ("hdb", "size_off"):
                field = size + rng.choice((1, -1)) if kind == "size_off" else size
                self.db.add("hdb", name, f"{h['md5']}:{field}:{name}")
                self.hash_sigs.append(("md5", h["md5"], field, name, None))
            elif kind.startswith("hsb"):
                algo = {"hsb1": "sha1", "hsb256": "sha256", "hsbany": rng.choice(("sha1", "sha256"))}[kind]
                if kind == "hsbany":
                    self.db.add("hsb", name, f"{h[algo]}:*:{name}:73")
                    self.hash_sigs.append((algo, h[algo], None, name, None))
                else:
                    self.db.add("hsb", name, f"{h[algo]}:{size}:{name}")
                    self.hash_sigs.append((algo, h[algo], size, name, None))
            elif kind in ("mdb", "msize_off"):
                off = rng.choice((1, -1)) if size > pebuild.FILE_ALIGN else 1
                field = size + off * pebuild.FILE_ALIGN if kind == "msize_off" else size
                self.db.add("mdb", name, f"{field}:{h['md5']}:{name}")
                self.hash_sigs.append(("md5", h["md5"], field, name, "section"))
            else:
                algo = {"msb1": "sha1", "msb256": "sha256", "msbany": rng.choice(("sha1", "sha256"))}[kind]
                if kind == "msbany":
                    self.db.add("msb", name, f"*:{h[algo]}:{name}:73")
                    self.hash_sigs.append((algo, h[algo], None, name, "section"))
                else:
                    self.db.add("msb", name, f"{size}:{h[algo]}:{name}")
                    self.hash_sigs.append((algo, h[algo], size, name, "section"))
            if rng.random() < 0.4:
                twin = blob.twin(rng, inside=section)
                if twin is not None:
                    self.blobs.append(twin)
            blob.notes.append(f"{name}: {kind} of {'section %d' % section if section is not None else 'the file'}")

    def hash_matches(self, blob):
        data = blob.content()
        whole = corpus.hashes(data)
        sections = []
        if blob.layout:
            sections = [(len(blob.section(i)), corpus.hashes(blob.section(i)))
                        for i in range(len(blob.layout.sections))]
        found = set()
        for algo, digest, size, name, part in self.hash_sigs:
            if part is None:
                if whole[algo] == digest and size in (None, len(data)):
                    found.add(name)
            else:
                if any(h[algo] == digest and size in (None, n) for n, h in sections):
                    found.add(name)
        return found

    def allowlist_cases(self, count):
        rng = self.rng
        detected = [b for b in self.blobs if self._detections(b, allow=False)]
        for blob in rng.sample(detected, min(count, len(detected))):
            data = blob.content()
            h = corpus.hashes(data)
            algo = rng.choice(("md5", "md5", "sha1", "sha256"))
            wrong = rng.random() < 0.25
            size = len(data) + (1 if wrong else 0)
            ext = "fp" if algo == "md5" else "sfp"
            self.serial += 1
            self.db.lines[ext].append(f"{h[algo]}:{size}:Qdx.Allowed.{self.serial}")
            if not wrong:
                self.allow.append((algo, h[algo], size))
                # clamscan also reads an archive's bytes as they are, where an
                # allow-listed member's content is not allow-listed.
                blob.zip_safe = False
            blob.notes.append(f"allow-listed by {ext}" + (" with the wrong size" if wrong else ""))

    def ignore_cases(self, count):
        rng = self.rng
        names = sorted(n for n, ok in self.db.usable.items() if ok)
        for name in rng.sample(names, min(count, len(names))):
            self.ignored.add(name)
            self.db.lines["ign2"].append(name)

    def allowed(self, blob):
        data = blob.content()
        h = corpus.hashes(data)
        return any(h[algo] == digest and size == len(data) for algo, digest, size in self.allow)

    def _detections(self, blob, allow=True):
        if allow and self.allowed(blob):
            return set()
        names = {n for n in blob.positives if self.db.usable.get(n)} | self.hash_matches(blob)
        return {n for n in names if n not in self.ignored}

    def expected(self, blob):
        return self._detections(blob)


def _render(sub):
    return bodysig.render(sub) if isinstance(sub, list) else sub.render()
