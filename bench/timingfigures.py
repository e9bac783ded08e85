"""The timing benchmark's arithmetic: SLCAN frames and J1708 bursts as they
arrive, a candump log's schedule as the player plays it (one pass, then the
next one loop later), and from the arrivals each frame's lateness, each
parameter group's periods and the drift; for J1587, which bursts a station
that frames by idle time takes for whole messages."""
import can

from stats import percentile

SETTLE_NS = 2_000_000_000  # frames of the first 2 s are read but not measured: the process starts up
DRIFT_WINDOW_NS = 10_000_000_000  # the schedule's place at the start and at the end: its earliest frame in 10 s
BURST_GAP_NS = 1_000_000  # bytes that arrive within 1 ms of the last are one burst
J1708_BYTE_NS = 10 * 1_000_000_000 // 9600  # a byte (8N1) on the line at 9600 baud
J1708_IDLE_NS = 12 * 1_000_000_000 // 9600  # the idle a transmitter leaves after a message
LONGEST_J1587 = 21  # a message's bytes, MID and checksum included
FIRST_MID = 128  # lower MIDs belong to other protocols on the J1708 link


class SlcanFrames:
    """SLCAN frames ended by CR; a frame arrives when its first byte does.
    Anything else on the line (a gateway's "O" or "C" command) is dropped."""

    def __init__(self):
        self.times, self.frames = [], []
        self._pending, self._started = b"", None

    def feed(self, data, t):
        started = self._started if self._pending else t
        *ended, self._pending = (self._pending + data).split(b"\r")
        for text in ended:
            if text[:1] in (b"T", b"t", b"R", b"r"):
                self.times.append(started)
                self.frames.append(text + b"\r")
            started = t  # the next frame's first byte came in this read
        self._started = started if self._pending else None


class Bursts:
    """J1708 as a station frames it: bytes that arrive within BURST_GAP_NS of the
    bytes before them continue the burst, a longer gap ends it. Each burst is
    (first arrival ns, offset of its first byte in the stream, its bytes)."""

    def __init__(self, gap_ns=BURST_GAP_NS):
        self.gap_ns = gap_ns
        self.bursts, self._last = [], None
        self.stream = bytearray()

    def feed(self, data, t):
        if self._last is None or t - self._last > self.gap_ns:
            self.bursts.append([t, len(self.stream), bytearray()])
        self.bursts[-1][2] += data
        self.stream += data
        self._last = t

    @property
    def times(self):
        return [b[0] for b in self.bursts]


def slcan_of(message):
    """The SLCAN text a gateway sends for a frame: "T0CF004008FFFF7DC01A18FFFF\\r"."""
    kind = ("R" if message.is_remote_frame else "T") if message.is_extended_id else ("r" if message.is_remote_frame else "t")
    digits = 8 if message.is_extended_id else 3
    data = "" if message.is_remote_frame else message.data.hex().upper()
    return f"{kind}{message.arbitration_id:0{digits}X}{message.dlc}{data}\r".encode()


def read_log(path):
    """A candump log, as python-can reads it: (offset ns from its first frame,
    the ID that repeats, the SLCAN bytes) a frame."""
    with can.io.CanutilsLogReader(path) as log:
        messages = [m for m in log if not m.is_error_frame and not m.is_fd]
    # The log's times have microseconds: rounded to them, as the player reads them.
    us = [round(m.timestamp * 1e6) for m in messages]
    return [((t - us[0]) * 1000, m.arbitration_id, slcan_of(m)) for t, m in zip(us, messages)]


def group_times(frames):
    """Each repeating ID's times, in order."""
    times = {}
    for offset, key, _ in frames:
        times.setdefault(key, []).append(offset)
    return times


def gaps(times):
    return [b - a for a, b in zip(times, times[1:])]


def loop_ns(frames):
    """How long the player makes one pass, so that every group keeps its period
    across the seam: from a group's first time to its last plus its period (the
    upper median of its gaps), the longest over the groups; never less than the
    log plus its shortest period, nor 1 ms."""
    longest, shortest = 0, 1_000_000_000
    for times in group_times(frames).values():
        if len(times) < 2:
            continue
        between = sorted(gaps(times))
        period = max(between[len(between) // 2], 1)
        longest, shortest = max(longest, times[-1] - times[0] + period), min(shortest, period)
    return max(longest, frames[-1][0] + shortest, 1_000_000)


def due_offsets(count, frames, loop):
    """When the i-th frame played is due, from the first: pass i // n, frame i % n."""
    n = len(frames)
    return [(i // n) * loop + frames[i % n][0] for i in range(count)]


def lateness(arrivals, dues):
    """Each frame's arrival against the schedule no frame beat (t0 = the smallest
    arrival minus its due offset), in ms, and t0."""
    t0 = min(t - d for t, d in zip(arrivals, dues))
    return [(t - t0 - d) / 1e6 for t, d in zip(arrivals, dues)], t0


def summary(values):
    return {"p50": percentile(values, 50), "p99": percentile(values, 99), "max": max(values) if values else None,
            "n": len(values)}


def replayed_periods(arrivals, frames, loop_count_of):
    """Per ID: the gaps between its arrivals within a pass and those that span a
    seam, in ms. loop_count_of(i) is the pass of the i-th frame played."""
    inside, seam, last = {}, {}, {}
    n = len(frames)
    for i, t in enumerate(arrivals):
        key = frames[i % n][1]
        if key in last:
            j, previous = last[key]
            (seam if loop_count_of(j) != loop_count_of(i) else inside).setdefault(key, []).append((t - previous) / 1e6)
        last[key] = (i, t)
    return inside, seam


def group_figures(arrivals, frames, loop):
    """Per parameter group: the recording's periods, the replay's within passes,
    and the gaps across the seam against the group's period."""
    recorded = {k: [g / 1e6 for g in gaps(v)] for k, v in group_times(frames).items()}
    inside, seam = replayed_periods(arrivals, frames, lambda i: i // len(frames))
    rows = []
    for key, periods in recorded.items():
        times = group_times(frames)[key]
        rows.append({"id": f"{key:08X}", "pgn": f"{(key >> 8) & 0x3FFFF:04X}", "recorded": summary(periods),
                     "replayed": summary(inside.get(key, [])), "seam": summary(seam.get(key, [])),
                     "seam_due_ms": (loop - (times[-1] - times[0])) / 1e6})
    return rows


def drift_ms(arrivals, late, window_ns):
    """How far the schedule has moved against the recording's clock by the end:
    the earliest frame of the last window_ns less the earliest of the first.
    Late wake-ups only ever add to a frame's lateness, so the earliest frame of a
    stretch is where the schedule stands; one late frame at either end is no drift."""
    first = [x for t, x in zip(arrivals, late) if t - arrivals[0] < window_ns]
    last = [x for t, x in zip(arrivals, late) if arrivals[-1] - t < window_ns]
    return min(last) - min(first)


def recorded_figures(arrivals, frames_seen, frames, loop, settle_ns=SETTLE_NS, window_ns=DRIFT_WINDOW_NS):
    """Everything measured of a recorded replay: frames as recorded, lateness
    (after the first settle_ns), the drift, the last frame's lateness and the
    groups' periods."""
    n = len(frames)
    wrong = sum(1 for i, f in enumerate(frames_seen) if f != frames[i % n][2])
    dues = due_offsets(len(arrivals), frames, loop)
    keep = [i for i, t in enumerate(arrivals) if t - arrivals[0] >= settle_ns]
    counted = [arrivals[i] for i in keep]
    late, _ = lateness(counted, [dues[i] for i in keep]) if keep else ([], 0)
    return {"seen": len(arrivals), "not_as_recorded": wrong, "passes": len(arrivals) / n if n else 0,
            "late_p50_ms": percentile(late, 50), "late_p99_ms": percentile(late, 99),
            "late_max_ms": max(late) if late else None, "last_ms": late[-1] if late else None,
            "drift_ms": drift_ms(counted, late, window_ns) if late else None,
            "groups": group_figures(arrivals, frames, loop), "lateness_ms": [round(x, 4) for x in late]}


def param_size(data, pos):
    """Bytes the J1587 parameter at data[pos] takes with its PID; 0 when it is none."""
    pid, head = data[pos], 1
    if pid == 255:  # the next page: its PID follows, sized the same way
        if pos + 1 >= len(data) or data[pos + 1] == 255:
            return 0
        pid, head = data[pos + 1], 2
    if pid < 128:
        return head + 1
    if pid < 192:
        return head + 2
    if pid == 254 or pos + head >= len(data):
        return 0
    return head + 1 + data[pos + head]


def message_ends(data, start):
    """Where a J1587 message starting at data[start] may end: a MID, whole
    parameters, then the checksum that makes the 8-bit sum zero."""
    ends = []
    if start >= len(data) or data[start] < FIRST_MID:
        return ends
    limit, total, pos = min(len(data), start + LONGEST_J1587), data[start], start + 1
    while pos < limit:
        size = param_size(data, pos)
        if size == 0 or pos + size >= limit:
            break
        total += sum(data[pos:pos + size])
        pos += size
        if (total + data[pos]) & 0xFF == 0:
            ends.append(pos + 1)
    return ends


def messages_in(data):
    """The boundaries of data cut into whole messages, or None when it cannot be.
    Two whole messages together checksum as one longer reading too: the cut
    into the most messages is taken, as a framer that ends a message at its
    first checksum that the next message follows does."""
    paths = {0: [0]}
    for start in range(len(data)):
        if start in paths:
            for end in message_ends(data, start):
                if len(paths.get(end, ())) < len(paths[start]) + 1:
                    paths[end] = paths[start] + [end]
    return paths.get(len(data))


def stream_boundaries(stream):
    """Where the messages of a whole stream begin and end; where no message
    starts (a cut), one byte is skipped."""
    bounds, at = {0}, 0
    while at < len(stream):
        ends = message_ends(stream, at)
        # The end from which the next message also starts, if any: resolves a
        # checksum that comes out at zero inside a message.
        end = next((e for e in ends if e == len(stream) or message_ends(stream, e)), ends[-1] if ends else None)
        if end is None:
            at += 1
            continue
        bounds.update((at, end))
        at = end
    return bounds


def j1708_figures(bursts):
    """What a station that frames by idle time gets: the share of bursts that are
    exactly one or more whole messages, the share that are exactly one, the share
    of the stream's messages that arrive in whole bursts, the share of the
    pauses (burst ends) that fall inside a message, and the bursts that came too
    soon after the one before for a 9600-baud line to leave the idle between."""
    items = bursts.bursts[:-1]  # the last may still be arriving
    whole = [messages_in(bytes(b)) for _, _, b in items]
    bounds = stream_boundaries(bytes(bursts.stream))
    cut = len(bursts.stream) if not items else items[-1][1] + len(items[-1][2])
    messages = sum(1 for b in bounds if 0 < b <= cut)
    in_whole = sum(len(w) - 1 for w in whole if w)
    ends = [start + len(b) for _, start, b in items]
    inside = sum(1 for e in ends if e not in bounds)
    share = lambda a, b: 100.0 * a / b if b else None
    gaps_ms = [(b[0] - a[0]) / 1e6 for a, b in zip(items, items[1:])]
    # What a pseudo-terminal hides: on the line a burst takes its bytes' time,
    # and the next one must come after that and the idle, else the two are one.
    no_idle = sum(1 for a, b in zip(items, items[1:]) if b[0] - a[0] < len(a[2]) * J1708_BYTE_NS + J1708_IDLE_NS)
    return {"bursts": len(items), "bytes": cut, "messages": messages,
            "whole_bursts_pct": share(sum(1 for w in whole if w), len(items)),
            "one_message_pct": share(sum(1 for w in whole if w and len(w) == 2), len(items)),
            "messages_whole_pct": share(in_whole, messages), "pauses_inside_pct": share(inside, len(ends)),
            "gap_min_ms": min(gaps_ms) if gaps_ms else None, "without_idle": no_idle}
