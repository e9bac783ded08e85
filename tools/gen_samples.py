#!/usr/bin/python3
"""Generate Quorvex's sample recordings, one per device type.

    tools/gen_samples.py [OUTDIR]        (default: the repository's data/)

The output is fully deterministic (fixed seeds, no clock): running the script
twice gives byte-identical files.  All six files replay the same 15-minute
job on one well: idle, rate ramp-up, a pad, four sand stages, a flush and a
shutdown.

Text files (one record per line, LF line ends, no header, 900 records = one
per second, timestamps "YYYY-MM-DD HH:MM:SS" from 2026-03-14 09:30:00):

  blender.csv      Velmara blender, 51 fields
  blenderplus.csv  Velmara+ blender, 51 fields
  frac.csv         pump controller (IPC), 29 fields
  dd16.csv         16-channel data acquisition unit, 17 fields

Units: rates bbl/min, volumes bbl, pressures psi, densities lb/gal (slurry)
and lb/ft3 (sand bulk), temperatures degF, speeds rpm, sand rates lb/min and
sand totals lb, chemical rates gal/min, chemical totals gal, chemical
concentrations gal per 1000 gal of clean fluid (gpt), tub level %, engine
load %, auger DAC counts 0-4095 (12 bit, 0-300 rpm).  Integer codes in
frac.csv: gears 0 = neutral .. 7; lock-up status and the inhibits 0/1;
pump controller state 1 = idling in neutral, 2 = pumping; engine type 2 and
transmission type 1 are fixed unit identifiers.  Fields 42-43 of blender.csv
repeat the flowmeter clean rate/total of fields 4-5.  "Base Rate 2" in
blenderplus.csv is the share of the clean rate measured by the second suction
meter.

dd16.csv channels (4-20 mA transducers in engineering units):
   1 treating pressure psi        9 friction reducer rate gal/min
   2 annulus pressure psi        10 surfactant rate gal/min
   3 slurry rate bbl/min         11 slurry temperature degF
   4 slurry density lb/gal       12 wellhead temperature degF
   5 clean rate bbl/min          13 ambient temperature degF
   6 sand concentration lb/gal   14 hydraulic oil pressure psi
   7 blender discharge psi       15 hydraulic oil temperature degF
   8 blender suction psi         16 spare (not connected, reads about 0)

Binary files, each 50*k + 1 bytes with k = 3600 (15 minutes at 200 bytes/s):
bytes 0 .. 50*k-1 are whole messages, and the one extra byte at 50*k is the
first byte of a message cut off by the end of the recording.  The program
sends 50-byte chunks and starts over when a chunk plus one byte no longer
fits, so every pass ends exactly on a message boundary.

  ddec.bin   J1587 messages from MID 128 (engine), see J1587_GROUPS
  hdv2.bin   J1939 frames in SLCAN text ("T<id:8 hex><dlc><data hex>\\r")

Both engine streams describe the frac pump engine of frac.csv, which stands
still on location, so road and wheel-based speed read 0.
"""

import datetime
import math
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import samples  # noqa: E402

SECONDS = 900
START = datetime.datetime(2026, 3, 14, 9, 30, 0)
BYTES_PER_SECOND = 200
BINARY_CHUNKS = 3600
BINARY_SIZE = samples.CHUNK_SIZE * BINARY_CHUNKS      # whole messages; +1 extra byte

WATER_DENSITY = 8.34         # lb/gal
FLUID_SG = 1.01
SAND_SG = 2.65
SAND_BULK_DENSITY = 100.0    # lb/ft3
SAND_ABS_VOLUME = 1 / (SAND_SG * WATER_DENSITY)   # gal of slurry per lb of sand
GAL_PER_BBL = 42.0


# ---------------------------------------------------------------- helpers

def ramp(t, t0, t1, v0, v1):
    """Smooth (S-shaped) transition from v0 at t0 to v1 at t1."""
    if t <= t0:
        return v0
    if t >= t1:
        return v1
    x = (t - t0) / (t1 - t0)
    return v0 + (v1 - v0) * x * x * (3 - 2 * x)


def lag(value, target, tau):
    """One second of a first-order lag with time constant tau seconds."""
    return value + (target - value) / tau


def step_schedule(plan, t):
    """Value of a piecewise-constant plan [(start_time, value), ...] at t."""
    value = plan[0][1]
    for start, v in plan:
        if t >= start:
            value = v
    return value


class Wander:
    """Slowly drifting zero-mean noise with the given typical amplitude."""

    def __init__(self, rng, amplitude, tau):
        self.rng = rng
        self.keep = 1 - 1 / tau
        self.sigma = amplitude * math.sqrt(1 - self.keep ** 2)
        self.value = 0.0

    def step(self):
        self.value = self.value * self.keep + self.rng.gauss(0, self.sigma)
        return self.value


def fmt(value, decimals):
    text = f"{value:.{decimals}f}"
    if float(text) == 0:
        text = f"{0:.{decimals}f}"     # never "-0.00"
    return text


def slurry_density(conc):
    """Slurry density (lb/gal) of clean fluid carrying conc lb of sand per gal."""
    return (WATER_DENSITY * FLUID_SG + conc) / (1 + conc * SAND_ABS_VOLUME)


# ---------------------------------------------------------------- the job

class Job:
    """Rates, sand concentration and treating pressure of the job, per second."""

    # (start second, stage number, design sand concentration lb/gal)
    STAGES = [(0, 1, 0.0), (300, 2, 0.5), (450, 3, 1.0), (600, 4, 1.5),
              (720, 5, 2.0), (810, 6, 0.0)]
    TOP_RATE = 70.0

    def __init__(self, seed):
        rng = random.Random(seed)
        rate_drift = Wander(rng, 0.4, 25)
        conc_drift = Wander(rng, 0.02, 8)
        press_drift = Wander(rng, 40, 20)
        self.rate, self.clean, self.conc = [], [], []
        self.stage, self.design_conc, self.pressure = [], [], []
        conc = 0.0
        for t in range(SECONDS):
            if t < 840:
                target = ramp(t, 30, 150, 0, self.TOP_RATE)
            else:
                target = ramp(t, 840, 875, self.TOP_RATE, 0)
            running = min(1.0, target / 10)
            rate = max(0.0, target + rate_drift.step() * running)
            stage = step_schedule([(s, n) for s, n, _ in self.STAGES], t)
            design = step_schedule([(s, c) for s, _, c in self.STAGES], t)
            conc = lag(conc, design, 5)
            actual = max(0.0, conc + conc_drift.step()) if conc > 0.01 else 0.0
            pressure = (1450 + 5000 * (rate / self.TOP_RATE) ** 1.4 + 120 * actual
                        + press_drift.step() * running + rng.gauss(0, 3))
            self.rate.append(rate)
            self.clean.append(rate / (1 + actual * SAND_ABS_VOLUME))
            self.conc.append(actual)
            self.stage.append(stage)
            self.design_conc.append(design)
            self.pressure.append(pressure)

    def sand_rate(self, t):
        """Sand delivered, lb/min."""
        return self.conc[t] * self.clean[t] * GAL_PER_BBL


# ---------------------------------------------------------------- the pump unit

class PumpUnit:
    """Engine, transmission and pump of one frac pump on the job, per second."""

    GEAR_RATIOS = {1: 3.75, 2: 2.69, 3: 2.20, 4: 1.77, 5: 1.58, 6: 1.27, 7: 1.00}
    PUMP_REDUCTION = 6.353
    BBL_PER_REV = 0.0656       # quintuplex, 4.5 in plungers, 8 in stroke
    IDLE_RPM = 750
    RATED_HP = 2500
    GEAR_PLAN = [(0, 0), (30, 1), (48, 2), (66, 3), (88, 4), (112, 5),
                 (400, 4), (425, 5), (840, 4), (848, 3), (856, 2), (864, 1), (872, 0)]
    THROTTLE = {0: 750, 1: 1100, 2: 1250, 3: 1400, 4: 1550, 5: 1650}
    SHIFT_SECONDS = 2
    START_HOURS = 8421.35
    START_REVS = 612_340_000

    def __init__(self, job, seed):
        rng = random.Random(seed)
        rpm_drift = Wander(rng, 6, 6)
        cols = ("requested_gear gear throttle rpm lockup pump_rpm rate total "
                "discharge load coolant_temp oil_temp fuel_temp trans_temp "
                "pump_oil_temp oil_press fuel_press trans_press pump_oil_press "
                "boost intake_temp fuel_rate battery pedal coolant_press "
                "hours revs").split()
        for col in cols:
            setattr(self, col, [])
        rpm, total, revs = float(self.IDLE_RPM), 0.0, float(self.START_REVS)
        coolant, oil, fuel, trans, pump_oil, intake = 165.0, 190.0, 96.0, 168.0, 92.0, 98.0
        gear, since_shift = 0, 99
        for t in range(SECONDS):
            requested = step_schedule(self.GEAR_PLAN, t)
            new_gear = step_schedule(self.GEAR_PLAN, t - self.SHIFT_SECONDS)
            if new_gear != gear:
                if gear and new_gear:        # rpm drops on an upshift, rises on a downshift
                    rpm *= self.GEAR_RATIOS[new_gear] / self.GEAR_RATIOS[gear]
                elif new_gear:
                    rpm -= 60                # clutch engagement from neutral
                gear, since_shift = new_gear, 0
            since_shift += 1
            throttle = self.THROTTLE[requested]
            rpm = lag(rpm, throttle, 3) + rpm_drift.step() * 0.3 + rng.gauss(0, 1.5)
            locked = gear > 0 and since_shift > 3 and rpm > 1000
            if gear:
                slip = 1.0 if locked else 0.9
                pump_rpm = rpm / self.GEAR_RATIOS[gear] / self.PUMP_REDUCTION * slip
            else:
                pump_rpm = 0.0
            rate = pump_rpm * self.BBL_PER_REV * 0.97
            total += rate / 60
            discharge = job.pressure[t] + 40 * min(1.0, rate / 5) + rng.gauss(0, 6)
            hydraulic_hp = discharge * rate / 40.8
            load = 5 + 100 * hydraulic_hp / 0.88 / self.RATED_HP + (rpm - self.IDLE_RPM) / 500
            load = min(100.0, max(0.0, load + rng.gauss(0, 0.6)))
            coolant = lag(coolant, 178 + 10 * load / 100, 150)
            oil = lag(oil, 205 + 15 * load / 100, 200)
            fuel = lag(fuel, 100 + 15 * load / 100, 300)
            trans = lag(trans, 175 + 35 * load / 100, 250)
            pump_oil = lag(pump_oil, 95 + 45 * pump_rpm / 175, 300)
            intake = lag(intake, 95 + 35 * load / 100, 60)
            revs += rpm / 60
            self.requested_gear.append(requested)
            self.gear.append(gear)
            self.throttle.append(throttle)
            self.rpm.append(rpm)
            self.lockup.append(int(locked))
            self.pump_rpm.append(pump_rpm)
            self.rate.append(rate)
            self.total.append(total)
            self.discharge.append(discharge)
            self.load.append(load)
            self.coolant_temp.append(coolant + rng.gauss(0, 0.2))
            self.oil_temp.append(oil + rng.gauss(0, 0.2))
            self.fuel_temp.append(fuel + rng.gauss(0, 0.2))
            self.trans_temp.append(trans + rng.gauss(0, 0.2))
            self.pump_oil_temp.append(pump_oil + rng.gauss(0, 0.2))
            self.oil_press.append(26 + 0.032 * (rpm - self.IDLE_RPM) - 0.05 * (oil - 190)
                                  + rng.gauss(0, 0.3))
            self.fuel_press.append(62 + 0.012 * (rpm - self.IDLE_RPM) + rng.gauss(0, 0.3))
            self.trans_press.append((210 if gear else 150) + 0.02 * (rpm - self.IDLE_RPM)
                                    + rng.gauss(0, 1.0))
            self.pump_oil_press.append(30 + 0.45 * pump_rpm + rng.gauss(0, 0.5))
            self.boost.append(0.4 + 29 * (load / 100) ** 1.3)
            self.intake_temp.append(intake)
            self.fuel_rate.append(3.0 + 105 * (load / 100) ** 1.2)
            self.battery.append(27.9 + rng.gauss(0, 0.03))
            self.pedal.append(100 * (throttle - self.IDLE_RPM) / (1900 - self.IDLE_RPM))
            self.coolant_press.append(45 + 0.6 * (coolant - 150) + 0.015 * (rpm - self.IDLE_RPM))
            self.hours.append(self.START_HOURS + t / 3600)
            self.revs.append(revs)

    def at(self, name, t):
        """Linearly interpolated value of a per-second column at time t (s)."""
        column = getattr(self, name)
        i = min(int(t), SECONDS - 1)
        j = min(i + 1, SECONDS - 1)
        return column[i] + (column[j] - column[i]) * (t - i)


# ---------------------------------------------------------------- text devices

class Meter:
    """A flow meter: noisy rate reading and the running total it integrates."""

    def __init__(self, rng, noise):
        self.rng, self.noise, self.total = rng, noise, 0.0

    def read(self, rate_per_minute):
        rate = rate_per_minute
        if rate > 0:
            rate = max(0.0, rate + self.rng.gauss(0, self.noise))
        self.total += rate / 60
        return rate


def spare_input(rng):
    return rng.gauss(0, 0.008)


class Blender:
    """Shared blender model: augers, densities and liquid additives."""

    AUGER_SHARE = (0.40, 0.35, 0.25)
    LB_PER_REV = 25.0
    MAX_AUGER_RPM = 300.0

    def __init__(self, job, rng, chemicals):
        self.job, self.rng = job, rng
        self.slurry = Meter(rng, 0.06)
        self.clean = Meter(rng, 0.06)
        self.augers = [Meter(rng, 0) for _ in self.AUGER_SHARE]
        self.chems = [Meter(rng, 0) for _ in chemicals]
        self.chem_gpt = chemicals
        self.density = WATER_DENSITY * FLUID_SG

    def step(self, t):
        job, rng = self.job, self.rng
        s = {"slurry": self.slurry.read(job.rate[t]), "clean": self.clean.read(job.clean[t])}
        sand = job.sand_rate(t)
        s["auger_rpm"] = [max(0.0, share * sand / self.LB_PER_REV + rng.gauss(0, 0.3))
                          if sand > 0 else 0.0 for share in self.AUGER_SHARE]
        s["auger_rate"] = [a.read(rpm * self.LB_PER_REV)
                           for a, rpm in zip(self.augers, s["auger_rpm"])]
        s["auger_total"] = [a.total for a in self.augers]
        s["dac"] = [round(rpm / self.MAX_AUGER_RPM * 4095) for rpm in s["auger_rpm"]]
        s["sand_rate"] = sum(s["auger_rate"])
        s["sand_total"] = sum(s["auger_total"])
        clean_gal = s["clean"] * GAL_PER_BBL
        ratio_conc = s["sand_rate"] / clean_gal if clean_gal > 1 else 0.0
        s["calc_clean"] = max(0.0, s["slurry"] - s["sand_rate"] * SAND_ABS_VOLUME / GAL_PER_BBL)
        s["target_density"] = slurry_density(job.design_conc[t])
        s["ratio_density"] = slurry_density(ratio_conc)
        calc_gal = s["calc_clean"] * GAL_PER_BBL
        s["calc_density"] = slurry_density(s["sand_rate"] / calc_gal if calc_gal > 1 else 0.0)
        self.density = lag(self.density, slurry_density(job.conc[t]), 8)
        s["measured_density"] = self.density + rng.gauss(0, 0.012)
        s["chem_rate"], s["chem_conc"] = [], []
        for meter, gpt in zip(self.chems, self.chem_gpt):
            rate = meter.read(gpt * clean_gal / 1000 * (1 + rng.gauss(0, 0.01)))
            s["chem_rate"].append(rate)
            s["chem_conc"].append(1000 * rate / clean_gal if clean_gal > 1 else gpt)
        s["chem_total"] = [m.total for m in self.chems]
        return s


def timestamp(t):
    return (START + datetime.timedelta(seconds=t)).strftime(samples.TIMESTAMP_FORMAT)


def blender_rows(job):
    rng = random.Random(2101)
    b = Blender(job, rng, [0.50, 0.25, 0.20, 1.00, 0.50, 0.30])
    calc_total = 0.0
    for t in range(SECONDS):
        s = b.step(t)
        row = [timestamp(t), fmt(s["slurry"], 2), fmt(b.slurry.total, 1),
               fmt(s["clean"], 2), fmt(b.clean.total, 1),
               fmt(s["target_density"], 2), fmt(s["ratio_density"], 2),
               fmt(s["measured_density"], 2), str(job.stage[t]),
               fmt(spare_input(rng), 2), fmt(spare_input(rng), 2)]
        row += [fmt(v, 1) for v in s["auger_rpm"]]
        row += [str(v) for v in s["dac"]]
        row += [fmt(v, 1) for v in s["auger_rate"]] + [fmt(s["sand_rate"], 1)]
        row += [fmt(v, 0) for v in s["auger_total"]] + [fmt(s["sand_total"], 0)]
        row += [fmt(s["calc_density"], 2), fmt(FLUID_SG, 3),
                fmt(SAND_BULK_DENSITY, 1), fmt(SAND_SG, 3)]
        for rate, total in zip(s["chem_rate"], s["chem_total"]):
            row += [fmt(rate, 2), fmt(total, 2)]
        row += [fmt(s["clean"], 2), fmt(b.clean.total, 1)]
        calc_total += s["calc_clean"] / 60
        row += [fmt(s["calc_clean"], 2), fmt(calc_total, 1)]
        row += [fmt(v, 2) for v in s["chem_conc"]]
        yield row


def blenderplus_rows(job):
    rng = random.Random(2202)
    b = Blender(job, rng, [0.50, 0.25, 0.20, 1.00, 0.50, 0.30, 0.15, 0.10])
    base2 = Meter(rng, 0.04)
    tub = Wander(rng, 1.2, 15)
    for t in range(SECONDS):
        s = b.step(t)
        flow = job.rate[t] / Job.TOP_RATE
        discharge = 4 + 66 * flow + rng.gauss(0, 0.6)
        suction = 18 - 8 * flow ** 2 + rng.gauss(0, 0.3)
        row = [timestamp(t), fmt(s["slurry"], 2), fmt(b.slurry.total, 1),
               fmt(discharge, 1), fmt(s["clean"], 2), fmt(b.clean.total, 1),
               fmt(suction, 1), fmt(s["target_density"], 2),
               fmt(s["ratio_density"], 2), fmt(s["measured_density"], 2),
               str(job.stage[t])]
        row += [fmt(v, 1) for v in s["auger_rpm"]]
        row += [fmt(v, 1) for v in s["auger_rate"]] + [fmt(s["sand_rate"], 1)]
        row += [fmt(v, 0) for v in s["auger_total"]] + [fmt(s["sand_total"], 0)]
        row += [fmt(FLUID_SG, 3), fmt(55 + 5 * min(1.0, 3 * flow) + tub.step(), 1),
                fmt(base2.read(0.45 * job.clean[t]), 2), fmt(base2.total, 1)]
        for rate, total, conc in zip(s["chem_rate"], s["chem_total"], s["chem_conc"]):
            row += [fmt(rate, 2), fmt(total, 2), fmt(conc, 2)]
        row += [fmt(s["calc_clean"], 2)]
        yield row


def frac_rows(unit):
    rng = random.Random(2303)
    for t in range(SECONDS):
        u = {name: column[t] for name, column in vars(unit).items()}
        yield [timestamp(t), fmt(u["rpm"], 0), fmt(u["coolant_temp"], 1),
               fmt(u["rate"], 2), fmt(u["total"], 2), fmt(u["discharge"], 0),
               fmt(u["fuel_temp"], 1), fmt(u["fuel_press"], 1),
               fmt(u["oil_temp"], 1), fmt(u["oil_press"], 1),
               fmt(u["trans_temp"], 1), fmt(u["trans_press"], 1),
               fmt(u["pump_oil_temp"], 1), fmt(u["pump_oil_press"], 1),
               fmt(u["pump_rpm"], 1), fmt(spare_input(rng), 2), "0",
               fmt(u["load"], 0), str(u["throttle"]), str(PumpUnit.IDLE_RPM),
               str(u["requested_gear"]), str(u["gear"]), str(u["lockup"]),
               "0", "0", "0", "2" if u["gear"] else "1", "2", "1"]


def dd16_rows(job):
    rng = random.Random(2404)
    slurry, clean = Meter(rng, 0.08), Meter(rng, 0.08)
    density = WATER_DENSITY * FLUID_SG
    hyd_temp, ambient = 108.0, 57.0
    for t in range(SECONDS):
        flow = job.rate[t] / Job.TOP_RATE
        clean_gal = job.clean[t] * GAL_PER_BBL
        density = lag(density, slurry_density(job.conc[t]), 10)
        hyd_temp = lag(hyd_temp, 108 + 20 * flow, 200)
        ambient += 0.002
        values = [
            (job.pressure[t] + rng.gauss(0, 4), 0),
            (450 + 0.02 * (job.pressure[t] - 1450) + rng.gauss(0, 1.5), 0),
            (slurry.read(job.rate[t]), 2),
            (density + rng.gauss(0, 0.015), 2),
            (clean.read(job.clean[t]), 2),
            (max(0.0, job.conc[t] + rng.gauss(0, 0.01)) if job.conc[t] else 0.0, 2),
            (4 + 66 * flow + rng.gauss(0, 0.6), 1),
            (18 - 8 * flow ** 2 + rng.gauss(0, 0.3), 1),
            (0.5 * clean_gal / 1000 * (1 + rng.gauss(0, 0.01)), 2),
            (1.0 * clean_gal / 1000 * (1 + rng.gauss(0, 0.01)), 2),
            (68 + 2 * flow + rng.gauss(0, 0.1), 1),
            (72 + 4 * flow + rng.gauss(0, 0.1), 1),
            (ambient + rng.gauss(0, 0.05), 1),
            (400 + 1800 * min(1.0, 2 * flow) + rng.gauss(0, 8), 0),
            (hyd_temp + rng.gauss(0, 0.1), 1),
            (spare_input(rng), 2),
        ]
        yield [timestamp(t)] + [fmt(v, d) for v, d in values]


def write_csv(path, rows, field_count):
    lines = [",".join(row) for row in rows]
    samples.check_csv_records(lines, field_count)
    with open(path, "w", encoding="ascii", newline="\n") as f:
        f.write("".join(line + "\n" for line in lines))


# ---------------------------------------------------------------- J1587 stream

MID_ENGINE = 128

# (period in seconds, PIDs): engine speed often, hours rarely
J1587_GROUPS = [
    (0.06, [190, 92, 91]),
    (0.5, [84, 102, 183]),
    (1.0, [110, 100, 94, 105, 111]),
    (1.0, [168, 175, 174]),
    (10.0, [247]),
]


def j1587_params(unit, t, rng):
    """Every parameter we send, encoded, as pid -> bytes (PID included)."""
    def one(pid, value, scale):
        return bytes([pid, min(255, max(0, round(value / scale)))])

    def two(pid, value, scale, signed=False):
        return bytes([pid]) + round(value / scale).to_bytes(2, "little", signed=signed)

    rpm = unit.at("rpm", t) + rng.gauss(0, 1.5)
    params = [
        two(190, rpm, 0.25),
        one(92, unit.at("load", t), 0.5),
        one(91, unit.at("pedal", t), 0.4),
        one(84, 0.0, 0.5),
        one(102, unit.at("boost", t), 0.125),
        two(183, unit.at("fuel_rate", t), 1 / 64),
        one(110, unit.at("coolant_temp", t), 1),
        one(100, unit.at("oil_press", t), 0.5),
        one(94, unit.at("fuel_press", t), 0.5),
        one(105, unit.at("intake_temp", t), 1),
        one(111, 100.0, 0.5),
        two(168, unit.at("battery", t), 0.05),
        two(175, unit.at("oil_temp", t), 0.25, signed=True),
        two(174, unit.at("fuel_temp", t), 0.25, signed=True),
        bytes([247, 4]) + round(unit.at("hours", t) / 0.05).to_bytes(4, "little"),
    ]
    return {p[0]: p for p in params}


def j1587_message(params):
    """MID, params and checksum, params rotated if need be so that no PID
    after the first happens to checksum the bytes before it.  A receiver
    without timing then finds every message end at its first matching
    checksum."""
    for turn in range(len(params)):
        order = params[turn:] + params[:turn]
        body = bytes([MID_ENGINE]) + order[0]
        for param in order[1:]:
            if (sum(body) + param[0]) & 0xFF == 0:
                break
            body += param
        else:
            assert len(body) < samples.J1587_MAX_MESSAGE
            return body + bytes([-sum(body) & 0xFF])
    raise ValueError(f"no unambiguous order for {params}")


def j1587_filler(length, params):
    """A message of exactly `length` bytes built from the current parameters."""
    size = length - 2                        # minus MID and checksum
    two_byte = [190, 168, 175, 174, 183][:size % 2]
    one_byte = [92, 91, 110, 100, 94, 102, 105, 111, 84][:(size - 3 * len(two_byte)) // 2]
    return j1587_message([params[pid] for pid in two_byte + one_byte])


def next_group(due):
    return min(range(len(due)), key=lambda i: (due[i], i))


def ddec_stream(unit):
    rng = random.Random(3101)
    out = bytearray()
    starts = []
    due = [0.0] * len(J1587_GROUPS)
    while BINARY_SIZE - len(out) > 2 * samples.J1587_MAX_MESSAGE:
        params = j1587_params(unit, len(out) / BYTES_PER_SECOND, rng)
        i = next_group(due)
        period, pids = J1587_GROUPS[i]
        starts.append(len(out))
        out += j1587_message([params[pid] for pid in pids])
        due[i] += period
    # land exactly on the target with one or two re-grouped messages
    params = j1587_params(unit, len(out) / BYTES_PER_SECOND, rng)
    rest = BINARY_SIZE - len(out)
    for length in ([rest] if rest <= samples.J1587_MAX_MESSAGE else [rest // 2, rest - rest // 2]):
        starts.append(len(out))
        out += j1587_filler(length, params)
    assert len(out) == BINARY_SIZE
    assert [m.offset for m in samples.parse_j1587(out, {MID_ENGINE})] == starts
    return bytes(out) + bytes([MID_ENGINE])  # first byte of a cut-off message


# ---------------------------------------------------------------- J1939 / SLCAN stream

ENGINE_SA = 0x00
SERVICE_TOOL_SA = 0xF9
PGN_REQUEST = 59904
PGN_HOURS = 65253


def slcan_frame(priority, pgn, source, data, dest=0xFF):
    if (pgn >> 8) & 0xFF < 240:              # PDU1: destination goes into PS
        pgn |= dest
    can_id = priority << 26 | pgn << 8 | source
    return b"T%08X%d%s\r" % (can_id, len(data), data.hex().upper().encode())


def le(value, size):
    return max(0, round(value)).to_bytes(size, "little")


def f_to_c(f):
    return (f - 32) / 1.8


def j1939_frames(unit, t, rng):
    """pgn -> (priority, data) for every periodic message at time t."""
    rpm = unit.at("rpm", t) + rng.gauss(0, 1.5)
    load = unit.at("load", t)
    torque = max(0.0, load + rng.gauss(0, 0.5))
    psi_to_kpa = 6.894757
    return {
        61444: (3, bytes([0xFF, round(torque + 2 + 125), round(torque + 125)])  # EEC1
               + le(rpm / 0.125, 2) + b"\xFF\xFF\xFF"),
        61443: (3, bytes([0xFF, round(unit.at("pedal", t) / 0.4), round(load)])  # EEC2
               + b"\xFF" * 5),
        65262: (6, bytes([round(f_to_c(unit.at("coolant_temp", t)) + 40),       # ET1
                          round(f_to_c(unit.at("fuel_temp", t)) + 40)])
               + le((f_to_c(unit.at("oil_temp", t)) + 273) / 0.03125, 2) + b"\xFF" * 4),
        65263: (6, bytes([round(unit.at("fuel_press", t) * psi_to_kpa / 4), 0xFF,  # EFL/P1
                          round(92 / 0.4), round(unit.at("oil_press", t) * psi_to_kpa / 4),
                          0xFF, 0xFF, round(unit.at("coolant_press", t) / 2), 250])),
        65270: (6, bytes([0xFF, round(unit.at("boost", t) * psi_to_kpa / 2),    # IC1
                          round(f_to_c(unit.at("intake_temp", t)) + 40)]) + b"\xFF" * 5),
        65266: (6, le(unit.at("fuel_rate", t) * 3.785412 / 0.05, 2)              # LFE
               + b"\x00\x00" + b"\xFF" * 4),
        65265: (6, b"\xFF\x00\x00" + b"\xFF" * 5),                               # CCVS
        65271: (6, b"\xFF\xFF" + le((unit.at("battery", t) + 0.3) / 0.05, 2)     # VEP1
               + le(unit.at("battery", t) / 0.05, 2) + b"\xFF\xFF"),
        PGN_HOURS: (6, le(unit.at("hours", t) / 0.05, 4) + le(unit.at("revs", t) / 1000, 4)),
    }


# (period in seconds, PGN): EEC1 most often
J1939_SCHEDULE = [(0.25, 61444), (1.0, 61443), (2.0, 65262), (2.0, 65263),
                  (2.0, 65270), (2.0, 65266), (5.0, 65265), (5.0, 65271)]


def hdv2_stream(unit):
    """Periodic broadcasts plus a service tool asking for engine hours now and then.

    A request frame is 17 bytes and every other frame 27, so the number of
    requests is chosen to make the total come out at exactly BINARY_SIZE.
    """
    rng = random.Random(3202)
    short, full = 11 + 2 * 3, 11 + 2 * 8
    requests = next(n for n in range(30, 30 + full) if (BINARY_SIZE - short * n) % full == 0)
    request_data = PGN_HOURS.to_bytes(3, "little")
    out = bytearray()
    due = [0.0] * len(J1939_SCHEDULE)
    sent_requests = 0
    while len(out) < BINARY_SIZE:
        t = len(out) / BYTES_PER_SECOND
        frames = j1939_frames(unit, t, rng)
        if sent_requests < requests and t >= (sent_requests + 0.5) * SECONDS / requests:
            out += slcan_frame(6, PGN_REQUEST, SERVICE_TOOL_SA, request_data, dest=ENGINE_SA)
            priority, data = frames[PGN_HOURS]          # the engine answers at once
            out += slcan_frame(priority, PGN_HOURS, ENGINE_SA, data)
            sent_requests += 1
            continue
        i = next_group(due)
        period, pgn = J1939_SCHEDULE[i]
        priority, data = frames[pgn]
        out += slcan_frame(priority, pgn, ENGINE_SA, data)
        due[i] += period
    assert len(out) == BINARY_SIZE and sent_requests == requests
    samples.parse_slcan(out)
    return bytes(out) + b"T"                  # first byte of a cut-off frame


# ---------------------------------------------------------------- main

def main(argv):
    default = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "data")
    outdir = os.path.normpath(argv[1] if len(argv) > 1 else default)
    os.makedirs(outdir, exist_ok=True)
    job = Job(1001)
    unit = PumpUnit(job, 1002)
    fields = samples.FIELDS
    write_csv(os.path.join(outdir, "blender.csv"), blender_rows(job), len(fields["blender.csv"]))
    write_csv(os.path.join(outdir, "blenderplus.csv"), blenderplus_rows(job),
              len(fields["blenderplus.csv"]))
    write_csv(os.path.join(outdir, "frac.csv"), frac_rows(unit), len(fields["frac.csv"]))
    write_csv(os.path.join(outdir, "dd16.csv"), dd16_rows(job), len(fields["dd16.csv"]))
    for name, data in (("ddec.bin", ddec_stream(unit)), ("hdv2.bin", hdv2_stream(unit))):
        with open(os.path.join(outdir, name), "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
