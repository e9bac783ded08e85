#!/usr/bin/python3
"""A shift: the built program, two copies at once, one streaming blender
records and one the J1939 recording, each into a pseudo-terminal that this
script reads as the station would, for hours. Every record and chunk is
compared with the file in order; at the end it prints, per stream, what
arrived, lateness against the schedule t0 + n x interval, drift, and the
process's CPU, memory and open descriptors at the start and at the end.

Run under a virtual display:
    xvfb-run -a -s "-screen 0 1360x768x24" /usr/bin/python3 bench/shift.py build/quorvex 7200
"""
import os
import pty
import select
import subprocess
import sys
import tempfile
import time
import tty

from Xlib import X, XK, display
from Xlib.ext import xtest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from capture import cpu_seconds, status_kb  # noqa: E402
from stats import percentile  # noqa: E402

TITLE = "Quorvex  2.14"


class Copy:
    """One copy of the program and the station end of its line."""

    def __init__(self, program, home):
        # The slave stays open here too: a master whose slave nobody holds reads EIO.
        self.master, self.slave = pty.openpty()
        tty.setraw(self.master)
        env = dict(os.environ, QUORVEX_COM1=os.ttyname(self.slave), XDG_DATA_HOME=home)
        self.process = subprocess.Popen([program], env=env, stderr=subprocess.DEVNULL)
        self.arrivals = []   # (monotonic ns, bytes)

    def figures(self):
        pid = self.process.pid
        return {"cpu_s": cpu_seconds(pid), "rss_kb": status_kb(pid, "VmRSS"),
                "fds": len(os.listdir(f"/proc/{pid}/fd"))}


def window_of(screen, pid, timeout=10):
    atom = screen.intern_atom("_NET_WM_PID")
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        for window in screen.screen().root.query_tree().children:
            try:
                owner = window.get_full_property(atom, X.AnyPropertyType)
                if window.get_wm_name() == TITLE and owner and owner.value[0] == pid:
                    return window
            except Exception:
                pass
        time.sleep(0.1)
    raise SystemExit("no window for the second copy")


def choose_last_format(screen, window):
    """What a user does: open the format list, go to its last item (SAE J1939), take it."""
    root = screen.screen().root
    at = root.translate_coords(window, 146 + 150, 114 + 11)
    xtest.fake_input(screen, X.MotionNotify, x=at.x, y=at.y)
    xtest.fake_input(screen, X.ButtonPress, 1)
    xtest.fake_input(screen, X.ButtonRelease, 1)
    screen.sync()
    time.sleep(0.5)
    for name in ("End", "Return"):
        code = screen.keysym_to_keycode(XK.string_to_keysym(name))
        xtest.fake_input(screen, X.KeyPress, code)
        xtest.fake_input(screen, X.KeyRelease, code)
        screen.sync()


def read_for(copies, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        ready, _, _ = select.select([c.master for c in copies], [], [], 0.5)
        now = time.monotonic_ns()
        for copy in copies:
            if copy.master in ready:
                copy.arrivals.append((now, os.read(copy.master, 65536)))


def text_records(arrivals, lines):
    """Arrival times of the records, and how many were not the next line of the file."""
    times, wrong, pending, started = [], 0, b"", None
    expected = None
    for t, data in arrivals:
        if started is None:
            started = t
        pending += data
        while b"\r\n" in pending:
            record, pending = pending.split(b"\r\n", 1)
            if expected is None:
                expected = lines.index(record) if record in lines else 0
            wrong += record != lines[expected]
            expected = (expected + 1) % len(lines)
            times.append(started)
            started = t if pending else None
    return times, wrong


def engine_chunks(arrivals, recording):
    """Arrival times of the 50-byte chunks, and how many were not the chunk due next."""
    stream = b"".join(data for _, data in arrivals)
    whole = len(recording) - 1 - (len(recording) - 1) % 50   # chunks sent of a 50k+1 recording
    position = recording.find(stream[:200])
    times, wrong, count = [], 0, 0
    for t, data in arrivals:
        for _ in range((count + len(data)) // 50 - count // 50):
            times.append(t)
        count += len(data)
    for k in range(len(stream) // 50):
        wrong += stream[k * 50:(k + 1) * 50] != recording[position:position + 50]
        position = (position + 50) % whole
    return times, wrong


def schedule(times, interval):
    # The schedule that no record beat: lateness is then 0 or more.
    offsets = [(t - times[0]) / 1e6 - n * interval * 1e3 for n, t in enumerate(times)]
    late = [offset - min(offsets) for offset in offsets]
    minute = int(60 / interval)
    drift = percentile(late[-minute:], 50) - percentile(late[:minute], 50)
    return {"p50_ms": percentile(late, 50), "p99_ms": percentile(late, 99), "max_ms": max(late),
            "drift_ms": drift}


def main():
    program, seconds = sys.argv[1], float(sys.argv[2])
    data = os.path.dirname(os.path.abspath(program))
    lines = open(os.path.join(data, "blender.csv"), "rb").read().split(b"\n")[:-1]
    recording = open(os.path.join(data, "hdv2.bin"), "rb").read()
    home = tempfile.mkdtemp(prefix="quorvex-shift-")
    screen = display.Display()
    text, engine = Copy(program, home), Copy(program, home)
    try:
        choose_last_format(screen, window_of(screen, engine.process.pid))
        read_for([text, engine], 30)            # settle: the start and the switch of format
        text.arrivals.clear()
        engine.arrivals.clear()
        start = {"text": text.figures(), "engine": engine.figures()}
        read_for([text, engine], seconds)
        end = {"text": text.figures(), "engine": engine.figures()}
    finally:
        for copy in (text, engine):
            copy.process.terminate()
            copy.process.wait()
    for name, copy, interval in (("text", text, 1.0), ("engine", engine, 0.25)):
        times, wrong = (text_records(copy.arrivals, lines) if name == "text"
                        else engine_chunks(copy.arrivals, recording))
        figures = schedule(times, interval)
        minutes = seconds / 60
        print(f"{name}: {len(times)} records in {seconds:.0f} s (due {seconds / interval:.0f}), "
              f"{wrong} not whole or out of order; late p50 {figures['p50_ms']:.2f} ms, "
              f"p99 {figures['p99_ms']:.2f} ms, max {figures['max_ms']:.2f} ms; "
              f"drift {figures['drift_ms']:.2f} ms; "
              f"CPU {(end[name]['cpu_s'] - start[name]['cpu_s']) / minutes:.4f} s/min; "
              f"VmRSS {start[name]['rss_kb']} -> {end[name]['rss_kb']} KB; "
              f"descriptors {start[name]['fds']} -> {end[name]['fds']}")


if __name__ == "__main__":
    main()
