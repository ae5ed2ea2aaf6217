#!/usr/bin/python3
"""End-to-end batch benchmark: tavox against an FFTW program and numpy.

Generates five deterministic data sets on a tmpfs folder, runs the same five
jobs with tavox, with fftw_reference (FFTW, plans kept as wisdom) and with a
numpy script (the `numpy-job` mode of this file), checks that the outputs of
the three agree within one count, and prints the times and ratios of one run.
tavox runs with its default threads (one per CPU) and, with --one-thread,
also with --jobs=1 in the same run.

    bench/batch_bench.py --tavox build/ui/tavox --reference build/bench/fftw_reference

Times come from hyperfine when it is installed (the median of its runs after
one warm-up, every output deleted before each run, so that each run creates its
files), otherwise from the best of --runs wall-clock runs.
"""

import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

TWO_PI_15 = 6.28318530717958

# name, folder, files, samples per file, method, window, width, repeat
JOBS = [
    ("simple-65536", "wide", 256, 65536, "s", "h", 65536, 1),
    ("simple-1024", "mid", 4096, 1024, "s", "h", 1024, 1),
    ("simple-128", "small", 4000, 128, "s", "r", 128, 1),
    ("average-4096", "long", 1, 4194304, "a", "h", 4096, 999),
    ("multi-1024", "long", 1, 4194304, "m", "h", 1024, 999),
]
TAVOX_METHOD = {"s": "e", "a": "p", "m": "m"}
TAVOX_WINDOW = {"r": "p", "h": "h"}
DATA_STAMP = "tavox-bench-data-1"


def generate(root):
    """Writes the input files unless the stamp says they are there."""
    import numpy as np

    stamp = os.path.join(root, "stamp")
    if os.path.exists(stamp) and open(stamp).read() == DATA_STAMP:
        return
    shutil.rmtree(root, ignore_errors=True)
    rng = np.random.default_rng(20240607)
    made = set()
    for _, folder, files, samples, *_ in JOBS:
        if folder in made:
            continue
        made.add(folder)
        path = os.path.join(root, folder)
        os.makedirs(path)
        n = np.arange(samples)
        for f in range(files):
            tone = 3000 * np.sin(TWO_PI_15 * n * (37.25 + f % 17) / 1024)
            noise = rng.normal(0, 800, samples)
            signal = np.clip(np.rint(tone + noise), -32768, 32767).astype("<i2")
            signal.tofile(os.path.join(path, "s%05d.dat" % f))
    with open(stamp, "w") as out:
        out.write(DATA_STAMP)


def inputs(root, folder):
    path = os.path.join(root, folder)
    return [os.path.join(path, name) for name in sorted(os.listdir(path)) if name.endswith(".dat")]


def numpy_job(args):
    """The numpy script: one job over the *.dat files of a folder."""
    import numpy as np

    method, window, width, repeat, folder = args.method, args.window, args.width, args.repeat, args.folder
    files = sorted(os.path.join(folder, f) for f in os.listdir(folder) if f.endswith(".dat"))
    weights = None
    if window == "h":
        weights = 1 - np.cos(np.arange(width) * TWO_PI_15 / width)

    def magnitudes(block):
        if weights is not None:
            block = block * weights
        return np.abs(np.fft.rfft(block, axis=-1)[..., : width // 2]) * (2.0 / width)

    def write(path, values):
        np.clip(np.rint(np.nan_to_num(values)), -32767, 32767).astype("<i2").tofile(path)

    if method == "s":
        chunk = max(1, (1 << 22) // width)
        for first in range(0, len(files), chunk):
            names = files[first : first + chunk]
            block = np.stack([np.fromfile(name, dtype="<i2", count=width) for name in names]).astype(np.float64)
            spectra = magnitudes(block)
            for name, spectrum in zip(names, spectra):
                write(os.path.splitext(name)[0] + ".np", spectrum)
        return
    for name in files:
        samples = np.fromfile(name, dtype="<i2")
        step = (len(samples) - width) // (repeat - 1)
        starts = np.arange(repeat) * step
        block = samples[starts[:, None] + np.arange(width)].astype(np.float64)
        spectra = magnitudes(block)
        if method == "a":
            write(os.path.splitext(name)[0] + ".np", spectra.sum(axis=0) / repeat)
        else:
            base = os.path.splitext(name)[0] + "_n."
            for k, spectrum in enumerate(spectra, 1):
                write(base + "%03d" % k, spectrum)


def commands(job, root, tavox, reference, wisdom):
    name, folder, _, _, method, window, width, repeat = job
    path = os.path.join(root, folder)
    mask = "*_t.*" if method == "m" else "*.tvx"
    tavox_cmd = [tavox, TAVOX_METHOD[method], TAVOX_WINDOW[window], str(width), path + "/*.dat", mask]
    if method != "s":
        tavox_cmd.append(str(repeat))
    fftw_cmd = [reference, method, window, str(width), str(repeat), wisdom, path]
    numpy_cmd = [sys.executable, os.path.abspath(__file__), "numpy-job", method, window, str(width), str(repeat), path]
    return tavox_cmd, fftw_cmd, numpy_cmd


def output_pairs(job, root):
    """Pairs of (tavox, fftw, numpy) output paths of a job."""
    _, folder, _, _, method, _, _, repeat = job
    for source in inputs(root, folder):
        base = os.path.splitext(source)[0]
        if method == "m":
            for k in range(1, repeat + 1):
                yield base + "_t.%03d" % k, base + "_f.%03d" % k, base + "_n.%03d" % k
        else:
            yield base + ".tvx", base + ".fftw", base + ".np"


def agreement(job, root):
    """Largest difference in counts between tavox and the two others, and the
    number of samples that differ at all."""
    import numpy as np

    worst, differing, total = 0, 0, 0
    for ours, fftw, nump in output_pairs(job, root):
        a = np.fromfile(ours, dtype="<i2").astype(np.int32)
        for other in (fftw, nump):
            b = np.fromfile(other, dtype="<i2").astype(np.int32)
            if a.shape != b.shape:
                return None
            d = np.abs(a - b)
            worst = max(worst, int(d.max(initial=0)))
            differing += int(np.count_nonzero(d))
            total += d.size
    return worst, differing, total


def numpy_env():
    env = dict(os.environ)
    env.pop("OPENBLAS_CORETYPE", None)
    return env


def time_best(cmd, runs, env=None):
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, env=env)
    best = float("inf")
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, env=env)
        best = min(best, time.perf_counter() - start)
    return best


# Every output the three programs write, for find.
OUTPUT_PATTERNS = ["*.tvx", "*.fftw", "*.np", "*_[tfn].[0-9][0-9][0-9]"]


def delete_outputs_command(folder):
    tests = " -o ".join("-name '%s'" % pattern for pattern in OUTPUT_PATTERNS)
    return "find %s '(' %s ')' -delete" % (shlex_quote(folder), tests)


def time_hyperfine(cmds, runs, folder):
    """Median seconds of each command, measured by hyperfine in one run, with
    the outputs in `folder` deleted before each run."""
    with tempfile.NamedTemporaryFile(suffix=".json") as report:
        argv = ["hyperfine", "-N", "--warmup", "1", "--runs", str(runs), "--export-json", report.name, "--style", "none"]
        argv += ["--prepare", delete_outputs_command(folder)]
        wrapped = []
        for cmd, env in cmds:
            if env is not None:
                cmd = ["env", "-u", "OPENBLAS_CORETYPE"] + cmd
            wrapped.append(" ".join(shlex_quote(part) for part in cmd))
        subprocess.run(argv + wrapped, check=True, stdout=subprocess.DEVNULL)
        results = json.load(open(report.name))["results"]
    return [r["median"] for r in results]


def shlex_quote(text):
    import shlex

    return shlex.quote(text)


def main():
    if len(sys.argv) > 1 and sys.argv[1] == "numpy-job":
        parser = argparse.ArgumentParser()
        parser.add_argument("mode")
        parser.add_argument("method")
        parser.add_argument("window")
        parser.add_argument("width", type=int)
        parser.add_argument("repeat", type=int)
        parser.add_argument("folder")
        numpy_job(parser.parse_args())
        return 0

    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--tavox", required=True)
    parser.add_argument("--reference", required=True, help="the fftw_reference program")
    parser.add_argument("--root", default="/dev/shm/tavox_bench", help="data folder, on tmpfs")
    parser.add_argument("--runs", type=int, default=10)
    parser.add_argument("--jobs", default="", help="comma-separated job names; all by default")
    parser.add_argument("--no-hyperfine", action="store_true")
    parser.add_argument("--one-thread", action="store_true", help="also time tavox --jobs=1")
    args = parser.parse_args()

    tavox = os.path.abspath(args.tavox)
    reference = os.path.abspath(args.reference)
    generate(args.root)
    wisdom = os.path.join(args.root, "fftw.wisdom")
    use_hyperfine = shutil.which("hyperfine") is not None and not args.no_hyperfine
    chosen = [j for j in JOBS if not args.jobs or j[0] in args.jobs.split(",")]

    print("timing: %s" % ("hyperfine, median of %d runs" % args.runs if use_hyperfine else "best of %d runs" % args.runs))
    if args.one_thread:
        print("%-14s %9s %9s %9s %9s %11s %11s %11s  %s" % ("job", "tavox s", "1 thr s", "fftw s", "numpy s",
                                                             "tavox/fftw", "1 thr/fftw", "tavox/numpy", "agreement"))
    else:
        print("%-14s %9s %9s %9s %11s %11s  %s" % ("job", "tavox s", "fftw s", "numpy s", "tavox/fftw", "tavox/numpy",
                                                   "agreement"))
    failed = False
    for job in chosen:
        tavox_cmd, fftw_cmd, numpy_cmd = commands(job, args.root, tavox, reference, wisdom)
        runs = [(tavox_cmd, None), (fftw_cmd, None), (numpy_cmd, numpy_env())]
        if args.one_thread:
            runs.append((tavox_cmd[:1] + ["--jobs=1"] + tavox_cmd[1:], None))
        folder = os.path.join(args.root, job[1])
        subprocess.run(delete_outputs_command(folder), shell=True, check=True)
        # The default run writes last, so the outputs compared are its own.
        for cmd, env in runs[3:] + runs[:3]:
            subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, env=env)
        agree = agreement(job, args.root)
        if use_hyperfine:
            times = time_hyperfine(runs, args.runs, folder)
        else:
            times = [time_best(cmd, args.runs, env) for cmd, env in runs]
        if agree is None:
            text = "outputs differ in length"
            failed = True
        else:
            worst, differing, total = agree
            text = "max diff %d, %d of %d samples differ" % (worst, differing, total)
            failed |= worst > 1
        t, f, n = times[:3]
        if args.one_thread:
            one = times[3]
            print("%-14s %9.4f %9.4f %9.4f %9.4f %11.2f %11.2f %11.3f  %s" % (job[0], t, one, f, n, t / f, one / f,
                                                                           t / n, text), flush=True)
        else:
            print("%-14s %9.4f %9.4f %9.4f %11.2f %11.3f  %s" % (job[0], t, f, n, t / f, t / n, text), flush=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
