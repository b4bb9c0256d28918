#!/usr/bin/env python3
"""Compiled AutoIt payloads built to hurt, each timed with its peak memory:

    autoit_bench.py --qdx-scan PROGRAM [--cache DIR] [--clamscan]

The cases are autoit_cases.hostile_cases (engines/oracle): unpacking that
makes 100 MiB from 400 KB (both versions), a script of 32 MiB of operator
tokens (96 MiB of text), 1,000 members claiming 4 GB, a packed size of 2 GB
in a file of 1 KB, half a million empty entries; InstallShield files (MSI
kind) inflating to 1 GiB, counting 4 billion, claiming 2^63 bytes packed.
A database of one line;
with --clamscan, clamscan on each as well.
"""

import os
import sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "oracle"))

import autoit_cases  # noqa: E402
import hostile_cases_bench  # noqa: E402

if __name__ == "__main__":
    sys.exit(hostile_cases_bench.run(sys.argv[1:], __doc__, "autoit", autoit_cases.hostile_cases))
