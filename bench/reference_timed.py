#!/usr/bin/python3
"""The kernel's limit for a recorded replay, the timing benchmark's point of
comparison: a candump log's frames as SLCAN text, each written with one write
at its recorded offset from an absolute deadline (clock_nanosleep with
TIMER_ABSTIME, so that nothing accumulates), the passes one loop apart as the
player plays them. What is left is how late the kernel wakes a process and how
long a write takes.

    reference_timed.py LOG PORT
"""
import ctypes
import itertools
import os
import sys
import time

from reference_site import CLOCK_MONOTONIC, TIMER_ABSTIME, Timespec
from timingfigures import loop_ns, read_log


def main():
    log, port = sys.argv[1:3]
    frames = read_log(log)
    loop = loop_ns(frames)
    fd = os.open(port, os.O_WRONLY | os.O_NOCTTY)
    libc = ctypes.CDLL(None, use_errno=True)
    start = time.monotonic_ns()
    for k in itertools.count():
        for offset, _, data in frames:
            due = start + k * loop + offset
            at = Timespec(due // 1_000_000_000, due % 1_000_000_000)
            while libc.clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, ctypes.byref(at), None) != 0:
                pass  # woken early by a signal: the same deadline again
            os.write(fd, data)


if __name__ == "__main__":
    main()
