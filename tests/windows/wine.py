"""A Wine prefix of our own, its COM ports mapped by us, and the Windows
program started in it as a user starts it.

Wine gives the machine's own serial ports (this machine's /dev/ttyS0) to the
first COM numbers nobody mapped, so COM1-COM32 (beyond any number the tests
use, at most 16) are mapped here as soon as the prefix is made and again
before each start of the program: the test's own pseudo-terminals, and a path
that does not exist for the rest. The machine's own port then becomes COM33.
"""
import fcntl
import os
import pty
import select
import struct
import subprocess
import tempfile
import termios
import time
import tty

PORTS = range(1, 33)


class Prefix:
    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="quorvex-wine-")
        self.env = dict(os.environ, WINEPREFIX=self.dir, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        self.env.pop("QUORVEX_COM1", None)
        subprocess.run(["wine", "wineboot", "--init"], env=self.env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.map_ports({})

    def windows_path(self, path):
        return "Z:" + os.path.abspath(path).replace("/", "\\")

    def drive_c(self, *parts):
        return os.path.join(self.dir, "drive_c", *parts)

    def run(self, *args, **kwargs):
        return subprocess.run(["wine", *args], env=self.env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, **kwargs)

    def stop_server(self):
        """Ends this prefix's Wine processes: ours alone, by the prefix."""
        subprocess.run(["wineserver", "-k"], env=self.env, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=self.env, stderr=subprocess.DEVNULL)

    def map_ports(self, devices):
        """COM n -> devices[n], every other COM number to a missing path; Wine
        reads the mapping when its server starts."""
        lines = ["REGEDIT4", "", r"[HKEY_LOCAL_MACHINE\Software\Wine\Ports]"]
        for n in PORTS:
            device = devices.get(n, f"/nonexistent/quorvex-com{n}")
            lines.append(f'"COM{n}"="{device}"')
        reg = os.path.join(self.dir, "ports.reg")
        with open(reg, "w", newline="\r\n") as f:
            f.write("\n".join(lines) + "\n")
        # A server still ending from the last start can fail regedit once.
        for attempt in range(3):
            if self.run("regedit", "/S", self.windows_path(reg)).returncode == 0:
                break
            self.stop_server()
        else:
            raise RuntimeError("regedit could not map the COM ports")
        self.stop_server()
        # Wine turns the mapping into dosdevices links only at its next start,
        # and wineboot --init gives com1 to this machine's own port: set the
        # links now too, so no start can reach a port that is not ours.
        dosdevices = os.path.join(self.dir, "dosdevices")
        for n in PORTS:
            link = os.path.join(dosdevices, f"com{n}")
            if os.path.lexists(link):
                os.unlink(link)
            os.symlink(devices.get(n, f"/nonexistent/quorvex-com{n}"), link)

    def cleanup(self):
        self.stop_server()
        subprocess.run(["rm", "-rf", self.dir])


class Line:
    """A pseudo-terminal standing where the station's serial port would be."""

    def __init__(self):
        self.master, self.slave = pty.openpty()
        tty.setraw(self.master)
        self.path = os.ttyname(self.slave)

    def close(self):
        for fd in (self.master, self.slave):
            if fd >= 0:
                os.close(fd)
        self.master = self.slave = -1


def read_available(line, until, want):
    """Bytes from the line until want(bytes) or the deadline; (bytes, arrival times)."""
    data, times = b"", []
    while time.monotonic() < until and not want(data):
        ready, _, _ = select.select([line.master], [], [], 0.05)
        if ready:
            try:
                chunk = os.read(line.master, 4096)
            except OSError:
                break
            data += chunk
            times.append((time.monotonic(), len(data)))
    return data, times


def read_until_ended(lines, process, timeout):
    """Everything each line receives until the process has ended and its lines are empty."""
    got = {line.master: b"" for line in lines}
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        ended = process.poll() is not None
        ready, _, _ = select.select(list(got), [], [], 0.05)
        for fd in ready:
            got[fd] += os.read(fd, 65536)
        if ended and not ready:
            break
    return [got[line.master] for line in lines]


def line_speed(line):
    return termios.tcgetattr(line.master)[5]


def unread_bytes(line):
    """How many bytes wait in the line, left there for the test to read."""
    return struct.unpack("i", fcntl.ioctl(line.master, termios.FIONREAD, b"\0\0\0\0"))[0]


class WindowsProgram:
    """quorvex.exe from folder, started in prefix with COM1 on line (or missing)."""

    def __init__(self, prefix, exe, line=None):
        prefix.map_ports({1: line.path} if line else {})
        self.started = time.monotonic()
        self.process = subprocess.Popen(["wine", exe], env=prefix.env, cwd=os.path.dirname(exe),
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def cpu_seconds(self):
        """CPU used so far by the program's own process."""
        with open(f"/proc/{self.process.pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
