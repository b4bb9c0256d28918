"""Logical subsignatures with modifiers: ::i (either case), ::w (wide: a
zero byte after each byte), ::wa (wide or not), ::f (a whole word,
delimited by bytes that are no letter or digit), and ::fi.

Their fixed bytes are letters and digits, so that case and word bounds
mean something; random data around them cannot make a match.
"""
FLAGS = ("i", "w", "wa", "f", "fi")
LETTERS = b"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
ALNUM = LETTERS + b"0123456789"
NOT_ALNUM = bytes(v for v in range(256) if v not in ALNUM)


def _wide(data):
    return b"".join(bytes([c, 0]) for c in data)


def _other_letter(rng, c):
    """A letter that differs from c in either case."""
    return rng.choice([x for x in LETTERS if chr(x).lower() != chr(c).lower()])


class Modified:
    def __init__(self, rng, flags):
        self.flags = flags
        # Letters only where case matters; at least one letter in any case.
        pool = LETTERS if "i" in flags else ALNUM
        self.word = bytes(rng.choice(pool) for _ in range(rng.randint(6, 12)))
        if not any(c in LETTERS for c in self.word):
            self.word = b"q" + self.word[1:]

    def render(self):
        return self.word.hex() + "::" + self.flags

    def _form(self, rng, word):
        if "i" in self.flags:
            word = bytes(c ^ 0x20 if c in LETTERS and rng.random() < 0.5 else c for c in word)
        if self.flags == "w" or (self.flags == "wa" and rng.random() < 0.5):
            word = _wide(word)
        if "f" in self.flags:
            return bytes([rng.choice(NOT_ALNUM)]) + word + bytes([rng.choice(NOT_ALNUM)]), 1
        return word, 0

    def instance(self, rng):
        return self._form(rng, self.word)

    def miss(self, rng):
        """Bytes that miss by the modifier's own rule; (bytes, lead, what)."""
        if self.flags == "w":
            return self.word, 0, "not wide"
        if "f" in self.flags and rng.random() < 0.7:
            data, lead = self._form(rng, self.word)
            glued = bytearray(data)
            glued[0 if rng.random() < 0.5 else -1] = rng.choice(ALNUM)
            return bytes(glued), lead, "a letter or digit next to the word"
        k = rng.choice([i for i, c in enumerate(self.word) if c in LETTERS])
        word = bytearray(self.word)
        word[k] = _other_letter(rng, word[k])
        data, lead = self._form(rng, bytes(word))
        return data, lead, f"letter {k} changed"
