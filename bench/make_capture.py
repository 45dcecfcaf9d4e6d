#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Writes a capture of N entries for throughput runs: the entries of examples/session.cap (every
interface, with names, byte runs, blocks and access codes), repeated in order until N are written.

usage: bench/make_capture.py N OUTPUT [SOURCE]
"""
import sys
from pathlib import Path


def entries(source):
    """The source's entries, each an entry line followed by its memory lines, comments dropped."""
    current = []
    for raw in Path(source).read_text().splitlines():
        line = raw.split('#', 1)[0].rstrip()
        if not line.strip():
            continue
        if line.lstrip().startswith('@'):
            current.append(line)
        else:
            if current:
                yield current
            current = [line]
    if current:
        yield current


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    count = int(sys.argv[1])
    source = sys.argv[3] if len(sys.argv) == 4 else Path(__file__).parent.parent / 'examples' / 'session.cap'
    pool = ['\n'.join(e) + '\n' for e in entries(source)]
    with open(sys.argv[2], 'w') as out:
        full, rest = divmod(count, len(pool))
        block = ''.join(pool)
        for _ in range(full):
            out.write(block)
        out.write(''.join(pool[:rest]))


if __name__ == '__main__':
    main()
