"""The far end of the serial line: a pseudo-terminal per stream, whose master
the benchmark reads, timestamping every record's arrival with CLOCK_MONOTONIC;
and what /proc tells about the process at the near end."""
import os
import signal
import subprocess
import tempfile
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


def end_process(proc, timeout=10):
    """Ends a process this benchmark started, by its id: SIGTERM, then SIGKILL."""
    if proc.poll() is None:
        proc.terminate()
    try:
        proc.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()


class Line:
    """The far end of one serial line: a pseudo-terminal this benchmark owns,
    whose master it reads, and what arrives on it."""

    def __init__(self, records, name=""):
        self.name = name
        self.records = records
        self.master, self.slave = os.openpty()
        tty.setraw(self.slave)
        os.set_blocking(self.master, False)
        self.port = os.ttyname(self.slave)
        self.first_byte_ns = None

    def read(self, t=None):
        """Takes what has arrived, as arrived at t (else now); False when the line is gone."""
        try:
            data = os.read(self.master, 65536)
        except BlockingIOError:
            return True
        except OSError:
            return False
        t = t or time.monotonic_ns()
        if not data:
            return False
        if self.first_byte_ns is None:
            self.first_byte_ns = t
        self.records.feed(data, t)
        return True

    def close(self):
        for fd in (self.master, self.slave):
            try:
                os.close(fd)
            except OSError:
                pass


class Link(Line):
    """One process writing to a line of its own, mapped as its COM1."""

    def __init__(self, name, argv, records, env=None, cwd=None, nice=0, log=None):
        super().__init__(records, name)
        self.log = log  # a file for what it prints, for a process that runs long unread
        self.argv = [self.port if a == "{port}" else a for a in argv]
        self.env = dict(env or os.environ, QUORVEX_COM1=self.port)
        self.cwd = cwd
        self.nice = nice
        self.proc = None
        self.spawned_ns = None
        self.output = b""

    def start(self):
        self.spawned_ns = time.monotonic_ns()
        nice = self.nice
        out = self.log or subprocess.PIPE
        self.proc = subprocess.Popen(self.argv, env=self.env, cwd=self.cwd, stdin=subprocess.DEVNULL,
                                     stdout=out, stderr=out,
                                     preexec_fn=(lambda: os.nice(nice)) if nice else None)

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
        self.output, self.errors = out or b"", err or b""


def pump(links, until_ns, on_idle=None):
    """Reads every link until the deadline, or until on_idle() returns True.
    What is found at one wake-up is stamped with the moment of that wake-up:
    reading one line after another would add the earlier reads' time to the
    later lines' arrivals (epoll, so that a wake-up costs the same for 2 lines
    or 100)."""
    import select
    poller = select.epoll()
    by_fd = {link.master: link for link in links}
    try:
        for fd in by_fd:
            poller.register(fd, select.EPOLLIN)
        while True:
            now = time.monotonic_ns()
            if now >= until_ns:
                return
            events = poller.poll(min(0.1, max(0.001, (until_ns - now) / 1e9)))
            woke = time.monotonic_ns()
            for fd, _ in events:
                if not by_fd[fd].read(woke):
                    poller.unregister(fd)
            if on_idle and on_idle():
                return
    finally:
        poller.close()


def run_in_folder(prefix, run):
    """run(folder, log) in a temporary folder, with a file there for what the
    processes it starts print; its results, with the end of that file as
    log_tail. The folder is removed whatever happens."""
    with tempfile.TemporaryDirectory(prefix=prefix) as folder:
        with open(os.path.join(folder, "processes.log"), "w+b") as log:
            results = run(folder, log)
            log.seek(0)
            results["log_tail"] = log.read()[-4000:].decode(errors="replace")
    return results


def driver_lines(output):
    """The driver's "loop", "switch" and "report" lines, by their first word."""
    lines = {}
    for line in output.decode(errors="replace").splitlines():
        word, _, rest = line.partition(" ")
        lines[word] = rest
    return lines
