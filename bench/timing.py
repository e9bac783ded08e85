#!/usr/bin/python3
"""Engine timing measured, figures only:

- J1939 recorded: a python-can SLCAN gateway passing on EEC1 20 times a
  second, EEC2 10 times and ET1 once (about 840 bytes a second) is recorded as
  a candump log, then quorvex-play plays the log with --timing recorded into a
  pseudo-terminal, beside the kernel's limit (bench/reference_timed.py: the same
  frames on absolute clock_nanosleep deadlines) on another: each frame's
  lateness, each group's periods within a pass and across the seam, and the
  drift against the recording's clock.
- J1587 paced and fixed: data/ddec.bin played with --timing paced and with the
  window's fixed timing at once, each read as a station that frames J1708 by
  idle time reads it: how many bursts are whole J1587 messages.

    bench/timing.py --build build-bench            ten minutes
    bench/timing.py --build build-bench --quick    30 s (bench/run runs this)

Prints the tables and the aims (reported, never enforced) and writes every
figure as JSON. The exit status is 0 unless nothing streamed."""
import argparse
import json
import math
import os
import signal
import sys
import threading
import time

import can

from bench import machine, measure_priority
from capture import Line, Link, pump, run_in_folder
from timingfigures import SETTLE_NS, Bursts, SlcanFrames, j1708_figures, loop_ns, read_log, recorded_figures
from timingreport import aims, print_report

PYTHON = "/usr/bin/python3"
HERE = os.path.dirname(os.path.abspath(__file__))
# The engine's groups as its gateway passes them on: name, CAN ID, period and
# offset in s (an ECU does not send all its groups at the same instant).
GROUPS = [("EEC1", 0x0CF00400, 0.050, 0.000), ("EEC2", 0x0CF00300, 0.100, 0.007),
          ("ET1", 0x18FEEE00, 1.000, 0.023)]
RECORD_S = 10.0  # the recording: 20 seams in ten minutes, 3 in the quick run
LOAD_EVERY_S = 10


def group_data(can_id, n):
    """Eight data bytes that change from frame to frame, as an engine's do, so
    that a frame out of place shows."""
    if can_id == 0x0CF00400:  # EEC1: torques, engine speed about 1500 rpm at 0.125 rpm a bit
        rpm = int((1500 + 200 * math.sin(n / 40)) * 8)
        return bytes([0xF1, 0x7D, 0x80 + n % 20, rpm & 0xFF, rpm >> 8, 0x00, 0xFF, 0x7D])
    if can_id == 0x0CF00300:  # EEC2: accelerator pedal position, 0.4 % a bit
        return bytes([0xFF, 60 + n % 50, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF])
    return bytes([130 + n % 3, 0xFF, 0x20, 0x4E, 0xFF, 0xFF, 0xFF, 0xFF])  # ET1: coolant about 90 degC


def gateway(port, seconds, failed):
    """A serial CAN gateway as python-can drives one: every group at its
    period, each frame sent at its own time from the start (no sum of sleeps)."""
    sends = sorted((offset + k * period, can_id, k) for _, can_id, period, offset in GROUPS
                   for k in range(int(seconds / period + 1e-9)))
    try:
        bus = can.Bus(interface="slcan", channel=port, sleep_after_open=0)
    except Exception as error:  # what python-can raises varies: each is reported
        failed.append(error)
        return
    try:
        start = time.monotonic()
        for at, can_id, k in sends:
            time.sleep(max(0.0, start + at - time.monotonic()))
            bus.send(can.Message(arbitration_id=can_id, data=group_data(can_id, k), is_extended_id=True))
    except Exception as error:
        failed.append(error)
    finally:
        bus.shutdown()


def message_of(slcan, timestamp):
    """The can.Message of an SLCAN data frame ("T0CF004008FFFF...\\r")."""
    digits = 8 if slcan[:1] in (b"T", b"R") else 3
    dlc = int(slcan[1 + digits:2 + digits])
    data = b"" if slcan[:1] in (b"R", b"r") else bytes.fromhex(slcan[2 + digits:2 + digits + 2 * dlc].decode())
    return can.Message(timestamp=timestamp, arbitration_id=int(slcan[1:1 + digits], 16), is_extended_id=digits == 8,
                       is_remote_frame=slcan[:1] in (b"R", b"r"), dlc=dlc, data=data)


def record(path, seconds):
    """The gateway's frames as they arrive at the far end of a pseudo-terminal,
    written as a candump log by python-can, on the wall clock of the moment."""
    line = Line(SlcanFrames(), "gateway")
    failed = []
    wall_ns, mono_ns = time.time_ns(), time.monotonic_ns()
    sender = threading.Thread(target=gateway, args=(line.port, seconds, failed), daemon=True)
    sender.start()
    while sender.is_alive():
        pump([line], time.monotonic_ns() + 100_000_000)
    pump([line], time.monotonic_ns() + 100_000_000)
    line.close()
    if failed:
        raise RuntimeError(f"the gateway failed: {failed[0]}")
    frames = line.records
    with can.io.CanutilsLogWriter(path, channel="slcan0") as log:
        for t, text in zip(frames.times, frames.frames):
            log.on_message_received(message_of(text, (wall_ns + t - mono_ns) / 1e9))
    return len(frames.frames)


def measure_for(seconds, links):
    """Reads every line for the run, noting the 1-minute load average as it goes."""
    loads, end = [os.getloadavg()[0]], time.monotonic_ns() + int(seconds * 1e9)
    while time.monotonic_ns() < end:
        pump(links, min(end, time.monotonic_ns() + LOAD_EVERY_S * 1_000_000_000))
        loads.append(os.getloadavg()[0])
    return loads


def links_for(args, gateway_log, log):
    play = os.path.join(args.build, "quorvex-play")
    ddec = os.path.normpath(os.path.join(HERE, "..", "data", "ddec.bin"))
    # Ended by its id once the reading is over; --for only bounds a run left behind.
    until = ["--for", f"{int(args.seconds + SETTLE_NS / 1e9) + 30}s"]
    return [Link("player", [play, "j1939", gateway_log, "COM1", "--timing", "recorded"] + until, SlcanFrames(),
                 log=log),
            Link("limit", [PYTHON, os.path.join(HERE, "reference_timed.py"), gateway_log, "{port}"], SlcanFrames(),
                 log=log),
            Link("paced", [play, "j1587", ddec, "COM1", "--timing", "paced"] + until, Bursts(), log=log),
            Link("fixed", [play, "j1587", ddec, "COM1"] + until, Bursts(), log=log)]


def run(args, folder, log):
    gateway_log = os.path.join(folder, "gateway.log")
    print(f"timing: recording the gateway for {RECORD_S:g} s ...", file=sys.stderr, flush=True)
    recorded = record(gateway_log, RECORD_S)
    frames = read_log(gateway_log)
    loop = loop_ns(frames)
    links = links_for(args, gateway_log, log)
    try:
        for link in links:
            link.start()
        print(f"timing: measuring {args.seconds:g} s ...", file=sys.stderr, flush=True)
        loads = measure_for(args.seconds + SETTLE_NS / 1e9, links)
        ended_early = {link.name: link.proc.poll() for link in links if link.proc.poll() is not None}
    finally:
        for link in links:
            link.stop()
            link.close()
    by = {link.name: link.records for link in links}
    names = {f"{can_id:08X}": name for name, can_id, _, _ in GROUPS}
    replays = {}
    for who in ("player", "limit"):
        replays[who] = recorded_figures(by[who].times, by[who].frames, frames, loop)
        for group in replays[who]["groups"]:
            group["name"] = names.get(group["id"], "")
    return {"seconds": args.seconds, "record_seconds": RECORD_S, "recorded_frames": recorded,
            "loop_ms": loop / 1e6, "log_bytes_per_second": sum(len(f[2]) for f in frames) * 1e9 / loop,
            "load_avg_1min": loads, "ended_early": ended_early, "recorded": replays,
            "j1587": {who: j1708_figures(by[who]) for who in ("paced", "fixed")}}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--quick", action="store_true", help="30 s instead of ten minutes")
    parser.add_argument("--seconds", type=float, help="seconds measured (overrides the mode)")
    parser.add_argument("--build", default="build-bench", help="build folder with quorvex-play")
    parser.add_argument("--json", help="where to write the figures (default: BUILD/timing.json)")
    args = parser.parse_args()
    args.seconds = args.seconds or (30 if args.quick else 600)
    args.build = os.path.abspath(args.build)
    if not os.access(os.path.join(args.build, "quorvex-play"), os.X_OK):
        sys.stderr.write(f"timing: {args.build}/quorvex-play is missing: build it first (bench/run does)\n")
        return 1
    # Ended from outside, it still ends the processes it started.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    results = {"machine": machine(), "measured_by": measure_priority()}
    results.update(run_in_folder("quorvex-timing-", lambda folder, log: run(args, folder, log)))
    results["aims"] = aims(results)
    print_report(results, sys.stdout)
    path = args.json or os.path.join(args.build, "timing.json")
    with open(path, "w") as out:
        json.dump(results, out)
    print(f"timing: figures in {path}", file=sys.stderr)
    return 0 if results["recorded"]["player"]["seen"] else 1


if __name__ == "__main__":
    sys.exit(main())
