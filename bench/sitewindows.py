"""The windows beside the player: one virtual display of the benchmark's own,
and the program itself once per device on it, each with its own line and its
own data folder."""
import os
import select
import subprocess
import time

from capture import Link, LineRecords, end_process
from sitefiles import window_home

STAGGER_S = 0.3  # between window starts, so that they do not all load at once


class Display:
    """An Xvfb of this benchmark's own, on the first free display number."""

    def __init__(self, log):
        read, write = os.pipe()
        self.proc = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1360x768x24",
                                      "-nolisten", "tcp", "-noreset"],
                                     pass_fds=(write,), stdin=subprocess.DEVNULL, stdout=log, stderr=log)
        os.close(write)
        number = b""
        try:
            while not number.endswith(b"\n"):
                ready, _, _ = select.select([read], [], [], 10)
                chunk = os.read(read, 16) if ready else b""
                if not chunk:
                    self.stop()
                    raise RuntimeError("Xvfb did not start (see its log)")
                number += chunk
        finally:
            os.close(read)
        self.name = ":" + number.decode().strip()

    def stop(self):
        end_process(self.proc)


def make_windows(program, count, folder, samples, display, log):
    """`count` copies of the program, not yet started, each mapped to its own
    pseudo-terminal as COM1 and reading its own recording."""
    runtime = os.path.join(folder, "runtime")
    os.makedirs(runtime, mode=0o700)
    env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb", XDG_RUNTIME_DIR=runtime)
    windows = []
    for number in range(1, count + 1):
        home = window_home(folder, samples, number)
        windows.append(Link(f"window{number}", [program], LineRecords(), env=dict(env, XDG_DATA_HOME=home),
                            log=log))
    return windows


def start_windows(windows, pump_for):
    """Starts them one after another; pump_for(seconds) keeps reading the
    lines meanwhile, so that nothing waits on a full pseudo-terminal."""
    for window in windows:
        window.start()
        pump_for(STAGGER_S)


def wait_streaming(lines, pump_for, timeout_s):
    """Reads until every line has had its first byte, or the time is up;
    returns the lines still silent."""
    deadline = time.monotonic() + timeout_s
    while time.monotonic() < deadline:
        silent = [line for line in lines if line.first_byte_ns is None]
        if not silent:
            return []
        pump_for(0.2)
    return [line for line in lines if line.first_byte_ns is None]
