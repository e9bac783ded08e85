#!/usr/bin/python3
"""The Windows package under Wine, watched from outside as on Linux: the
program and quorvex-play.exe from the zip's folder, then the per-user
installer: install, upgrades over the user's own recordings, a running copy,
the uninstall.

    test_windows.py ZIP SETUP_EXE      (under an X server: xvfb-run)
"""
import fcntl
import hashlib
import os
import pty
import re
import subprocess
import sys
import tempfile
import termios
import time
import unittest
import zipfile

from Xlib import X

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "program"))
sys.path.insert(0, HERE)
from test_program import MAIN_TITLE, ExitChecks, Screen, wait_until  # noqa: E402
from wine import (Line, Prefix, WindowsProgram, line_speed, read_available, read_until_ended,  # noqa: E402
                  unread_bytes)

ZIP = SETUP = None
prefix = None
# Wine takes about 2 s to start a program and as long to end one.
START = 15.0


def setUpModule():
    global prefix
    prefix = Prefix()


def tearDownModule():
    prefix.cleanup()


class WindowsCase(ExitChecks, unittest.TestCase):
    folder = None

    def start(self, with_line=True):
        self.line = Line() if with_line else None
        if self.line:
            self.addCleanup(self.line.close)
        self.program = WindowsProgram(prefix, os.path.join(self.folder, "quorvex.exe"), self.line)
        self.addCleanup(self.program.stop)
        self.screen = Screen()
        self.addCleanup(self.screen.display.close)

    def main_window(self):
        windows = self.screen.windows(MAIN_TITLE, timeout=START)
        self.assertEqual(len(windows), 1, "one main window")
        if self.line:
            # Wine maps the window a moment before the program takes input: a
            # record in the line (left there to be read) shows its event loop running.
            self.assertTrue(wait_until(lambda: unread_bytes(self.line) > 0, START), "a record arrives")
        return windows[0]

    def box_text(self, title):
        """The text of the box with this title, as Ctrl+C in a message box copies it."""
        boxes = self.screen.windows(title, timeout=START)
        self.assertEqual(len(boxes), 1, f"one {title!r} box")
        text = ""

        def copied():
            nonlocal text
            out = subprocess.run(["xclip", "-o", "-selection", "clipboard"], capture_output=True, timeout=5)
            text = out.stdout.decode(errors="replace").replace("\r\n", "\n")
            return title in text
        for _ in range(3):  # a busy Wine may not take the first key press
            boxes[0].set_input_focus(X.RevertToPointerRoot, X.CurrentTime)
            self.screen.display.sync()
            wait_until(lambda: self.screen.has_focus(boxes[0]), 2)
            self.screen.key_combo("Control_L", "c")
            if wait_until(copied, 2):
                break
        # Focus back to the pointer's window, as with no window manager before.
        self.screen.display.set_input_focus(X.PointerRoot, X.RevertToPointerRoot, X.CurrentTime)
        self.screen.display.sync()
        return text

    def stations(self, count):
        """Lines for COM1 to COM<count>, each where a station would be."""
        lines = [Line() for _ in range(count)]
        for line in lines:
            self.addCleanup(line.close)
        return lines

    def user_folder(self, files):
        """A folder of the user's holding files (name: bytes), for the player to start in."""
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        for name, data in files.items():
            with open(os.path.join(folder.name, name), "wb") as f:
                f.write(data)
        return folder.name

    def play(self, cwd, lines, *args, **popen):
        """quorvex-play.exe from the folder, started in cwd with COM n on lines[n - 1]."""
        prefix.map_ports({n: line.path for n, line in enumerate(lines, 1)})
        player = subprocess.Popen(["wine", os.path.join(self.folder, "quorvex-play.exe"), *args], env=prefix.env,
                                  cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, **popen)
        self.addCleanup(player.stdout.close)
        self.addCleanup(self.end, player)
        return player

    @staticmethod
    def end(process):
        if process.poll() is None:
            process.terminate()
            process.wait()

    def expected_records(self, name, count):
        with open(os.path.join(self.folder, name), "rb") as f:
            return [line.rstrip(b"\r\n") + b"\r\n" for line in f.readlines()[:count]]

    def check_records_arrive_one_a_second(self):
        expected = self.expected_records("blender.csv", 6)
        data, times = read_available(self.line, time.monotonic() + START,
                                     lambda d: len(d) >= len(b"".join(expected)))
        self.assertEqual(data, b"".join(expected))
        ends, total = [], 0
        for record in expected:
            total += len(record)
            ends.append(next(t for t, size in times if size >= total))
        # The first records wait in the line while Wine shows the window.
        for gap in (b - a for a, b in zip(ends[3:], ends[4:])):
            self.assertAlmostEqual(gap, 1.0, delta=0.3)


class ZipFolder(WindowsCase):
    """The program as it runs from the zip's folder."""

    @classmethod
    def setUpClass(cls):
        cls.unpacked = tempfile.TemporaryDirectory()
        with zipfile.ZipFile(ZIP) as z:
            z.extractall(cls.unpacked.name)
        (top,) = os.listdir(cls.unpacked.name)
        cls.folder = os.path.join(cls.unpacked.name, top)

    @classmethod
    def tearDownClass(cls):
        cls.unpacked.cleanup()

    def test_window_appears_and_records_arrive_byte_exact_one_a_second(self):
        self.start()
        self.main_window()
        self.check_records_arrive_one_a_second()

    def test_an_engine_format_sends_50_byte_chunks_at_115200(self):
        self.start()
        window = self.main_window()
        with open(os.path.join(self.folder, "hdv2.bin"), "rb") as f:
            recording = f.read()
        for _ in range(3):  # a busy Wine may miss the click: pick again, as a user would
            popups = len(self.screen.popups())
            self.screen.click(window, 146 + 150, 114 + 11)  # the format ring
            wait_until(lambda: len(self.screen.popups()) > popups, 3)  # its list is open
            self.screen.key("End")
            self.screen.key("Return")
            data, _ = read_available(self.line, time.monotonic() + 5, lambda d: recording[:200] in d)
            if recording[:200] in data:
                break
            self.screen.key("Escape")
        self.assertIn(recording[:200], data, "the J1939 recording from its start, in 50-byte chunks")
        self.assertEqual(line_speed(self.line), termios.B115200)

    def test_a_com_number_with_no_port_behind_it_is_an_invalid_number(self):
        self.start(with_line=False)
        self.assertIn("Invalid COM port number for this system.", self.box_text("COM Error"))

    def beside(self, exe, *args):
        """Another program in the running prefix, on the ports as they are mapped."""
        process = subprocess.Popen(["wine", os.path.join(self.folder, exe), *args], env=prefix.env,
                                   cwd=self.folder, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(self.end, process)
        return process

    def test_a_second_copy_on_the_same_port_is_refused_and_the_station_gets_one_stream(self):
        self.start()
        self.main_window()
        self.beside("quorvex.exe")
        self.assertIn("Could not open COM port.", self.box_text("COM Error"))
        read_available(self.line, time.monotonic() + 0.5, lambda d: False)  # what waited in the line
        data, _ = read_available(self.line, time.monotonic() + 6, lambda d: False)
        records = data.split(b"\r\n")[1:-1]  # whole records only
        lines = [line.rstrip(b"\r\n") for line in self.expected_records("blender.csv", 10**6)]
        at = lines.index(records[0])
        self.assertEqual(records, [lines[(at + n) % len(lines)] for n in range(len(records))],
                         "one stream, record after record, one a second")
        self.assertAlmostEqual(len(records), 5, delta=1)

    def test_the_recorder_takes_a_folder_named_in_any_script_and_refuses_a_held_port(self):
        self.start()
        self.main_window()
        with tempfile.TemporaryDirectory() as parent:
            os.mkdir(os.path.join(parent, "測試 Aufnahmen"))
            recorder = subprocess.run(["wine", os.path.join(self.folder, "quorvex-record.exe"), "blender", "COM1",
                                       "--out", "測試 Aufnahmen"], env=prefix.env, cwd=parent, capture_output=True,
                                      timeout=60)
        self.assertEqual((recorder.returncode, recorder.stderr.decode(errors="replace").splitlines()[0]),
                         (3, "quorvex-record: Could not open COM port."))

    def test_the_player_streams_a_site_each_device_to_its_own_com_port_byte_exact(self):
        records = [b"%02d,1450.5,site" % n for n in range(12)]
        folder = self.user_folder({
            "pump.csv": b"\n".join(records) + b"\n",
            # The engine plays its format's own file, found beside the program.
            "site.toml": b'[[device]]\nname = "pump"\nformat = "ipc"\nrecording = "pump.csv"\nport = "COM1"\n'
                         b'[[device]]\nname = "engine"\nformat = "j1939"\nport = "COM2"\n'})
        lines = self.stations(2)
        player = self.play(folder, lines, "site.toml", "--for", "10s")
        received = read_until_ended(lines, player, 60)
        with open(os.path.join(self.folder, "hdv2.bin"), "rb") as f:
            engine = f.read(40 * 50)
        self.assertEqual((player.wait(), received), (0, [b"".join(r + b"\r\n" for r in records[:10]), engine]),
                         player.stdout.read().decode(errors="replace"))

    def test_the_player_on_a_com_number_with_no_port_says_so_and_exits_1(self):
        folder = self.user_folder({"pump.csv": b"01,1450.5\n"})
        player = self.play(folder, [], "ipc", "pump.csv", "COM3", "--for", "1s")
        out, _ = player.communicate(timeout=60)
        self.assertEqual((player.returncode, "Invalid COM port number for this system." in out.decode(errors="replace")),
                         (1, True), out)

    def test_ctrl_c_on_the_players_console_ends_it_with_whole_records_and_the_summary(self):
        folder = self.user_folder({"pump.csv": b"".join(b"%02d,1450.5\n" % n for n in range(20))})
        (line,) = self.stations(1)
        # The player's console is a terminal: Ctrl-C typed there reaches it as
        # the system's interrupt, which Wine delivers as a console Ctrl-C.
        console, terminal = pty.openpty()
        self.addCleanup(os.close, console)
        player = self.play(folder, [line], "ipc", "pump.csv", "COM1", stdin=terminal, start_new_session=True,
                           preexec_fn=lambda: fcntl.ioctl(0, termios.TIOCSCTTY, 0))
        os.close(terminal)
        before, _ = read_available(line, time.monotonic() + START, lambda d: d.count(b"\r\n") >= 3)
        os.write(console, b"\x03")
        received = before + read_until_ended([line], player, 30)[0]
        out = player.stdout.read().decode(errors="replace")
        sent = re.search(r"^ipc: (\d+) records? sent to COM1", out, re.M)
        self.assertEqual((player.wait(), out.splitlines()[-1].startswith("The device streamed the whole run"),
                          received.count(b"\r\n"), received.endswith(b"\r\n")),
                         (0, True, int(sent.group(1)) if sent else None, True), out)

    def test_a_line_that_goes_away_is_reported_once_and_costs_no_cpu(self):
        self.start()
        self.main_window()
        self.assertTrue(read_available(self.line, time.monotonic() + START, lambda d: b"\r\n" in d)[0])
        self.line.close()  # the adapter pulled out
        self.assertEqual(len(self.screen.windows("COM Error", timeout=5)), 1)
        before = self.program.cpu_seconds()
        time.sleep(3)  # what is measured: the processor time of these 3 s
        self.assertLess(self.program.cpu_seconds() - before, 0.3, "no busy loop once the port is lost")
        self.assertEqual(len(self.screen.windows("COM Error", timeout=1)), 1, "reported once")

    def test_a_list_window_opens_and_closes_alone_by_its_close_box_or_keys(self):
        self.start()
        window = self.main_window()
        for way in ("close box", "Escape", "Alt_L+F4"):
            with self.subTest(way=way):
                for _ in range(3):  # a busy Wine may miss the click
                    self.screen.click(window, 224 + 64, 78 + 11)  # "Show Parameter List"
                    lists = self.screen.windows("Velmara Blender Parameters", timeout=5)
                    if lists:
                        break
                self.assertEqual(len(lists), 1, "one list window")
                # With no window manager, Wine takes the first close request to a
                # window that is not active as a click that activates it.
                for _ in range(3):
                    self.screen.close_by(lists[0], way)
                    if wait_until(lambda: not self.screen.shown("Velmara Blender Parameters"), 1.5):
                        break
                self.assertEqual((self.screen.shown("Velmara Blender Parameters"), self.program.process.poll()),
                                 ([], None), "that window closed, the program runs on")

    def test_the_close_box_ends_the_program_with_code_zero(self):
        self.start()
        self.screen.close_box(self.main_window())
        self.assert_exits_zero_within(10)

    def test_alt_c_ends_the_program_with_code_zero(self):
        self.start()
        window = self.main_window()
        for _ in range(3):  # a busy Wine may not take the first key press
            window.set_input_focus(X.RevertToPointerRoot, X.CurrentTime)
            self.screen.display.sync()
            time.sleep(0.5)
            self.screen.key_combo("Alt_L", "c")
            if self.screen.windows(MAIN_TITLE, timeout=2) == []:
                break
        self.assert_exits_zero_within(10)

    def test_scaled_on_a_small_screen_a_list_window_is_made_to_fit(self):
        # 200 %, as the display settings set it (Wine keeps QT_ variables from
        # its programs): 680 x 384 of Qt's pixels.
        desktop = r"HKCU\Control Panel\Desktop"
        prefix.run("reg", "add", desktop, "/v", "LogPixels", "/t", "REG_DWORD", "/d", "192", "/f", check=True)
        self.addCleanup(prefix.stop_server)
        self.addCleanup(prefix.run, "reg", "delete", desktop, "/v", "LogPixels", "/f")
        prefix.stop_server()
        self.start()
        window = self.main_window()
        for _ in range(3):  # a busy Wine may miss the click
            self.screen.click(window, 2 * (224 + 64), 2 * (78 + 11))  # "Show Parameter List"
            lists = self.screen.windows("Velmara Blender Parameters", timeout=5)
            if lists:
                break
        self.assertEqual(len(lists), 1, "one list window")
        size, at = lists[0].get_geometry(), self.screen.root.translate_coords(lists[0], 0, 0)
        screen = self.screen.root.get_geometry()
        self.assertEqual((min(at.y + size.height, screen.height), min(at.x + size.width, screen.width)),
                         (at.y + size.height, at.x + size.width), "within the screen")


SAMPLES = ("blender.csv", "blenderplus.csv", "frac.csv", "dd16.csv", "ddec.bin", "hdv2.bin")
APPS_ENTRY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvex"


class Installer(WindowsCase):
    """A silent install for this user alone, then the installed program, the
    user's own recordings over upgrades and the uninstall, and a running copy."""

    @classmethod
    def setUpClass(cls):
        user = prefix.drive_c("users", os.environ.get("USER", "root"))
        cls.folder = os.path.join(user, "AppData", "Local", "Programs", "Quorvex")
        cls.shortcut = os.path.join(user, "AppData", "Roaming", "Microsoft", "Windows", "Start Menu",
                                    "Programs", "Quorvex 2.14", "Quorvex.lnk")
        with zipfile.ZipFile(ZIP) as z:
            top = z.namelist()[0].split("/")[0]
            cls.samples = {name: z.read(f"{top}/{name}") for name in SAMPLES}
        # The user's own: a blender.csv of the sample's last records, and a ddec.bin.
        cls.own = {"blender.csv": b"".join(cls.samples["blender.csv"].splitlines(keepends=True)[-12:]),
                   "ddec.bin": bytes(range(256)) * 8}

    def setUp(self):
        # Installed for every test, whichever ran before: one of them uninstalls.
        if not os.path.exists(os.path.join(self.folder, "quorvex.exe")):
            self.assertEqual(self.silent_setup(), 0)
            prefix.stop_server()

    def put_own_recordings(self):
        for name, data in self.own.items():
            with open(os.path.join(self.folder, name), "wb") as f:
                f.write(data)

    def recordings(self):
        """What each data file in the install folder is ("own", "sample" or "other"), if there."""
        found = {}
        for name in SAMPLES:
            path = os.path.join(self.folder, name)
            if os.path.exists(path):
                with open(path, "rb") as f:
                    data = f.read()
                found[name] = {self.samples[name]: "sample", self.own.get(name): "own"}.get(data, "other")
        return found

    def folder_state(self):
        """Every file in the install folder, with the time it was last written."""
        paths = [os.path.join(top, name) for top, _, names in os.walk(self.folder) for name in names]
        return sorted((os.path.relpath(path, self.folder), os.stat(path).st_mtime_ns) for path in paths)

    def silent_setup(self, *args):
        return prefix.run(prefix.windows_path(SETUP), "/S", *args, timeout=120).returncode

    @staticmethod
    def on_c(path):
        """A folder of drive C as Windows names it."""
        return "C:\\" + os.path.relpath(path, prefix.drive_c()).replace("/", "\\")

    @staticmethod
    def apps_entry(*names):
        """These values of the program's entry in Settings, Apps, as `reg query` lists them."""
        out = subprocess.run(["wine", "reg", "query", APPS_ENTRY], env=prefix.env, capture_output=True, timeout=60)
        rows = [line.strip().split("    ") for line in out.stdout.decode(errors="replace").splitlines()]
        return {row[0]: int(row[2], 16) if row[1] == "REG_DWORD" else row[2] for row in rows
                if len(row) == 3 and row[0] in names}

    def silent_uninstall(self):
        # _?= runs the uninstaller in place, so that it ends only when it is
        # done and its exit code is its own (it then leaves itself behind).
        return prefix.run(prefix.windows_path(os.path.join(self.folder, "Uninstall.exe")), "/S",
                          "_?=" + prefix.windows_path(self.folder), timeout=60).returncode

    def test_a_silent_upgrade_keeps_own_recordings_and_renews_the_samples(self):
        self.put_own_recordings()
        # frac.csv is an earlier version's sample, recorded as shipped; hdv2.bin was deleted.
        with open(os.path.join(self.folder, "frac.csv"), "wb") as f:
            f.write(b"2025-01-01 00:00:00,earlier sample\r\n")
        prefix.run("reg", "add", r"HKCU\Software\Quorvex\Shipped recordings", "/v", "frac.csv", "/d",
                   hashlib.md5(b"2025-01-01 00:00:00,earlier sample\r\n").hexdigest().upper(), "/f", check=True)
        os.remove(os.path.join(self.folder, "hdv2.bin"))
        code = self.silent_setup()
        self.assertEqual((code, self.recordings()), (0, dict.fromkeys(SAMPLES, "sample") | {
            "blender.csv": "own", "ddec.bin": "own"}))

    def test_an_interactive_upgrade_says_which_recordings_it_kept(self):
        self.put_own_recordings()
        # Wine writes down the text of every box it shows.
        log = tempfile.TemporaryFile()
        self.addCleanup(log.close)
        self.addCleanup(prefix.stop_server)  # the finish page starts the program
        setup = subprocess.Popen(["wine", SETUP], env=dict(prefix.env, WINEDEBUG="-all,trace+msgbox"),
                                 stdout=subprocess.DEVNULL, stderr=log)
        # Enter, as a user takes every default: uninstall the old version
        # first, then Next, I Agree, Install, OK, Finish.
        screen = Screen()
        self.addCleanup(screen.display.close)
        deadline = time.monotonic() + 120
        while setup.poll() is None and time.monotonic() < deadline:
            # Each page or box takes a moment to come up: Enter once the installer has not ended in that time.
            if not wait_until(lambda: setup.poll() is not None, 1.5):
                screen.key("Return")
        log.seek(0)
        shown = [line.split(b'MSGBOX_OnInit L"', 1)[1].split(b"\\r\\n")[0]
                 for line in log.read().splitlines() if b"MSGBOX_OnInit" in line]
        self.assertIn(b"Kept your own recordings: blender.csv, ddec.bin.", shown)

    def running(self, program):
        """The window, or the player streaming a sample, from the install folder: its process."""
        if program == "quorvex.exe":
            self.start()
            self.main_window()
            return self.program.process
        lines = self.stations(1)
        player = self.play(self.folder, lines, "ipc", "frac.csv", "COM1")
        read_available(lines[0], time.monotonic() + START, lambda d: b"\r\n" in d)
        return player

    def test_installing_or_uninstalling_while_a_quorvex_program_runs_changes_nothing(self):
        for program in ("quorvex.exe", "quorvex-play.exe"):
            with self.subTest(program):
                process = self.running(program)
                try:
                    before = self.folder_state()
                    codes = (self.silent_setup(), self.silent_uninstall())
                    self.assertEqual((codes, self.folder_state()), ((2, 2), before))
                finally:
                    self.end(process)

    def test_installs_per_user_with_a_start_menu_entry_and_an_uninstaller(self):
        for path in ("quorvex.exe", "quorvex-record.exe", "quorvex-play.exe", "site-example.toml", "Uninstall.exe",
                     "blender.csv", "fonts/tahoma.ttf", self.shortcut):
            self.assertTrue(os.path.exists(os.path.join(self.folder, path)), path)

    def test_the_installed_program_streams(self):
        self.start()
        self.main_window()
        self.check_records_arrive_one_a_second()

    def installed_kb(self, folder):
        """The size of what the install put in folder, in KB: not the user's own recordings there."""
        own = {name for name, what in self.recordings().items() if what == "own"} if folder == self.folder else set()
        return -(-sum(os.path.getsize(os.path.join(top, name)) for top, _, names in os.walk(folder)
                      for name in names if top != folder or name not in own) // 1024)

    def test_the_apps_entry_says_where_it_is_its_size_and_how_to_uninstall_quietly(self):
        self.put_own_recordings()
        elsewhere = prefix.drive_c("Field Tools", "Quorvex")
        self.addCleanup(prefix.stop_server)
        self.addCleanup(self.silent_setup, "/D=" + self.on_c(self.folder))
        # /D= takes the rest of the command line as typed, spaces and all (Wine would quote one argument);
        # installing again without it goes where the program is.
        rows = ((self.folder, ()), (elsewhere, ("/D=" + self.on_c(elsewhere)).split(" ")), (elsewhere, ()))
        for folder, args in rows:
            with self.subTest(folder=folder, args=args):
                code = self.silent_setup(*args)
                self.assertEqual((code, self.apps_entry("InstallLocation", "QuietUninstallString", "EstimatedSize")),
                                 (0, {"InstallLocation": self.on_c(folder),
                                      "QuietUninstallString": f'"{self.on_c(folder)}\\Uninstall.exe" /S',
                                      "EstimatedSize": self.installed_kb(folder)}))

    def test_uninstalls_silently_and_leaves_own_recordings(self):
        self.put_own_recordings()
        code = self.silent_uninstall()
        left = sorted(set(os.listdir(self.folder)) - {"Uninstall.exe"})
        self.assertEqual((code, left, os.path.exists(self.shortcut)), (0, ["blender.csv", "ddec.bin"], False))


if __name__ == "__main__":
    ZIP, SETUP = os.path.abspath(sys.argv.pop(1)), os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
