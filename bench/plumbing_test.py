"""The harness's plumbing: pseudo-terminals that pass bytes unchanged, processes
ended by their id, large data files made sparse, and the schedule each program
is judged against."""
import os
import signal
import tempfile
import time
import unittest

from capture import ChunkRecords, Line, Link, LineRecords, pump
from scale import make_data_file
from streams import link_result

MS = 1_000_000


class PseudoTerminal(unittest.TestCase):
    def test_bytes_arrive_unchanged_and_the_writer_ends_by_its_id(self):
        # A line discipline left cooked would turn each LF into CR LF.
        link = Link("writer", ["/bin/sh", "-c", 'printf "a\\nb\\r\\n" > "$QUORVEX_COM1"; exec sleep 30'],
                    ChunkRecords(1))
        try:
            link.start()
            pump([link], time.monotonic_ns() + 5000 * MS, lambda: len(link.records.times) >= 5)
            pump([link], time.monotonic_ns() + 100 * MS)
            self.assertEqual(len(link.records.times), 5)
            self.assertIsNotNone(link.first_byte_ns)
            began = time.monotonic()
            link.stop()
            self.assertEqual(link.proc.returncode, -signal.SIGTERM)
            self.assertLess(time.monotonic() - began, 5)
        finally:
            if link.proc and link.proc.poll() is None:
                link.proc.kill()
            link.close()


    def test_lines_found_ready_at_one_wake_up_arrived_at_its_moment(self):
        # Read one after another, the later lines would take on the earlier reads' time: a skew of its own.
        lines = [Line(ChunkRecords(1)) for _ in range(3)]
        try:
            for line in lines:
                os.write(line.slave, b"x")
            time.sleep(0.05)
            pump(lines, time.monotonic_ns() + 2000 * MS, lambda: all(line.records.times for line in lines))
            self.assertEqual(len({line.records.times[0] for line in lines}), 1)
        finally:
            for line in lines:
                line.close()


class LargeFiles(unittest.TestCase):
    def test_a_large_file_keeps_the_sample_as_its_head_and_takes_no_space(self):
        with tempfile.TemporaryDirectory() as folder:
            sample, target = os.path.join(folder, "s"), os.path.join(folder, "t")
            with open(sample, "wb") as out:
                out.write(b"line 1\r\nline 2\r\n")
            make_data_file(sample, target, 1 << 30)
            self.assertEqual(os.path.getsize(target), 1 << 30)
            self.assertLess(os.stat(target).st_blocks * 512, 1 << 20)
            with open(target, "rb") as data:
                self.assertEqual(data.read(16), b"line 1\r\nline 2\r\n")
            make_data_file(sample, target, None)
            self.assertEqual(os.path.getsize(target), 16)


class FakeLink:
    def __init__(self, name, times, output):
        self.name, self.output, self.spawned_ns, self.first_byte_ns = name, output, 0, times[0]
        self.records = LineRecords()
        self.records.times = times
        self.proc = type("Proc", (), {"pid": 1})()


class Samples:
    cpu_first = {1: (0.25, 1000 * MS)}
    hwm_quarter = {1: 27000}


class JudgedSchedule(unittest.TestCase):
    def test_quorvex_is_due_one_interval_after_its_loop_and_the_reference_at_its_first_record(self):
        loop = 100 * MS
        arrivals = [loop + 1000 * MS + n * 1000 * MS + 2 * MS for n in range(3)]
        report = ('report {"ATimerTick": {"counted": 2, "allocs": 10, "bytes": 0, "max_per_tick": 5,'
                  ' "process_allocs_per_period": 40, "entered_ns": [%d, %d, %d]}}'
                  % tuple(t - MS // 2 for t in arrivals))
        ours, _ = link_result(FakeLink("Quorvex", arrivals, f"loop {loop}\n{report}\n".encode()), "text", "idle",
                              Samples(), arrivals[-1], (0.25, 27000, 26000))
        self.assertAlmostEqual(ours["late_p50_ms"], 2)
        self.assertAlmostEqual(ours["loop_to_first_record_s"], 1.002)
        self.assertAlmostEqual(ours["timer_late_p50_ms"], 1.5)
        self.assertAlmostEqual(ours["delivery_max_ms"], 0.5)
        self.assertEqual(ours["allocs"]["per_tick"], 5)
        self.assertEqual((ours["cpu_s_per_min"], ours["peak_growth_kb"]), (0, 0))
        theirs, _ = link_result(FakeLink("Reference", arrivals, b""), "text", "idle", Samples(), arrivals[-1],
                                (0.25, 27000, 26000))
        self.assertAlmostEqual(theirs["late_max_ms"], 0)
        self.assertNotIn("loop_to_first_record_s", theirs)


if __name__ == "__main__":
    unittest.main()
