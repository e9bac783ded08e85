"""The streaming runs: the program and the reference replayer side by side,
each on its own pseudo-terminal, with the machine idle or with every core kept
busy by load processes started and ended here by process id."""
import json
import os
import subprocess
import sys
import time

from capture import (ENGINE_INTERVAL, TEXT_INTERVAL, ChunkRecords, Link, LineRecords, cpu_seconds,
                     driver_lines, pump, status_kb)
from stats import lateness_ms, per_minute, percentile, schedule

PYTHON = "/usr/bin/python3"
HERE = os.path.dirname(os.path.abspath(__file__))
STARTUP_ALLOWANCE = 1.5  # seconds from spawning to the first record, and some


def start_load(count):
    """One busy process per core; the caller ends them with stop_load."""
    return [subprocess.Popen([PYTHON, "-c", "while True: pass"], stdin=subprocess.DEVNULL)
            for _ in range(count)]


def stop_load(procs):
    for proc in procs:
        proc.kill()
        proc.wait()


def stream_links(build, engine_format, nice):
    driver = os.path.join(build, "quorvex_bench")
    replayer = os.path.join(HERE, "reference_replayer.py")
    engine_file = os.path.join(build, "ddec.bin" if engine_format == 1 else "hdv2.bin")
    return [
        (Link("Quorvex", [driver], LineRecords(), nice=nice), "text"),
        (Link("Quorvex", [driver, "--format", str(engine_format)], ChunkRecords(), nice=nice), "engine"),
        (Link("Reference", [PYTHON, replayer, "{port}", os.path.join(build, "blender.csv")], LineRecords(),
              nice=nice), "text"),
        (Link("Reference", [PYTHON, replayer, "{port}", engine_file, "--engine"], ChunkRecords(), nice=nice),
         "engine"),
    ]


def attribution_links(build, engine_format):
    """Drivers that keep the call stack of every allocation made in a tick; their
    timing is not measured (taking a stack takes time)."""
    driver = os.path.join(build, "quorvex_bench")
    stacks = ["--stacks", "250", "--warmup-ticks", "2"]
    return [(Link("Quorvex", [driver] + stacks, LineRecords()), "text"),
            (Link("Quorvex", [driver, "--format", str(engine_format)] + stacks, ChunkRecords()), "engine")]


class Samples:
    """/proc figures taken while the links stream: CPU at the first record,
    peak memory a quarter into the window."""

    def __init__(self, links, quarter_ns):
        self.links = links
        self.quarter_ns = quarter_ns
        self.cpu_first = {}
        self.hwm_quarter = {}

    def __call__(self):
        now = time.monotonic_ns()
        for link in self.links:
            pid = link.proc.pid
            if link.first_byte_ns is not None and pid not in self.cpu_first:
                self.cpu_first[pid] = (cpu_seconds(pid), now)
            if now >= self.quarter_ns and pid not in self.hwm_quarter:
                self.hwm_quarter[pid] = status_kb(pid, "VmHWM")
        return False


def tick_allocs(report, kind):
    counts = report.get("ATimerTick" if kind == "text" else "DTimerTick", {})
    counted = counts.get("counted", 0)
    if not counted:
        return None
    return {"per_tick": counts["allocs"] / counted, "max_per_tick": counts["max_per_tick"],
            "bytes_per_tick": counts["bytes"] / counted, "counted_ticks": counted,
            "process_allocs_per_period": counts["process_allocs_per_period"]}


def where_late(report, kind, arrivals, t0, interval):
    """Splits the program's lateness in two: how late its timer fired (the tick
    callback entered against t0 + n x interval), and how long the record then
    took to reach the far end (arrival minus callback entry)."""
    entered = report.get("ATimerTick" if kind == "text" else "DTimerTick", {}).get("entered_ns", [])
    if not entered or not arrivals:
        return {}
    timer = lateness_ms(entered, t0, interval)
    delivery = [(a - e) / 1e6 for a, e in zip(arrivals, entered)]
    return {"timer_late_p50_ms": percentile(timer, 50), "timer_late_p99_ms": percentile(timer, 99),
            "timer_late_max_ms": max(timer), "delivery_p50_ms": percentile(delivery, 50),
            "delivery_p99_ms": percentile(delivery, 99), "delivery_max_ms": max(delivery)}


def link_result(link, kind, condition, samples, end_ns, end_figures):
    interval = TEXT_INTERVAL if kind == "text" else ENGINE_INTERVAL
    arrivals = link.records.times
    lines = driver_lines(link.output)
    loop_ns = int(lines["loop"]) if "loop" in lines else None
    report = json.loads(lines["report"]) if "report" in lines else {}
    t0 = loop_ns + int(interval * 1e9) if loop_ns else (arrivals[0] if arrivals else end_ns)
    result = {"program": link.name, "stream": kind, "condition": condition, "interval_s": interval}
    result.update(schedule(arrivals, t0, interval, end_ns))
    cpu_end, hwm_end, rss_end = end_figures
    cpu_first, first_sampled_ns = samples.cpu_first.get(link.proc.pid, (None, None))
    if cpu_first is not None and cpu_end is not None:
        result["cpu_s_per_min"] = per_minute(cpu_end - cpu_first, (end_ns - first_sampled_ns) / 1e9)
        result["startup_cpu_s"] = cpu_first
    result["peak_mb"] = hwm_end / 1024 if hwm_end else None
    result["rss_end_mb"] = rss_end / 1024 if rss_end else None
    quarter = samples.hwm_quarter.get(link.proc.pid)
    result["peak_growth_kb"] = hwm_end - quarter if hwm_end and quarter else None
    if link.first_byte_ns:
        result["start_to_first_byte_s"] = (link.first_byte_ns - link.spawned_ns) / 1e9
    if loop_ns and arrivals:
        result["loop_to_first_record_s"] = (arrivals[0] - loop_ns) / 1e9
    if link.name == "Quorvex":
        result["allocs"] = tick_allocs(report, kind)
        result.update(where_late(report, kind, arrivals, t0, interval))
    return result, report


def run_streams(build, condition, seconds, engine_format, attribute, nice=0):
    """Streams for `seconds` (plus start-up) and returns a result per stream,
    and the allocation sites when `attribute`. Both programs measured run at
    niceness `nice`; the load always runs at 0."""
    loads = start_load(os.cpu_count() or 2) if condition == "loaded" else []
    measured = stream_links(build, engine_format, nice)
    extra = attribution_links(build, engine_format) if attribute else []
    everything = [link for link, _ in measured + extra]
    try:
        if loads:
            time.sleep(1.0)  # let the load take hold
        start_ns = time.monotonic_ns()
        for link in everything:
            link.start()
        end_ns = start_ns + int((seconds + STARTUP_ALLOWANCE) * 1e9)
        samples = Samples([link for link, _ in measured], start_ns + int((STARTUP_ALLOWANCE + seconds / 4) * 1e9))
        pump(everything, end_ns, samples)
        end_ns = time.monotonic_ns()
        figures = {link.proc.pid: (cpu_seconds(link.proc.pid), status_kb(link.proc.pid, "VmHWM"),
                                   status_kb(link.proc.pid, "VmRSS")) for link, _ in measured}
        for link in everything:
            link.stop()
    finally:
        for link in everything:
            if link.proc and link.proc.poll() is None:
                link.proc.kill()
            link.close()
        stop_load(loads)
    results = []
    for link, kind in measured:
        result, _ = link_result(link, kind, condition, samples, end_ns, figures[link.proc.pid])
        if not link.records.times:
            sys.stderr.write(f"{link.name} {kind} ({condition}) sent nothing:\n"
                             f"{link.errors.decode(errors='replace')[-2000:]}\n")
        results.append(result)
    sites = {kind: json.loads(driver_lines(link.output).get("report", "{}")) for link, kind in extra}
    return results, sites
