#!/usr/bin/python3
"""quorvex-play end to end: a site of devices, each from a recording of its
own, streamed to stations on pseudo-terminals made here (and one behind
Debian's ser2net on loopback), watched from outside: what each station
receives, what the player says, its exit status.

Usage: test_play.py QUORVEX_PLAY [unittest arguments].
"""
import json
import os
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import termios
import threading
import time
import unittest

PLAYER = "build/quorvex-play"
HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))


def shipped(name):
    with open(os.path.join(ROOT, "data", name), "rb") as f:
        return f.read()


class Station:
    """The far end of a pseudo-terminal: everything that arrives, kept, and
    each read with the time it came (bytes that arrive together stand for
    one burst on the line)."""

    def __init__(self):
        self.master, slave = os.openpty()
        self.path = os.ttyname(slave)
        os.close(slave)
        self.bytes = b""
        self.reads = []
        self.baud = 0
        self._stop = False
        self._thread = threading.Thread(target=self._read, daemon=True)
        self._thread.start()

    def _read(self):
        while not self._stop:
            ready, _, _ = select.select([self.master], [], [], 0.05)
            if ready:
                try:
                    got = os.read(self.master, 65536)
                    self.bytes += got
                    self.reads.append((time.monotonic(), got))
                    # The line's rate while the bytes come (a server in
                    # between may set the line back once it ends).
                    self.baud = self.baud or termios.tcgetattr(self.master)[5]
                except OSError:
                    time.sleep(0.05)  # no opener yet: the slave side reads as hung up

    def close(self):
        """Ends the reading once what the player wrote before it ended is in."""
        self._stop = True
        self._thread.join()
        while select.select([self.master], [], [], 0)[0]:
            try:
                got = os.read(self.master, 65536)
            except OSError:
                break
            self.bytes += got
            self.reads.append((time.monotonic(), got))
        os.close(self.master)


class Socat:
    """A virtual cable whose one end has a name the site file gives; it can
    be pulled (ended) and plugged in again under the same name."""

    def __init__(self, folder):
        self.link = os.path.join(folder, "cable")
        self.far = os.path.join(folder, "station")
        self.process = None
        self.received = b""

    def plug(self):
        self.process = subprocess.Popen(
            ["socat", "pty,raw,echo=0,link=" + self.link, "pty,raw,echo=0,link=" + self.far],
            stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 5
        while not (os.path.exists(self.link) and os.path.exists(self.far)) and time.monotonic() < deadline:
            time.sleep(0.02)
        self.reader = os.open(self.far, os.O_RDONLY | os.O_NONBLOCK | os.O_NOCTTY)

    def read(self):
        try:
            while True:
                chunk = os.read(self.reader, 65536)
                if not chunk:
                    return
                self.received += chunk
        except OSError:
            return

    def pull(self):
        self.read()
        os.close(self.reader)
        self.process.terminate()
        self.process.wait()


def play(args, cwd, timeout=60):
    return subprocess.run([PLAYER] + args, cwd=cwd, capture_output=True, text=True, timeout=timeout)


def events(stdout):
    return [json.loads(line) for line in stdout.splitlines() if line.startswith("{")]


def text_records(lines, count):
    return b"".join(lines[i % len(lines)] + b"\r\n" for i in range(count))


class Site(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="quorvex-play-")
        self.env_home = os.environ.get("XDG_DATA_HOME")
        os.environ["XDG_DATA_HOME"] = os.path.join(self.folder, "user-data")

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)
        if self.env_home is None:
            os.environ.pop("XDG_DATA_HOME", None)
        else:
            os.environ["XDG_DATA_HOME"] = self.env_home

    def write(self, name, data):
        with open(os.path.join(self.folder, name), "wb") as f:
            f.write(data)

    def test_three_devices_from_their_own_recordings_reach_their_stations_byte_for_byte(self):
        blender = [b"09:30:0%d,1%d.5,2%d" % (i, i, i) for i in range(3)]
        pump = [b"P%d,%d" % (i, 1000 + i) for i in range(4)]
        engine = bytes(range(256)) * 20
        self.write("mix.csv", b"\n".join(blender) + b"\n")
        self.write("pump.csv", b"\r\n".join(pump) + b"\r\n")
        self.write("engine.bin", engine)
        stations = [Station(), Station(), Station()]
        site = ('name = "Pad 7"\n'
                '[[device]]\nname = "blender"\nformat = "blender"\nrecording = "mix.csv"\nport = "%s"\n'
                '[[device]]\nname = "pump"\nformat = "ipc"\nrecording = "pump.csv"\nport = "%s"\nbaud = 9600\n'
                '[[device]]\nname = "engine"\nformat = "j1939"\nrecording = "engine.bin"\nport = "%s"\n'
                % tuple(s.path for s in stations))
        self.write("site.toml", site.encode())
        done = play(["site.toml", "--for", "5s"], self.folder)
        for station in stations:
            station.close()
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        expected = [text_records(blender, 5), text_records(pump, 5), engine[:1000]]
        for name, station, wanted in zip(["blender", "pump", "engine"], stations, expected):
            with self.subTest(name):
                self.assertEqual(station.bytes, wanted)
        with self.subTest("pump's rate"):
            self.assertEqual(stations[1].baud, termios.B9600)

    def test_recordings_sent_as_many_times_as_asked_end_the_run(self):
        self.write("two.csv", b"a\nb\n")
        station = Station()
        done = play(["blender", "two.csv", station.path, "--loops", "2"], self.folder)
        station.close()
        self.assertEqual((done.returncode, station.bytes), (0, b"a\r\nb\r\na\r\nb\r\n"), done.stdout)

    def test_a_port_pulled_and_plugged_in_again_streams_on_from_where_it_was(self):
        self.write("four.csv", b"1\n2\n3\n4\n5\n6\n7\n8\n9\n")
        cable = Socat(self.folder)
        cable.plug()
        player = subprocess.Popen([PLAYER, "blender", "four.csv", cable.link, "--for", "7s", "--json"],
                                  cwd=self.folder, stdout=subprocess.PIPE, text=True)
        deadline = time.monotonic() + 10
        while cable.received.count(b"\r\n") < 2 and time.monotonic() < deadline:
            cable.read()
            time.sleep(0.05)
        cable.pull()
        time.sleep(2)  # the adapter stays out for a while: the player tries again meanwhile
        cable.plug()
        out, _ = player.communicate(timeout=30)
        cable.pull()
        kinds = [e["event"] for e in events(out) if e.get("device") == "blender"]
        with self.subTest("events"):
            self.assertEqual([k for k in kinds if k in ("started", "port_lost", "port_back")],
                             ["started", "port_lost", "port_back"], out)
        with self.subTest("records: in order, none torn, none repeated"):
            records = cable.received.split(b"\r\n")[:-1]
            self.assertEqual(records, [str(n).encode() for n in range(1, len(records) + 1)])
        with self.subTest("the exit status says one device did not stream the whole run"):
            self.assertEqual(player.returncode, 1)

    def test_a_candump_log_plays_at_its_recorded_times(self):
        start = 1700000000.0
        frames = [(start + i * 0.02, "0CF00400#FFFF7DC01A18FFFF") for i in range(50)]
        frames += [(start + 0.005 + i, "18FEEE00#7D4B1B2DFFFFFFFF") for i in range(1)]
        self.write("gateway.log", "".join("(%.6f) can0 %s\n" % f for f in sorted(frames)).encode())
        station = Station()
        done = play(["j1939", "gateway.log", station.path, "--timing", "recorded", "--for", "3s"], self.folder)
        station.close()
        arrivals = {b"T0CF00400": [], b"T18FEEE00": []}
        for when, got in station.reads:
            for frame in got.split(b"\r")[:-1]:
                arrivals[frame[:9]].append(when)
        periods = {k: sorted(b - a for a, b in zip(t, t[1:]))[len(t) // 2 - 1] for k, t in arrivals.items()}
        self.assertEqual((done.returncode, round(periods[b"T0CF00400"], 3), round(periods[b"T18FEEE00"], 2)),
                         (0, 0.02, 1.0), done.stdout)

    def test_a_paced_j1587_recording_sends_whole_messages_one_at_a_time(self):
        station = Station()
        player = subprocess.Popen([PLAYER, "j1587", os.path.join(ROOT, "data", "ddec.bin"), station.path, "--timing",
                                   "paced", "--for", "3s"], cwd=self.folder, stdout=subprocess.PIPE, text=True)
        # Held up for a while (a busy machine): the messages due meanwhile go out after it.
        time.sleep(1)
        player.send_signal(signal.SIGSTOP)
        time.sleep(0.3)
        player.send_signal(signal.SIGCONT)
        out, _ = player.communicate(timeout=60)
        station.close()
        bursts = [got for _, got in station.reads]
        # A J1587 message's bytes sum to zero: a burst of whole messages does too.
        self.assertEqual((player.returncode, [b for b in bursts if sum(b) % 256]), (0, []), out)
        with self.subTest("each message alone, the line idle more than 1.25 ms before the next"):
            # From the second: the station may take in the first late, while the player opens its port.
            gaps = [b[0] - a[0] for a, b in zip(station.reads[1:], station.reads[2:])]
            self.assertEqual((min(gaps) > 0.00125, max(len(b) for b in bursts) <= 21), (True, True))

    def test_timestamps_now_move_forward_across_the_loop(self):
        self.write("two.csv", b"2026-03-14 09:30:00,1\n2026-03-14 09:30:01,2\n")
        station = Station()
        done = play(["blender", "two.csv", station.path, "--timestamps", "now", "--for", "4s"], self.folder)
        station.close()
        stamps = [line.split(b",")[0] for line in station.bytes.split(b"\r\n")[:-1]]
        self.assertEqual((done.returncode, len(stamps), stamps == sorted(set(stamps))), (0, 4, True), stamps)

    @unittest.skipUnless(shutil.which("ser2net"), "ser2net is not installed")
    def test_a_device_on_a_network_port_reaches_the_station_behind_ser2net(self):
        self.write("one.csv", b"x,1\ny,2\n")
        station = Station()
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            port = probe.getsockname()[1]
        config = os.path.join(self.folder, "ser2net.yaml")
        with open(config, "w") as f:
            f.write("%%YAML 1.1\n---\nconnection: &port\n  accepter: telnet(rfc2217),tcp,127.0.0.1,%d\n"
                    "  connector: serialdev,%s,19200n81,local\n" % (port, station.path))
        server = subprocess.Popen(["ser2net", "-u", "-n", "-d", "-c", config],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            deadline = time.monotonic() + 5
            while time.monotonic() < deadline:  # listening, seen without connecting
                with socket.socket() as probe:
                    try:
                        probe.bind(("127.0.0.1", port))
                    except OSError:
                        break
                time.sleep(0.05)
            done = play(["blender", "one.csv", "rfc2217://127.0.0.1:%d" % port, "--for", "3s", "--baud", "9600"],
                        self.folder)
        finally:
            server.terminate()
            server.wait()
        station.close()
        self.assertEqual((done.returncode, station.bytes, station.baud),
                         (0, b"x,1\r\ny,2\r\nx,1\r\n", termios.B9600), done.stdout + done.stderr)


if __name__ == "__main__":
    PLAYER = os.path.abspath(sys.argv.pop(1))
    unittest.main()
