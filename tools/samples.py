#!/usr/bin/python3
"""Decoders and validators for Quorvex recordings and for what a station receives.

Standard library only, so tests can import it anywhere:

  parse_j1587(data)   split back-to-back J1587 messages, verifying each checksum
  parse_slcan(data)   split SLCAN ("T<id><dlc><data>\\r") frames
  check_csv_records(lines, field_count)   validate one-record-per-line text data

Every function raises FormatError (a ValueError) naming the offending offset
or line on the first thing it cannot accept.
"""

import collections
import datetime
import re

TIMESTAMP_FORMAT = "%Y-%m-%d %H:%M:%S"
CHUNK_SIZE = 50          # bytes per chunk the program sends from a binary file

_CHEMICALS_PLUS = [
    f"Chemical {n} {what}" for n in range(1, 9)
    for what in ("Rate", "Total", "Concentration")
]

FIELDS = {
    "blender.csv": [
        "Timestamp", "Slurry Rate", "Slurry Total", "Clean Rate", "Clean Total",
        "Target Density", "Ratiometric Density", "Measured Density",
        "Current Stage", "Analog Input 7 (Spare)", "Analog Input 8 (Spare)",
        "Auger 1 RPM", "Auger 2 RPM", "Auger 3 RPM",
        "Auger 1 DAC Counts", "Auger 2 DAC Counts", "Auger 3 DAC Counts",
        "Auger 1 Sand Rate", "Auger 2 Sand Rate", "Auger 3 Sand Rate",
        "Total Sand Rate", "Auger 1 Sand Total", "Auger 2 Sand Total",
        "Auger 3 Sand Total", "Total Sand", "Calculated Density",
        "Fluid Specific Gravity", "Sand Bulk Density", "Sand Specific Gravity",
    ] + [f"Chemical {n} {what}" for n in range(1, 7) for what in ("Rate", "Total")]
    + ["Clean Rate", "Clean Total", "Calculated Clean Rate", "Calculated Clean Total"]
    + [f"Chemical {n} Concentration" for n in range(1, 7)],
    "blenderplus.csv": [
        "Timestamp", "Slurry Rate", "Slurry Total", "Discharge Pressure",
        "Clean Rate", "Clean Total", "Suction Pressure", "Target Density",
        "Ratiometric Density", "Measured Density", "Current Stage",
        "Auger 1 RPM", "Auger 2 RPM", "Auger 3 RPM",
        "Auger 1 Sand Rate", "Auger 2 Sand Rate", "Auger 3 Sand Rate",
        "Total Sand Rate", "Auger 1 Sand Total", "Auger 2 Sand Total",
        "Auger 3 Sand Total", "Total Sand", "Base Fluid Specific Gravity",
        "Tub Level", "Base Rate 2", "Base Rate 2 Total",
    ] + _CHEMICALS_PLUS + ["Calculated Clean Rate"],
    "frac.csv": [
        "Timestamp", "Engine RPM", "Engine Coolant Temperature",
        "Pump Discharge Rate", "Pump Discharge Total", "Pump Discharge Pressure",
        "Engine Fuel Temperature", "Engine Fuel Pressure",
        "Engine Oil Temperature", "Engine Oil Pressure",
        "Transmission Oil Temperature", "Transmission Oil Pressure",
        "Pump Oil Temperature", "Pump Oil Pressure", "Pump RPM",
        "Analog Input 6 (Spare)", "Frequency Input 2 (Spare)",
        "Engine Percent Load", "Throttle RPM Request", "Idle RPM",
        "Requested Gear", "Current Gear", "Lock-up Status", "Lock-up Inhibit",
        "Torque Inhibit", "Soft-Shift Inhibit", "Pump Controller State",
        "Engine Type", "Transmission Type",
    ],
    "dd16.csv": ["Timestamp"] + [f"Channel {n}" for n in range(1, 17)],
}


class FormatError(ValueError):
    """Raised when recorded or received data does not parse."""


# ---------------------------------------------------------------- J1587

J1587Message = collections.namedtuple("J1587Message", "offset mid params")
J1587Message.__doc__ = "offset in the stream, MID, tuple of (pid, data bytes)"

J1587_MAX_MESSAGE = 21

# pid: (units per bit, signed) for the parameters our recordings carry
J1587_SCALING = {
    84: (0.5, False),      # road speed, mph (0.805 km/h)
    91: (0.4, False),      # accelerator pedal position, %
    92: (0.5, False),      # engine load, %
    94: (0.5, False),      # fuel delivery pressure, psi (3.45 kPa)
    100: (0.5, False),     # engine oil pressure, psi (3.45 kPa)
    102: (0.125, False),   # boost pressure, psi (0.862 kPa)
    105: (1.0, False),     # intake manifold temperature, degF
    110: (1.0, False),     # engine coolant temperature, degF
    111: (0.5, False),     # coolant level, %
    168: (0.05, False),    # battery potential, V
    174: (0.25, True),     # fuel temperature, degF
    175: (0.25, True),     # engine oil temperature, degF
    183: (1 / 64, False),  # fuel rate, US gal/h (4.34e-6 gal/s)
    190: (0.25, False),    # engine speed, rpm
    247: (0.05, False),    # total engine hours, h
}


def j1587_param_size(data, pos):
    """Bytes taken by the parameter whose PID is at data[pos], or None.

    PIDs 0-127 carry one data byte, 128-191 two, 192-253 a length byte and
    that many bytes.  254 (data-link escape) and 255 (next page) are not
    used by the devices we replay and are rejected.
    """
    pid = data[pos]
    if pid < 128:
        return 2
    if pid < 192:
        return 3
    if pid < 254 and pos + 1 < len(data):
        return 2 + data[pos + 1]
    return None


def _j1587_ends(data, start):
    """Yield the end (exclusive) of every well-formed message that can start at start.

    After each parameter the next byte may be either another PID or the
    checksum; both readings are kept and the caller picks the one that lets
    the rest of the stream parse.
    """
    limit = min(len(data), start + J1587_MAX_MESSAGE)
    total = data[start]
    pos = start + 1
    while pos < limit:
        size = j1587_param_size(data, pos)
        if size is None or pos + size >= limit:
            return
        total += sum(data[pos:pos + size])
        pos += size
        if (total + data[pos]) & 0xFF == 0:
            yield pos + 1


def parse_j1587(data, mids=None):
    """Split a stream of back-to-back J1587 messages that starts on a boundary.

    With no inter-byte timing available, boundaries are found by walking
    MID + PIDs by their data lengths and checking checksums.  Such a stream
    can often be split more than one way (two short messages also checksum
    as one long one), so of all splits that consume the whole stream the
    one ending each message at its first matching checksum is returned.
    mids, if given, is the set of MIDs a message may start with.
    Returns a list of J1587Message.
    """
    data = bytes(data)
    ends = {}                        # reachable message start -> candidate ends
    reached = {0}
    for start in range(len(data)):
        if start in reached and (mids is None or data[start] in mids):
            ends[start] = list(_j1587_ends(data, start))
            reached.update(ends[start])
    if len(data) not in reached:
        raise FormatError(f"no valid J1587 message at offset {max(reached)} "
                          f"(bad checksum or MID, unknown PID or truncated)")
    choice, finishes = {}, {len(data)}
    for start in sorted(ends, reverse=True):
        end = next((e for e in ends[start] if e in finishes), None)
        if end is not None:
            choice[start] = end
            finishes.add(start)
    messages, start = [], 0
    while start < len(data):
        messages.append(_j1587_decode(data, start, choice[start]))
        start = choice[start]
    return messages


def _j1587_decode(data, start, end):
    params = []
    pos = start + 1
    while pos < end - 1:
        pid = data[pos]
        size = j1587_param_size(data, pos)
        head = 1 if pid < 192 else 2
        params.append((pid, data[pos + head:pos + size]))
        pos += size
    return J1587Message(start, data[start], tuple(params))


def j1587_value(pid, raw):
    """Engineering value of a parameter listed in J1587_SCALING."""
    scale, signed = J1587_SCALING[pid]
    return int.from_bytes(raw, "little", signed=signed) * scale


# ---------------------------------------------------------------- SLCAN / J1939

_HEX = frozenset(b"0123456789ABCDEF")


def parse_slcan(data):
    """Split SLCAN data frames into a list of (can_id, dlc, data bytes).

    Accepts 'T' + 8 hex digits (29-bit id) or 't' + 3 hex digits (11-bit id),
    one DLC digit 0-8, 2*DLC upper-case hex digits, then a bare CR.
    """
    data = bytes(data)
    frames = []
    pos = 0
    while pos < len(data):
        end = data.find(b"\r", pos)
        if end < 0:
            raise FormatError(f"frame at offset {pos} has no CR terminator")
        frames.append(_slcan_frame(data[pos:end], pos))
        pos = end + 1
    return frames


def _slcan_frame(line, pos):
    kind = line[:1]
    if kind == b"T":
        id_digits, id_max = 8, 0x1FFFFFFF
    elif kind == b"t":
        id_digits, id_max = 3, 0x7FF
    else:
        raise FormatError(f"frame at offset {pos} starts with {kind!r}")
    hex_part = line[1:1 + id_digits] + line[2 + id_digits:]
    dlc_char = line[1 + id_digits:2 + id_digits]
    if not dlc_char or dlc_char not in b"012345678":
        raise FormatError(f"frame at offset {pos} has bad DLC {dlc_char!r}")
    dlc = int(dlc_char)
    if len(line) != 2 + id_digits + 2 * dlc:
        raise FormatError(f"frame at offset {pos} has {len(line)} characters, "
                          f"expected {2 + id_digits + 2 * dlc} for DLC {dlc}")
    if not set(hex_part) <= _HEX:
        raise FormatError(f"frame at offset {pos} has non upper-case hex digits")
    can_id = int(line[1:1 + id_digits], 16)
    if can_id > id_max:
        raise FormatError(f"frame at offset {pos} has identifier {can_id:#x} out of range")
    return can_id, dlc, bytes.fromhex(line[2 + id_digits:].decode())


def j1939_fields(can_id):
    """(priority, PGN, destination, source) of a 29-bit J1939 identifier.

    PDU1 PGNs (PF < 240) carry a destination address in PS, which is removed
    from the PGN; PDU2 messages are broadcast (destination 0xFF).
    """
    pgn = (can_id >> 8) & 0x3FFFF
    dest = 0xFF
    if (pgn >> 8) & 0xFF < 240:
        dest = pgn & 0xFF
        pgn &= 0x3FF00
    return (can_id >> 26) & 7, pgn, dest, can_id & 0xFF


# ---------------------------------------------------------------- CSV records

_NUMBER = re.compile(r"-?[0-9]+(\.[0-9]+)?")


def check_csv_records(lines, field_count):
    """Validate text records: a timestamp then field_count - 1 numbers each.

    lines may be str or bytes, with or without their line end (LF or CR LF).
    Returns a list of (datetime, [float, ...]); a header line or any short,
    long or non-numeric record raises FormatError.
    """
    records = []
    for number, line in enumerate(lines, 1):
        if isinstance(line, bytes):
            line = line.decode("ascii")
        line = line.rstrip("\n").rstrip("\r")
        fields = line.split(",")
        if len(fields) != field_count:
            raise FormatError(f"record {number} has {len(fields)} fields, "
                              f"expected {field_count}")
        try:
            stamp = datetime.datetime.strptime(fields[0], TIMESTAMP_FORMAT)
        except ValueError:
            raise FormatError(f"record {number} starts with {fields[0]!r}, "
                              f"not a timestamp") from None
        for column, field in enumerate(fields[1:], 2):
            if not _NUMBER.fullmatch(field):
                raise FormatError(f"record {number} field {column} is {field!r}, "
                                  f"not a plain decimal number")
        records.append((stamp, [float(f) for f in fields[1:]]))
    return records
