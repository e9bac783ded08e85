#!/usr/bin/python3
"""Checks of the sample recordings in data/ and of the decoders in tools/samples.py.

Run with:  /usr/bin/python3 -m unittest discover -s tests/samples
"""

import os
import subprocess
import sys
import tempfile
import unittest
import warnings

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
DATA = os.path.join(ROOT, "data")
sys.path.insert(0, os.path.join(ROOT, "tools"))

import samples  # noqa: E402
from samples import FormatError  # noqa: E402

TEXT_FILES = ["blender.csv", "blenderplus.csv", "frac.csv", "dd16.csv"]
BINARY_FILES = ["ddec.bin", "hdv2.bin"]

# J1939 PGN -> priority it is sent with
J1939_PRIORITY = {61444: 3, 61443: 3, 65262: 6, 65263: 6, 65265: 6, 65266: 6,
                  65270: 6, 65271: 6, 65253: 6, 59904: 6}


def read(name):
    with open(os.path.join(DATA, name), "rb") as f:
        return f.read()


def records(name):
    """Column name -> list of values (first column of that name)."""
    rows = samples.check_csv_records(read(name).decode("ascii").splitlines(),
                                     len(samples.FIELDS[name]))
    columns = {"Timestamp": [stamp for stamp, _ in rows]}
    for i, field in enumerate(samples.FIELDS[name][1:]):
        columns.setdefault(field, [values[i] for _, values in rows])
    return columns


def j1587(mid, *params):
    body = bytes([mid]) + b"".join(bytes(p) for p in params)
    return body + bytes([-sum(body) & 0xFF])


class TextRecordings(unittest.TestCase):

    def test_one_record_per_lf_line_with_the_right_field_count(self):
        for name in TEXT_FILES:
            with self.subTest(name):
                raw = read(name)
                self.assertNotIn(b"\r", raw)
                self.assertTrue(raw.endswith(b"\n"))
                rows = samples.check_csv_records(raw.decode("ascii").split("\n")[:-1],
                                                 len(samples.FIELDS[name]))
                self.assertGreaterEqual(len(rows), 600)    # ten minutes or more

    def test_timestamps_share_a_start_and_step_by_one_second(self):
        starts = set()
        for name in TEXT_FILES:
            with self.subTest(name):
                stamps = records(name)["Timestamp"]
                starts.add(stamps[0])
                steps = {(b - a).total_seconds() for a, b in zip(stamps, stamps[1:])}
                self.assertEqual(steps, {1.0}, name)
        self.assertEqual(len(starts), 1)

    def test_totals_never_decrease_and_grow_while_pumping(self):
        for name in TEXT_FILES:
            columns = records(name)
            for field in samples.FIELDS[name]:
                if not (field.endswith("Total") or field == "Total Sand"):
                    continue
                with self.subTest(name=name, field=field):
                    values = columns[field]
                    self.assertTrue(all(a <= b for a, b in zip(values, values[1:])))
                    self.assertGreater(values[-1], values[0])

    def test_blender_densities_follow_sand_concentration(self):
        absolute_volume = 1 / (2.65 * 8.34)          # gal per lb of sand
        for name in ("blender.csv", "blenderplus.csv"):
            with self.subTest(name):
                c = records(name)
                stages = set()
                for i, slurry in enumerate(c["Slurry Rate"]):
                    clean, sand = c["Clean Rate"][i], c["Total Sand Rate"][i]
                    self.assertGreaterEqual(slurry, clean - 0.5, f"{name} record {i + 1}")
                    if clean < 20:
                        continue
                    conc = sand / (clean * 42)
                    expected = (8.34 * 1.01 + conc) / (1 + conc * absolute_volume)
                    self.assertAlmostEqual(c["Ratiometric Density"][i], expected, delta=0.03)
                    self.assertAlmostEqual(c["Measured Density"][i], expected, delta=0.5)
                    stages.add((c["Current Stage"][i], c["Target Density"][i]))
                # every stage has one design density, sand stages step it up
                by_stage = dict(stages)
                self.assertEqual(len(by_stage), len(stages), name)
                self.assertEqual(sorted(by_stage.values())[-1], by_stage[5])
                self.assertGreater(by_stage[5], by_stage[2])

    def test_pump_gears_rpm_and_rate_agree(self):
        c = records("frac.csv")
        requested, current = c["Requested Gear"], c["Current Gear"]
        self.assertEqual(max(current), max(requested))
        self.assertTrue(set(current) <= set(range(8)))
        neutral_for = 0
        for i, gear in enumerate(current):
            if i and gear != current[i - 1]:         # a shift only follows a request
                self.assertEqual(gear, requested[i - 1], f"record {i + 1}")
            neutral_for = neutral_for + 1 if gear == requested[i] == 0 else 0
            if gear == 0:
                self.assertEqual(c["Pump RPM"][i], 0)
                self.assertEqual(c["Pump Discharge Rate"][i], 0)
                self.assertEqual(c["Lock-up Status"][i], 0)
                if neutral_for > 15:                 # settled at idle
                    self.assertAlmostEqual(c["Engine RPM"][i], c["Idle RPM"][i], delta=30)
            else:
                self.assertGreater(c["Pump Discharge Rate"][i], 0)
        loaded = [i for i, gear in enumerate(current)
                  if gear == max(current) and c["Lock-up Status"][i]]
        self.assertGreater(min(c["Pump Discharge Pressure"][i] for i in loaded), 5000)
        self.assertTrue(all(60 < c["Engine Percent Load"][i] <= 100 for i in loaded))

    def test_values_stay_in_plausible_ranges(self):
        ranges = {
            "blender.csv": {"Slurry Rate": (0, 100), "Measured Density": (8, 12),
                            "Auger 1 DAC Counts": (0, 4095), "Sand Specific Gravity": (2.5, 2.7)},
            "blenderplus.csv": {"Discharge Pressure": (0, 150), "Tub Level": (0, 100),
                                "Suction Pressure": (0, 60)},
            "frac.csv": {"Engine RPM": (600, 2100), "Engine Coolant Temperature": (140, 215),
                         "Engine Oil Pressure": (15, 90), "Pump RPM": (0, 300)},
            "dd16.csv": {"Channel 1": (0, 15000), "Channel 4": (8, 12), "Channel 16": (-1, 1)},
        }
        for name, limits in ranges.items():
            columns = records(name)
            for field, (low, high) in limits.items():
                with self.subTest(name=name, field=field):
                    self.assertGreaterEqual(min(columns[field]), low)
                    self.assertLessEqual(max(columns[field]), high)


class BinaryRecordings(unittest.TestCase):

    def whole_messages(self, name):
        """The bytes one replay pass sends: whole 50-byte chunks, the last one
        being the final chunk that still leaves one byte after it."""
        data = read(name)
        self.assertEqual(len(data) % samples.CHUNK_SIZE, 1, name)
        self.assertGreaterEqual(len(data) // samples.CHUNK_SIZE, 2400, name)
        return data[:-1]

    def test_j1587_messages_checksum_and_make_sense(self):
        data = self.whole_messages("ddec.bin")
        messages = samples.parse_j1587(data, {128})
        ends = [m.offset for m in messages[1:]] + [len(data)]
        counts = {}
        for message, end in zip(messages, ends):
            self.assertLessEqual(end - message.offset, samples.J1587_MAX_MESSAGE)
            for pid, raw in message.params:
                counts[pid] = counts.get(pid, 0) + 1
                value = samples.j1587_value(pid, raw)      # KeyError: unexpected PID
                limits = {190: (600, 2100), 110: (140, 215), 92: (0, 100),
                          168: (24, 30), 175: (150, 250), 247: (8000, 9000)}.get(pid)
                if limits:
                    self.assertTrue(limits[0] <= value <= limits[1], (pid, value))
        self.assertEqual(max(counts, key=counts.get), 190)   # engine speed most often
        self.assertEqual(min(counts, key=counts.get), 247)   # engine hours least

    def test_slcan_frames_carry_the_expected_j1939_traffic(self):
        frames = samples.parse_slcan(self.whole_messages("hdv2.bin"))
        counts = {}
        for i, (can_id, dlc, data) in enumerate(frames):
            priority, pgn, dest, source = samples.j1939_fields(can_id)
            counts[pgn] = counts.get(pgn, 0) + 1
            self.assertEqual(priority, J1939_PRIORITY[pgn], hex(can_id))
            if pgn == 59904:                         # service tool asks the engine
                self.assertEqual((source, dest, dlc, data), (0xF9, 0x00, 3, b"\xE5\xFE\x00"))
                answer = samples.j1939_fields(frames[i + 1][0])
                self.assertEqual(answer[1], 65253)
                continue
            self.assertEqual((source, dest, dlc), (0x00, 0xFF, 8))
            if pgn == 61444:
                rpm = int.from_bytes(data[3:5], "little") * 0.125
                self.assertTrue(600 <= rpm <= 2100, rpm)
                self.assertTrue(0 <= data[2] - 125 <= 100)
            if pgn == 65262:
                self.assertTrue(60 <= data[0] - 40 <= 100)   # coolant degC
            if pgn == 65271:
                volts = int.from_bytes(data[4:6], "little") * 0.05
                self.assertTrue(24 <= volts <= 30, volts)
        self.assertEqual(max(counts, key=counts.get), 61444)

    def test_python_can_reads_the_same_frames(self):
        try:
            with warnings.catch_warnings():
                warnings.simplefilter("ignore", DeprecationWarning)
                from can.interfaces.slcan import slcanBus
            bus = slcanBus("loop://", sleep_after_open=0)
        except Exception as error:                  # python-can or pyserial missing
            self.skipTest(f"python-can slcan over loop:// unavailable: {error}")
        data = self.whole_messages("hdv2.bin")
        try:
            bus.flush()
            received = []
            for line in data.split(b"\r")[:-1]:
                bus.serialPortOrig.write(line + b"\r")
                message = bus.recv(1)
                self.assertIsNotNone(message, line)
                self.assertTrue(message.is_extended_id)
                received.append((message.arbitration_id, message.dlc, bytes(message.data)))
        finally:
            bus.shutdown()
        self.assertEqual(received, samples.parse_slcan(data))

    def test_generator_reproduces_the_committed_files(self):
        with tempfile.TemporaryDirectory() as out:
            subprocess.run(["/usr/bin/python3", os.path.join(ROOT, "tools", "gen_samples.py"), out],
                           check=True)
            self.assertEqual(sorted(os.listdir(out)), sorted(TEXT_FILES + BINARY_FILES))
            for name in TEXT_FILES + BINARY_FILES:
                with self.subTest(name):
                    with open(os.path.join(out, name), "rb") as f:
                        self.assertTrue(f.read() == read(name), f"{name} differs")


class J1587Decoder(unittest.TestCase):

    def test_splits_messages_and_scales_values(self):
        data = j1587(128, [190, 0xB8, 0x0B]) + j1587(128, [247, 4, 1, 2, 3, 4], [110, 180])
        first, second = samples.parse_j1587(data)
        self.assertEqual(first.params, ((190, b"\xB8\x0B"),))
        self.assertEqual(samples.j1587_value(190, first.params[0][1]), 750)
        self.assertEqual((second.offset, second.params[0][1]), (5, b"\x01\x02\x03\x04"))

    def test_rejects_bad_checksum_truncation_and_unsupported_pids(self):
        good = j1587(128, [92, 40])
        bad_inputs = {
            "bad checksum": good[:-1] + bytes([good[-1] ^ 1]),
            "truncated": good + j1587(128, [190, 1, 2])[:-1],
            "data-link escape": j1587(128, [254, 1]),
            "unexpected MID": j1587(130, [92, 40]),
        }
        for what, data in bad_inputs.items():
            with self.subTest(what), self.assertRaises(FormatError):
                samples.parse_j1587(data, {128})

    def test_checksum_coincidence_inside_a_message_is_not_a_boundary(self):
        # 128 + 92 + 102 + 190 == 512, so the PID 190 byte also "checksums"
        tricky = j1587(128, [92, 102], [190, 0x10, 0x0B])
        messages = samples.parse_j1587(tricky + j1587(128, [110, 180]), {128})
        self.assertEqual([len(m.params) for m in messages], [2, 1])

    def test_two_messages_are_not_read_as_one(self):
        # the first checksum (26) is also a valid one-byte PID, so the pair
        # checksums as a single longer message too
        short = j1587(128, [92, 10])
        self.assertLess(short[-1], 128)
        self.assertEqual(len(samples.parse_j1587(short + short)), 2)


class SlcanDecoder(unittest.TestCase):

    def test_parses_extended_and_standard_frames(self):
        data = b"T0CF004008FF85836217FFFFFF\rT18EA00F93E5FE00\rt1230\r"
        self.assertEqual(samples.parse_slcan(data), [
            (0x0CF00400, 8, bytes.fromhex("FF85836217FFFFFF")),
            (0x18EA00F9, 3, bytes.fromhex("E5FE00")),
            (0x123, 0, b"")])
        self.assertEqual(samples.j1939_fields(0x18EA03F9), (6, 59904, 0x03, 0xF9))
        self.assertEqual(samples.j1939_fields(0x0CF00400), (3, 61444, 0xFF, 0x00))

    def test_rejects_malformed_frames(self):
        bad_inputs = {
            "no CR": b"T0CF004008FF85836217FFFFFF",
            "data shorter than DLC": b"T0CF004008FF858362\r",
            "lower-case hex": b"T0cf004008FF85836217FFFFFF\r",
            "DLC 9": b"T0CF0040091122334455667788\r",
            "identifier over 29 bits": b"T2CF004000\r",
            "LF after CR": b"T0CF004000\r\n",
        }
        for what, data in bad_inputs.items():
            with self.subTest(what), self.assertRaises(FormatError):
                samples.parse_slcan(data)


class CsvChecker(unittest.TestCase):

    def test_accepts_crlf_or_bytes_and_returns_values(self):
        rows = samples.check_csv_records([b"2026-03-14 09:30:00,1.50,-2\r\n"], 3)
        self.assertEqual(rows[0][1], [1.5, -2.0])

    def test_rejects_header_wrong_count_and_non_numbers(self):
        for line in ["Timestamp,Slurry Rate,Slurry Total", "2026-03-14 09:30:00,1.5",
                     "2026-03-14 09:30:00,1.5,nan", "2026-03-14 09:30:00,1.5,"]:
            with self.subTest(line), self.assertRaises(FormatError):
                samples.check_csv_records([line], 3)


if __name__ == "__main__":
    unittest.main()
