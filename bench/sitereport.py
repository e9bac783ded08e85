"""The site benchmark's table and the aims it is read against (reported,
never enforced)."""
import statistics

from report import fmt
from sitefiles import ENGINE_FORMATS
from sitefigures import spread

AIM_P99_OVER_WINDOW_MS = 0.5
AIM_SKEW_P99_MS = 1.0
AIM_CPU_PER_DEVICE = 0.05  # s a minute
AIM_RSS_BASE_MB, AIM_RSS_PER_DEVICE_MB = 40.0, 0.5

HEADER = ["Streams", "Seen/due", "Late p50 ms", "p99 ms: median (worst)", "max ms", "Skew p50, p99 / max ms",
          "CPU s/min", "VmRSS MB start → end", "Descriptors"]


def mb(kb):
    return None if kb is None else kb / 1024


def seen_due(rows):
    return f"{sum(r['seen'] for r in rows)}/{sum(r['due'] or 0 for r in rows)}"


def lateness_cells(rows):
    p99, worst = spread(rows, "late_p99_ms")
    return [seen_due(rows), fmt(spread(rows, "late_p50_ms")[0]), f"{fmt(p99)} ({fmt(worst)})" if p99 else "",
            fmt(spread(rows, "late_max_ms")[1])]


def site_rows(who, site, held_kb):
    """Rows for one process streaming the site: its text devices, its engine
    devices, and the process (skew, CPU, memory, descriptors)."""
    text = [r for r in site["devices"] if r["format"] not in ENGINE_FORMATS]
    engine = [r for r in site["devices"] if r["format"] in ENGINE_FORMATS]
    p = site["process"]
    rss = ""
    if p["rss_kb_start"] and p["rss_kb_end"]:
        rss = (f"{fmt(mb(p['rss_kb_start']), 1)} → {fmt(mb(p['rss_kb_end']), 1)} "
               f"({fmt(mb(p['rss_kb_end'] - held_kb), 1)} apart from recordings)")
    return [[f"{who}: {len(text)} text devices"] + lateness_cells(text) + ["", "", "", ""],
            [f"{who}: {len(engine)} engine devices"] + lateness_cells(engine) + ["", "", "", ""],
            [f"{who}: the process, {len(site['devices'])} devices", "", "", "", "",
             f"{fmt(site['skew_p50_ms'])}, {fmt(site['skew_p99_ms'])} / {fmt(site['skew_max_ms'])}"
             if site["skew_ticks"] else "",
             f"{fmt(p['cpu_s_per_min'], 3)} ({fmt(p['cpu_s_per_min_per_device'], 4)} a device)"
             if p["cpu_s_per_min"] is not None else "", rss,
             f"{p['fds_start']} → {p['fds_end']}" if p["fds_end"] is not None else ""]]


def window_rows(windows):
    rows = windows["devices"]
    if not rows:
        return []
    cpu = [r["cpu_s_per_min"] for r in rows if r.get("cpu_s_per_min") is not None]
    start, end = spread(rows, "rss_kb_start")[0], spread(rows, "rss_kb_end")[0]
    fds = f"{fmt(spread(rows, 'fds_start')[0], 0)} → {fmt(spread(rows, 'fds_end')[0], 0)} a window"
    out = [[f"Windows: {len(rows)}, text"] + lateness_cells(rows) +
           ["", f"{fmt(statistics.median(cpu), 3) if cpu else ''} a window ({fmt(sum(cpu), 2)} in all)",
            f"{fmt(mb(start), 1)} → {fmt(mb(end), 1)} a window", fds]]
    display = windows.get("display")
    if display and display["cpu_s_per_min"] is not None:
        out.append([f"Xvfb, serving the {len(rows)} windows", "", "", "", "", "",
                    f"{fmt(display['cpu_s_per_min'], 3)} ({fmt(display['cpu_s_per_min'] / len(rows), 4)} a window)",
                    f"{fmt(mb(display['rss_kb_end']), 1)}", ""])
    return out


def device_rows(results):
    def row(label, r):
        return [label, f"{r['seen']}/{r['due']}", fmt(r["late_p50_ms"]), fmt(r["late_p99_ms"]),
                fmt(r["late_max_ms"]), "", fmt(r.get("cpu_s_per_min"), 3), fmt(mb(r.get("rss_kb_end")), 1),
                str(r.get("fds_end", ""))]
    return ([row(f"player {r['name']}", r) for r in results["player"]["devices"]] +
            [row(f"limit {r['name']}", r) for r in results["reference"]["devices"]] +
            [row(r["name"], r) for r in results["windows"]["devices"]])


def aims(results):
    player, windows = results["player"], results["windows"]["devices"]
    count = len(player["devices"])
    out = []
    window_p99, worst_window = spread(windows, "late_p99_ms")
    worst = max(player["devices"], key=lambda r: r["late_p99_ms"] or 0)
    if window_p99 is not None and worst["late_p99_ms"] is not None:
        over = worst["late_p99_ms"] - window_p99
        best_window = min(r["late_p99_ms"] for r in windows if r["late_p99_ms"] is not None)
        out.append({"aim": f"every device's p99 within {AIM_P99_OVER_WINDOW_MS} ms of the windows' "
                           f"(median window {window_p99:.2f} ms; {best_window:.2f} to {worst_window:.2f})",
                    "figure": f"worst {worst['name']} {worst['late_p99_ms']:.2f} ms ({over:+.2f})",
                    "met": over <= AIM_P99_OVER_WINDOW_MS})
    if player["skew_p99_ms"] is not None:
        out.append({"aim": f"skew p99 at most {AIM_SKEW_P99_MS} ms", "figure": f"{player['skew_p99_ms']:.3f} ms",
                    "met": player["skew_p99_ms"] <= AIM_SKEW_P99_MS})
    per_device = player["process"]["cpu_s_per_min_per_device"]
    if per_device is not None:
        out.append({"aim": f"at most {AIM_CPU_PER_DEVICE} CPU s a minute a device", "figure": f"{per_device:.4f}",
                    "met": per_device <= AIM_CPU_PER_DEVICE})
    rss = player["process"]["rss_kb_end"]
    if rss:
        limit = AIM_RSS_BASE_MB + AIM_RSS_PER_DEVICE_MB * count
        apart = mb(rss - results["held_recordings_bytes"] / 1024)
        out.append({"aim": f"VmRSS at most {limit:g} MB for {count} devices, apart from recordings",
                    "figure": f"{apart:.1f} MB", "met": apart <= limit})
    return out


def print_report(results, out, devices=False):
    m = results["machine"]
    print(f"\n### The player, {len(results['player']['devices'])} devices in one process, beside "
          f"{len(results['windows']['devices'])} windows, {results['seconds']:.0f} s\n", file=out)
    loads = results["load_avg_1min"]
    print(f"{m['cpu']}, {m['cores']} cores, Linux {m['kernel']}; 1-minute load average while measuring "
          f"{loads[0]:.2f} at the start, {max(loads):.2f} at most, {loads[-1]:.2f} at the end; "
          f"harness {results['measured_by']}\n", file=out)
    held_kb = results["held_recordings_bytes"] / 1024
    rows = site_rows("Player", results["player"], held_kb) + window_rows(results["windows"])
    rows += site_rows("Kernel's limit", results["reference"], 0)
    if devices:
        rows += device_rows(results)
    print("| " + " | ".join(HEADER) + " |", file=out)
    print("|" + "---|" * len(HEADER), file=out)
    for row in rows:
        print("| " + " | ".join(row) + " |", file=out)
    if results["player_ended_early"] is not None:
        print(f"\nquorvex-play ended early, status {results['player_ended_early']}:\n{results['log_tail']}", file=out)
    if results["silent"]:
        print(f"\nNever streamed: {', '.join(results['silent'])}", file=out)
    print("\nAims (reported, not enforced):", file=out)
    if not results["aims"]:
        print("- none could be judged: the player sent nothing", file=out)
    for aim in results["aims"]:
        print(f"- {aim['aim']}: {aim['figure']} ({'met' if aim['met'] else 'not met'})", file=out)
