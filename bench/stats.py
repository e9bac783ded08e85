"""Figures from arrival times: lateness against the ideal schedule, drift,
percentiles, ratios."""
import math


def percentile(values, q):
    """The q-th percentile (0-100), interpolating between the two nearest ranks."""
    if not values:
        return None
    ordered = sorted(values)
    rank = (len(ordered) - 1) * q / 100.0
    low, high = math.floor(rank), math.ceil(rank)
    return ordered[low] + (ordered[high] - ordered[low]) * (rank - low)


def lateness_ms(arrivals_ns, t0_ns, interval_s):
    """How late record n arrived against t0 + n x interval, in milliseconds."""
    step = interval_s * 1e9
    return [(t - (t0_ns + n * step)) / 1e6 for n, t in enumerate(arrivals_ns)]


GRACE_S = 0.010  # a record due this close to the end may still be on its way


def due_count(t0_ns, interval_s, end_ns):
    """Records due by end_ns on the ideal schedule, but for the last GRACE_S."""
    last_ns = end_ns - GRACE_S * 1e9
    if last_ns < t0_ns:
        return 0
    return int((last_ns - t0_ns) / 1e9 / interval_s) + 1


def schedule(arrivals_ns, t0_ns, interval_s, end_ns):
    """Ticks seen and due, lateness percentiles and the drift at the end.

    t0_ns is when the first record is due: for the program, one interval after its
    event loop starts; for a replayer that sends at once, its first arrival."""
    late = lateness_ms(arrivals_ns, t0_ns, interval_s)
    return {
        "ticks": len(arrivals_ns),
        "due": due_count(t0_ns, interval_s, end_ns),
        "late_min_ms": min(late) if late else None,
        "late_p50_ms": percentile(late, 50),
        "late_p99_ms": percentile(late, 99),
        "late_max_ms": max(late) if late else None,
        "drift_ms": late[-1] if late else None,
        "lateness_ms": [round(x, 3) for x in late],
    }


def ratio(reference, ours, floor=0.01):
    """reference / ours, with ours taken as at least `floor` (figures below a
    hundredth of a millisecond are measurement noise, not a divisor)."""
    if reference is None or ours is None:
        return None
    return reference / max(abs(ours), floor)


def per_minute(amount, seconds):
    if amount is None or not seconds or seconds <= 0:
        return None
    return amount * 60.0 / seconds


def on_one_clock(streams_ns, step_s):
    """Lateness of the records of streams that a process sends on one clock
    ticking every step_s, when its start is not known: each record goes to the
    nearest tick k of the clock, and t0 is the schedule that no record beat
    (the smallest arrival - k x step), as a station that sees only the line
    would take it. Returns t0 and, per stream, a (k, lateness ms) pair per record."""
    firsts = [arrivals[0] for arrivals in streams_ns if arrivals]
    if not firsts:
        return None, [[] for _ in streams_ns]
    anchor, step = min(firsts), step_s * 1e9
    ticks = [[round((t - anchor) / step) for t in arrivals] for arrivals in streams_ns]
    t0 = min(t - k * step for arrivals, ks in zip(streams_ns, ticks) for t, k in zip(arrivals, ks))
    return t0, [[(k, (t - t0 - k * step) / 1e6) for t, k in zip(arrivals, ks)]
                for arrivals, ks in zip(streams_ns, ticks)]


def skews_ms(late_by_stream):
    """For every tick on which every stream sent, the spread of their
    arrivals: the last one's lateness minus the first one's."""
    by_tick = {}
    for late in late_by_stream:
        for k, ms in late:
            by_tick.setdefault(k, []).append(ms)
    return [max(ms) - min(ms) for _, ms in sorted(by_tick.items()) if len(ms) == len(late_by_stream) > 1]
