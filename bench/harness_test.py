"""The benchmark's own arithmetic: if these go wrong, every figure it prints does."""
import unittest

from capture import ChunkRecords, LineRecords, driver_lines, parse_stat_cpu, parse_status_kb
from report import attribution, cause_of, goals
from stats import due_count, on_one_clock, percentile, ratio, schedule, skews_ms
from timingfigures import Bursts, SlcanFrames, j1708_figures, loop_ns, recorded_figures


class RecordArrivals(unittest.TestCase):
    def test_a_line_or_frame_arrives_when_its_first_byte_does(self):
        cases = [
            # (records, reads as (bytes, time), arrival times of the records)
            (LineRecords, [(b"a,1\r\n", 10)], [10]),
            (LineRecords, [(b"a,1\r", 10), (b"\n", 20)], [10]),
            (LineRecords, [(b"a,1\r\nb,2\r\n", 10)], [10, 10]),
            (LineRecords, [(b"a,1\r\nb,", 10), (b"2\r\n", 30)], [10, 10]),
            (LineRecords, [(b"\r\n", 5), (b"", 6), (b"x\r\n", 7)], [5, 7]),
            (LineRecords, [(b"no end yet", 5)], []),
            (SlcanFrames, [(b"T0CF004008FFFF7DC01A18FFFF\r", 10)], [10]),
            (SlcanFrames, [(b"T0CF00400", 10), (b"8FFFF7DC01A18FFFF\r", 20)], [10]),
            # A gateway's own command is no frame; the frame after it started in the same read.
            (SlcanFrames, [(b"O\rT1\rt2", 10), (b"\r", 30)], [10, 10]),
            (SlcanFrames, [(b"T1\rT2", 10), (b"\rT3\r", 30)], [10, 10, 30]),
        ]
        for kind, reads, expected in cases:
            with self.subTest(reads=reads):
                records = kind()
                for data, t in reads:
                    records.feed(data, t)
                self.assertEqual(records.times, expected)

    def test_a_chunk_arrives_when_its_first_byte_does(self):
        cases = [
            ([(50, 1), (50, 2)], [1, 2]),
            ([(30, 1), (20, 2), (50, 3)], [1, 3]),
            ([(100, 1)], [1, 1]),
            ([(49, 1), (2, 2), (49, 3)], [1, 2]),
            ([(0, 1), (1, 2)], [2]),
        ]
        for reads, expected in cases:
            with self.subTest(reads=reads):
                records = ChunkRecords(50)
                for size, t in reads:
                    records.feed(b"x" * size, t)
                self.assertEqual(records.times, expected)


class ProcFigures(unittest.TestCase):
    def test_cpu_ticks_survive_a_command_name_with_blanks_and_parentheses(self):
        rest = "S 1 2 3 4 5 6 7 8 9 10 111 222 0 0 20 0 1 0 100"
        for comm in ("quorvex", "a b", "x) (y", ")"):
            with self.subTest(comm=comm):
                self.assertEqual(parse_stat_cpu(f"4242 ({comm}) {rest}"), 333)

    def test_status_values_are_found_by_their_exact_key(self):
        text = "Name:\tquorvex\nVmHWMX:\t1 kB\nVmHWM:\t   27936 kB\nVmRSS:\t27000 kB\n"
        self.assertEqual(parse_status_kb(text, "VmHWM"), 27936)
        self.assertIsNone(parse_status_kb(text, "VmPeak"))

    def test_driver_lines_are_taken_by_their_first_word(self):
        lines = driver_lines(b"noise\nloop 123\nswitch 5 9\nreport {\"a\": 1}\n")
        self.assertEqual((lines["loop"], lines["switch"], lines["report"]), ("123", "5 9", "{\"a\": 1}"))


MS = 1_000_000


class Schedule(unittest.TestCase):
    def test_lateness_is_against_t0_plus_n_intervals_not_the_previous_arrival(self):
        # A replayer that sleeps a second after each write: each period is 1 ms long.
        arrivals = [1000 * MS + n * 1001 * MS for n in range(5)]
        figures = schedule(arrivals, arrivals[0], 1.0, arrivals[-1])
        self.assertEqual(figures["lateness_ms"], [0, 1, 2, 3, 4])
        self.assertAlmostEqual(figures["drift_ms"], 4)
        self.assertAlmostEqual(figures["late_max_ms"], 4)

    def test_a_steady_schedule_shows_jitter_and_no_drift(self):
        late = [0.5, 0.7, 0.4, 2.0, 0.6]
        arrivals = [int((250 * n + x) * MS) for n, x in enumerate(late)]
        figures = schedule(arrivals, 0, 0.25, arrivals[-1])
        self.assertAlmostEqual(figures["drift_ms"], 0.6)
        self.assertAlmostEqual(figures["late_p50_ms"], 0.6)
        self.assertAlmostEqual(figures["late_max_ms"], 2.0)

    def test_records_due_leave_out_those_due_in_the_last_moments(self):
        # Records are due at t0, t0 + 1 s, ...; one due within 10 ms of the end is not counted yet.
        cases = [(0, 0, 0), (10, 0, 1), (1005, 0, 1), (1010, 0, 2), (5000, 1000, 4), (5010, 1000, 5)]
        for end_ms, t0_ms, expected in cases:
            with self.subTest(end_ms=end_ms):
                self.assertEqual(due_count(t0_ms * MS, 1.0, end_ms * MS), expected)

    def test_one_clock_is_the_schedule_no_record_beat_and_its_ticks_are_shared(self):
        # (arrivals in ms per stream on a 250 ms clock; lateness per stream, in ms)
        cases = [
            # An engine stream every tick and a text stream every fourth, t0 unknown (here 1000 ms).
            ([[1250.2, 1500.5, 1750.3, 2000.4], [2000.9]], [[0, 0.3, 0.1, 0.2], [0.7]]),
            # A record that misses its tick does not shift the ones after it.
            ([[1250.2, 1750.3, 2000.4]], [[0, 0.1, 0.2]]),
            # The stream nearest its deadlines sets t0 for all: one clock, one start.
            ([[1250.6, 1500.6], [2000.1]], [[0.5, 0.5], [0]]),
        ]
        for arrivals, expected in cases:
            with self.subTest(arrivals=arrivals):
                _, late = on_one_clock([[int(ms * MS) for ms in stream] for stream in arrivals], 0.25)
                self.assertEqual([[round(ms, 6) for _, ms in stream] for stream in late], expected)

    def test_skew_is_the_spread_of_one_tick_over_every_stream(self):
        late = [[(1, 0.1), (2, 0.2), (4, 0.1)], [(1, 0.5), (4, 0.3)], [(1, 0.2), (2, 0.9), (4, 1.1)]]
        self.assertEqual([round(x, 6) for x in skews_ms(late)], [0.4, 1.0])

    def test_percentiles_interpolate_between_ranks(self):
        self.assertEqual(percentile([3, 1, 2], 50), 2)
        self.assertEqual(percentile([1, 2, 3, 4], 50), 2.5)
        self.assertAlmostEqual(percentile(list(range(101)), 99), 99)
        self.assertIsNone(percentile([], 50))

    def test_ratios_do_not_divide_by_noise(self):
        self.assertEqual(ratio(10.0, 2.0), 5.0)
        self.assertEqual(ratio(10.0, 0.0), 1000.0)
        self.assertEqual(ratio(10.0, -2.0), 5.0)
        self.assertIsNone(ratio(None, 1.0))


def stream(**figures):
    base = {"program": "Quorvex", "stream": "text", "condition": "idle", "ticks": 10, "interval_s": 1.0,
            "late_p99_ms": 1.0, "late_max_ms": 2.0, "drift_ms": 0.5}
    base.update(figures)
    return base


class Goals(unittest.TestCase):
    def verdicts(self, *streams):
        return {g["goal"].split(" ")[0]: g["met"] for g in goals({"streams": list(streams)})}

    def test_each_goal_is_judged_on_the_worst_stream(self):
        met = self.verdicts(stream(), stream(condition="loaded", late_p99_ms=3.5, drift_ms=-6.0))
        self.assertEqual((met["lateness"], met["drift"]), (False, False))

    def test_the_reference_replayer_is_never_judged(self):
        met = self.verdicts(stream(), stream(program="Reference", late_p99_ms=50.0, drift_ms=40.0))
        self.assertEqual((met["lateness"], met["drift"]), (True, True))

    def test_first_record_is_judged_against_its_own_interval(self):
        met = self.verdicts(stream(loop_to_first_record_s=1.004),
                            stream(stream="engine", interval_s=0.25, loop_to_first_record_s=0.2511))
        self.assertTrue(met["first"])
        self.assertFalse(self.verdicts(stream(stream="engine", interval_s=0.25, loop_to_first_record_s=1.0))["first"])

    def test_no_record_at_all_is_the_one_verdict(self):
        self.assertEqual(goals({"streams": [stream(ticks=0)]})[0]["met"], False)


class Allocations(unittest.TestCase):
    def test_the_innermost_call_of_the_program_names_the_cause(self):
        frames = ["QArrayData::allocate(...)  [libQt6Core.so.6]",
                  "QString::fromUtf8(QByteArrayView)  [libQt6Core.so.6]",
                  "SetCtrlVal(int, int, std::basic_string_view<char>)  [quorvex_bench]",
                  "BlinkStep()  [quorvex_bench]", "SetCtrlAttribute(int, int, int, int)  [quorvex_bench]"]
        self.assertEqual(cause_of(frames), "status text")
        self.assertEqual(cause_of(["malloc  [libc.so.6]", "ComWrt(int, std::span<char const>)  [x]"]), "serial write")
        self.assertEqual(cause_of(["ComWrtByte(int, int)  [x]"]), "other")

    def test_kept_stacks_are_shared_out_over_every_allocation_counted(self):
        report = {"ATimerTick": {"counted": 10, "allocs": 60},
                  "sites": [{"times": 20, "frames": ["ComWrt(int)"]},
                            {"times": 10, "frames": ["SetCtrlAttribute(int)"]}]}
        found = attribution(report, "text")
        self.assertEqual(found["allocs_per_tick"], 6)
        self.assertEqual(found["by_cause_per_tick"], {"serial write": 4, "status blink: show/hide": 2})
        self.assertEqual(attribution({}, "engine")["by_cause_per_tick"], {})


def j1587(mid, *body):
    """A J1587 message: its checksum makes the 8-bit sum zero."""
    message = bytes([mid, *body])
    return message + bytes([-sum(message) & 0xFF])


class EngineTiming(unittest.TestCase):
    def test_a_burst_is_whole_when_it_is_whole_messages_by_their_checksums(self):
        a, b, c = j1587(128, 84, 0x20), j1587(128, 190, 0x10, 0x27), j1587(130, 243, 3, 1, 2, 3)
        cases = [
            # (bursts, each 10 ms after the last, the last still arriving; whole %, one message %, pauses inside %)
            ([a, b, c, a], (100, 100, 0)),
            ([a + b, c, a], (100, 50, 0)),
            ([a + b[:2], b[2:] + c, a], (0, 0, 50)),
            ([a[:-1] + bytes([a[-1] ^ 1]), b, a], (50, 50, 0)),
        ]
        for bursts, expected in cases:
            with self.subTest(bursts=bursts):
                line = Bursts()
                for n, data in enumerate(bursts):
                    line.feed(data[:1], n * 10 * MS)
                    line.feed(data[1:], n * 10 * MS + MS // 2)  # within 1 ms: the same burst
                found = j1708_figures(line)
                self.assertEqual((found["whole_bursts_pct"], found["one_message_pct"], found["pauses_inside_pct"]),
                                 expected)

    def test_a_pass_lasts_so_that_every_group_keeps_its_period_across_the_seam(self):
        cases = [
            # (frames as (ms from the first, ID), one pass in ms)
            ([(0, 1), (50, 1), (100, 1)], 150),
            # The slower group sets the pass: a pass of the log and its shortest period would cut its period short.
            ([(0, 1), (90, 2), (100, 1), (140, 2), (190, 2), (200, 1)], 300),
            ([(0, 1), (50, 1), (100, 1), (130, 2)], 180),
            ([(0, 1)], 1000),
        ]
        for frames, expected in cases:
            with self.subTest(frames=frames):
                self.assertEqual(loop_ns([(ms * MS, key, b"") for ms, key in frames]), expected * MS)

    def test_a_replay_is_judged_against_the_recordings_clock_over_passes(self):
        frames = [(0, 1, b"a"), (20 * MS, 2, b"c"), (50 * MS, 1, b"b")]
        loop = loop_ns(frames)  # 100 ms: group 2 once, group 1 at 50 ms
        dues = [k * loop + f[0] for k in range(60) for f in frames]
        # The schedule 1 ms behind from the second half on; the first frame 3 ms late, the last 2.5 ms.
        late = [3 * MS] + [0] * 89 + [MS] * 89 + [MS * 5 // 2]
        found = recorded_figures([5 * MS + d + x for d, x in zip(dues, late)], [f[2] for f in frames] * 60, frames,
                                 loop, settle_ns=0, window_ns=1000 * MS)
        groups = {int(g["id"], 16): g for g in found["groups"]}
        self.assertEqual((found["not_as_recorded"], found["drift_ms"], found["last_ms"]), (0, 1, 2.5))
        self.assertEqual((groups[1]["replayed"]["p50"], groups[1]["seam"]["p50"], groups[1]["seam"]["n"]),
                         (50, 50, 59))

if __name__ == "__main__":
    unittest.main()
