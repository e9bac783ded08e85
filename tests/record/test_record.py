#!/usr/bin/python3
"""quorvex-record end to end over pseudo-terminals: what the user sees, what
it writes, and what a station receives when the program replays that.

Usage: test_record.py QUORVEX_RECORD QUORVEX [unittest arguments]. The rows
need no display; RoundTrip drives the program's window (run it under xvfb-run).
Every port here is a pseudo-terminal made here, mapped as COM3.
"""
import fcntl
import glob
import os
import pty
import random
import re
import resource
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import tty
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tools"))
sys.path.insert(0, os.path.join(ROOT, "tests", "program"))
import samples  # noqa: E402
import test_program  # noqa: E402  (its import gives the tests a recordings folder of their own)

RECORDER = "build/quorvex-record"
PROGRAM = "build/quorvex"
# Where the recorder saves by default and the program looks first.
RECORDINGS = os.path.join(test_program.USER_DATA, "quorvex")


def shipped(name):
    with open(os.path.join(ROOT, "data", name), "rb") as f:
        return f.read()


DD16 = shipped("dd16.csv").split(b"\n")[:4]
NOISE = random.Random(1).randbytes(3000)  # what a wrong baud rate reads as
DDEC = shipped("ddec.bin")[:-1]
DDEC_STARTS = [m.offset for m in samples.parse_j1587(DDEC, {128})]
HDV2 = shipped("hdv2.bin")[:-1]
HDV2_STARTS = [0] + [i + 1 for i, byte in enumerate(HDV2) if byte == 13]
TIME_GOES_BACK = b"".join(b"(1700000000.%06d) slcan0 0CF00400#FFFF7DC01A18FFFF\n" % us for us in (0, 50000, 40000))
SAMPLES = ["blender.csv", "blenderplus.csv", "frac.csv", "dd16.csv", "ddec.bin", "hdv2.bin"]


def spreadsheet(records):
    """blender.csv as a spreadsheet saves it: a byte order mark, a header
    line, CR LF, an empty line, and the fifth record a field short."""
    records = list(records)
    records[4] = records[4].rsplit(b",", 1)[0]
    header = ",".join(samples.FIELDS["blender.csv"]).encode()
    return b"\xef\xbb\xbf" + b"\r\n".join([header] + records[:3] + [b""] + records[3:]) + b"\r\n"


def full_disk(limit):
    """A disk that takes limit bytes of a file: writes past it fail (EFBIG),
    as they do on a full one (ENOSPC)."""
    def preexec():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
    return preexec


class Line:
    """A pseudo-terminal as COM3: the recorder opens its slave, the
    equipment's bytes are written into its master."""

    def __init__(self):
        self.master, self.slave = pty.openpty()
        tty.setraw(self.master)
        self.path = os.ttyname(self.slave)

    def close(self):
        os.close(self.master)
        os.close(self.slave)


class Recorder:
    def __init__(self, line_path, *args, out=None, preexec=None):
        env = dict(os.environ, QUORVEX_COM3=line_path)
        self.out = out or RECORDINGS
        self.process = subprocess.Popen([RECORDER, *args, *(["--out", out] if out else [])], env=env,
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE, preexec_fn=preexec)

    def wait(self, timeout=20):
        stdout, stderr = self.process.communicate(timeout=timeout)
        return self.process.returncode, stdout.decode(), stderr.decode()

    def wait_for_part(self, size, timeout=10):
        """Until the recording in progress holds size bytes."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            parts = glob.glob(os.path.join(self.out, "*.part"))
            if parts and os.path.getsize(parts[0]) >= size:
                return
            time.sleep(0.02)
        raise AssertionError("the recording never reached %d bytes" % size)


class Gateway(threading.Thread):
    """A serial CAN gateway on a Line, as most USB-CAN adapters are: it
    answers each command with CR and sends its frames, ten every 10 ms, only
    once it is open ("O"), unless it streams by itself."""

    def __init__(self, line, frames, by_itself=False):
        super().__init__(daemon=True)
        self.line, self.frames, self.open = line, frames, by_itself
        self.commands = b""
        self.done = threading.Event()
        self.start()

    def run(self):
        while not self.done.is_set():
            if select.select([self.line.master], [], [], 0.01)[0]:
                got = os.read(self.line.master, 100)
                self.commands += got
                os.write(self.line.master, b"\r" * got.count(b"\r"))
                self.open = self.open or b"O\r" in self.commands
            if self.open and self.frames:
                sent = os.write(self.line.master, self.frames[:270])
                self.frames = self.frames[sent:]

    def stop(self):
        self.done.set()
        self.join()


def slcan_of_candump(log):
    """A candump log's frames of 29-bit IDs as the SLCAN text a gateway sends."""
    frames = [line.split()[2].split(b"#") for line in log.splitlines()]
    return b"".join(b"T%s%d%s\r" % (frame_id, len(data) // 2, data) for frame_id, data in frames)


def send_while_recording(line, recorder, sent):
    while sent and recorder.process.poll() is None:
        if select.select([], [line.master], [], 0.1)[1]:
            sent = sent[os.write(line.master, sent[:1000]):]


class RecorderRows(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.dir)
        self.line = Line()
        self.addCleanup(self.line.close)

    def record(self, *args, sent=b"", after_quiet=b""):
        """Records what is sent at once, then, once the line has been quiet
        for over half a record period, after_quiet."""
        recorder = Recorder(self.line.path, *args, out=self.dir)
        os.write(self.line.master, sent)
        if after_quiet:
            recorder.wait_for_part(0)  # the port is open
            time.sleep(0.7)
            os.write(self.line.master, after_quiet)
        return recorder.wait()

    def written(self, name):
        with open(os.path.join(self.dir, name), "rb") as f:
            return f.read()

    def test_text_records_are_written_one_a_line_as_the_device_sent_them(self):
        a, b, c, d = DD16
        rows = [
            ("a partial first record", b"5.1,0.0\n" + a + b"\n" + b + b"\n", b"", 2, a + b"\n" + b + b"\n"),
            ("mixed line ends", b"\r\n" + a + b"\r\n" + b + b"\r" + c + b"\n" + d + b"\r\r\n", b"", 4,
             a + b"\n" + b + b"\n" + c + b"\n" + d + b"\n"),
            ("a first record after a quiet line is whole", b"", a + b"\r\n" + b + b"\r\n", 2, a + b"\n" + b + b"\n"),
            ("a partial record before a quiet line", b"5.1,0.0", a + b"\r\n", 1, a + b"\n"),
        ]
        for name, sent, after_quiet, records, expected in rows:
            with self.subTest(name):
                rc, _, _ = self.record("dd16", "3", "--records", str(records), "--force", sent=sent,
                                       after_quiet=after_quiet)
                self.assertEqual((rc, self.written("dd16.csv")), (0, expected))

    def test_a_j1587_stream_joined_mid_message_starts_at_the_next_message_and_ends_on_a_chunk(self):
        self.record("j1587", "3", "--records", "200", sent=DDEC[5:4000])
        written = self.written("ddec.bin")
        self.assertEqual((DDEC.find(written[:-1]), (len(written) - 1) % 50), (DDEC_STARTS[1], 0))

    def test_damaged_engine_messages_are_reported_and_left_out(self):
        at = DDEC_STARTS[20]
        checksum = DDEC_STARTS[21] - 1
        frame = HDV2.index(b"\r", 1000) + 1
        rows = [
            ("a corrupted checksum", "j1587", DDEC[:checksum] + bytes([DDEC[checksum] ^ 0x55]) + DDEC[checksum + 1:3000],
             "1 checksum failure (at byte %d), left out" % at),
            ("a garbled frame", "j1939", HDV2[:frame + 5] + b"\x00" + HDV2[frame + 6:5000],
             "1 unparsable stretch of 27 bytes (at byte %d), left out" % frame),
        ]
        for name, fmt, sent, seen in rows:
            with self.subTest(name):
                rc, stdout, _ = self.record(fmt, "3", "--records", "150", "--force", sent=sent)
                self.assertIn(seen, stdout)

    def test_ctrl_c_mid_record_writes_the_whole_records_before_it(self):
        a, b, c, _ = DD16
        recorder = Recorder(self.line.path, "dd16", "3", out=self.dir)
        os.write(self.line.master, b"\n" + a + b"\n" + b + b"\n" + c[:20])
        recorder.wait_for_part(len(a) + len(b) + 2)
        recorder.process.send_signal(signal.SIGINT)
        rc, _, _ = recorder.wait()
        self.assertEqual((rc, self.written("dd16.csv")), (0, a + b"\n" + b + b"\n"))

    def test_a_file_in_the_way_is_replaced_with_force_or_as_the_shipped_sample_and_killed_runs_leave_nothing(self):
        a, b, _, _ = DD16
        dead = subprocess.Popen(["true"])
        dead.wait()
        killed, running = "dd16.csv.%d-a1b2c3.part" % dead.pid, "dd16.csv.%d-a1b2c3.part" % os.getpid()
        rows = [("without --force", {"dd16.csv": b"old\n"}, [], (2, {"dd16.csv": b"old\n"})),
                ("with --force", {"dd16.csv": b"old\n"}, ["--force"], (0, {"dd16.csv": a + b"\n", "dd16.csv.bak": b"old\n"})),
                ("the shipped sample, replaced without a backup", {"dd16.csv": shipped("dd16.csv")}, [],
                 (0, {"dd16.csv": a + b"\n"})),
                ("a killed run's temporary file goes, a running one's stays", {killed: b"torn", running: b""}, [],
                 (0, {"dd16.csv": a + b"\n", running: b""}))]
        for name, before, force, expected in rows:
            with self.subTest(name):
                for file, content in before.items():
                    with open(os.path.join(self.dir, file), "wb") as f:
                        f.write(content)
                rc, _, _ = self.record("dd16", "3", "--records", "1", *force, sent=b"\n" + a + b"\n" + b + b"\n")
                after = {file: self.written(file) for file in os.listdir(self.dir)}
                self.assertEqual((rc, after), expected)
                for file in os.listdir(self.dir):
                    os.remove(os.path.join(self.dir, file))

    def test_a_j1939_gateway_is_opened_for_the_recording_and_closed_after_it_and_the_frames_keep_their_times(self):
        frames = HDV2[:HDV2_STARTS[150]]
        rows = [
            ("S5 and O before, C after", [], False, lambda gateway: gateway.commands, b"S5\rO\rC\r"),
            ("--can-bitrate 500000 is S6", ["--can-bitrate", "500000"], False, lambda gateway: gateway.commands,
             b"S6\rO\rC\r"),
            ("--no-gateway-setup leaves a gateway that streams by itself untouched", ["--no-gateway-setup"], True,
             lambda gateway: gateway.commands, b""),
            ("the log beside hdv2.bin replays its frames", [], False,
             lambda gateway: slcan_of_candump(self.written("hdv2.log")) == self.written("hdv2.bin")[:-1], True),
        ]
        for name, args, by_itself, seen, expected in rows:
            with self.subTest(name):
                line = Line()
                self.addCleanup(line.close)
                gateway = Gateway(line, frames, by_itself)
                recorder = Recorder(line.path, "j1939", "3", "--records", "100", "--force", *args, out=self.dir)
                self.addCleanup(recorder.process.kill)
                rc, stdout, _ = recorder.wait()
                time.sleep(0.1)  # the last command on its way
                gateway.stop()
                self.assertEqual(seen(gateway), expected, stdout)

    def test_a_port_that_cannot_be_opened_is_reported_as_the_window_reports_it(self):
        not_a_port = os.path.join(self.dir, "not-a-port")
        open(not_a_port, "w").close()
        # A file of the user's in the way: the port is the first thing said.
        with open(os.path.join(self.dir, "hdv2.bin"), "wb") as f:
            f.write(b"the user's own\n")
        fcntl.flock(self.line.slave, fcntl.LOCK_EX)
        range_said = "Invalid COM port number for this system.\n%s: Quorvex's COM numbers run from 1 to 16; name " \
                     "another port by its device (/dev/ttyUSB0)\n"
        with open("/proc/self/comm") as comm:
            this_program = comm.read().strip()
        rows = [
            ("missing", "/nonexistent/port", "3",
             "Serial port not found.\nCOM3 is /nonexistent/port: No such file or directory\n"),
            ("no serial device", None, not_a_port, "Could not open COM port.\n%s: not a serial device\n" % not_a_port),
            ("held by another program, named as fuser finds it", None, self.line.path,
             "Could not open COM port.\n%s: held by %s (process %d)\n" % (self.line.path, this_program, os.getpid())),
            ("above the COM list", None, "COM17", range_said % "COM17"),
            ("below the COM list", None, "0", range_said % "0"),
        ]
        for name, com3, port, said in rows:
            with self.subTest(name):
                env = dict(os.environ, QUORVEX_COM3=com3 or self.line.path)
                run = subprocess.run([RECORDER, "j1939", port, "--out", self.dir], env=env,
                                     capture_output=True, text=True, timeout=20)
                self.assertEqual((run.returncode, run.stderr), (3, "quorvex-record: " + said))

    def on_disk(self, name):
        """(records or messages, bytes the replay sends) of the one file in
        the folder; else what the folder holds."""
        if os.listdir(self.dir) != [name]:
            return os.listdir(self.dir)
        data = self.written(name)
        if name.endswith(".csv"):
            return data.count(b"\n"), len(data)
        messages = samples.parse_j1587(data[:-1], {128}) if name == "ddec.bin" else samples.parse_slcan(data[:-1])
        return len(messages), len(data) - 1

    def test_a_full_disk_leaves_whole_records_as_counted_or_no_file(self):
        rows = [
            ("text, a record torn", "blender", "blender.csv", b"\n" + shipped("blender.csv"), 65536, 0),
            ("j1939, a frame torn", "j1939", "hdv2.bin", HDV2, 65536, 0),
            ("j1587, full at a chunk boundary, no room for the byte after it", "j1587", "ddec.bin", DDEC, 65300, 0),
            ("full from the start", "dd16", "dd16.csv", b"\n" + shipped("dd16.csv"), 1, 1),
        ]
        for name, fmt, file, sent, limit, code in rows:
            with self.subTest(name):
                line = Line()  # none of the last row's bytes left in it
                self.addCleanup(line.close)
                recorder = Recorder(line.path, fmt, "3", "--records", "100000", "--force", out=self.dir,
                                    preexec=full_disk(limit))
                sending = threading.Thread(target=send_while_recording, args=(line, recorder, sent))
                sending.start()
                rc, stdout, _ = recorder.wait()
                sending.join()
                counted = re.search(r"(\d+) \w+ kept \((\d+) bytes", stdout)
                printed = [] if "nothing saved" in stdout else tuple(int(n) for n in counted.groups())
                self.assertEqual((rc, printed), (code, self.on_disk(file)), stdout)
                for left in os.listdir(self.dir):
                    os.remove(os.path.join(self.dir, left))

    def test_an_out_folder_that_cannot_be_written_is_refused_with_the_reason(self):
        folder = os.path.join(self.dir, "read-only")
        os.mkdir(folder, 0o555)
        os.chmod(self.dir, 0o755)
        as_user = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"] if os.geteuid() == 0 else []
        os.chmod(self.line.path, 0o666)  # the port opens first: the folder is what is refused
        run = subprocess.run([*as_user, os.path.abspath(RECORDER), "blender", "3", "--out", folder],
                             env=dict(os.environ, QUORVEX_COM3=self.line.path), capture_output=True, text=True,
                             timeout=20)
        self.assertEqual((run.returncode, run.stderr),
                         (2, "quorvex-record: cannot write in %s: Permission denied\n" % folder))

    def check(self, name, *args):
        return subprocess.run([RECORDER, "--check", name, *args], capture_output=True, text=True, timeout=20)

    def test_check_lists_what_would_not_replay_cleanly_and_fix_mends_it(self):
        records = shipped("blender.csv").split(b"\n")[:8]
        hdv2_seam = max(s for s in HDV2_STARTS if s < 99950)
        ddec_seam = max(s for s in DDEC_STARTS if s < 99957) - 7
        rows = [
            ("blender.csv from a spreadsheet", "blender.csv", spreadsheet(records),
             ["line 1: a UTF-8 byte order mark", "line 1: a header line", "line 5: empty", "line 7: 50 fields, not 51",
              "note: CR LF line ends"],
             "%s now replays cleanly (1 record with other than 51 fields, kept as written).", records[0] + b"\n"),
            ("hdv2.bin cut by hand", "hdv2.bin", HDV2[:100000],
             ["byte %d: a message torn by the loop seam" % hdv2_seam], "%s now replays cleanly.", HDV2[:50]),
            ("ddec.bin cut by hand", "ddec.bin", DDEC[7:100000],
             ["byte 0: 2 bytes before the first whole message", "byte %d: a message torn" % ddec_seam],
             "%s now replays cleanly.", DDEC[9:59]),
            ("hdv2.bin cut mid-frame at both ends", "hdv2.bin", HDV2[10:2013],
             [": 3 problems: 2 stretches that are no SLCAN frame, 1 torn message at the loop seam."],
             "%s now replays cleanly.", HDV2[27:77]),
            ("hdv2.bin too short for a clean loop", "hdv2.bin", HDV2[:1000], ["a message torn by the loop seam"],
             "--fix: no run of whole messages in %s fills whole 50-byte chunks, so no cut of it loops cleanly; "
             "it is left as it is (a longer recording can be cut).", HDV2[:1000]),
            ("semicolons and decimal commas", "blender.csv",
             b"".join(b";".join(f.replace(b".", b",") for f in r.split(b",")) + b"\n" for r in records),
             ["the file: fields separated by semicolons", "no record has 51, so none is the device's"],
             "%s now replays cleanly.", b"\n".join(records) + b"\n"),
            ("quoted fields", "blender.csv", b"".join(b'"' + r.replace(b",", b'","') + b'"\n' for r in records),
             ["lines 1, 2, 3, 4, 5 and 3 more: fields in quotes"], "%s now replays cleanly.", b"\n".join(records) + b"\n"),
            ("random bytes, whose first line is no header", "blender.csv", NOISE,
             ["no record has 51, so none is the device's", ": 51 problems: 7 line ends of CR alone,"],
             "%s: 43 problems left: 21 records with other than 51 fields, 21 records with bytes that are not ASCII, "
             "1 line with quoted fields.", NOISE[:NOISE.index(b"\n") + 1]),
            ("UTF-16 without a byte order mark", "blender.csv", b"\n".join(records[:3]).decode().encode("utf-16-le"),
             ["the file: NUL bytes all through it"], "--fix: nothing of %s would replay, so it is left as it is.",
             records[0][:4].decode().encode("utf-16-le")),
            ("hdv2.log whose time goes back", "hdv2.log", TIME_GOES_BACK, ["line 3: the time goes back"],
             "--fix: %s is a log with times, which it leaves as it is: mend the lines listed, or record again.",
             TIME_GOES_BACK),
        ]
        for name, file, content, reported, fixed, start in rows:
            with self.subTest(name):
                path = os.path.join(self.dir, file)
                with open(path, "wb") as f:
                    f.write(content)
                check = self.check(path)
                missing = [line for line in reported if line not in check.stdout]
                last = self.check(path, "--fix").stdout.splitlines()[-1]
                self.assertEqual((check.returncode, missing, last, self.written(file)[:len(start)]),
                                 (1, [], fixed % path, start), check.stdout)

    def test_a_second_fix_keeps_the_first_original_too(self):
        record = shipped("blender.csv").split(b"\n")[0]
        path = os.path.join(self.dir, "blender.csv")
        for original in (record + b"\n\n", b"\n" + record + b"\n"):
            with open(path, "wb") as f:
                f.write(original)
            self.check(path, "--fix")
        self.assertEqual((self.written("blender.csv.bak"), self.written("blender.csv.bak.1")),
                         (record + b"\n\n", b"\n" + record + b"\n"))

    def test_the_shipped_recordings_replay_cleanly(self):
        for name in SAMPLES:
            with self.subTest(name):
                path = os.path.join(ROOT, "data", name)
                run = self.check(path)
                self.assertEqual((run.returncode, run.stdout.splitlines()[-1]), (0, path + ": replays cleanly."))

    def test_the_port_is_held_by_the_rules_of_lock_files_as_the_window_holds_it(self):
        lock = "/run/lock/LCK.." + os.path.basename(os.path.realpath(self.line.path))
        if not os.access("/run/lock", os.W_OK):
            self.skipTest("no lock folder to write in")
        self.addCleanup(lambda: os.path.exists(lock) and os.unlink(lock))
        dead = subprocess.Popen(["true"])
        dead.wait()
        a, b, _, _ = DD16

        def live_lock():
            with open(lock, "w") as f:
                f.write("%10d\n" % os.getpid())
            rc, _, stderr = self.record("dd16", self.line.path, "--records", "1")
            with open(lock) as f:
                left = f.read()
            os.unlink(lock)
            return rc, stderr, left

        def own_lock():
            recorder = Recorder(self.line.path, "dd16", "3", out=self.dir)
            os.write(self.line.master, b"\n" + a + b"\n")
            recorder.wait_for_part(len(a) + 1)
            with open(lock) as f:
                during = f.read()
            recorder.process.send_signal(signal.SIGINT)
            rc, _, _ = recorder.wait()
            return rc, during == "%10d\n" % recorder.process.pid, os.path.exists(lock)

        def dead_lock_of_another_user():
            if os.geteuid() != 0:
                self.skipTest("needs root, to run the recorder as another user")
            with open(lock, "w") as f:
                f.write("%10d\n" % dead.pid)  # root's, in the sticky lock folder: nobody may not remove it
            folder = tempfile.mkdtemp()
            self.addCleanup(shutil.rmtree, folder)
            shutil.copy(RECORDER, folder)
            os.chmod(folder, 0o777)
            os.chmod(self.line.path, 0o666)
            os.write(self.line.master, b"\n" + a + b"\n" + b + b"\n")
            run = subprocess.run(["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                  os.path.join(folder, os.path.basename(RECORDER)), "dd16", self.line.path,
                                  "--records", "1", "--out", folder], capture_output=True, timeout=20)
            return run.returncode, os.path.exists(lock)

        rows = [
            ("a live program's lock: refused, the holder named, the lock left", live_lock,
             (3, "quorvex-record: Could not open COM port.\n%s: held by python3 (process %d), lock file %s\n"
              % (self.line.path, os.getpid(), lock), "%10d\n" % os.getpid())),
            ("its own lock while it records, gone at the end", own_lock, (0, True, False)),
            ("another user's lock of a dead program: recorded", dead_lock_of_another_user, (0, True)),
        ]
        for name, run, expected in rows:
            with self.subTest(name):
                self.assertEqual(run(), expected)

    def test_a_cable_test_tells_crossed_from_straight_and_a_loopback_and_the_list_numbers_ports_as_the_window(self):
        """Pseudo-terminals have no pins: a crossed cable is a pair whose far
        ends socat joins, a straight one two whose far ends stay apart (a
        straight cable carries nothing from transmit to receive), a loopback
        one whose far end echoes."""
        def run(*args, **com):
            env = dict(os.environ, **{"QUORVEX_COM%s" % n[3:]: path for n, path in com.items()})
            done = subprocess.run([RECORDER, *args], env=env, capture_output=True, text=True, timeout=30)
            return done.returncode, (done.stdout.splitlines() or [""])[-1].split(":")[0]

        def crossed():
            a, b = os.path.join(self.dir, "a"), os.path.join(self.dir, "b")
            socat = subprocess.Popen(["socat", "pty,raw,echo=0,link=" + a, "pty,raw,echo=0,link=" + b])
            self.addCleanup(socat.wait)
            self.addCleanup(socat.kill)
            deadline = time.monotonic() + 10
            while not (os.path.exists(a) and os.path.exists(b)) and time.monotonic() < deadline:
                time.sleep(0.02)
            return run("--cable-test", "COM1", "2", com1=a, com2=b)

        def straight():
            other = Line()
            self.addCleanup(other.close)
            return run("--cable-test", "1", "COM2", com1=self.line.path, com2=other.path)

        def loopback():
            stop = threading.Event()
            def echo():
                while not stop.is_set():
                    if select.select([self.line.master], [], [], 0.05)[0]:
                        os.write(self.line.master, os.read(self.line.master, 4096))
            echoing = threading.Thread(target=echo)
            echoing.start()
            try:
                return run("--cable-test", "COM1", com1=self.line.path)
            finally:
                stop.set()
                echoing.join()

        def listed():
            done = subprocess.run([RECORDER, "--list"], env=dict(os.environ, QUORVEX_COM3=self.line.path),
                                  capture_output=True, text=True, timeout=30)
            return done.returncode, "COM3   " + self.line.path in done.stdout.splitlines()

        rows = [
            ("a crossed cable", crossed, (0, "Crossed (null-modem)")),
            ("a straight cable", straight, (1, "Straight, or carrying nothing")),
            ("a loopback at the far end", loopback, (0, "The adapter and cable carry both ways")),
            ("no loopback at the far end", lambda: run("--cable-test", "1", com1=self.line.path),
             (1, "Nothing came back")),
            ("the COM list", listed, (0, True)),
        ]
        for name, row, expected in rows:
            with self.subTest(name):
                self.assertEqual(row(), expected)

    def test_a_wrong_call_says_in_one_line_what_is_wrong(self):
        rows = [
            (["dd16", "3", "--recods", "5"], "unknown option --recods"),
            (["dd16", "3", "--records"], "--records needs a value"),
            (["dd16", "3", "--force=yes"], "--force takes no value"),
            (["dd16", "3", "--out="], "--out takes a folder"),
            (["dd16", "3", "4"], 'one FORMAT and one PORT, and "4" is a third'),
            (["--check", "dd16.csv", "--minutes", "3"], "--check takes --format and --fix, not --minutes"),
            (["j1939", "3", "--baud", "9600"], "j1939 always runs at 115200 baud"),
            (["--cable-test", "1", "2", "3"], "--cable-test takes one PORT, or two joined by a cable"),
        ]
        for args, said in rows:
            with self.subTest(" ".join(args)):
                run = subprocess.run([RECORDER, *args], env=dict(os.environ, QUORVEX_COM3="/nonexistent/port"),
                                     capture_output=True, text=True, timeout=20)
                self.assertEqual((run.returncode, run.stderr.splitlines()[0]), (2, "quorvex-record: " + said))

    def test_only_what_is_the_devices_is_saved_and_the_summary_says_plainly_what_came(self):
        baud = "the baud rate is likely wrong (try --baud 9600), or another device is on this port"
        rows = [
            ("nothing arriving", "j1587", ["--minutes", "0.01"], b"", 1, [],
             "nothing arrived on COM3 (%s); is the equipment on" % self.line.path),
            ("noise, as at a wrong baud rate", "blender", ["--records", "10"], NOISE, 1, [],
             "nothing saved: these are not Velmara blender records: " + baud),
            ("a J1939 gateway recorded as a blender: stopped at once", "blender", ["--minutes", "1"],
             HDV2[:3000], 1, [], "these are not Velmara blender records: they look like SLCAN frames of a J1939 "
             "gateway: record them as j1939; 0:00 from COM3 (%s), ended when " % self.line.path),
            ("a blender recorded as J1939: stopped at once", "j1939", ["--minutes", "1"],
             shipped("blender.csv")[:9000], 1, [], "these are not SLCAN frames of a J1939 gateway: they look like "
             "text records of 51 fields, as the Velmara blender or Velmara+ blender sends: record them as blender or "
             "blenderplus; 0:00 from COM3 (%s), ended when " % self.line.path),
            ("three records: saved, with a warning", "dd16", ["--records", "3"], b"\n" + b"\n".join(DD16), 0,
             ["dd16.csv"], "no problems; warning: one pass of the replay lasts 3 s (3 records): the station sees it "
             "start over every 3 s; record a minute or more"),
        ]
        for name, fmt, args, sent, code, files, said in rows:
            with self.subTest(name):
                line = Line()  # nothing left of the row before
                self.addCleanup(line.close)
                recorder = Recorder(line.path, fmt, "3", *args, out=self.dir)
                os.write(line.master, sent)
                rc, stdout, _ = recorder.wait()
                said = said.replace(self.line.path, line.path)
                self.assertEqual((rc, os.listdir(self.dir), said in stdout, "no problems" in stdout),
                                 (code, files, True, code == 0), stdout)


class RoundTrip(unittest.TestCase):
    """The program's own engine streams recorded, then replayed by the program
    to a station that decodes every message across the loop seam."""

    def setUp(self):
        self.window = test_program
        test_program.PROGRAM = PROGRAM
        self.dir = RECORDINGS  # the recorder's own choice: no --out
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.screen = test_program.Screen()
        self.addCleanup(self.screen.display.close)

    def start(self, keys):
        """The program streaming the format the ring's keys choose."""
        program = self.window.Program()
        self.addCleanup(program.stop)
        window = self.screen.windows(self.window.MAIN_TITLE)[0]
        popups = len(self.screen.popups())
        self.screen.click(window, 146 + 150, 114 + 11)  # the format ring
        self.assertTrue(self.window.wait_until(lambda: len(self.screen.popups()) > popups, 3), "the ring's list opens")
        for key in keys:
            self.screen.key(key)
        return program

    def record(self, program, fmt, messages):
        line = Line()
        self.addCleanup(line.close)
        recorder = Recorder(line.path, fmt, "3", "--records", str(messages))

        def relay():
            while recorder.process.poll() is None:
                if select.select([program.master], [], [], 0.1)[0]:
                    os.write(line.master, os.read(program.master, 4096))
        relaying = threading.Thread(target=relay, daemon=True)
        relaying.start()
        rc, _, _ = recorder.wait(timeout=60)
        relaying.join()
        self.assertEqual(rc, 0)

    def replay(self, name, keys, extra):
        """What a station receives from the recording, replayed where the
        recorder left it: one pass and extra bytes."""
        open(os.path.join(self.dir, "blender.csv"), "w").close()  # nothing before the switch
        program = self.start(keys)
        loop = os.path.getsize(os.path.join(self.dir, name)) - 1
        received, deadline = b"", time.monotonic() + loop / 200 + 15
        while len(received) < loop + extra and time.monotonic() < deadline:
            if select.select([program.master], [], [], 0.1)[0]:
                received += os.read(program.master, 4096)
        return received, loop

    def round_trip(self, fmt, name, keys, messages):
        equipment = self.start(keys)
        self.record(equipment, fmt, messages)
        equipment.stop()  # its window goes: the replay's is the one to drive
        received, loop = self.replay(name, keys, 500)
        with open(os.path.join(self.dir, name), "rb") as f:
            recording = f.read()
        self.assertEqual(received[:loop + 500], (recording[:loop] * 2)[:loop + 500], "byte-exact across the seam")
        return received[:loop + 500], recording[:loop]

    def test_a_recording_of_the_programs_j1587_stream_replays_with_no_checksum_error_at_the_seam(self):
        received, one_pass = self.round_trip("j1587", "ddec.bin", ["End", "Up", "Return"], 160)
        ends = [m.offset for m in samples.parse_j1587(one_pass, {128})] + [len(one_pass)]
        whole = received[:len(one_pass) + max(e for e in ends if e <= 500)]
        self.assertGreater(len(samples.parse_j1587(whole, {128})), 100)

    def test_a_recording_of_the_programs_j1939_stream_replays_with_whole_frames_at_the_seam(self):
        received, one_pass = self.round_trip("j1939", "hdv2.bin", ["End", "Return"], 60)
        whole = received[:received.rindex(b"\r") + 1]
        self.assertGreater(len(samples.parse_slcan(whole)), 50)


if __name__ == "__main__":
    RECORDER, PROGRAM = sys.argv[1], sys.argv[2]
    del sys.argv[1:3]
    unittest.main()
