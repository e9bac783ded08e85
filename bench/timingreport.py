"""The timing benchmark's tables and the aims it is read against (reported,
never enforced)."""
from report import fmt

AIM_DRIFT_MS = 1.0  # over ten minutes
AIM_P99_OVER_LIMIT_MS = 0.5
WHO = {"player": "quorvex-play --timing recorded", "limit": "Kernel's limit (clock_nanosleep)"}


def aims(results):
    player, limit = results["recorded"]["player"], results["recorded"]["limit"]
    out = []
    if player["drift_ms"] is not None:
        out.append({"aim": f"drift under {AIM_DRIFT_MS:g} ms over the run", "figure": f"{player['drift_ms']:+.3f} ms",
                    "met": abs(player["drift_ms"]) < AIM_DRIFT_MS})
    if player["late_p99_ms"] is not None and limit["late_p99_ms"] is not None:
        over = player["late_p99_ms"] - limit["late_p99_ms"]
        out.append({"aim": f"lateness p99 within {AIM_P99_OVER_LIMIT_MS} ms of the kernel's limit",
                    "figure": f"{player['late_p99_ms']:.3f} against {limit['late_p99_ms']:.3f} ms ({over:+.3f})",
                    "met": over <= AIM_P99_OVER_LIMIT_MS})
    return out


def three(s):
    """p50 / p99 / max of a summary, in ms."""
    return "" if not s["n"] else f"{fmt(s['p50'])} / {fmt(s['p99'])} / {fmt(s['max'])}"


def table(header, rows, out):
    print("| " + " | ".join(header) + " |", file=out)
    print("|" + "---|" * len(header), file=out)
    for row in rows:
        print("| " + " | ".join(row) + " |", file=out)


def print_recorded(results, out):
    replays = results["recorded"]
    print(f"\n### J1939 recorded: a {results['record_seconds']:g} s gateway log "
          f"({results['log_bytes_per_second']:.0f} bytes a second of SLCAN, one pass {results['loop_ms']:.1f} ms) "
          f"played for {results['seconds']:g} s\n", file=out)
    table(["Replayer", "Frames seen (passes)", "Not as recorded", "Late p50 ms", "p99 ms", "max ms", "Drift ms",
           "Last frame ms"],
          [[WHO[who], f"{r['seen']:,} ({r['passes']:.1f})", str(r["not_as_recorded"]), fmt(r["late_p50_ms"], 3),
            fmt(r["late_p99_ms"], 3), fmt(r["late_max_ms"], 3), fmt(r["drift_ms"], 3),
            fmt(r["last_ms"], 3)]
           for who, r in replays.items()], out)
    print("", file=out)
    limit = {g["id"]: g for g in replays["limit"]["groups"]}
    rows = []
    for g in replays["player"]["groups"]:
        seam = g["seam"]
        rows.append([f"{g['name']} {g['id']}", three(g["recorded"]), three(g["replayed"]),
                     three(limit[g["id"]]["replayed"]) if g["id"] in limit else "",
                     f"{fmt(g['seam_due_ms'])}: {fmt(seam['p50'])} / {fmt(seam['max'])} ({seam['n']})"
                     if seam["n"] else f"{fmt(g['seam_due_ms'])}: none"])
    table(["Group", "Recorded period p50 / p99 / max ms", "Player, within a pass", "Kernel's limit",
           "Across the seam: due; player p50 / max ms (gaps)"], rows, out)


def print_j1587(results, out):
    print(f"\n### J1587 data/ddec.bin, {results['seconds']:g} s each, framed by idle time "
          "(a gap of more than 1 ms ends a burst)\n", file=out)
    rows = []
    for who, j in results["j1587"].items():
        rows.append([who, f"{j['bursts']:,}", f"{j['messages']:,}", fmt(j["whole_bursts_pct"], 1),
                     fmt(j["one_message_pct"], 1), fmt(j["messages_whole_pct"], 1), fmt(j["pauses_inside_pct"], 1),
                     fmt(j["gap_min_ms"], 2), str(j["without_idle"])])
    table(["Timing", "Bursts", "Messages", "Whole bursts %", "One message %", "Messages in whole bursts %",
           "Pauses inside a message %", "Shortest gap ms",
           "Too soon for the idle at 9600 baud"], rows, out)


def print_report(results, out):
    m, loads = results["machine"], results["load_avg_1min"]
    print(f"\n{m['cpu']}, {m['cores']} cores, Linux {m['kernel']}; 1-minute load average while measuring "
          f"{loads[0]:.2f} at the start, {min(loads):.2f} to {max(loads):.2f}, {loads[-1]:.2f} at the end; "
          f"harness {results['measured_by']}", file=out)
    print_recorded(results, out)
    print_j1587(results, out)
    if results["ended_early"]:
        print(f"\nEnded early (status): {results['ended_early']}\n{results['log_tail']}", file=out)
    print("\nAims (reported, not enforced):", file=out)
    for aim in results["aims"]:
        print(f"- {aim['aim']}: {aim['figure']} ({'met' if aim['met'] else 'not met'})", file=out)
