#!/usr/bin/env python3
"""Proves the mail, TNEF, BinHex, HTML, JavaScript and text readers against clamscan.

    mailweb.py --qdx-scan PROGRAM [--quendix7 BIN_DIR --wine-run W --prefix P] [--keep DIR] [--seed N]

Two sets, one database, as documents.py proves the document readers:
  (a) Debian's clamav-testfiles of mail (clam.mail, clam.exe.mbox.base64,
      clam.exe.mbox.uu, clam.exe.html), each flagged by the MD5 of the test program clam.exe;
  (b) the cases of the generator MODULES (each has make_cases(work, rng) ->
      files, hdb, ndb, ldb, planted), with signatures for what they hide.
Every (file, name) pair of qdx-scan --all-match must be one of clamscan
--allmatch's and the other way round; what was planted must be found.
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import documents  # noqa: E402

MAIL_TESTFILES = ["clam.mail", "clam.exe.mbox.base64", "clam.exe.mbox.uu", "clam.exe.html"]
# Generators of cases: mail, and the formats that travel in it.
MODULES = ["mail_cases", "tnef_cases", "text_cases", "html_cases", "js_cases"]


def main(argv):
    return documents.prove(argv, __doc__, "mailweb", MAIL_TESTFILES, MODULES)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
