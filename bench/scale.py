"""Scale: switching to an engine format whose recording is 200 MB, and
starting on a 1 GB text file, each beside the sample-sized case. The program
reads its data files from its own folder, so each run gets a temporary folder
with a copy of the binary (a symbolic link would not do: the program resolves
its own path) and the data files it needs; large files are sparse beyond a
real head, so they take no time or disk space to make."""
import os
import shutil
import statistics
import tempfile
import time

from capture import ChunkRecords, Link, LineRecords, driver_lines, pump, status_kb

MB = 1 << 20


def make_data_file(sample, target, size):
    """A copy of sample, grown to `size` bytes with a hole when size is given."""
    shutil.copyfile(sample, target)
    if size:
        with open(target, "r+b") as data:
            data.truncate(size)


def run_once(folder, argv, records, done, timeout_s=60):
    link = Link("Quorvex", argv, records, cwd=folder)
    try:
        link.start()
        started = time.monotonic_ns()
        pump([link], started + int(timeout_s * 1e9), lambda: done(link) or not link.alive())
        peak = status_kb(link.proc.pid, "VmHWM")
        link.stop()
    finally:
        if link.proc and link.proc.poll() is None:
            link.proc.kill()
        link.close()
    return link, peak


def engine_switch(build, size, engine_format):
    """Starts on the text format and picks the engine format 0.3 s into the loop;
    returns the time from the pick to the first chunk, the load time and memory."""
    name = "ddec.bin" if engine_format == 1 else "hdv2.bin"
    with tempfile.TemporaryDirectory(prefix="quorvex-bench-") as folder:
        driver = shutil.copy2(os.path.join(build, "quorvex_bench"), folder)
        shutil.copyfile(os.path.join(build, "blender.csv"), os.path.join(folder, "blender.csv"))
        make_data_file(os.path.join(build, name), os.path.join(folder, name), size)
        argv = [driver, "--switch-to", str(engine_format), "--switch-after", "300"]

        def two_chunks_in(link):
            return len(link.records.times) >= 2

        link, peak = run_once(folder, argv, ChunkRecords(), two_chunks_in)
    switch = driver_lines(link.output).get("switch", "").split()
    if not switch or not link.records.times:
        return None
    begin, end = int(switch[0]), int(switch[1])
    return {"first_s": (link.records.times[0] - begin) / 1e9, "load_s": (end - begin) / 1e9,
            "peak_mb": peak / 1024 if peak else None}


def text_start(build, size):
    """Starts the program itself on a text file; returns the time from the
    process start to the first record, and memory."""
    with tempfile.TemporaryDirectory(prefix="quorvex-bench-") as folder:
        program = shutil.copy2(os.path.join(build, "quorvex"), folder)
        make_data_file(os.path.join(build, "blender.csv"), os.path.join(folder, "blender.csv"), size)

        def first_record_in(link):
            return len(link.records.times) >= 1

        link, peak = run_once(folder, [program], LineRecords(), first_record_in)
    if not link.records.times:
        return None
    return {"first_s": (link.records.times[0] - link.spawned_ns) / 1e9, "peak_mb": peak / 1024 if peak else None}


def median_of(runs, key):
    values = [run[key] for run in runs if run and run.get(key) is not None]
    return statistics.median(values) if values else None


def summarize(label, what, size, runs):
    done = [run for run in runs if run]
    return {"case": label, "measures": what, "size_mb": size / MB if size else None, "runs": len(done),
            "first_s": median_of(done, "first_s"), "first_s_all": [run["first_s"] for run in done],
            "load_s": median_of(done, "load_s"), "peak_mb": median_of(done, "peak_mb")}


def run_scale(build, repeats, engine_format):
    sample_engine = os.path.getsize(os.path.join(build, "ddec.bin" if engine_format == 1 else "hdv2.bin"))
    sample_text = os.path.getsize(os.path.join(build, "blender.csv"))
    cases = []
    for label, size in (("engine format, sample recording", None), ("engine format, 200 MB recording", 200 * MB)):
        runs = [engine_switch(build, size, engine_format) for _ in range(repeats)]
        cases.append(summarize(label, "switch to first chunk", size or sample_engine, runs))
    for label, size in (("text format, sample file", None), ("text format, 1 GB file", 1024 * MB)):
        runs = [text_start(build, size) for _ in range(repeats)]
        cases.append(summarize(label, "start to first record", size or sample_text, runs))
    return cases
