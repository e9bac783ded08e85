#!/usr/bin/python3
"""A replayer as people write one by hand, the benchmark's point of comparison:
send a record, sleep for the interval, repeat. Every period is the interval
plus however long the rest of the loop took, so the stream falls behind."""
import argparse
import time

import serial


def replay_text(port, path):
    while True:
        with open(path, "rb") as records:
            for line in records:
                port.write(line.rstrip(b"\r\n") + b"\r\n")
                time.sleep(1.0)


def replay_engine(port, path):
    with open(path, "rb") as recording:
        data = recording.read()
    pos = 0
    while True:
        if pos + 51 > len(data):
            pos = 0
        port.write(data[pos:pos + 50])
        pos += 50
        time.sleep(0.25)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("port")
    parser.add_argument("file")
    parser.add_argument("--engine", action="store_true", help="50-byte chunks every 0.25 s")
    args = parser.parse_args()
    port = serial.Serial(args.port, 9600)
    (replay_engine if args.engine else replay_text)(port, args.file)


if __name__ == "__main__":
    main()
