"""One Markdown table of every figure, the goals it is read against, and the
causes of the allocations left in the ticks."""

GOALS = {"p99_ms": 3.0, "max_ms": 10.0, "drift_ms": 5.0, "cpu_s_per_min": 0.1, "first_ms": 10.0,
         "growth_kb": 64}

HEADER = ["Run", "Ticks seen/due", "Late p50 ms", "p99 ms", "max ms", "Drift ms", "CPU s/min",
          "Peak MB (growth KB)", "First byte s", "Loop to 1st record s", "Allocs/tick"]


def fmt(value, digits=2):
    return "" if value is None else f"{value:.{digits}f}"


def fmt_ratio(value):
    return "" if value is None else f"x{value:,.0f}" if value >= 10 else f"x{value:.1f}"


def stream_row(r):
    allocs = r.get("allocs")
    peak = fmt(r.get("peak_mb"), 1)
    if peak and r.get("peak_growth_kb") is not None:
        peak += f" (+{r['peak_growth_kb']})"
    return [f"{r['program']} {r['stream']}, {r['condition']}", f"{r['ticks']}/{r['due']}",
            fmt(r["late_p50_ms"]), fmt(r["late_p99_ms"]), fmt(r["late_max_ms"]), fmt(r["drift_ms"]),
            fmt(r.get("cpu_s_per_min"), 3), peak, fmt(r.get("start_to_first_byte_s"), 3),
            fmt(r.get("loop_to_first_record_s"), 4), fmt(allocs["per_tick"], 2) if allocs else ""]


def ratio_row(r):
    return [f"Reference / Quorvex {r['stream']}, {r['condition']}", "", fmt_ratio(r["p50"]),
            fmt_ratio(r["p99"]), fmt_ratio(r["max"]), fmt_ratio(r["drift"]), "", "", "", "", ""]


def scale_row(c):
    first = fmt(c["first_s"], 3)
    if c.get("load_s") is not None:
        first += f" (load {c['load_s']:.3f})"
    return [f"{c['case']}: {c['measures']}", "", "", "", "", "", "", fmt(c["peak_mb"], 1), first, "", ""]


def table(results):
    rows = []
    for condition in ("idle", "loaded"):
        for stream in ("text", "engine"):
            rows += [stream_row(r) for r in results["streams"]
                     if r["condition"] == condition and r["stream"] == stream]
            rows += [ratio_row(r) for r in results["ratios"] if r["condition"] == condition and r["stream"] == stream]
    rows += [scale_row(c) for c in results["scale"]]
    lines = ["| " + " | ".join(HEADER) + " |", "|" + "---|" * len(HEADER)]
    lines += ["| " + " | ".join(row) + " |" for row in rows]
    return "\n".join(lines)


def goal(name, met, detail):
    return {"goal": name, "met": met, "detail": detail}


def goals(results):
    ours = [r for r in results["streams"] if r["program"] == "Quorvex" and r["ticks"]]
    out = []

    def worst(key):
        return max(ours, key=lambda r: r[key] if r[key] is not None else float("-inf"))

    if not ours:
        return [goal("the program streams", False, "no record arrived")]
    p99, mx = worst("late_p99_ms"), worst("late_max_ms")
    out.append(goal(f"lateness p99 <= {GOALS['p99_ms']:g} ms and max <= {GOALS['max_ms']:g} ms",
                    p99["late_p99_ms"] <= GOALS["p99_ms"] and mx["late_max_ms"] <= GOALS["max_ms"],
                    f"worst p99 {p99['late_p99_ms']:.2f} ms ({p99['stream']}, {p99['condition']}), "
                    f"worst max {mx['late_max_ms']:.2f} ms ({mx['stream']}, {mx['condition']})"))
    drift = max(ours, key=lambda r: abs(r["drift_ms"]))
    out.append(goal(f"drift < {GOALS['drift_ms']:g} ms", abs(drift["drift_ms"]) < GOALS["drift_ms"],
                    f"largest {drift['drift_ms']:.2f} ms after {drift['ticks']} ticks "
                    f"({drift['stream']}, {drift['condition']}; the goal is over ten minutes)"))
    cpus = [r for r in ours if r.get("cpu_s_per_min") is not None]
    if cpus:
        cpu = max(cpus, key=lambda r: r["cpu_s_per_min"])
        out.append(goal(f"CPU <= {GOALS['cpu_s_per_min']:g} s per minute",
                        cpu["cpu_s_per_min"] <= GOALS["cpu_s_per_min"],
                        f"most {cpu['cpu_s_per_min']:.3f} s/min ({cpu['stream']}, {cpu['condition']}; "
                        f"/proc/<pid>/stat counts in 10 ms steps)"))
    growths = [r for r in ours if r.get("peak_growth_kb") is not None]
    if growths:
        grow = max(growths, key=lambda r: r["peak_growth_kb"])
        out.append(goal("peak memory steady", grow["peak_growth_kb"] <= GOALS["growth_kb"],
                        f"VmHWM grew at most {grow['peak_growth_kb']} KB after the first quarter of the run "
                        f"({grow['stream']}, {grow['condition']}); peak {grow['peak_mb']:.1f} MB"))
    firsts = [r for r in ours if r.get("loop_to_first_record_s") is not None]
    if firsts:
        off = max(firsts, key=lambda r: abs(r["loop_to_first_record_s"] - r["interval_s"]))
        miss = (off["loop_to_first_record_s"] - off["interval_s"]) * 1000
        out.append(goal(f"first record one interval after the loop starts, within {GOALS['first_ms']:g} ms",
                        abs(miss) <= GOALS["first_ms"],
                        f"furthest off by {miss:+.2f} ms ({off['stream']}, {off['condition']})"))
    counted = [r for r in ours if r.get("allocs")]
    if counted:
        most = max(counted, key=lambda r: r["allocs"]["per_tick"])
        causes = results.get("allocation_sites", {}).get(most["stream"], {}).get("by_cause_per_tick", {})
        why = "; by cause: " + ", ".join(f"{c} {n:.2f}" for c, n in sorted(causes.items())) if causes else ""
        out.append(goal("zero allocations per tick", most["allocs"]["per_tick"] == 0,
                        f"most {most['allocs']['per_tick']:.2f} per tick "
                        f"({most['stream']}, {most['condition']}){why}"))
    return out


def cause_of(frames):
    """The program's call that led to an allocation."""
    for frame in frames:
        for name, cause in (("ComWrt", "serial write"), ("SetCtrlAttribute", "status blink: show/hide"),
                            ("SetCtrlVal", "status text"), ("SetSystemAttribute", "taskbar text"),
                            ("ReadLine", "file read")):
            if frame.startswith(name + "("):
                return cause
    return "other"


def attribution(sites_report, kind):
    """Allocations per tick by cause, from a driver that kept their call stacks."""
    counts = sites_report.get("ATimerTick" if kind == "text" else "DTimerTick", {})
    ticks = counts.get("counted", 0)
    causes, top = {}, []
    for site in sites_report.get("sites", []):
        cause = cause_of(site["frames"])
        causes[cause] = causes.get(cause, 0) + site["times"]
        top.append({"times": site["times"], "cause": cause, "frames": site["frames"][:8]})
    # Stacks are kept for the first allocations only: share them out over all that were counted.
    kept = sum(causes.values())
    per_tick_all = counts.get("allocs", 0) / ticks if ticks else None
    per_tick = {cause: per_tick_all * n / kept for cause, n in causes.items()} if ticks and kept else {}
    return {"counted_ticks": ticks, "allocs_per_tick": per_tick_all,
            "by_cause_per_tick": per_tick, "sites": top[:12]}


def print_report(results, out):
    out.write(table(results) + "\n\n")
    for g in results["goals"]:
        out.write(f"- {g['goal']}: {'met' if g['met'] else 'MISSED'} ({g['detail']})\n")
    for r in results["streams"]:
        if r.get("timer_late_p99_ms") is not None:
            out.write(f"- where the lateness goes ({r['stream']}, {r['condition']}): the tick started "
                      f"p50 {r['timer_late_p50_ms']:.2f} / p99 {r['timer_late_p99_ms']:.2f} / max "
                      f"{r['timer_late_max_ms']:.2f} ms late; the record reached the far end p50 "
                      f"{r['delivery_p50_ms']:.2f} / p99 {r['delivery_p99_ms']:.2f} / max "
                      f"{r['delivery_max_ms']:.2f} ms after the tick started\n")
    for kind, found in results.get("allocation_sites", {}).items():
        causes = ", ".join(f"{cause} {n:.2f}" for cause, n in sorted(found["by_cause_per_tick"].items()))
        out.write(f"- allocations per {kind} tick by cause: {causes or 'none'}\n")
    m = results.get("machine", {})
    if m:
        out.write(f"- machine: {m.get('cpu')}, {m.get('cores')} cores, Linux {m.get('kernel')}, load average "
                  f"{m['load_avg'][0]:.2f} at the start; measured by a process at {results.get('measured_by')}\n")
