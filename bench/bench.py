#!/usr/bin/python3
"""Quorvex benchmark: cadence, CPU, memory, scale and allocations of the built
program, beside a hand-written replayer measured the same way in the same run.

    bench/run            quick mode: 12 s per stream, idle and loaded (under a minute)
    bench/run --full     ten minutes per stream, idle and loaded (about 21 minutes)

Prints one Markdown table and the goals it is read against, and writes the same
figures as JSON. Figures are never pass/fail: the exit status is 0 unless the
program could not be run at all."""
import argparse
import json
import os
import platform
import shutil
import sys
import tempfile
import time

from report import attribution, goals, print_report
from scale import run_scale
from stats import ratio
from streams import run_streams

MODES = {"quick": {"seconds": 12, "repeats": 2}, "full": {"seconds": 600, "repeats": 5}}


def measure_priority():
    """Runs the measuring process ahead of everything else, so that its own wake-ups
    under load do not count against the programs measured. Children start with the
    normal policy again (SCHED_RESET_ON_FORK)."""
    try:
        os.sched_setscheduler(0, os.SCHED_FIFO | os.SCHED_RESET_ON_FORK, os.sched_param(10))
        return "SCHED_FIFO 10"
    except (AttributeError, PermissionError, OSError):
        return "normal (could not raise; the harness's own latency counts in the figures)"


def machine():
    model = ""
    try:
        with open("/proc/cpuinfo") as info:
            model = next((line.split(":", 1)[1].strip() for line in info if line.startswith("model name")), "")
    except OSError:
        pass
    return {"cpu": model, "cores": os.cpu_count(), "kernel": platform.release(), "load_avg": os.getloadavg()}


def ratios(streams):
    out = []
    for condition in ("idle", "loaded"):
        for kind in ("text", "engine"):
            pick = {r["program"]: r for r in streams if r["condition"] == condition and r["stream"] == kind}
            ours, ref = pick.get("Quorvex"), pick.get("Reference")
            if not ours or not ref or not ours["ticks"] or not ref["ticks"]:
                continue
            out.append({"condition": condition, "stream": kind,
                        "p50": ratio(ref["late_p50_ms"], ours["late_p50_ms"]),
                        "p99": ratio(ref["late_p99_ms"], ours["late_p99_ms"]),
                        "max": ratio(ref["late_max_ms"], ours["late_max_ms"]),
                        "drift": ratio(ref["drift_ms"], ours["drift_ms"])})
    return out


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--full", action="store_true", help="ten minutes per stream")
    parser.add_argument("--seconds", type=float, help="seconds per stream (overrides the mode)")
    parser.add_argument("--repeats", type=int, help="runs of each scale case (overrides the mode)")
    parser.add_argument("--engine-format", type=int, choices=(1, 2), default=1)
    parser.add_argument("--nice", type=int, default=0,
                        help="niceness of the programs measured (below 0 needs root): "
                             "what a priority buys under load")
    parser.add_argument("--build", default="build-bench", help="build folder with quorvex and quorvex_bench")
    parser.add_argument("--json", help="where to write the figures (default: BUILD/bench.json)")
    args = parser.parse_args()
    base = "full" if args.full else "quick"
    seconds = args.seconds or MODES[base]["seconds"]
    repeats = args.repeats or MODES[base]["repeats"]
    mode = base if (seconds, repeats) == (MODES[base]["seconds"], MODES[base]["repeats"]) else "custom"
    for binary in ("quorvex", "quorvex_bench"):
        if not os.access(os.path.join(args.build, binary), os.X_OK):
            sys.stderr.write(f"bench: {args.build}/{binary} is missing: build it first (bench/run does)\n")
            return 1
    os.environ.setdefault("QT_QPA_PLATFORM", "offscreen")
    # The programs measured read the samples, not a recording of the user's own.
    user_data = tempfile.mkdtemp(prefix="quorvex-bench-XDG-")
    os.environ["XDG_DATA_HOME"] = user_data
    try:
        return measure(args, seconds, repeats, mode)
    finally:
        shutil.rmtree(user_data, ignore_errors=True)


def measure(args, seconds, repeats, mode):
    began = time.time()
    results = {"mode": mode, "seconds_per_stream": seconds, "scale_repeats": repeats,
               "engine_format": args.engine_format, "nice": args.nice, "machine": machine(),
               "measured_by": measure_priority(), "streams": [], "allocation_sites": {}}
    for condition in ("idle", "loaded"):
        print(f"bench: streaming {seconds:g} s with the machine {condition} ...", file=sys.stderr, flush=True)
        streams, sites = run_streams(args.build, condition, seconds, args.engine_format, condition == "idle",
                                     args.nice)
        results["streams"] += streams
        for kind, report in sites.items():
            results["allocation_sites"][kind] = attribution(report, kind)
    print("bench: scale runs ...", file=sys.stderr, flush=True)
    results["scale"] = run_scale(args.build, repeats, args.engine_format)
    results["ratios"] = ratios(results["streams"])
    results["goals"] = goals(results)
    results["wall_s"] = time.time() - began
    print_report(results, sys.stdout)
    path = args.json or os.path.join(args.build, "bench.json")
    with open(path, "w") as out:
        json.dump(results, out, indent=1)
    print(f"\nbench: {mode} mode, {results['wall_s']:.0f} s; figures in {path}", file=sys.stderr)
    streamed = any(r["program"] == "Quorvex" and r["ticks"] for r in results["streams"])
    return 0 if streamed else 1


if __name__ == "__main__":
    sys.exit(main())
