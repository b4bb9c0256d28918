#!/usr/bin/env python3
"""NSIS installers built to hurt, each timed with its peak memory:

    nsis_bench.py --qdx-scan PROGRAM [--cache DIR] [--clamscan]

The cases are nsis_cases.hostile_cases (engines/oracle), each in a small
program: a solid stream whose one file claims 4 GB of zeros (4 MB packed),
a solid stream of zeros read as endless empty files, a million empty
entries, stored blocks claiming 2 GB each, an LZMA dictionary of 4 GB.
A database of one line; with --clamscan, clamscan on each as well.
"""

import os
import sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "oracle"))

import nsis_cases  # noqa: E402
import hostile_cases_bench  # noqa: E402

if __name__ == "__main__":
    sys.exit(hostile_cases_bench.run(sys.argv[1:], __doc__, "nsis", nsis_cases.hostile_cases))
