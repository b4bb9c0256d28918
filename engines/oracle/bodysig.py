"""Body patterns in ClamAV's hex format: random patterns, their text, bytes
that match them and bytes that miss them by one detail.

A pattern is a list of tokens:
    ("b", v)          one fixed byte                      aa
    ("?",)            any byte                            ??
    ("hi", n)         byte whose high nibble is n         a?
    ("lo", n)         byte whose low nibble is n          ?a
    ("alt", vs)       one of the bytes vs                 (aa|bb)
    ("nalt", vs)      any byte but those of vs            !(aa|bb)
    ("skip", n)       exactly n bytes, n < 128             {n}
    ("gap", lo, hi)   lo..hi bytes, hi None for no limit  * {-n} {n-} {n-m} {n}
    ("anchor", x, y)  x..y bytes between a single byte at a part's edge and
                      at least two fixed bytes            [x-y]
A "gap" splits the pattern into parts; a gap runs from the fixed bytes of
one part to those of the next, bytes bound to them by [x-y] lie inside it
and do not count. Every part holds at least
MIN_FIXED fixed bytes (ClamAV needs two in a row; more keep chance matches
in random data out of the picture).
"""

MIN_FIXED = 6
MIN_RUN = 3

# Features a pattern can be built around, so that every run covers each.
FEATURES = ("plain", "any", "hi", "lo", "alt", "nalt", "skip", "star", "gap_upto", "gap_from",
            "gap_range", "gap_exact", "anchor_head", "anchor_tail", "anchor_parts")
# Patterns whose every occurrence has the same length (counted exactly in
# logical signatures).
FIXED_LENGTH_FEATURES = ("plain", "any", "hi", "lo", "alt", "nalt", "skip")


def render(tokens):
    out = []
    for t in tokens:
        kind = t[0]
        if kind == "b":
            out.append(f"{t[1]:02x}")
        elif kind == "?":
            out.append("??")
        elif kind == "hi":
            out.append(f"{t[1]:x}?")
        elif kind == "lo":
            out.append(f"?{t[1]:x}")
        elif kind == "alt":
            out.append("(" + "|".join(f"{v:02x}" for v in t[1]) + ")")
        elif kind == "nalt":
            out.append("!(" + "|".join(f"{v:02x}" for v in t[1]) + ")")
        elif kind == "skip":
            out.append(f"{{{t[1]}}}")
        elif kind == "gap":
            lo, hi = t[1], t[2]
            if lo == 0 and hi is None:
                out.append("*")
            elif hi is None:
                out.append(f"{{{lo}-}}")
            elif lo == 0:
                out.append(f"{{-{hi}}}")
            elif lo == hi:
                out.append(f"{{{lo}}}")
            else:
                out.append(f"{{{lo}-{hi}}}")
        elif kind == "anchor":
            out.append(f"[{t[1]}-{t[2]}]")
        else:
            raise ValueError(kind)
    return "".join(out)


def is_fixed_length(tokens):
    return all(t[0] not in ("gap", "anchor") for t in tokens)


def fixed_bytes(tokens):
    return sum(1 for t in tokens if t[0] == "b")


# --- random patterns -------------------------------------------------------

def _static_run(rng, n):
    return [("b", rng.randrange(256)) for _ in range(n)]


def _single(rng, kind):
    if kind == "?":
        return ("?",)
    if kind in ("hi", "lo"):
        return (kind, rng.randrange(16))
    if kind in ("alt", "nalt"):
        # A negation may name a single byte: "!(aa)".
        return (kind, tuple(sorted(rng.sample(range(256), rng.randint(1 if kind == "nalt" else 2, 4)))))
    if kind == "skip":
        return ("skip", rng.randint(1, 40))
    raise ValueError(kind)


def _part(rng, extras, lead_ok=True, skips=True):
    """One part: a run of fixed bytes plus single-byte wildcards around it."""
    run = _static_run(rng, rng.randint(MIN_RUN + 1, 8))
    tokens = list(run)
    wild = list(extras)
    for _ in range(rng.randint(0, 2)):
        wild.append(rng.choice(("?", "hi", "lo", "alt", "nalt") + (("skip",) if skips else ())))
    for kind in wild:
        tok = _single(rng, kind)
        # Wildcards go inside or after the run; at the very front only when
        # the caller allows it (ClamAV places such parts by a later anchor).
        lo = 0 if lead_ok and rng.random() < 0.2 else 1
        tokens.insert(rng.randint(lo, len(tokens)), tok)
    while fixed_bytes(tokens) < MIN_FIXED:
        tokens.insert(rng.randint(1, len(tokens)), ("b", rng.randrange(256)))
    # Never two fixed-size skips side by side, never a skip at an edge.
    for i, t in enumerate(tokens):
        if t[0] == "skip" and (i == 0 or i == len(tokens) - 1 or tokens[i - 1][0] == "skip"):
            tokens[i] = ("?",)
    return tokens


def _gap(rng, feature):
    if feature == "star":
        return ("gap", 0, None)
    if feature == "gap_upto":
        return ("gap", 0, rng.randint(1, 60))
    if feature == "gap_from":
        return ("gap", rng.randint(1, 40), None)
    if feature == "gap_range":
        lo = rng.randint(1, 40)
        return ("gap", lo, lo + rng.randint(1, 60))
    if feature == "gap_exact":
        # From 128 on, {n} splits the pattern; below, it is a "skip".
        n = rng.randint(128, 400)
        return ("gap", n, n)
    raise ValueError(feature)


def _segments(tokens):
    """Index ranges between skips and gaps (anchors and their single byte
    excluded)."""
    start = 0
    edges = [i for i, t in enumerate(tokens) if t[0] in ("skip", "gap")] + [len(tokens)]
    for end in edges:
        yield start, end
        start = end + 1


def _has_pair(tokens, start, end):
    return any(tokens[i][0] == "b" and tokens[i + 1][0] == "b" for i in range(start, end - 1))


def _give_pairs(rng, tokens):
    """ClamAV wants two fixed bytes in a row between any two of {..} and *."""
    anchored = [i for i, t in enumerate(tokens) if t[0] == "anchor"]
    if anchored:
        return tokens
    for start, end in list(_segments(tokens)):
        if not _has_pair(tokens, start, end):
            fixed = [i for i in range(start, end) if tokens[i][0] == "b"]
            at = fixed[0] + 1 if fixed else start
            new = [("b", rng.randrange(256)) for _ in range(1 if fixed else 2)]
            return _give_pairs(rng, tokens[:at] + new + tokens[at:])
    return tokens


def random_pattern(rng, feature, parts=None):
    """A pattern built around `feature` (one of FEATURES), with a few other
    wildcards at random."""
    return _give_pairs(rng, _random_pattern(rng, feature, parts))


def _random_pattern(rng, feature, parts):
    singles = {"any": "?", "hi": "hi", "lo": "lo", "alt": "alt", "nalt": "nalt", "skip": "skip"}
    if feature in ("plain",):
        return _static_run(rng, rng.randint(MIN_FIXED, 16))
    if feature in singles:
        return _part(rng, [singles[feature]])
    if feature in ("star", "gap_upto", "gap_from", "gap_range", "gap_exact"):
        count = parts or rng.randint(2, 3)
        tokens = _part(rng, [], lead_ok=False)
        for _ in range(count - 1):
            tokens.append(_gap(rng, feature))
            tokens += _part(rng, [], lead_ok=False)
        return tokens
    # Anchored patterns stay short and without {n}: clamscan misses them when
    # the fixed bytes it looks for lie some 30 bytes into the pattern.
    if feature == "anchor_head":
        x = rng.randint(0, 8)
        body = _part(rng, [], lead_ok=False, skips=False)
        while body[1][0] != "b":
            body.insert(1, ("b", rng.randrange(256)))
        return [("b", rng.randrange(256)), ("anchor", x, x + rng.randint(1, 8))] + body
    if feature == "anchor_tail":
        x = rng.randint(0, 8)
        body = _part(rng, [], lead_ok=False, skips=False)
        while body[-1][0] != "b" or body[-2][0] != "b":
            body.append(("b", rng.randrange(256)))
        return body + [("anchor", x, x + rng.randint(1, 8)), ("b", rng.randrange(256))]
    if feature == "anchor_parts":
        # Two parts, a byte bound to the end of the first, to the start of
        # the second or both, inside a gap wide enough for them and a miss.
        lo = rng.randint(48, 64)
        gap = rng.choice((("gap", 0, None), ("gap", lo, None), ("gap", lo, lo + rng.randint(1, 40))))
        first, second = _random_pattern(rng, "anchor_tail", None), _random_pattern(rng, "anchor_head", None)
        side = rng.choice(("tail", "head", "both"))
        if side == "head":
            first = first[:-2]
        elif side == "tail":
            second = second[2:]
        return first + [gap] + second
    raise ValueError(feature)


# --- bytes for a pattern -----------------------------------------------------

def _match_byte(rng, t):
    kind = t[0]
    if kind == "b":
        return bytes([t[1]])
    if kind == "?":
        return bytes([rng.randrange(256)])
    if kind == "hi":
        return bytes([(t[1] << 4) | rng.randrange(16)])
    if kind == "lo":
        return bytes([(rng.randrange(16) << 4) | t[1]])
    if kind == "alt":
        return bytes([rng.choice(t[1])])
    if kind == "nalt":
        return bytes([rng.choice([v for v in range(256) if v not in t[1]])])
    raise ValueError(kind)


def _miss_byte(rng, t):
    kind = t[0]
    if kind == "b":
        return bytes([rng.choice([v for v in range(256) if v != t[1]])])
    if kind == "hi":
        return bytes([(rng.choice([n for n in range(16) if n != t[1]]) << 4) | rng.randrange(16)])
    if kind == "lo":
        return bytes([(rng.randrange(16) << 4) | rng.choice([n for n in range(16) if n != t[1]])])
    if kind == "alt":
        return bytes([rng.choice([v for v in range(256) if v not in t[1]])])
    if kind == "nalt":
        return bytes([rng.choice(t[1])])
    raise ValueError(kind)


def _filler(rng, n, avoid=None):
    if avoid is None:
        return rng.randbytes(n)
    return bytes(rng.choice([v for v in range(256) if v != avoid]) for _ in range(n))


def _bound_index(tokens, i):
    """Where the single byte lies that the anchor tokens[i] binds: before it
    at the start of a part, after it at the end of one."""
    return i - 1 if i == 1 or tokens[i - 2][0] == "gap" else i + 1


def _anchor_byte(tokens, i):
    return tokens[_bound_index(tokens, i)][1]


def breakable(tokens):
    """Indexes of tokens that can be made to miss."""
    out = []
    for i, t in enumerate(tokens):
        if t[0] in ("b", "hi", "lo", "alt", "nalt"):
            out.append(i)
        elif t[0] == "gap" and (t[1] > 0 or t[2] is not None):
            out.append(i)
        elif t[0] == "anchor":
            out.append(i)
    return out


def instance(rng, tokens, gap_lengths=None, miss=None):
    """Bytes matching `tokens`, and how many of them come before the point
    an offset refers to (ClamAV counts a head anchor's offset from the fixed
    bytes after it, not from its single byte). With `miss` (a token index)
    the bytes miss at exactly that token. `gap_lengths` maps token indexes
    of gaps to the length to use there."""
    out = bytearray()
    lead = 0
    gap_lengths = gap_lengths or {}
    # Each anchor's distance first: a gap next to a bound byte holds it.
    distance = {}
    for i, t in enumerate(tokens):
        if t[0] == "anchor":
            x, y = t[1], t[2]
            if miss == _bound_index(tokens, i):
                # The bound byte itself misses: fill its whole window, so
                # that no byte around the instance can stand in for it.
                distance[i] = y
            elif i == miss:
                # Only "too far" misses: a nearer one would leave the byte's
                # window over data outside the instance.
                distance[i] = y + 1 + rng.randint(0, 3)
            else:
                distance[i] = rng.randint(x, y)
    for i, t in enumerate(tokens):
        kind = t[0]
        if kind in ("b", "?", "hi", "lo", "alt", "nalt"):
            out += _miss_byte(rng, t) if i == miss else _match_byte(rng, t)
        elif kind == "skip":
            out += _filler(rng, t[1])
        elif kind == "gap":
            lo, hi = t[1], t[2]
            held = sum(distance[k] + 1 for k in (i - 2, i + 2) if k in distance)
            if i == miss:
                n = lo - 1 if (hi is None or (lo > 0 and rng.random() < 0.5)) else hi + 1
            elif i in gap_lengths:
                n = gap_lengths[i]
                assert lo <= n and (hi is None or n <= hi)
            else:
                least = max(lo, held)
                n = rng.randint(least, least + 24 if hi is None else hi)
            assert n >= held
            out += _filler(rng, n - held)
        elif kind == "anchor":
            out += _filler(rng, distance[i], avoid=_anchor_byte(tokens, i))
            if i == 1:
                lead = len(out)
        else:
            raise ValueError(kind)
    return bytes(out), lead


def miss_instance(rng, tokens):
    """Bytes that miss `tokens` by one detail; returns (bytes, lead, what)."""
    i = rng.choice(breakable(tokens))
    data, lead = instance(rng, tokens, miss=i)
    return data, lead, f"token {i} {render([tokens[i]])}"
