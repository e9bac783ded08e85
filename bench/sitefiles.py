"""What the site benchmark streams: text recordings of their own, made from the
samples' shape, a site file naming every device's recording and pseudo-terminal,
and for each window a data folder holding its recording."""
import os
import re
from datetime import datetime, timedelta

# A site as a laptop might serve it: four kinds of text device, six of each,
# and four engine controllers on each bus.
TEXT_FORMATS = ("blender", "blenderplus", "ipc", "dd16")
TEXT_PER_FORMAT = 6
ENGINE_FORMATS = ("j1587", "j1939")
ENGINE_PER_FORMAT = 4
SAMPLE = {"blender": "blender.csv", "blenderplus": "blenderplus.csv", "ipc": "frac.csv", "dd16": "dd16.csv",
          "j1587": "ddec.bin", "j1939": "hdv2.bin"}
DECIMAL = re.compile(r"^-?\d+\.(\d+)$")


def varied(field, factor):
    """A reading of the sample scaled for another device, with as many decimals;
    whole numbers (counters, states, flags) are kept."""
    match = DECIMAL.match(field)
    if not match:
        return field
    return f"{float(field) * factor:.{len(match.group(1))}f}"


def text_recording(sample, target, number):
    """Device `number`'s own recording: the sample's records with a start of its
    own (a day apart per device) and its readings scaled by 1 + 0.3% x number.
    As long as the sample, so that a ten-minute run does not reach its end."""
    with open(sample) as source:
        records = [line.rstrip("\r\n").split(",") for line in source if line.strip()]
    start = datetime.strptime(records[0][0], "%Y-%m-%d %H:%M:%S") + timedelta(days=number)
    factor = 1 + 0.003 * number
    with open(target, "w", newline="") as out:
        for i, fields in enumerate(records):
            stamp = (start + timedelta(seconds=i)).strftime("%Y-%m-%d %H:%M:%S")
            out.write(",".join([stamp] + [varied(f, factor) for f in fields[1:]]) + "\n")
    return os.path.getsize(target)


def site_devices(folder, samples):
    """The 32 devices, each (name, format, recording path): the text devices'
    recordings made here, the engine devices' the samples themselves."""
    devices = []
    for kind in TEXT_FORMATS:
        for i in range(1, TEXT_PER_FORMAT + 1):
            name = f"{kind}{i}"
            path = os.path.join(folder, name + ".csv")
            text_recording(os.path.join(samples, SAMPLE[kind]), path, len(devices) + 1)
            devices.append((name, kind, path))
    for kind in ENGINE_FORMATS:
        for i in range(1, ENGINE_PER_FORMAT + 1):
            devices.append((f"{kind}-{i}", kind, os.path.join(samples, SAMPLE[kind])))
    return devices


def toml_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def write_site(path, devices, ports):
    """The site file: every device on the pseudo-terminal made for it."""
    with open(path, "w") as site:
        site.write('name = "bench site"\n')
        for (name, kind, recording), port in zip(devices, ports):
            site.write(f"\n[[device]]\nname = {toml_string(name)}\nformat = {toml_string(kind)}\n"
                       f"recording = {toml_string(recording)}\nport = {toml_string(port)}\n")


def held_recordings_bytes(devices):
    """What the player holds of the recordings: an engine recording is read
    whole into memory, a text one a line at a time."""
    return sum(os.path.getsize(path) for _, kind, path in devices if kind in ENGINE_FORMATS)


def window_home(folder, samples, number):
    """A data folder ($XDG_DATA_HOME) whose quorvex/blender.csv is window
    `number`'s own recording: the window starts on the blender format."""
    home = os.path.join(folder, f"window{number}")
    os.makedirs(os.path.join(home, "quorvex"), mode=0o700)
    text_recording(os.path.join(samples, SAMPLE["blender"]), os.path.join(home, "quorvex", "blender.csv"),
                   100 + number)
    return home
