"""Logical expressions of .ldb signatures: random trees over subsignature
indexes, their text, and their value for given match counts.

Nodes:
    ("leaf", i, mod)          i  or  i=X, i>X, i<X
    ("block", [i...], mod)    (i|j|k)  with  =X,Y  >X,Y  <X,Y  (Y optional)
    ("and", [nodes])          (A&B&...)
    ("or", [nodes])           (A|B|...)
mod is None or (op, X, Y); Y is None for leaves.
"""


def render(node, top=True):
    kind = node[0]
    if kind == "leaf":
        return f"{node[1]}" + _mod(node[2], True)
    if kind == "block":
        return "(" + "|".join(str(i) for i in node[1]) + ")" + _mod(node[2], False)
    inner = ("&" if kind == "and" else "|").join(render(c, top=False) for c in node[1])
    return inner if top else "(" + inner + ")"


def _mod(mod, leaf):
    if mod is None:
        return ""
    op, x, y = mod
    # Forms the databases hold and the scanners read as the plain ones:
    # "==" for "=" after a subsignature, a trailing comma for no second
    # figure after a block's condition or a subsignature's "=".
    comma = y is None and x % 3 == 1 and (not leaf or op == "=")
    if op == "=" and leaf and x % 2:
        op = "=="
    return f"{op}{x}" + ("," if comma else "" if y is None else f",{y}")


def _holds(op, value, x):
    return value == x if op == "=" else value > x if op == ">" else value < x


def evaluate(node, counts):
    kind = node[0]
    if kind == "leaf":
        n = counts[node[1]]
        return n > 0 if node[2] is None else _holds(node[2][0], n, node[2][1])
    if kind == "block":
        total = sum(counts[i] for i in node[1])
        if node[2] is None:
            return total > 0
        op, x, y = node[2]
        distinct = sum(1 for i in node[1] if counts[i] > 0)
        return _holds(op, total, x) and (y is None or distinct >= y)
    values = [evaluate(c, counts) for c in node[1]]
    return all(values) if kind == "and" else any(values)


def counted(node):
    """Indexes whose exact number of matches matters."""
    kind = node[0]
    if kind == "leaf":
        return {node[1]} if node[2] is not None else set()
    if kind == "block":
        return set(node[1]) if node[2] is not None else set()
    out = set()
    for c in node[1]:
        out |= counted(c)
    return out


def random_tree(rng, indexes):
    indexes = list(indexes)
    if len(indexes) == 1:
        return _leaf(rng, indexes[0])
    if len(indexes) >= 2 and rng.random() < 0.25:
        k = rng.randint(2, len(indexes))
        block_ix, rest = indexes[:k], indexes[k:]
        block = ("block", block_ix, _block_mod(rng, len(block_ix)))
        if not rest:
            return block
        return (rng.choice(("and", "or")), [block, random_tree(rng, rest)])
    cut = rng.randint(1, len(indexes) - 1)
    left, right = indexes[:cut], indexes[cut:]
    return (rng.choice(("and", "and", "or")), [random_tree(rng, left), random_tree(rng, right)])


def _leaf(rng, i):
    r = rng.random()
    if r < 0.55:
        return ("leaf", i, None)
    if r < 0.7:
        return ("leaf", i, ("=", rng.randint(0, 3), None))
    if r < 0.85:
        return ("leaf", i, (">", rng.randint(0, 2), None))
    return ("leaf", i, ("<", rng.randint(1, 3), None))


def _block_mod(rng, size):
    if rng.random() < 0.3:
        return None
    op = rng.choice(("=", ">", "<"))
    x = rng.randint(1, 4) if op != ">" else rng.randint(0, 3)
    y = rng.choice((None, rng.randint(1, size)))
    return (op, x, y)


def plans(rng, tree, size, tries=400):
    """Match counts (one per subsignature) that satisfy the tree, and a
    neighbour (one count one off) that does not; either may be None."""
    sensitive = counted(tree)
    top = {i: (4 if i in sensitive else 1) for i in range(size)}
    if evaluate(tree, [0] * size):
        return None, None
    for _ in range(tries):
        yes = [rng.choice((0, 0, 1, 1, 2, 3, 4))if top[i] > 1 else rng.randint(0, 1) for i in range(size)]
        yes = [min(c, top[i]) for i, c in enumerate(yes)]
        if evaluate(tree, yes):
            break
    else:
        return None, None
    order = list(range(size))
    rng.shuffle(order)
    for i in order:
        for delta in rng.sample((1, -1), 2):
            no = list(yes)
            no[i] += delta
            if 0 <= no[i] <= top[i] and not evaluate(tree, no):
                return yes, no
    return yes, None
