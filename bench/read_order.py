#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""How far the reads of one process travel over a disk image, against one ascending sweep.

Reads a trace of `strace -f -y -e trace=pread64 -o TRACE korvelo-cli --drive IMAGE ...` and
keeps the reads of IMAGE only (strace -y names each descriptor's file). -f follows the
drive's reader thread, which makes the large reads of the recordings; a read that strace
shows cut in two ("<unfinished ...>", "<... pread64 resumed>") counts where it began.
Counted in sectors of 512 bytes; a read covers [offset, offset + length). Prints:

  reads            preads of the image
  backward jumps   reads that start before the end of the read before them
  path             the head's way: every read's length plus every jump between two reads
                   (|start - end of the read before|), from the first read on
  minimum          one ascending sweep over the same sectors: last sector read + 1 - first
  ratio            path / minimum
  re-read          sectors read more than once (the path counts them every time)

With DATA_START (the first sector of the data area), the same figures follow for the reads
of the recordings' data alone, without the directory, the file FATs and the probes.

Usage: bench/read_order.py TRACE IMAGE [DATA_START]
"""

import os
import re
import sys

SECTOR = 512
CALL = re.compile(r'pread64\((\d+)<([^>]*)>, .*, (\d+), (\d+)\)\s+=\s+(-?\d+)')
BEGUN = re.compile(r'^(\d+)\s+pread64\((\d+)<([^>]*)>, <unfinished \.\.\.>')
RESUMED = re.compile(r'^(\d+)\s+<\.\.\. pread64 resumed>.*, (\d+), (\d+)\)\s+=\s+(-?\d+)')


def reads_of(trace_path, image):
    calls = []    # (path, length, offset, got) in the order the reads began
    begun = {}    # thread: index in calls of its read under way
    with open(trace_path, encoding="utf-8", errors="replace") as trace:
        for line in trace:
            found = BEGUN.search(line)
            if found:
                begun[found.group(1)] = len(calls)
                calls.append([found.group(3), 0, 0, 0])
                continue
            found = RESUMED.search(line)
            if found and found.group(1) in begun:
                calls[begun.pop(found.group(1))][1:] = [int(found.group(k)) for k in (2, 3, 4)]
                continue
            found = CALL.search(line)
            if found:
                calls.append([found.group(2)] + [int(found.group(k)) for k in (3, 4, 5)])
    for path, length, offset, got in calls:
        if path != image or got <= 0:
            continue
        first = offset // SECTOR
        yield first, (offset + length + SECTOR - 1) // SECTOR


def union_size(intervals):
    total, reach = 0, None
    for first, end in sorted(intervals):
        if reach is None or first > reach:
            total += end - first
            reach = end
        elif end > reach:
            total += end - reach
            reach = end
    return total


def report(intervals, prefix=""):
    backward = 0
    path = 0
    previous_end = None
    for first, end in intervals:
        if previous_end is not None:
            path += abs(first - previous_end)
            backward += first < previous_end
        path += end - first
        previous_end = end
    lowest = min(first for first, _ in intervals)
    highest = max(end for _, end in intervals)
    minimum = highest - lowest
    read_sectors = sum(end - first for first, end in intervals)
    print(f"{prefix}reads {len(intervals)}")
    print(f"{prefix}backward_jumps {backward}")
    print(f"{prefix}path_sectors {path}")
    print(f"{prefix}minimum_sectors {minimum}")
    print(f"{prefix}ratio {path / minimum:.2f}")
    print(f"{prefix}reread_sectors {read_sectors - union_size(intervals)}")


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__.split("\n\n")[-1].strip())
    image = os.path.realpath(sys.argv[2])
    intervals = list(reads_of(sys.argv[1], image))
    if not intervals:
        sys.exit(f"read_order.py: no pread64 of {image} in {sys.argv[1]}")
    report(intervals)
    if len(sys.argv) == 4:
        data_start = int(sys.argv[3])
        data = [(first, end) for first, end in intervals if first >= data_start]
        if data:
            report(data, "data_")


if __name__ == "__main__":
    main()
