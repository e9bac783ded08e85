#!/usr/bin/python3
"""A minimal station: prints what arrives on a serial port, as it arrives.

Text records are shown one a line with their arrival time and the first
fields; raw engine bytes are shown in hex. Usage: station.py PORT [BAUD]
"""
import sys
import time

import serial


def show_text(line, started):
    fields = line.decode("ascii", "replace").split(",")
    head = ",".join(fields[:6])
    more = f"  (+{len(fields) - 6} more fields)" if len(fields) > 6 else ""
    print(f"{time.monotonic() - started:8.3f} s  {head}{more}", flush=True)


def main():
    port = sys.argv[1]
    baud = int(sys.argv[2]) if len(sys.argv) > 2 else 19200
    started = time.monotonic()
    pending = b""
    with serial.Serial(port, baud, timeout=0.5) as line:
        while True:
            pending += line.read(line.in_waiting or 1)
            while b"\r\n" in pending:
                record, pending = pending.split(b"\r\n", 1)
                show_text(record, started)
            # Engine streams carry no CR LF records: show their bytes as they come.
            if len(pending) >= 50 and not pending[:50].isascii():
                print(f"{time.monotonic() - started:8.3f} s  {pending[:50].hex(' ')}", flush=True)
                pending = pending[50:]


if __name__ == "__main__":
    try:
        main()
    except (KeyboardInterrupt, serial.SerialException):
        # Ctrl-C reaches the cable (socat) too: whichever goes first, the
        # demo is ending, and its own last line says so.
        pass
