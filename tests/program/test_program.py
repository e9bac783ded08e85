#!/usr/bin/python3
"""The real program, started as a user starts it, watched from outside: what
arrives on its serial line and how it ends when its windows are closed.

Runs under an X server (xvfb-run); the program is the first argument or
$QUORVEX_PROGRAM.
"""
import atexit
import os
import pty
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import tty
import unittest

import dbusmock
from Xlib import XK, X, Xatom, display, error, protocol
from Xlib.ext import xtest

PROGRAM = os.environ.get("QUORVEX_PROGRAM", "build/quorvex")
# The programs started here look for recordings in a folder of the tests' own,
# never in the user's real one (~/.local/share/quorvex).
USER_DATA = tempfile.mkdtemp(prefix="quorvex-tests-XDG-")
os.environ["XDG_DATA_HOME"] = USER_DATA
atexit.register(shutil.rmtree, USER_DATA, True)
MAIN_TITLE = "Quorvex  2.14"


def wait_until(predicate, timeout):
    """Whether predicate() holds, asked again and again until it does or timeout seconds have passed."""
    deadline = time.monotonic() + timeout
    while not predicate():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.05)
    return True


class Program:
    """The program on a pseudo-terminal of its own as COM1, or on com1 if given."""

    def __init__(self, com1=None, program=None, **more_env):
        self.master, self.slave = pty.openpty()
        tty.setraw(self.master)
        # Held open here too, so that reading the master before the program
        # has opened its end waits instead of failing.
        self.slave_path = os.ttyname(self.slave)
        self.env = dict(os.environ, QUORVEX_COM1=com1 or self.slave_path, **more_env)
        self.program = program or PROGRAM
        self.start()

    def start(self):
        """Starts the program (again) on the same port."""
        self.started = time.monotonic()
        self.process = subprocess.Popen([self.program], env=self.env, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)

    def read_lines(self, count, timeout):
        """(arrival time after start, line) for the next count lines."""
        lines, pending = [], b""
        deadline = time.monotonic() + timeout
        while len(lines) < count and time.monotonic() < deadline:
            ready, _, _ = select.select([self.master], [], [], 0.05)
            if not ready:
                continue
            pending += os.read(self.master, 4096)
            while b"\r\n" in pending:
                line, pending = pending.split(b"\r\n", 1)
                lines.append((time.monotonic() - self.started, line))
        return lines

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        if self.master >= 0:
            os.close(self.master)
            os.close(self.slave)
        self.master = self.slave = -1


class Screen:
    def __init__(self):
        self.display = display.Display()
        self.root = self.display.screen().root

    def windows(self, title, timeout=5.0):
        """The windows showing title, once there is one, or [] after the timeout."""
        found = []

        def there():
            found[:] = self.shown(title)
            return found
        wait_until(there, timeout)
        return found

    def shown(self, title):
        """The windows showing title now."""
        return [w for w in self.root.query_tree().children if self._shows(w, title)]

    def popups(self):
        """Windows shown outside any window manager's care: menus, drop-down lists."""
        found = []
        for window in self.root.query_tree().children:
            try:
                attributes = window.get_attributes()
            except (error.BadWindow, error.BadDrawable):
                continue
            if attributes.override_redirect and attributes.map_state == X.IsViewable:
                found.append(window)
        return found

    def has_focus(self, window):
        return self.display.get_input_focus().focus == window

    @staticmethod
    def _shows(window, title):
        try:
            return window.get_wm_name() == title and window.get_attributes().map_state == X.IsViewable
        except (error.BadWindow, error.BadDrawable):
            return False  # gone between the listing and the question

    def close_box(self, window):
        """What the window manager sends when the user clicks the close box."""
        protocols = self.display.intern_atom("WM_PROTOCOLS")
        delete = self.display.intern_atom("WM_DELETE_WINDOW")
        event = protocol.event.ClientMessage(window=window, client_type=protocols,
                                             data=(32, [delete, X.CurrentTime, 0, 0, 0]))
        window.send_event(event, event_mask=X.NoEventMask)
        self.display.flush()

    def close_by(self, window, way):
        """Closes window as a user does: "close box", or keys ("Escape", "Alt_L+F4") typed into it."""
        if way == "close box":
            self.close_box(window)
            return
        window.set_input_focus(X.RevertToPointerRoot, X.CurrentTime)
        self.display.sync()
        wait_until(lambda: self.has_focus(window), 2)
        self.key_combo(*way.split("+"))

    def click(self, window, x, y):
        at = self.root.translate_coords(window, x, y)
        xtest.fake_input(self.display, X.MotionNotify, x=at.x, y=at.y)
        xtest.fake_input(self.display, X.ButtonPress, 1)
        xtest.fake_input(self.display, X.ButtonRelease, 1)
        self.display.sync()

    def key(self, name):
        code = self.display.keysym_to_keycode(XK.string_to_keysym(name))
        xtest.fake_input(self.display, X.KeyPress, code)
        xtest.fake_input(self.display, X.KeyRelease, code)
        self.display.sync()

    def key_combo(self, *names):
        codes = [self.display.keysym_to_keycode(XK.string_to_keysym(name)) for name in names]
        for code in codes:
            xtest.fake_input(self.display, X.KeyPress, code)
        for code in reversed(codes):
            xtest.fake_input(self.display, X.KeyRelease, code)
        self.display.sync()

    def icon_name(self, window):
        value = window.get_full_property(self.display.intern_atom("_NET_WM_ICON_NAME"), 0)
        if value is None:
            value = window.get_full_property(Xatom.WM_ICON_NAME, 0)
        return value.value.decode() if value else ""


def first_line_of(name):
    with open(os.path.join(os.path.dirname(os.path.abspath(PROGRAM)), name), "rb") as f:
        return f.readline().rstrip(b"\r\n")


class ExitChecks:
    """For a test case whose self.program is the program under test."""

    def assert_exits_zero_within(self, seconds):
        try:
            code = self.program.process.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            self.fail(f"still running {seconds} s after the close box")
        self.assertEqual(code, 0)


class RealProgram(ExitChecks, unittest.TestCase):
    def setUp(self):
        self.program = Program()
        self.screen = Screen()
        self.addCleanup(self.program.stop)
        self.addCleanup(self.screen.display.close)

    def main_window(self):
        windows = self.screen.windows(MAIN_TITLE)
        self.assertEqual(len(windows), 1, "one main window")
        return windows[0]

    def test_streams_the_first_record_after_one_second_then_one_a_second(self):
        lines = self.program.read_lines(3, timeout=6)
        self.assertEqual(len(lines), 3)
        self.assertEqual(lines[0][1], first_line_of("blender.csv"))
        first, gaps = lines[0][0], [b[0] - a[0] for a, b in zip(lines, lines[1:])]
        # Wide bounds: this shows the timer runs; the benchmark measures it.
        self.assertGreater(first, 0.95)
        self.assertLess(first, 2.5)
        for gap in gaps:
            self.assertAlmostEqual(gap, 1.0, delta=0.25)
        self.assertEqual(self.screen.icon_name(self.main_window()), "Simulating")

    def test_termination_request_shuts_down_cleanly_and_releases_the_port(self):
        self.assertEqual(len(self.program.read_lines(1, timeout=3)), 1)
        held = self.lock_files()
        self.assertTrue(held, "the port's lock is taken")
        self.program.process.terminate()  # what Ctrl-C or a session's end sends
        self.assert_exits_zero_within(1.0)
        for path in held:
            self.assertFalse(os.path.exists(path), "the port's lock is released")

    def lock_files(self):
        lock = "/run/lock/LCK.." + os.path.basename(self.program.slave_path)
        return [lock] if os.path.exists(lock) else []

    def test_a_copy_started_after_one_was_killed_streams_on_the_same_port(self):
        self.assertEqual(len(self.program.read_lines(1, timeout=3)), 1)
        self.program.process.kill()  # no clean-up at all; the station keeps its end open
        self.program.process.wait()
        self.program.start()
        self.assertEqual(len(self.program.read_lines(1, timeout=3)), 1)

    def test_stray_keys_leave_the_program_running(self):
        window = self.main_window()
        self.screen.display.set_input_focus(window, X.RevertToParent, X.CurrentTime)
        self.screen.display.sync()
        self.assertTrue(wait_until(lambda: self.screen.has_focus(window), 2), "the keys go to the window")
        for key in ("Escape", "space", "Return", "Tab", "space", "Tab", "Return"):
            with self.subTest(key=key):
                self.screen.key(key)
                # What is to be seen is nothing: the program still running a while after the key.
                time.sleep(0.2)
                self.assertIsNone(self.program.process.poll(), "the program goes on")
        self.screen.key("Escape")  # whatever a key opened
        self.assertEqual(len(self.screen.windows(MAIN_TITLE, timeout=1)), 1)

    def test_the_display_going_away_closes_the_port_without_a_crash(self):
        self.program.stop()
        server = subprocess.Popen(["Xvfb", "-displayfd", "1", "-nolisten", "tcp"],
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.addCleanup(server.wait)
        self.addCleanup(server.kill)
        number = server.stdout.readline().strip().decode()
        self.program = Program(DISPLAY=":" + number)
        self.addCleanup(self.program.stop)
        self.assertEqual(len(self.program.read_lines(1, timeout=3)), 1)
        held = self.lock_files()
        self.assertTrue(held, "the port's lock is taken")
        server.terminate()  # a logout or a remote desktop dropped
        code = self.program.process.wait(timeout=5)
        self.assertGreaterEqual(code, 0, "ended by a signal")
        for path in held:
            self.assertFalse(os.path.exists(path), "the port's lock is released")

    def test_a_fatal_signal_ends_the_program_without_leaving_its_lock(self):
        for number in (signal.SIGABRT, signal.SIGSEGV, signal.SIGQUIT, signal.SIGUSR1):
            with self.subTest(signal=number.name):
                self.assertEqual(len(self.program.read_lines(1, timeout=3)), 1)
                held = self.lock_files()
                self.program.process.send_signal(number)
                self.program.process.wait(timeout=5)
                left = [path for path in held if os.path.exists(path)]
                self.program.start()  # for the next signal, whatever this one left
                self.assertEqual(left, [])

    def test_scaled_on_a_small_screen_a_list_window_is_made_to_fit(self):
        self.program.stop()
        self.program = Program(QT_SCALE_FACTOR="2")  # 680 x 384 of Qt's pixels
        self.addCleanup(self.program.stop)
        self.screen.click(self.main_window(), 2 * (224 + 64), 2 * (78 + 11))  # "Show Parameter List"
        lists = self.screen.windows("Velmara Blender Parameters")
        self.assertEqual(len(lists), 1)
        size, at = lists[0].get_geometry(), self.screen.root.translate_coords(lists[0], 0, 0)
        screen = self.screen.root.get_geometry()
        self.assertEqual((min(at.y + size.height, screen.height), min(at.x + size.width, screen.width)),
                         (at.y + size.height, at.x + size.width), "within the screen")

    def test_the_main_window_carries_the_program_icon(self):
        icon = self.main_window().get_full_property(self.screen.display.intern_atom("_NET_WM_ICON"),
                                                    Xatom.CARDINAL)
        data, sizes = list(icon.value) if icon else [], set()
        while len(data) >= 2:  # width, height, then that many pixels, for each size
            sizes.add((data[0], data[1]))
            data = data[2 + data[0] * data[1]:]
        self.assertTrue({(16, 16), (32, 32)} <= sizes, f"title-bar sizes among {sorted(sizes)}")

    def test_close_box_ends_the_program_with_code_zero(self):
        window = self.main_window()
        self.screen.close_box(window)
        self.assert_exits_zero_within(1.0)

    def test_close_box_ends_the_program_while_a_list_window_is_open(self):
        window = self.main_window()
        self.screen.click(window, 224 + 64, 78 + 11)  # "Show Parameter List"
        lists = self.screen.windows("Velmara Blender Parameters")
        self.assertEqual(len(lists), 1)
        self.screen.close_box(window)
        self.assert_exits_zero_within(1.0)

    def test_a_list_windows_close_box_or_keys_close_that_window_only(self):
        window = self.main_window()
        # With no window manager here, Alt+F4 reaches the window itself, as under some Wine set-ups.
        for way in ("close box", "Escape", "Alt_L+F4"):
            with self.subTest(way=way):
                self.screen.click(window, 224 + 64, 78 + 11)
                self.screen.click(window, 224 + 64, 78 + 11)
                lists = self.screen.windows("Velmara Blender Parameters")
                deadline = time.monotonic() + 3
                while len(lists) < 2 and time.monotonic() < deadline:
                    lists = self.screen.windows("Velmara Blender Parameters")
                self.assertEqual(len(lists), 2)
                self.screen.close_by(lists[0], way)
                wait_until(lambda: len(self.screen.shown("Velmara Blender Parameters")) < 2, 3)
                self.assertEqual((len(self.screen.windows("Velmara Blender Parameters")), self.program.process.poll(),
                                  len(self.screen.shown(MAIN_TITLE))), (1, None, 1), "that one closed, the program on")
                self.screen.close_box(self.screen.shown("Velmara Blender Parameters")[0])
                wait_until(lambda: not self.screen.shown("Velmara Blender Parameters"), 3)


class StayingAwake(dbusmock.DBusTestCase):
    """While it streams the program holds logind's idle-sleep inhibitor, and
    only then; here logind is a mock on a private system bus."""

    @classmethod
    def setUpClass(cls):
        cls.start_system_bus()  # DBUS_SYSTEM_BUS_ADDRESS, for the program too

    def start(self, logind=True, **program):
        if logind:
            mock, self.logind = self.spawn_server_template("logind", {}, stdout=subprocess.DEVNULL)
            self.addCleanup(mock.wait)
            self.addCleanup(mock.terminate)
        self.program = Program(**program)
        self.addCleanup(self.program.stop)
        self.screen = Screen()
        self.addCleanup(self.screen.display.close)

    def inhibitors(self, count, timeout=3.0):
        """The inhibitors once there are count of them, or after the timeout."""
        deadline = time.monotonic() + timeout
        while True:
            held = self.logind.ListInhibitors(dbus_interface="org.freedesktop.login1.Manager")
            if len(held) == count or time.monotonic() > deadline:
                return [tuple(str(field) for field in inhibitor[:4]) for inhibitor in held]
            time.sleep(0.05)

    def test_one_inhibitor_while_streaming_none_after_exit(self):
        self.start()
        self.assertEqual(len(self.program.read_lines(2, timeout=4)), 2)
        why = f"Streaming Velmara blender records to COM1 ({self.program.slave_path})"
        self.assertEqual(self.inhibitors(1), [("idle:sleep", "Quorvex", why, "block")])
        self.program.process.terminate()
        self.program.process.wait(timeout=5)
        self.assertEqual(self.inhibitors(0), [])

    def test_none_after_a_lost_port(self):
        self.start()
        self.assertEqual(len(self.inhibitors(1)), 1)
        os.close(self.program.master)  # the far end goes: the port is lost
        os.close(self.program.slave)
        self.program.master = self.program.slave = -1
        self.assertTrue(self.screen.windows("COM Error"), "the box is up")
        self.assertEqual(self.inhibitors(0), [])

    def test_none_when_the_port_will_not_open(self):
        self.start(com1="/nonexistent/quorvex-port")
        self.assertTrue(self.screen.windows("COM Error"), "the box is up")
        self.assertEqual(self.inhibitors(1, timeout=1.0), [])

    def test_none_until_the_recording_is_there(self):
        folder = tempfile.mkdtemp(prefix="quorvex-tests-")
        self.addCleanup(shutil.rmtree, folder, True)
        shutil.copy(PROGRAM, folder)
        self.start(program=os.path.join(folder, "quorvex"))
        (window,) = self.screen.windows(MAIN_TITLE)
        # The first tick has found no blender.csv.
        self.assertTrue(wait_until(lambda: self.screen.icon_name(window) == "Idle", 3), "shows Idle")
        self.assertEqual(self.inhibitors(0), [])
        shutil.copy(os.path.join(os.path.dirname(PROGRAM), "blender.csv"), folder)
        self.assertEqual(len(self.inhibitors(1)), 1)

    def test_streams_as_before_with_no_logind_on_the_bus(self):
        self.start(logind=False)
        self.assertEqual(len(self.program.read_lines(2, timeout=4)), 2)


class ScreenReader(unittest.TestCase):
    """The window as a screen reader reads it, over AT-SPI on a private
    session bus (at-spi2-core's bus, started by the bus on demand)."""

    @classmethod
    def setUpClass(cls):
        try:
            cls.bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                                       stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        except FileNotFoundError:
            raise unittest.SkipTest("no dbus-daemon (Debian package dbus)")
        cls.saved = os.environ.get("DBUS_SESSION_BUS_ADDRESS")
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = cls.bus.stdout.readline().decode().strip()
        try:
            global pyatspi
            import pyatspi
        except ImportError:
            cls.tearDownClass()
            raise unittest.SkipTest("no pyatspi (Debian packages python3-pyatspi, at-spi2-core)")

    @classmethod
    def tearDownClass(cls):
        cls.bus.terminate()
        cls.bus.wait()
        cls.bus.stdout.close()
        if cls.saved is None:
            os.environ.pop("DBUS_SESSION_BUS_ADDRESS", None)
        else:
            os.environ["DBUS_SESSION_BUS_ADDRESS"] = cls.saved

    def window_of(self, program, timeout=10.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for app in pyatspi.Registry.getDesktop(0):
                if app is not None and app.get_process_id() == program.process.pid and app.childCount:
                    return app[0]
            time.sleep(0.1)
        self.fail("the program is not on the accessibility bus")

    def test_each_control_is_named_by_its_caption_and_the_hidden_close_control_is_not_there(self):
        program = Program(QT_ACCESSIBILITY="1", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        self.addCleanup(program.stop)
        controls = sorted((child.getRoleName(), child.name) for child in self.window_of(program)
                          if child.getRoleName() in ("push button", "check box", "combo box"))
        self.assertEqual(controls, [("check box", "19200"), ("check box", "9600"), ("combo box", "COM"),
                                    ("combo box", "Format"), ("push button", "Show Parameter List")])


class StartUpBox(unittest.TestCase):
    """A termination request while the start-up "COM Error" box is up."""

    def test_each_request_ends_the_program(self):
        for signal in (15, 2, 1):
            with self.subTest(signal=signal):
                program = Program(com1="/nonexistent/quorvex-port")
                self.addCleanup(program.stop)
                screen = Screen()
                self.addCleanup(screen.display.close)
                self.assertTrue(screen.windows("COM Error"), "the box is up")
                program.process.send_signal(signal)
                try:
                    program.process.wait(timeout=2)
                except subprocess.TimeoutExpired:
                    self.fail("still running after the request")


class ProgramFolder(unittest.TestCase):
    """Where the user put the program decides nothing but where its files are."""

    def test_a_folder_name_that_is_not_utf8_still_finds_the_data_files(self):
        base = tempfile.TemporaryDirectory()
        self.addCleanup(base.cleanup)
        folder = os.path.join(os.fsencode(base.name), b"Feld\xe4ten")  # Latin-1, as old media carry
        os.mkdir(folder)
        for name in (os.fsencode(PROGRAM), os.fsencode(os.path.join(os.path.dirname(PROGRAM), "blender.csv"))):
            subprocess.run([b"cp", name, folder], check=True)
        program = Program(program=os.path.join(folder, b"quorvex"))
        self.addCleanup(program.stop)
        lines = program.read_lines(1, timeout=4)
        self.assertEqual([line for _, line in lines], [first_line_of("blender.csv")])


class StationReaders(unittest.TestCase):
    """Station-side readers written by others accept what the program sends,
    over a virtual serial pair as a cable would carry it."""

    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)
        self.ours = os.path.join(self.dir.name, "quorvex")
        self.station = os.path.join(self.dir.name, "station")
        self.socat = subprocess.Popen(
            ["socat", f"pty,raw,echo=0,link={self.ours}", f"pty,raw,echo=0,link={self.station}"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(self.socat.wait)
        self.addCleanup(self.socat.terminate)
        self.assertTrue(wait_until(lambda: os.path.exists(self.ours) and os.path.exists(self.station), 5),
                        "socat made no pair")
        self.program = Program(com1=self.ours)
        self.addCleanup(self.program.stop)
        self.screen = Screen()
        self.addCleanup(self.screen.display.close)

    def test_pyserial_reads_the_blender_records_byte_exact(self):
        import serial
        with open(os.path.join(os.path.dirname(os.path.abspath(PROGRAM)), "blender.csv"), "rb") as f:
            expected = [line.rstrip(b"\n") + b"\r\n" for line in f.readlines()[:3]]
        with serial.Serial(self.station, 19200, timeout=3) as port:
            got = [port.read_until(b"\r\n") for _ in expected]
        self.assertEqual(got, expected)

    def test_python_can_slcan_reads_the_j1939_stream(self):
        import can
        window = self.screen.windows(MAIN_TITLE)[0]
        popups = len(self.screen.popups())
        self.screen.click(window, 146 + 150, 114 + 11)  # the format ring
        self.assertTrue(wait_until(lambda: len(self.screen.popups()) > popups, 3), "the ring's list opens")
        self.screen.key("End")
        self.screen.key("Return")
        with can.Bus(interface="slcan", channel=self.station, ttyBaudrate=115200,
                     sleep_after_open=0) as bus:
            messages = [bus.recv(timeout=3) for _ in range(20)]
        self.assertNotIn(None, messages)
        # After the first (possibly partial) frame, every frame is whole J1939.
        for message in messages[1:]:
            self.assertTrue(message.is_extended_id)
            self.assertEqual(len(message.data), 8 if (message.arbitration_id >> 8) & 0x3FFFF != 59904 else 3)


if __name__ == "__main__":
    if len(sys.argv) > 1 and not sys.argv[1].startswith("-"):
        PROGRAM = sys.argv.pop(1)
    unittest.main()
