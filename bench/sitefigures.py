"""The site benchmark's figures from what arrived: each device's lateness on
its process's clock, the skew between the devices of one tick, and CPU,
memory and descriptors from /proc at the start and the end of the measured
minutes."""
import statistics

from capture import ENGINE_INTERVAL, TEXT_INTERVAL
from sitefiles import ENGINE_FORMATS
from stats import GRACE_S, on_one_clock, per_minute, percentile, skews_ms

STEP = ENGINE_INTERVAL  # the player's clock; a text device sends on every fourth tick


def measured(times, window):
    start, end = window
    return [t for t in times if start <= t <= end]


def stream_figures(late, t0, interval, step, end_ns):
    """Seen and due (from its first tick measured to the end), and lateness."""
    ms = [x for _, x in late]
    if not ms:
        return {"seen": 0, "due": None, "late_p50_ms": None, "late_p99_ms": None, "late_max_ms": None}
    every = round(interval / step)
    last_due = int((end_ns - GRACE_S * 1e9 - t0) // (step * 1e9))
    return {"seen": len(ms), "due": (last_due - late[0][0]) // every + 1,
            "late_p50_ms": percentile(ms, 50), "late_p99_ms": percentile(ms, 99), "late_max_ms": max(ms),
            "drift_ms": ms[-1], "lateness": [[k, round(x, 3)] for k, x in late]}


def process_change(at_start, at_end, seconds):
    """CPU seconds a minute over the measured minutes, memory and descriptors at both ends."""
    used = None
    if at_start["cpu_s"] is not None and at_end["cpu_s"] is not None:
        used = at_end["cpu_s"] - at_start["cpu_s"]
    return {"cpu_s_per_min": per_minute(used, seconds), "rss_kb_start": at_start["rss_kb"],
            "rss_kb_end": at_end["rss_kb"], "fds_start": at_start["fds"], "fds_end": at_end["fds"]}


def site_figures(devices, lines, window, at_start, at_end):
    """A site's devices, streamed by one process on one clock."""
    start, end = window
    arrivals = [measured(line.records.times, window) for line in lines]
    t0, late = on_one_clock(arrivals, STEP)
    rows = []
    for (name, kind, _), device_late in zip(devices, late):
        interval = ENGINE_INTERVAL if kind in ENGINE_FORMATS else TEXT_INTERVAL
        rows.append(dict(name=name, format=kind, **stream_figures(device_late, t0, interval, STEP, end)))
    skews = skews_ms(late)
    process = process_change(at_start, at_end, (end - start) / 1e9)
    process["cpu_s_per_min_per_device"] = (process["cpu_s_per_min"] / len(devices)
                                           if process["cpu_s_per_min"] is not None else None)
    return {"devices": rows, "process": process, "skew_ticks": len(skews),
            "skew_p50_ms": percentile(skews, 50), "skew_p99_ms": percentile(skews, 99),
            "skew_max_ms": max(skews) if skews else None}


def window_figures(windows, window, at_start, at_end):
    start, end = window
    rows = []
    for link in windows:
        t0, (late,) = on_one_clock([measured(link.records.times, window)], TEXT_INTERVAL)
        row = dict(name=link.name, format="blender", **stream_figures(late, t0, TEXT_INTERVAL, TEXT_INTERVAL, end))
        if link.name in at_start and link.name in at_end:
            row.update(process_change(at_start[link.name], at_end[link.name], (end - start) / 1e9))
        rows.append(row)
    display = None
    if "xvfb" in at_start and "xvfb" in at_end:
        display = process_change(at_start["xvfb"], at_end["xvfb"], (end - start) / 1e9)
    return {"devices": rows, "display": display}


def spread(rows, key):
    """The median and the worst of one figure over devices."""
    values = [row[key] for row in rows if row.get(key) is not None]
    if not values:
        return None, None
    return statistics.median(values), max(values)
