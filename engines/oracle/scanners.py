"""Runs the scanners on a corpus and gives their detections as a set of
(file, name) pairs, the file relative to the corpus.

Only format is normalised: clamscan appends ".UNOFFICIAL" to names from
unsigned databases; detections inside an archive count for the archive.
"""
import os
import shutil
import subprocess
import tempfile

UNOFFICIAL = ".UNOFFICIAL"
# Large enough that neither scanner skips any file for its size.
LIMITS = ["--max-filesize=4000M", "--max-scansize=4000M", "--max-files=100000",
          "--max-recursion=64", "--max-embeddedpe=4000M"]


class Run:
    def __init__(self, pairs, errors, raw, code=0, stderr=""):
        self.pairs = pairs        # {(relpath, name)}
        self.errors = errors      # lines that say something went wrong
        self.raw = raw            # the full output, kept for the report
        self.code = code
        self.stderr = stderr


def _relative(path, root, files):
    """The corpus file a reported path belongs to (an archive for its
    members)."""
    path = path.replace("\\", "/")
    root = root.replace("\\", "/").rstrip("/") + "/"
    if path.startswith(root):
        path = path[len(root):]
    if path in files:
        return path
    for f in files:
        if path.startswith(f + ",") or path.startswith(f + "/") or path.startswith(f + ":"):
            return f
    return path


def corpus_files(root):
    out = set()
    for dirpath, _, names in os.walk(root):
        for n in names:
            out.add(os.path.relpath(os.path.join(dirpath, n), root).replace(os.sep, "/"))
    return out


def _found_lines(text):
    """(path, name) from "PATH: NAME FOUND" lines."""
    for line in text.splitlines():
        if line.endswith(" FOUND") and ": " in line:
            path, name = line[:-len(" FOUND")].rsplit(": ", 1)
            yield path, name


def clamscan(db, root, all_matches=True):
    cmd = ["clamscan", "--no-summary", "-r", "--infected", "-d", db] + LIMITS
    if all_matches:
        cmd.append("--allmatch")
    proc = subprocess.run(cmd + [root], capture_output=True, text=True, errors="replace")
    files = corpus_files(root)
    pairs = set()
    for path, name in _found_lines(proc.stdout):
        if name.endswith(UNOFFICIAL):
            name = name[:-len(UNOFFICIAL)]
        pairs.add((_relative(path, root, files), name))
    errors = [l for l in (proc.stdout + proc.stderr).splitlines()
              if "ERROR" in l or "Error" in l or "WARNING" in l]
    if proc.returncode not in (0, 1):
        errors.append(f"clamscan exit code {proc.returncode}")
    return Run(pairs, errors, proc.stdout + proc.stderr)


def qdx_scan(program, db, root, all_matches=True, raise_errors=True, image=True):
    """With image, qdx-scan takes its signatures from the compiled image in
    db (building it when it is missing); --timing tells where they came from."""
    cmd = ([program, "--timing"] + (["--all-match"] if all_matches else []) + ([] if image else ["--no-image"]) +
           ["-d", db, root])
    proc = subprocess.run(cmd, capture_output=True, text=True, errors="replace")
    files = corpus_files(root)
    pairs = {(_relative(path, root, files), name) for path, name in _found_lines(proc.stdout)}
    errors = []
    if raise_errors and proc.returncode not in (0, 1):
        errors.append(f"exit code {proc.returncode}: {proc.stderr.strip()[:500]}")
    return Run(pairs, errors, proc.stdout + proc.stderr, proc.returncode, proc.stderr)


def quendix7(bin_dir, wine_run, prefix, db, root, runs=1):
    """The Windows scanner under Wine, as the front end runs it: report
    only, all files, archives and packed programs enabled, heuristics off
    (qdx-scan's defaults). It reports the first
    detection of each file (and of each archive member). With runs=2 it
    scans twice in the same installation (the second time from the compiled
    image the first wrote) and gives both."""
    home = tempfile.mkdtemp(prefix="oracle-", dir=os.path.join(prefix, "drive_c"))
    try:
        install = os.path.join(home, "Quendix")
        work = os.path.join(home, "win")
        os.makedirs(work)
        os.makedirs(install)
        for f in ("quendix7.exe", "quendix3.dat"):
            shutil.copy(os.path.join(bin_dir, f), install)
        shutil.copytree(db, os.path.join(install, "signatures"))
        win_home = "C:\\" + os.path.relpath(home, os.path.join(prefix, "drive_c")).replace("/", "\\")
        win_root = "Z:" + os.path.abspath(root).replace("/", "\\")
        # Beside the program: the scanner reads nothing from its current directory.
        with open(os.path.join(install, "windir.inf"), "w", newline="\r\n") as f:
            f.write(win_home + "\\win\n")
        with open(os.path.join(work, "$$file$5"), "w", newline="\r\n") as f:
            f.write("\n".join([win_root, "4", "5", "2", "2", "2", "2"]) + "\n")
        found = []
        for _ in range(runs):
            found.append(_quendix7_once(wine_run, install, home, work, win_root, root))
            image = os.path.join(install, "signatures", "quendix.img")
            found[-1].image = os.stat(image).st_mtime_ns if os.path.exists(image) else None
        return found if runs > 1 else found[0]
    finally:
        shutil.rmtree(home, ignore_errors=True)


def _quendix7_once(wine_run, install, home, work, win_root, root):
    proc = subprocess.run([wine_run, os.path.join(install, "quendix7.exe")], cwd=home,
                          capture_output=True, text=True, errors="replace", timeout=3600)
    results_path = os.path.join(work, "$$file$3")
    if not os.path.exists(results_path):
        return Run(set(), [f"no results file (exit code {proc.returncode})"], proc.stderr)
    text = open(results_path, encoding="latin-1").read()
    os.remove(results_path)
    files = corpus_files(root)
    pairs, errors = set(), []
    for line in text.splitlines():
        if line.startswith("Found "):
            what, _, where = line[len("Found "):].partition(" in ")
            pairs.add((_relative(where, win_root, files), what))
        elif line.startswith("Error:"):
            errors.append(line)
    return Run(pairs, errors, text)


def quendix7_verdict(args, manifest, db, root, ours):
    """quendix7.exe under Wine (args.quendix7, args.wine_run, args.prefix)
    finds the files qdx-scan finds, each under a name that matches it."""
    import compare
    w = quendix7(os.path.abspath(args.quendix7), os.path.abspath(args.wine_run), os.path.abspath(args.prefix), db,
                 root)
    v = compare.first_matches("quendix7.exe finds the same files", manifest, ours.pairs, "qdx-scan", w.pairs,
                              "quendix7")
    v.problems[:0] = [f"  quendix7: {e}" for e in w.errors]
    return v
