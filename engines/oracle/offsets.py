"""Offsets of body signatures: where in a given file each form allows a
match to start, and picking a form's numbers so that a chosen spot in a
file is allowed.

An offset ("where") is a tuple (form, n, x, shift):
    ("any",)             *
    ("abs", n, _, s)     n       n,s
    ("eof", n, _, s)     EOF-n   EOF-n,s
    ("ep+", n, _, s)     EP+n    EP+n,s      (PE files only)
    ("ep-", n, _, s)     EP-n    EP-n,s
    ("sec", n, x, s)     Sx+n    Sx+n,s
    ("se", _, x, _)      SEx     (the match lies inside section x)
    ("sl", n, _, s)      SL+n    SL+n,s
"""

PLAIN_FORMS = ("any", "abs", "eof")
PE_FORMS = ("ep+", "ep-", "sec", "se", "sl")


def render(where):
    form = where[0]
    if form == "any":
        return "*"
    n, x, shift = where[1], where[2], where[3]
    text = {"abs": f"{n}", "eof": f"EOF-{n}", "ep+": f"EP+{n}", "ep-": f"EP-{n}", "sec": f"S{x}+{n}",
            "se": f"SE{x}", "sl": f"SL+{n}"}[form]
    if shift and form != "se":
        text += f",{shift}"
    return text


def window(where, blob):
    """(first, last) allowed start of the match in `blob`, or None where
    the form does not apply (PE forms in a plain file, a missing section)."""
    form = where[0]
    if form == "any":
        return 0, blob.size
    n, x, shift = where[1], where[2], where[3] or 0
    layout = blob.layout
    if form == "abs":
        base = n
    elif form == "eof":
        base = blob.size - n
    else:
        if layout is None:
            return None
        if form == "ep+":
            base = layout.ep_offset + n
        elif form == "ep-":
            base = layout.ep_offset - n
        elif form in ("sec", "se"):
            if x >= len(layout.sections):
                return None
            s = layout.sections[x]
            if form == "se":
                return s.raw_offset, s.raw_end
            base = s.raw_offset + n
        elif form == "sl":
            base = layout.last.raw_offset + n
        else:
            raise ValueError(form)
    if base < 0:
        # An offset before the start of the file never matches, however
        # far its shift reaches.
        return None
    return base, base + shift


def place(rng, blob, where, data, lead, note, outside=False, tries=40):
    """Places an instance so that its match starts inside the window of `where`
    (or, with `outside`, just before or after it). Returns the start of the
    match or None when the blob has no room there."""
    w = window(where, blob)
    if w is None:
        return None
    first, last = w
    if where[0] == "se":
        s = blob.layout.sections[where[2]]
        if outside:
            others = [o for i, o in enumerate(blob.layout.sections) if i != where[2]]
            rng.shuffle(others)
            for o in others:
                at = blob.place_anywhere(data, lo=o.raw_offset, hi=o.raw_end - len(data), note=note)
                if at is not None:
                    return at + lead
            return None
        at = blob.place_anywhere(data, lo=max(s.raw_offset, first - lead), hi=s.raw_end - len(data), note=note)
        return None if at is None else at + lead
    if where[0] == "any":
        at = blob.place_anywhere(data, note=note)
        return None if at is None else at + lead
    if outside:
        points = [p for p in (first - 1, last + 1) if p - lead >= 0]
        rng.shuffle(points)
    else:
        points = [rng.randint(first, last) for _ in range(tries)] + [first, last]
    for p in points:
        if blob.fits(p - lead, len(data)):
            blob.place(p - lead, data, note)
            return p
    return None


def choose(rng, form, blob, data, lead, shift_ok=True):
    """An offset of `form` whose window in `blob` holds a free spot for the
    instance, and the match start chosen there; None when there is none."""
    shift = rng.choice((0, 0, rng.randint(1, 64))) if shift_ok else 0
    layout = blob.layout
    for _ in range(30):
        if form == "any":
            return ("any",), None
        if form == "se":
            if layout is None:
                return None
            x = rng.randrange(len(layout.sections))
            if layout.sections[x].raw_size >= len(data) + 8:
                return ("se", 0, x, 0), None
            continue
        # A free spot for the match start, then the numbers that allow it.
        start = _free_spot(rng, blob, len(data))
        if start is None:
            return None
        p = start + lead
        k = rng.randint(0, shift)
        if form == "abs":
            n = p - k
            where = ("abs", n, 0, shift)
        elif form == "eof":
            where = ("eof", blob.size - p + k, 0, shift)
        elif layout is None:
            return None
        elif form == "ep+":
            where = ("ep+", p - k - layout.ep_offset, 0, shift)
        elif form == "ep-":
            where = ("ep-", layout.ep_offset - p + k, 0, shift)
        elif form == "sec":
            x = next((i for i, s in enumerate(layout.sections) if s.raw_offset <= p < s.raw_end), None)
            if x is None:
                continue
            where = ("sec", p - k - layout.sections[x].raw_offset, x, shift)
        elif form == "sl":
            where = ("sl", p - k - layout.last.raw_offset, 0, shift)
        else:
            raise ValueError(form)
        if where[1] < (1 if form == "ep-" else 0) or window(where, blob) is None:
            continue
        return where, p
    return None


def _free_spot(rng, blob, length):
    spots = [(a, b - length) for a, b in blob.free if b - length >= a]
    if not spots:
        return None
    a, b = rng.choices(spots, [b - a + 1 for a, b in spots])[0]
    return rng.randint(a, b)
