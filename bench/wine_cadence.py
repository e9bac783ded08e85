#!/usr/bin/python3
"""The Windows program's cadence under Wine: quorvex.exe from the zip, one
copy streaming blender.csv and one the J1939 recording, each in a Wine prefix
of its own with COM1 a pseudo-terminal that this script reads as the station
would. Per stream: records seen and due, the gaps between records (p50, p99,
max) and the drift against the schedule. The clock behind these figures is
Wine's timer on this Linux kernel, not Windows': they say how the program
keeps its schedule, not what a Windows machine would measure.

Run under a virtual display:
    xvfb-run -a -s "-noreset -screen 0 1360x768x24" /usr/bin/python3 bench/wine_cadence.py \\
        build-windows/quorvex-2.14-win64.zip [SECONDS (default 600)]
"""
import os
import select
import subprocess
import sys
import tempfile
import time
import zipfile

from Xlib import display

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "tests", "windows"))
from capture import CHUNK, ENGINE_INTERVAL, TEXT_INTERVAL, ChunkRecords, LineRecords  # noqa: E402
from shift import TITLE, choose_last_format  # noqa: E402
from stats import percentile  # noqa: E402
from wine import Line, Prefix, WindowsProgram  # noqa: E402

SETTLE_S = 30  # Wine's start, the window shown, the format chosen


class Stream:
    """One copy of quorvex.exe in its own prefix, and the station end of its COM1."""

    def __init__(self, name, exe, records, interval):
        self.name, self.records, self.interval = name, records, interval
        self.prefix = Prefix()
        self.line = Line()
        os.set_blocking(self.line.master, False)
        self.program = WindowsProgram(self.prefix, exe, self.line)

    def read(self):
        try:
            data = os.read(self.line.master, 65536)
        except BlockingIOError:
            return
        self.records.feed(data, time.monotonic_ns())

    def close(self):
        self.program.stop()
        self.line.close()
        self.prefix.cleanup()


def window_titled(screen, count, timeout=30):
    """The newest of count windows with the program's title."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = [w for w in screen.screen().root.query_tree().children if w.get_wm_name() == TITLE]
        if len(found) >= count:
            return found[-1]
        time.sleep(0.2)
    raise SystemExit("the program's window did not appear under Wine")


def read_for(streams, seconds):
    by_fd = {stream.line.master: stream for stream in streams}
    end = time.monotonic() + seconds
    while (left := end - time.monotonic()) > 0:
        ready, _, _ = select.select(list(by_fd), [], [], min(left, 0.5))
        for fd in ready:
            by_fd[fd].read()


def choose_j1939(screen, stream):
    """Picks the last format as a user does, again if a busy Wine missed the click."""
    window = window_titled(screen, 1)
    time.sleep(3)  # Wine maps the window a moment before it takes input
    for _ in range(5):
        choose_last_format(screen, window)
        before = stream.records.bytes
        read_for([stream], 2)
        if stream.records.bytes - before >= 4 * CHUNK:
            return
    raise SystemExit("J1939 was not chosen")


def figures(times_ns, interval):
    gaps = [(b - a) / 1e9 for a, b in zip(times_ns, times_ns[1:])]
    late = [(t - times_ns[0]) / 1e6 - n * interval * 1e3 for n, t in enumerate(times_ns)]
    minute = int(60 / interval)
    return {"gap_p50": percentile(gaps, 50), "gap_p99": percentile(gaps, 99), "gap_max": max(gaps),
            "drift_ms": percentile(late[-minute:], 50) - percentile(late[:minute], 50), "last_ms": late[-1]}


def main():
    archive, seconds = sys.argv[1], float(sys.argv[2]) if len(sys.argv) > 2 else 600.0
    unpacked = tempfile.TemporaryDirectory(prefix="quorvex-wine-cadence-")
    with zipfile.ZipFile(archive) as z:
        z.extractall(unpacked.name)
    (top,) = os.listdir(unpacked.name)
    exe = os.path.join(unpacked.name, top, "quorvex.exe")
    wine = subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip()
    screen = display.Display()
    streams = []
    try:
        # The engine copy first, so that its window is the one the format is chosen in.
        streams.append(Stream("J1939 (hdv2.bin)", exe, ChunkRecords(), ENGINE_INTERVAL))
        choose_j1939(screen, streams[0])
        streams.append(Stream("text (blender.csv)", exe, LineRecords(), TEXT_INTERVAL))
        window_titled(screen, 2)
        read_for(streams, SETTLE_S)
        marks = [len(stream.records.times) for stream in streams]
        read_for(streams, seconds)
    finally:
        for stream in streams:
            stream.close()
        unpacked.cleanup()
    print(f"Cadence of quorvex.exe under {wine}, {seconds:g} s per stream, both at once, "
          f"each in its own prefix with COM1 a pseudo-terminal.")
    print("These figures are Wine's timer on this Linux machine, not Windows' timer.\n")
    print("| Stream | Records seen/due | Gap p50 | Gap p99 | Gap max | Drift | Last record |")
    print("|---|---|---|---|---|---|---|")
    for stream, mark in zip(streams, marks):
        times = stream.records.times[mark:]
        f = figures(times, stream.interval)
        print(f"| {stream.name} | {len(times)}/{int(seconds / stream.interval)} | {f['gap_p50']:.4f} s | "
              f"{f['gap_p99']:.4f} s | {f['gap_max']:.4f} s | {f['drift_ms']:+.2f} ms | "
              f"{f['last_ms']:+.2f} ms |")
    print("\nOn the schedule first record + n x interval: drift is the median lateness of the last minute "
          "against the first minute's; last record, that record's lateness.")


if __name__ == "__main__":
    main()
