"""Comparing detections: sets of (file, name) pairs, and the report of
every difference with the signature's definition and what was planted in
the file."""
import shutil


def files_of(pairs):
    return {f for f, _ in pairs}


class Verdict:
    def __init__(self, title):
        self.title = title
        self.problems = []      # lines of the report

    @property
    def ok(self):
        return not self.problems

    def add(self, line):
        self.problems.append(line)


def _explain(manifest, pair):
    path, name = pair
    lines = []
    for where, line in manifest["definitions"].get(name, []):
        lines.append(f"      defined in {where}: {line}")
    if not manifest["definitions"].get(name):
        lines.append("      (no signature of that name in the generated database)")
    for note in manifest["notes"].get(path, []):
        if name in note:
            lines.append(f"      planted: {note}")
    return lines


def same_pairs(title, manifest, reference, ref_label, other, other_label):
    """Every (file, name) pair found by both or by neither."""
    v = Verdict(title)
    for pair in sorted(reference - other):
        v.add(f"  only {ref_label}: {pair[0]}: {pair[1]}")
        v.problems += _explain(manifest, pair)
    for pair in sorted(other - reference):
        v.add(f"  only {other_label}: {pair[0]}: {pair[1]}")
        v.problems += _explain(manifest, pair)
    return v


def first_matches(title, manifest, all_pairs, ref_label, first, label):
    """A scanner that reports one detection per file (or per archive member)
    finds the same files, each under a name that really matches it."""
    v = Verdict(title)
    for f in sorted(files_of(all_pairs) - files_of(first)):
        names = sorted(n for g, n in all_pairs if g == f)
        v.add(f"  {label} finds nothing in {f}; {ref_label} finds {', '.join(names)}")
        for n in names:
            v.problems += _explain(manifest, (f, n))
    for pair in sorted(first - all_pairs):
        v.add(f"  only {label}: {pair[0]}: {pair[1]}")
        v.problems += _explain(manifest, pair)
    return v


def report(files, clam, ours, verdicts, work, keep):
    """Prints the verdicts; removes the work folder when all hold (and it is
    not to be kept), names it otherwise. The exit code: 0 when all hold."""
    print(f"{files} files, {len(clam.pairs)} detections by clamscan, {len(ours.pairs)} by qdx-scan")
    for v in verdicts:
        print(f"  {'ok  ' if v.ok else 'FAIL'} {v.title}")
        for line in v.problems[:60]:
            print("  " + line)
    ok = all(v.ok for v in verdicts)
    if ok and not keep:
        shutil.rmtree(work, ignore_errors=True)
    elif not ok:
        print(f"  files kept in {work}")
    return 0 if ok else 1
