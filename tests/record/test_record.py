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
DDEC = shipped("ddec.bin")[:-1]
DDEC_STARTS = [m.offset for m in samples.parse_j1587(DDEC, {128})]
HDV2 = shipped("hdv2.bin")[:-1]
HDV2_STARTS = [0] + [i + 1 for i, byte in enumerate(HDV2) if byte == 13]
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

    def record(self, *args, sent=b""):
        recorder = Recorder(self.line.path, *args, out=self.dir)
        os.write(self.line.master, sent)
        return recorder.wait()

    def written(self, name):
        with open(os.path.join(self.dir, name), "rb") as f:
            return f.read()

    def test_text_records_are_written_one_a_line_as_the_device_sent_them(self):
        a, b, c, d = DD16
        rows = [
            ("a partial first record", b"5.1,0.0\n" + a + b"\n" + b + b"\n", 2, a + b"\n" + b + b"\n"),
            ("mixed line ends", b"\r\n" + a + b"\r\n" + b + b"\r" + c + b"\n" + d + b"\r\r\n", 4,
             a + b"\n" + b + b"\n" + c + b"\n" + d + b"\n"),
        ]
        for name, sent, records, expected in rows:
            with self.subTest(name):
                rc, _, _ = self.record("dd16", "3", "--records", str(records), "--force", sent=sent)
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

    def test_an_existing_file_is_replaced_only_with_force_and_then_kept_as_bak(self):
        a, b, _, _ = DD16
        old = os.path.join(self.dir, "dd16.csv")
        rows = [("without --force", [], (2, b"old\n", False)),
                ("with --force", ["--force"], (0, a + b"\n", True))]
        for name, force, expected in rows:
            with self.subTest(name):
                with open(old, "wb") as f:
                    f.write(b"old\n")
                rc, _, _ = self.record("dd16", "3", "--records", "1", *force, sent=b"\n" + a + b"\n" + b + b"\n")
                bak = os.path.exists(old + ".bak") and self.written("dd16.csv.bak") == b"old\n"
                self.assertEqual((rc, self.written("dd16.csv"), bak), expected)

    def test_a_port_that_cannot_be_opened_is_reported_as_the_window_reports_it(self):
        not_a_port = os.path.join(self.dir, "not-a-port")
        open(not_a_port, "w").close()
        fcntl.flock(self.line.slave, fcntl.LOCK_EX)
        with open("/proc/self/comm") as comm:
            this_program = comm.read().strip()
        rows = [
            ("missing", "/nonexistent/port", "3",
             "Serial port not found.\nCOM3 is /nonexistent/port: No such file or directory\n"),
            ("no serial device", None, not_a_port, "Could not open COM port.\n%s: not a serial device\n" % not_a_port),
            ("held by another program, named as fuser finds it", None, self.line.path,
             "Could not open COM port.\n%s: held by %s (process %d)\n" % (self.line.path, this_program, os.getpid())),
            ("out of range", None, "COM300", "Invalid COM port number for this system.\n"),
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
             ["line 1: a UTF-8 byte order mark", "line 1: a header line", "line 5: empty", "line 7: other than 51",
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
            ("UTF-16 without a byte order mark", "blender.csv", b"\n".join(records[:3]).decode().encode("utf-16-le"),
             ["the file: NUL bytes all through it"], "--fix: nothing of %s would replay, so it is left as it is.",
             records[0][:4].decode().encode("utf-16-le")),
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

    def test_a_wrong_call_says_in_one_line_what_is_wrong(self):
        rows = [
            (["dd16", "3", "--recods", "5"], "unknown option --recods"),
            (["dd16", "3", "--records"], "--records needs a value"),
            (["dd16", "3", "--force=yes"], "--force takes no value"),
            (["dd16", "3", "--out="], "--out takes a folder"),
            (["dd16", "3", "4"], 'one FORMAT and one PORT, and "4" is a third'),
            (["--check", "dd16.csv", "--minutes", "3"], "--check takes --format and --fix, not --minutes"),
            (["j1939", "3", "--baud", "9600"], "j1939 always runs at 115200 baud"),
        ]
        for args, said in rows:
            with self.subTest(" ".join(args)):
                run = subprocess.run([RECORDER, *args], env=dict(os.environ, QUORVEX_COM3="/nonexistent/port"),
                                     capture_output=True, text=True, timeout=20)
                self.assertEqual((run.returncode, run.stderr.splitlines()[0]), (2, "quorvex-record: " + said))

    def test_nothing_arriving_saves_nothing(self):
        rc, stdout, _ = self.record("j1587", "3", "--minutes", "0.01")
        self.assertEqual((rc, os.listdir(self.dir)), (1, []), stdout)


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
        self.screen.click(window, 146 + 150, 114 + 11)  # the format ring
        time.sleep(0.3)
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
