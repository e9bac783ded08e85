#!/usr/bin/python3
"""What a station receives from the shipped recordings, decoded by the
station-side parsers: the program's output is captured through a
pseudo-terminal over more than one loop by the C++ test SampleStreams
(the test binary is $QUORVEX_TESTS_BINARY) and checked here."""
import os
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tools"))
import samples  # noqa: E402

BINARY = os.environ.get("QUORVEX_TESTS_BINARY")


@unittest.skipUnless(BINARY, "QUORVEX_TESTS_BINARY names the test program")
class StreamedRecordings(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.TemporaryDirectory()
        env = dict(os.environ, QUORVEX_CAPTURE_DIR=cls.dir.name)
        env.setdefault("QT_QPA_PLATFORM", "offscreen")
        subprocess.run([BINARY, "--gtest_filter=SampleStreams.*"], env=env, check=True,
                       stdout=subprocess.DEVNULL)

    @classmethod
    def tearDownClass(cls):
        cls.dir.cleanup()

    def received(self, name):
        with open(os.path.join(self.dir.name, name), "rb") as f:
            return f.read()

    def past_the_seam(self, name, boundaries):
        """The capture up to the last whole message after the loop seam."""
        data = self.received(name)
        loop = os.path.getsize(os.path.join(ROOT, "data", name)) - 1
        tail = max(b for b in boundaries if b <= len(data) - loop)
        self.assertGreater(tail, 0, "the capture reaches past the seam")
        return data[:loop + tail]

    def test_every_j1587_message_checksums_and_parses_across_the_seam(self):
        with open(os.path.join(ROOT, "data", "ddec.bin"), "rb") as f:
            starts = [m.offset for m in samples.parse_j1587(f.read()[:-1], {128})]
        data = self.past_the_seam("ddec.bin", starts)
        # Raises unless the whole capture splits into messages that checksum.
        messages = samples.parse_j1587(data, {128})
        self.assertGreater(len(messages), 1000)

    def test_every_slcan_frame_parses_to_a_j1939_identifier_across_the_seam(self):
        with open(os.path.join(ROOT, "data", "hdv2.bin"), "rb") as f:
            ends = [i + 1 for i, byte in enumerate(f.read()) if byte == 0x0D]
        frames = samples.parse_slcan(self.past_the_seam("hdv2.bin", ends))
        self.assertGreater(len(frames), 1000)
        for can_id, dlc, data in frames:
            self.assertLess(can_id, 1 << 29)
            self.assertEqual(len(data), dlc)
            priority, pgn, _, source = samples.j1939_fields(can_id)
            self.assertIn(pgn, (59904, 61443, 61444, 65253, 65262, 65263, 65265, 65266, 65270, 65271))
            self.assertIn(source, (0x00, 0xF9))

    def test_every_csv_record_has_its_devices_field_count(self):
        for name, fields in samples.FIELDS.items():
            with self.subTest(name):
                lines = self.received(name).split(b"\r\n")
                self.assertEqual(lines[-1], b"", "each record ends in CR LF")
                records = [line.decode("ascii") for line in lines[:-1]]
                self.assertGreater(len(records), 900, name)
                samples.check_csv_records(records, len(fields))


if __name__ == "__main__":
    unittest.main()
