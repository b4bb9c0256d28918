#!/usr/bin/env python3
"""TNEF and BinHex files built to hurt, each timed with its peak memory:

    tnef_bench.py --qdx-scan PROGRAM [--cache DIR] [--clamscan]

The cases are tnef_cases.hostile_cases (engines/oracle): 2 million empty
TNEF records, 500,000 attachments, a length of 2 GB in a file of 1 KB, an
attachment of 200 MB, BinHex runs that make 100 MiB from 1 MB, runs that
go on for some 4 GB past the fork's stated end, and forks claiming 4 GB.
A database of one line; with --clamscan, clamscan on each as well.
"""

import os
import sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "oracle"))

import tnef_cases  # noqa: E402
import hostile_cases_bench  # noqa: E402

if __name__ == "__main__":
    sys.exit(hostile_cases_bench.run(sys.argv[1:], __doc__, "tnef", tnef_cases.hostile_cases))
