#!/usr/bin/python3
"""The player measured: a site of 32 devices (24 text devices, each with a
recording of its own, and 4 J1587 and 4 J1939 engine controllers) streamed by
one quorvex-play process; beside it, at the same time, as many windows
(quorvex on one virtual display, each streaming text from its own recording)
and the kernel's limit (bench/reference_site.py: the same site from one
process that sleeps until absolute deadlines). Every device has a
pseudo-terminal of its own, read here as a station would.

    bench/site.py                 ten minutes
    bench/site.py --quick         30 s, as bench/run runs it

Prints one Markdown table and the aims it is read against, and writes every
figure as JSON. Figures only: the exit status is 0 unless nothing streamed."""
import argparse
import json
import os
import subprocess
import sys
import time

from bench import machine, measure_priority
from capture import ChunkRecords, Line, LineRecords, cpu_seconds, end_process, pump, run_in_folder, status_kb
from sitefiles import ENGINE_FORMATS, held_recordings_bytes, site_devices, write_site
from sitefigures import site_figures, window_figures
from sitereport import aims, print_report
from sitewindows import Display, make_windows, start_windows, wait_streaming

PYTHON = "/usr/bin/python3"
HERE = os.path.dirname(os.path.abspath(__file__))
SETTLE_S = 3.0  # after the last first record, before the measured minutes begin


class Processes:
    """Every process this run starts, ended by its id at the end, whatever happens."""

    def __init__(self):
        self.links, self.procs = [], []

    def stop(self):
        for link in self.links:
            link.stop()
        for proc in self.procs:
            end_process(proc)


def process_figures(proc):
    """CPU, memory and descriptors of a process still running; none of a process
    that has ended (its /proc entry, kept until it is reaped, says nothing true)."""
    figures = {"cpu_s": None, "rss_kb": None, "fds": None}
    if proc.poll() is not None:
        return figures
    try:
        figures["fds"] = len(os.listdir(f"/proc/{proc.pid}/fd"))
    except OSError:
        pass
    figures.update(cpu_s=cpu_seconds(proc.pid), rss_kb=status_kb(proc.pid, "VmRSS"))
    return figures


def start_player(build, site, log, started):
    proc = subprocess.Popen([os.path.join(build, "quorvex-play"), site, "--json"], stdin=subprocess.DEVNULL,
                            stdout=log, stderr=log)
    started.procs.append(proc)
    return proc


def device_lines(devices):
    """A pseudo-terminal for each device, read as its station would."""
    return [Line(ChunkRecords() if kind in ENGINE_FORMATS else LineRecords(), name) for name, kind, _ in devices]


def start_reference(devices, lines, log, started):
    """The kernel's limit: the same site from one process that sleeps until each
    absolute deadline and then writes what it read ahead."""
    argv = [PYTHON, os.path.join(HERE, "reference_site.py")]
    for (_, kind, path), line in zip(devices, lines):
        argv += ["--engine" if kind in ENGINE_FORMATS else "--text", path, line.port]
    proc = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=log, stderr=log)
    started.procs.append(proc)
    return proc


def measure_for(seconds, pump_for, every_s=10):
    """Reads for the measured minutes, noting the 1-minute load average as it goes:
    the other work on the machine shows in the tails."""
    loads, end = [os.getloadavg()[0]], time.monotonic() + seconds
    while time.monotonic() < end:
        pump_for(min(every_s, end - time.monotonic()))
        loads.append(os.getloadavg()[0])
    return loads


def run(args, folder, log):
    devices = site_devices(folder, args.build)
    lines, ref_lines = device_lines(devices), device_lines(devices)
    site = os.path.join(folder, "site.toml")
    write_site(site, devices, [line.port for line in lines])
    started = Processes()
    display = None
    if args.windows:
        try:
            display = Display(log)
            started.procs.append(display.proc)
        except (OSError, RuntimeError) as error:
            print(f"site: no windows beside the player, for want of a display: {error}", file=sys.stderr)
    windows = make_windows(os.path.join(args.build, "quorvex"), args.windows if display else 0, folder,
                           args.build, display.name if display else "", log)
    everything = lines + windows + ref_lines
    started.links += windows

    def pump_for(seconds):
        pump(everything, time.monotonic_ns() + int(seconds * 1e9))

    try:
        print(f"site: starting {len(windows)} windows ...", file=sys.stderr, flush=True)
        start_windows(windows, pump_for)
        silent = wait_streaming(windows, pump_for, 30)
        player = start_player(args.build, site, log, started)
        reference = start_reference(devices, ref_lines, log, started)
        silent += wait_streaming(lines + ref_lines, pump_for, 10)
        pump_for(SETTLE_S)
        print(f"site: measuring {args.seconds:g} s ...", file=sys.stderr, flush=True)
        procs = {"player": player, "reference": reference, "xvfb": display.proc if display else None}
        procs.update({w.name: w.proc for w in windows})
        start_ns, at_start = time.monotonic_ns(), {k: process_figures(p) for k, p in procs.items() if p}
        loads = measure_for(args.seconds, pump_for)
        end_ns, at_end = time.monotonic_ns(), {k: process_figures(p) for k, p in procs.items() if p}
        ended_early = player.poll()  # its status, had it ended before the measured minutes did
    finally:
        started.stop()
        for line in everything:
            line.close()
    window = (start_ns, end_ns)
    return {"seconds": (end_ns - start_ns) / 1e9, "load_avg_1min": loads,
            "silent": [line.name for line in silent], "player_ended_early": ended_early,
            "held_recordings_bytes": held_recordings_bytes(devices),
            "player": site_figures(devices, lines, window, at_start["player"], at_end["player"]),
            "windows": window_figures(windows, window, at_start, at_end),
            "reference": site_figures(devices, ref_lines, window, at_start["reference"], at_end["reference"])}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--quick", action="store_true", help="30 s instead of ten minutes")
    parser.add_argument("--seconds", type=float, help="seconds measured (overrides the mode)")
    parser.add_argument("--windows", type=int, default=32, help="windows beside the player (0: none)")
    parser.add_argument("--build", default="build-bench", help="build folder with quorvex and quorvex-play")
    parser.add_argument("--json", help="where to write the figures (default: BUILD/site.json)")
    parser.add_argument("--devices", action="store_true", help="a row for every device and window too")
    args = parser.parse_args()
    args.seconds = args.seconds or (30 if args.quick else 600)
    args.build = os.path.abspath(args.build)
    for binary in ("quorvex", "quorvex-play"):
        if not os.access(os.path.join(args.build, binary), os.X_OK):
            sys.stderr.write(f"site: {args.build}/{binary} is missing: build it first (bench/run does)\n")
            return 1
    results = {"seconds_asked": args.seconds, "windows_asked": args.windows, "machine": machine(),
               "measured_by": measure_priority()}
    results.update(run_in_folder("quorvex-site-", lambda folder, log: run(args, folder, log)))
    results["aims"] = aims(results)
    print_report(results, sys.stdout, args.devices)
    path = args.json or os.path.join(args.build, "site.json")
    with open(path, "w") as out:
        json.dump(results, out)
    print(f"site: figures in {path}", file=sys.stderr)
    return 0 if any(d["seen"] for d in results["player"]["devices"]) else 1


if __name__ == "__main__":
    sys.exit(main())
