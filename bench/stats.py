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
