#!/usr/bin/env python3
"""Packed programs built to hurt, each timed with its peak memory:

    packed_bench.py --qdx-scan PROGRAM [--cache DIR] [--clamscan]

The cases are packed_cases.hostile_cases (engines/oracle): a UPX program
claiming 2 GB, 60 MiB unpacked from a few bytes, 100 MiB of matches into
room for 60, 250,000 fake programs for the embedded-program search, a
program packed 30 times over, a WWPack32 program claiming 2 GB and one
whose blocks write 300 MiB into an image of 60.
A database of one line; with --clamscan, clamscan on each as well.
"""

import os
import sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "oracle"))

import packed_cases  # noqa: E402
import hostile_cases_bench  # noqa: E402

if __name__ == "__main__":
    sys.exit(hostile_cases_bench.run(sys.argv[1:], __doc__, "packed", packed_cases.hostile_cases))
