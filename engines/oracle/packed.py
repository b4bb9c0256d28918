#!/usr/bin/env python3
"""Proves the unpackers of packed programs, installers and compiled scripts
against clamscan.

    packed.py --qdx-scan PROGRAM [--quendix7 BIN_DIR --wine-run W --prefix P] [--keep DIR] [--seed N]

Two sets, one database, as documents.py proves the document readers:
  (a) Debian's clamav-testfiles of packed programs and installers this
      scanner opens, each flagged by the MD5 of the test program clam.exe;
  (b) the cases of the generator MODULES (each has make_cases(work, rng) ->
      files, hdb, ndb, ldb, planted), with signatures for what they hide.
Every (file, name) pair of qdx-scan --all-match must be one of clamscan
--allmatch's and the other way round; what was planted must be found.
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import documents  # noqa: E402

PACKED_TESTFILES = ["clam-fsg.exe"]
# Generators of cases, each with the test files of its own kind.
MODULES = ["packed_cases", "nsis_cases", "autoit_cases"]


def main(argv):
    return documents.prove(argv, __doc__, "packed", PACKED_TESTFILES, MODULES)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
