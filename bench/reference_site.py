#!/usr/bin/python3
"""The kernel's limit for a site, the site benchmark's point of comparison:
one process, one clock of 0.25 s on absolute deadlines (clock_nanosleep with
TIMER_ABSTIME, so nothing accumulates), every record read before its deadline
and then all written back to back, each with one write: the engine chunks on
every tick, the text records on every fourth. What is left is how late the
kernel wakes a process and how long the writes take.

    reference_site.py [--text FILE PORT]... [--engine FILE PORT]...
"""
import argparse
import ctypes
import itertools
import os
import time

CLOCK_MONOTONIC, TIMER_ABSTIME = 1, 1
TICK_NS = 250_000_000
TICKS_PER_RECORD = 4
CHUNK = 50


class Timespec(ctypes.Structure):
    _fields_ = [("tv_sec", ctypes.c_long), ("tv_nsec", ctypes.c_long)]


def text_records(path):
    with open(path, "rb") as recording:
        records = [line.rstrip(b"\r\n") + b"\r\n" for line in recording if line.strip()]
    return itertools.cycle(records)


def engine_chunks(path):
    """50 bytes a tick, from the start again once fewer than 51 are left (as the program does)."""
    with open(path, "rb") as recording:
        data = recording.read()
    whole = len(data) - 1 - (len(data) - 1) % CHUNK
    return itertools.cycle([data[pos:pos + CHUNK] for pos in range(0, whole, CHUNK)])


def open_port(path):
    return os.open(path, os.O_WRONLY | os.O_NOCTTY)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--text", nargs=2, action="append", default=[], metavar=("FILE", "PORT"))
    parser.add_argument("--engine", nargs=2, action="append", default=[], metavar=("FILE", "PORT"))
    args = parser.parse_args()
    text = [(open_port(port), text_records(path)) for path, port in args.text]
    engine = [(open_port(port), engine_chunks(path)) for path, port in args.engine]
    libc = ctypes.CDLL(None, use_errno=True)
    due = time.monotonic_ns()
    for n in itertools.count(1):
        writes = [(fd, next(chunks)) for fd, chunks in engine]
        if n % TICKS_PER_RECORD == 0:
            writes += [(fd, next(records)) for fd, records in text]
        due += TICK_NS
        at = Timespec(due // 1_000_000_000, due % 1_000_000_000)
        while libc.clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, ctypes.byref(at), None) != 0:
            pass  # woken early by a signal: the same deadline again
        for fd, data in writes:
            os.write(fd, data)


if __name__ == "__main__":
    main()
