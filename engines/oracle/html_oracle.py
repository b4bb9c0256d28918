#!/usr/bin/env python3
"""Proves the HTML views against clamscan, as documents.py proves the
document readers: Debian's clam.exe.html (a data URL holding clam.exe) and
the pages of html_cases.py, one database, every (file, name) pair of
qdx-scan --all-match equal to clamscan --allmatch's, what was planted found.

    html_oracle.py --qdx-scan PROGRAM [--keep DIR] [--seed N]
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import documents  # noqa: E402


def main(argv):
    documents.MODULES = ("html_cases",)
    documents.DOCUMENT_TESTFILES = ("clam.exe.html",)
    return documents.main(argv)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
