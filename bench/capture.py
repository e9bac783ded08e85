"""The far end of the serial line: a pseudo-terminal per stream, whose master
the benchmark reads, timestamping every record's arrival with CLOCK_MONOTONIC;
and what /proc tells about the process at the near end."""
import os
import signal
import subprocess
import time
import tty

TEXT_INTERVAL = 1.0
ENGINE_INTERVAL = 0.25
CHUNK = 50


class LineRecords:
    """Records ended by LF (the program sends CR LF); a record arrives when its first byte does."""

    def __init__(self):
        self.times = []
        self._started = None

    def feed(self, data, t):
        start = 0
        while start < len(data):
            if self._started is None:
                self._started = t
            end = data.find(b"\n", start)
            if end < 0:
                return
            self.times.append(self._started)
            self._started = None
            start = end + 1


class ChunkRecords:
    """Fixed-size chunks; a chunk arrives when its first byte does."""

    def __init__(self, size=CHUNK):
        self.size = size
        self.times = []
        self.bytes = 0

    def feed(self, data, t):
        first = (self.bytes + self.size - 1) // self.size
        last = (self.bytes + len(data) - 1) // self.size
        self.times.extend([t] * max(0, last - first + 1))
        self.bytes += len(data)


def parse_stat_cpu(text):
    """utime + stime in clock ticks from the text of /proc/<pid>/stat."""
    # The command name, field 2, may hold blanks and parentheses: split after its last ')'.
    fields = text[text.rindex(")") + 2:].split()
    return int(fields[11]) + int(fields[12])


def parse_status_kb(text, key):
    for line in text.splitlines():
        if line.startswith(key + ":"):
            return int(line.split()[1])
    return None


def cpu_seconds(pid):
    try:
        with open(f"/proc/{pid}/stat") as stat:
            return parse_stat_cpu(stat.read()) / os.sysconf("SC_CLK_TCK")
    except (OSError, ValueError):
        return None


def status_kb(pid, key):
    try:
        with open(f"/proc/{pid}/status") as status:
            return parse_status_kb(status.read(), key)
    except OSError:
        return None


class Link:
    """One process writing to a pseudo-terminal this benchmark owns, and what arrives."""

    def __init__(self, name, argv, records, env=None, cwd=None, nice=0):
        self.name = name
        self.records = records
        self.master, self.slave = os.openpty()
        tty.setraw(self.slave)
        os.set_blocking(self.master, False)
        self.port = os.ttyname(self.slave)
        self.argv = [self.port if a == "{port}" else a for a in argv]
        self.env = dict(env or os.environ, QUORVEX_COM1=self.port)
        self.cwd = cwd
        self.nice = nice
        self.proc = None
        self.spawned_ns = None
        self.first_byte_ns = None
        self.output = b""

    def start(self):
        self.spawned_ns = time.monotonic_ns()
        nice = self.nice
        self.proc = subprocess.Popen(self.argv, env=self.env, cwd=self.cwd, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                     preexec_fn=(lambda: os.nice(nice)) if nice else None)

    def read(self):
        """Takes what has arrived; False when the line is gone."""
        try:
            data = os.read(self.master, 65536)
        except BlockingIOError:
            return True
        except OSError:
            return False
        t = time.monotonic_ns()
        if not data:
            return False
        if self.first_byte_ns is None:
            self.first_byte_ns = t
        self.records.feed(data, t)
        return True

    def alive(self):
        return self.proc is not None and self.proc.poll() is None

    def stop(self, timeout=10):
        """Ends the process by its id (SIGTERM, then SIGKILL) and keeps what it printed."""
        if self.proc is None:
            return
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
        try:
            out, err = self.proc.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            out, err = self.proc.communicate()
        self.output, self.errors = out, err

    def close(self):
        for fd in (self.master, self.slave):
            try:
                os.close(fd)
            except OSError:
                pass


def pump(links, until_ns, on_idle=None):
    """Reads every link until the deadline, or until on_idle() returns True."""
    import select
    poller = select.poll()
    by_fd = {link.master: link for link in links}
    for fd in by_fd:
        poller.register(fd, select.POLLIN)
    while True:
        now = time.monotonic_ns()
        if now >= until_ns:
            return
        for fd, _ in poller.poll(min(100, max(1, (until_ns - now) // 1_000_000))):
            if not by_fd[fd].read():
                poller.unregister(fd)
        if on_idle and on_idle():
            return


def driver_lines(output):
    """The driver's "loop", "switch" and "report" lines, by their first word."""
    lines = {}
    for line in output.decode(errors="replace").splitlines():
        word, _, rest = line.partition(" ")
        lines[word] = rest
    return lines
