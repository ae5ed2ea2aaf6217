"""tavox.spectrum against an independent numpy reference, and bit for bit against the batch pipeline."""

import os
import subprocess
import sys
import threading
import time
import tracemalloc

import numpy as np
import pytest

import tavox

TAVOX = os.environ.get("TAVOX_EXE", "")
WINDOWS = ("rect", "hann", "flattop")
METHODS = ("simple", "average", "multi")


# ---------------------------------------------------------------- reference

def weights(window, n):
    x = np.arange(n) * 2 * np.pi / n
    if window == "hann":
        return 1 - np.cos(x)
    if window == "flattop":
        return 1 - 1.93 * np.cos(x) + 1.29 * np.cos(2 * x) - 0.388 * np.cos(3 * x) + 0.028 * np.cos(4 * x)
    return np.ones(n)


def position(value, length, default):
    """1-based sample position of a start or finish, as the command line reads it."""
    if value is None:
        return default
    if isinstance(value, str):
        text = value.strip()
        number = min(float(text.rstrip("%")) / 100, 0.9999) if text.endswith("%") else float(text)
    else:
        number = value
    if number == 0:
        return default
    return int(np.rint(length * number)) if number < 1 else int(np.rint(number))


def exposure(samples, first, width, window, center, conjugate):
    x = np.zeros(width)
    part = samples[max(first, 1) - 1:max(first, 1) - 1 + width]
    x[:part.size] = part
    if center:
        x = x - x.mean()
    bins = np.fft.fft(x * weights(window, width))[: width // 2] * 2 / width
    return np.conj(bins) if conjugate else bins


def phase_degrees(bins):
    degrees = np.degrees(np.arctan2(bins.imag, bins.real))
    degrees[(bins.imag == 0) & (bins.real < 0)] = 180.0
    degrees[(bins.imag == 0) & (bins.real == 0)] = 90.0
    return degrees


def reference(samples, width, window="rect", center=False, method="simple", repeat=2, start=None, finish=None,
              phase=False, average="mean"):
    """The spectrum computed independently with numpy: exposures placed as the
    methods place them, shaped, transformed, turned into magnitudes (and phases)."""
    samples = np.asarray(samples, dtype=np.float64)
    length = samples.size
    first = position(start, length, 1)
    if method == "simple":
        bins = exposure(samples, first, width, window, center, conjugate=True)
        if phase:
            return np.stack([np.abs(bins), phase_degrees(bins)])
        return np.abs(bins)
    last = position(finish, length, length)
    step = (last - first + 1 - width) // (repeat - 1)
    rows = np.array([np.abs(exposure(samples, first + k * step, width, window, center, conjugate=False))
                     for k in range(repeat)])
    if method == "multi":
        return rows
    return {"mean": lambda r: r.mean(axis=0), "rms": lambda r: np.sqrt((r * r).mean(axis=0)),
            "max": lambda r: r.max(axis=0), "median": lambda r: np.median(r, axis=0)}[average](rows)


def values(result):
    """The values of a Spectrum as an output holds them: magnitudes, then phases; of a Spectrogram, its rows."""
    if isinstance(result, tavox.Spectrogram):
        return result.S
    return result.magnitude if result.phase is None else np.stack([result.magnitude, result.phase])


def assert_close_to_reference(got, expected, dtype):
    assert got.shape == expected.shape
    scale = float(np.max(np.abs(expected)))
    if dtype == "float64":
        assert got.dtype == np.float64
        np.testing.assert_allclose(got, expected, rtol=1e-9, atol=1e-9 * scale)
    else:
        assert got.dtype == np.int16
        rounded = np.clip(np.rint(expected), -32767, 32767)
        difference = np.abs(got.astype(np.float64) - rounded)
        assert difference.max() <= 1 and np.count_nonzero(difference) <= max(1, difference.size // 100)


def assert_phases_close(got, expected, dtype):
    """Magnitudes as any spectrum; phases as angles, where the magnitude leaves them defined."""
    assert got.shape == expected.shape == (2, expected.shape[1])
    assert_close_to_reference(got[0], expected[0], dtype)
    defined = expected[0] > 1e-6 * expected[0].max()
    turn = (got[1].astype(np.float64) - expected[1] + 180.0) % 360.0 - 180.0
    assert np.abs(turn[defined]).max() <= (1e-6 if dtype == "float64" else 1.0)


@pytest.fixture(scope="module")
def noise():
    """Seeded 16-bit samples: a tone and an offset over noise."""
    rng = np.random.default_rng(2024)
    n = np.arange(20000)
    values = 6000 + 9000 * np.cos(2 * np.pi * 0.0123 * n) + rng.normal(0, 4000, n.size)
    return np.clip(np.rint(values), -32768, 32767).astype(np.int16)


@pytest.mark.parametrize("width", [128, 1024, 4096])
@pytest.mark.parametrize("window", WINDOWS)
@pytest.mark.parametrize("method", METHODS)
@pytest.mark.parametrize("dtype", ["int16", "float64"])
def test_every_method_window_width_and_dtype_match_the_reference(noise, width, window, method, dtype):
    for center in (False, True):
        kwargs = dict(window=window, center=center, method=method, repeat=5)
        got = values(tavox.spectrum(noise, width, dtype=dtype, **kwargs))
        assert_close_to_reference(got, reference(noise, width, **kwargs), dtype)
    if method == "simple":
        got = values(tavox.spectrum(noise, width, window=window, phase=True, start=333, dtype=dtype))
        assert_phases_close(got, reference(noise, width, window=window, phase=True, start=333), dtype)
    if method == "average":
        for average in ("rms", "max", "median"):
            got = values(tavox.spectrum(noise, width, window=window, method=method, repeat=6, average=average,
                                        dtype=dtype))
            expected = reference(noise, width, window=window, method=method, repeat=6, average=average)
            assert_close_to_reference(got, expected, dtype)


def test_float_samples_match_the_reference_and_int16_rounds_the_float64_result():
    rng = np.random.default_rng(5)
    samples = rng.normal(0.0, 1.0, 9000) * 1e-3 + np.sin(np.arange(9000) * 0.3) * 2e4
    for method in METHODS:
        as_float = values(tavox.spectrum(samples, 2048, window="hann", method=method, repeat=3))
        assert_close_to_reference(as_float, reference(samples, 2048, window="hann", method=method, repeat=3),
                                  "float64")
        as_int = values(tavox.spectrum(list(samples), 2048, window="hann", method=method, repeat=3, dtype="int16"))
        np.testing.assert_array_equal(as_int, np.clip(np.rint(as_float), -32767, 32767).astype(np.int16))


def test_shapes_and_placement_by_start_and_finish(noise):
    assert tavox.spectrum(noise, 256).magnitude.shape == (128,)
    assert values(tavox.spectrum(noise, 256, phase=True)).shape == (2, 128)
    assert tavox.spectrum(noise, 256, method="average", repeat=7).magnitude.shape == (128,)
    assert tavox.spectrum(noise, 256, method="multi", repeat=7).S.shape == (7, 128)
    # phase and average do not apply to the other methods, as in a batch
    assert values(tavox.spectrum(noise, 256, method="multi", repeat=3, phase=True)).shape == (3, 128)
    np.testing.assert_array_equal(tavox.spectrum(noise, 256, average="max"), tavox.spectrum(noise, 256))
    for start, finish in ((1000, None), (0.25, "75%"), ("10%", 15000), ("2000", "0.5"), (0, 0), ("0%", None)):
        kwargs = dict(window="hann", method="multi", repeat=4, start=start, finish=finish)
        got = values(tavox.spectrum(noise, 512, **kwargs))
        assert_close_to_reference(got, reference(noise, 512, **kwargs), "float64")


def test_int16_is_the_bytes_of_a_disk_batch_and_float64_the_cells_of_a_sheet(noise, tmp_path):
    """The same samples through the object model: a sequence file on disk and a numpy range."""
    (tmp_path / "sig.dat").write_bytes(noise.astype("<i2").tobytes())
    cases = [dict(method="simple", phase=True, center=True), dict(method="simple", window="flattop"),
             dict(method="average", repeat=9, window="hann"), dict(method="multi", repeat=4, start="10%")]
    for average in ("mean", "rms", "max", "median"):
        cases.append(dict(method="average", repeat=5, average=average, finish=12000))
    methods = {"simple": tavox.fftMethodSimple, "average": tavox.fftMethodAverage, "multi": tavox.fftMethodMulti}
    windows = {"rect": 0, "hann": 1, "flattop": 2}
    for case in cases:
        for name in os.listdir(tmp_path):
            if name != "sig.dat":
                os.remove(tmp_path / name)
        app = tavox.Application()
        p = app.FFTParameters
        p.Width, p.Method, p.Repeat = 1024, methods[case["method"]], case.get("repeat", 2)
        p.Window, p.Phase, p.Center = windows[case.get("window", "rect")], case.get("phase", False), case.get(
            "center", False)
        if "start" in case:
            p.Start = case["start"]
        if "finish" in case:
            p.Finish = case["finish"]
        app.average = case.get("average", "mean")
        app.FFTFiles.Add(tavox.fftDataDiskFile, str(tmp_path / "sig.dat"), "*out.*")
        rows = case.get("repeat", 2) if case["method"] == "multi" else 1
        target = np.zeros((2048, rows))
        app.FFTFiles.Add(tavox.fftDataExcelRange, tavox.NumpyRange(noise.astype(np.float64)),
                         tavox.NumpyRange(target))
        app.FFTExecute()

        got = tavox.spectrum(noise, 1024, **case)
        outputs = sorted(name for name in os.listdir(tmp_path) if name != "sig.dat")
        on_disk = b"".join((tmp_path / name).read_bytes() for name in outputs)
        assert got.to_int16().tobytes() == on_disk, case
        assert values(tavox.spectrum(noise, 1024, dtype="int16", **case)).tobytes() == on_disk, case

        if case.get("average", "mean") == "mean":
            cells = values(got)
            filled = target[: cells.size // rows].T.reshape(cells.shape)
            assert cells.tobytes() == filled.tobytes(), case


def test_start_and_finish_are_read_as_the_command_line_reads_them(noise, tmp_path):
    assert os.path.exists(TAVOX), "TAVOX_EXE must name the tavox program"
    (tmp_path / "sig.dat").write_bytes(noise.astype("<i2").tobytes())
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    for start, finish in (("25%", "75%"), ("1000", "15000"), ("0.1", "0.9"), ("1e3", "100%"), ("0", "0")):
        subprocess.run([TAVOX, "m", "h", "512", str(tmp_path / "sig.dat"), "*.*", "3", start, finish], check=True,
                       capture_output=True, env=env)
        outputs = b"".join((tmp_path / ("sig.%03d" % k)).read_bytes() for k in (1, 2, 3))
        got = tavox.spectrum(noise, 512, window="hann", method="multi", repeat=3, start=start, finish=finish)
        assert got.to_int16().tobytes() == outputs, (start, finish)
        as_numbers = {"1000": 1000, "15000": 15000, "0.1": 0.1, "0.9": 0.9, "1e3": 1e3}
        if start in as_numbers:
            again = tavox.spectrum(noise, 512, window="hann", method="multi", repeat=3, start=as_numbers[start],
                                   finish=as_numbers.get(finish, finish))
            np.testing.assert_array_equal(again, got)


def test_samples_of_every_kind_of_array_like():
    rng = np.random.default_rng(3)
    ints = rng.integers(-32768, 32768, 4096)
    expected = tavox.spectrum(ints.astype(np.int16), 1024).magnitude
    for samples in (ints, ints.astype(np.int32), list(ints), tuple(int(v) for v in ints), ints.astype(np.float64),
                    ints.astype(np.float32), ints.astype(np.int16).astype(">i2"), ints.astype(np.int16)[::-1][::-1],
                    np.repeat(ints.astype(np.int16), 2)[::2], ints.astype(object)):
        np.testing.assert_array_equal(tavox.spectrum(samples, 1024), expected)
    wide = np.array([40000] * 2048)  # beyond 16 bits: read as numbers, not wrapped
    assert tavox.spectrum(wide, 1024).magnitude[0] == pytest.approx(80000.0)
    assert tavox.spectrum(wide, 1024, dtype="int16").magnitude[0] == 32767


def test_int16_samples_are_not_copied():
    samples = np.random.default_rng(1).integers(-1000, 1000, 40_000_000).astype(np.int16)  # 80 MB
    tracemalloc.start()
    try:
        tavox.spectrum(samples, 65536, method="average", repeat=3)
        peak = tracemalloc.get_traced_memory()[1]
    finally:
        tracemalloc.stop()
    assert peak < 10_000_000


BAD_ARGUMENTS = [
    (dict(width=1000), ValueError, "power of two"),
    (dict(width=64), ValueError, "power of two"),
    (dict(width=131072), ValueError, "power of two"),
    (dict(width=1024.0), TypeError, "width must be an int"),
    (dict(width=True), TypeError, "width must be an int"),
    (dict(window="hanning"), ValueError, "window must be one of 'rect', 'hann', 'flattop'"),
    (dict(window=1), TypeError, "window must be one of"),
    (dict(method="avg"), ValueError, "method must be one of 'simple', 'average', 'multi'"),
    (dict(method="average", repeat=1), ValueError, "repeat must be from 2 to 999"),
    (dict(method="multi", repeat=1000), ValueError, "repeat must be from 2 to 999"),
    (dict(repeat=2.5), TypeError, "repeat must be an int"),
    (dict(start=-1), ValueError, "start must be a sample number"),
    (dict(start="abc"), ValueError, "start='abc' is neither"),
    (dict(finish="150%"), ValueError, "more than 100%"),
    (dict(finish=float("nan")), ValueError, "finish must be a sample number"),
    (dict(start=[1]), TypeError, "start must be an int, a float or a str"),
    (dict(phase=1), TypeError, "phase must be a bool"),
    (dict(center="yes"), TypeError, "center must be a bool"),
    (dict(dtype="float32"), ValueError, "dtype must be 'int16' or 'float64'"),
    (dict(dtype=None), TypeError, "dtype must be 'int16' or 'float64'"),
    (dict(average="mode"), ValueError, "average must be one of 'mean', 'rms', 'max', 'median'"),
    (dict(samples=np.zeros((4, 4))), ValueError, "samples must be 1-D, not 2-D"),
    (dict(samples=5.0), ValueError, "samples must be 1-D, not 0-D"),
    (dict(samples=["a", "b"]), TypeError, "samples must be numbers"),
    (dict(samples=[1.0, None]), TypeError, "samples must be numbers"),
    (dict(samples=np.ones(300, dtype=bool)), TypeError, "samples must be numbers"),
    (dict(samples=np.ones(300, dtype=complex)), TypeError, "samples must be numbers"),
    (dict(samples=[1.0, float("inf")] * 200), ValueError, "samples[1] is inf"),
    (dict(samples=np.zeros(100)), tavox.TransformError, "100 samples, width 256"),
    (dict(samples=np.full(256, 1e307)), tavox.TransformError, "result code 6"),
    (dict(method="average", repeat=50, samples=np.zeros(300)), tavox.TransformError, "repeat 50"),
]


@pytest.mark.parametrize("change,error,text", BAD_ARGUMENTS)
def test_bad_arguments_raise_numpy_style_errors(change, error, text):
    arguments = dict(samples=np.zeros(1000, dtype=np.int16), width=256)
    arguments.update(change)
    with pytest.raises(error) as info:
        tavox.spectrum(arguments.pop("samples"), arguments.pop("width"), **arguments)
    assert text in str(info.value)


def test_transform_errors_carry_the_result_code():
    with pytest.raises(ValueError) as info:
        tavox.spectrum(np.zeros(10), 128, method="multi", repeat=2)
    assert info.value.code is tavox.fftResultShortFile and "did not fit" in info.value.message
    with pytest.raises(tavox.TransformError) as info:
        tavox.spectrum(np.full(256, 1e307), 256)
    assert info.value.code == 6 and isinstance(info.value.code, tavox.fftResultEnum)


def test_spectrum_releases_the_gil_and_runs_on_threads_at_once():
    samples = np.random.default_rng(8).integers(-9000, 9000, 65536 * 4).astype(np.int16)
    alone = tavox.spectrum(samples, 65536, method="average", repeat=60, window="hann")
    results, entered = {}, [threading.Event() for _ in range(3)]

    def work(index):
        entered[index].set()
        results[index] = tavox.spectrum(samples, 65536, method="average", repeat=60, window="hann")

    # With a switch interval this long, a thread gives the GIL up only where
    # it says so: this thread wakes from wait() only once a worker's
    # transform lets go of it, which it then holds until it waits again.
    interval = sys.getswitchinterval()
    sys.setswitchinterval(1000)
    try:
        workers = [threading.Thread(target=work, args=(i,)) for i in range(3)]
        running = []
        for index, worker in enumerate(workers):
            worker.start()
            entered[index].wait()
            running.append(sorted(set(range(index + 1)) - set(results)))
        for worker in workers:
            worker.join(120)
    finally:
        sys.setswitchinterval(interval)
    assert running[0] == [0]
    assert all(index in pending for index, pending in enumerate(running)), running
    for index in range(3):
        np.testing.assert_array_equal(results[index], alone)


def test_jobs_spread_a_long_average_over_threads_and_change_no_value():
    samples = np.random.default_rng(9).integers(-30000, 30000, 400000).astype(np.int16)
    cells = samples.astype(np.float64) + 0.25
    for source in (samples, cells):
        for average in ("mean", "median"):
            for dtype in ("int16", "float64"):
                arguments = dict(method="average", repeat=300, window="hann", average=average, dtype=dtype)
                one = tavox.spectrum(source, 1024, jobs=1, **arguments)
                for jobs in (2, 7, None):
                    assert tavox.spectrum(source, 1024, jobs=jobs, **arguments).magnitude.tobytes() == \
                        one.magnitude.tobytes()

    def added_threads(jobs, calls):
        """Threads that appeared beside a watcher while up to `calls` spectra ran, the calls ending once one has.
        The workers live only while a spectrum runs, and on a loaded machine the watcher may miss them in some
        calls, never in all. Threads are told apart by id, as one that has been joined may still be listed for a
        moment while it ends."""
        before = set(os.listdir("/proc/self/task"))
        new, watching, stop = set(), threading.Event(), threading.Event()

        def watch():
            own = str(threading.get_native_id())
            while not stop.is_set():
                new.update(set(os.listdir("/proc/self/task")) - before - {own})
                watching.set()

        watcher = threading.Thread(target=watch)
        watcher.start()
        watching.wait()
        deadline = time.monotonic() + 120
        for _ in range(calls):
            tavox.spectrum(samples, 1024, method="average", repeat=300, jobs=jobs)
            if new or time.monotonic() > deadline:
                break
        stop.set()
        watcher.join()
        return len(new)

    assert added_threads(1, 5) == 0
    assert added_threads(2, 100000) > 0
    for value, error in ((-1, ValueError), (257, ValueError), (True, TypeError), ("2", TypeError)):
        with pytest.raises(error, match="jobs"):
            tavox.spectrum(samples, 1024, method="average", repeat=3, jobs=value)


def test_read_spectrum_reads_every_format_back(noise, tmp_path):
    assert os.path.exists(TAVOX), "TAVOX_EXE must name the tavox program"
    (tmp_path / "sig.dat").write_bytes(noise.astype("<i2").tobytes())
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    as_float = values(tavox.spectrum(noise, 1024, window="hann", phase=True))
    as_int = values(tavox.spectrum(noise, 1024, window="hann", phase=True, dtype="int16"))
    for form, extension in (("raw", "spc"), ("csv", "csv"), ("f32", "f32"), ("npy", "npy")):
        subprocess.run([TAVOX, "--format=" + form, "f", "h", "1024", str(tmp_path / "sig.dat"), "*." + extension],
                       check=True, capture_output=True, env=env)
        path = tmp_path / ("sig." + extension)
        read = tavox.read_spectrum(path, width=1024, phase=True)
        assert values(read).shape == (2, 512) and read.magnitude.dtype == np.float64
        if form == "raw":
            assert read.to_int16().tobytes() == as_int.tobytes()
        elif form == "f32":
            np.testing.assert_array_equal(values(read), as_float.astype(np.float32))
        else:
            assert values(read).tobytes() == as_float.tobytes()
    raw = tmp_path / "sig.spc"
    assert tavox.read_spectrum(str(raw)).magnitude.shape == (1024,)
    assert tavox.read_spectrum(raw, format="raw", phase=True).to_int16().tobytes() == as_int.tobytes()
    with pytest.raises(ValueError, match="512 values per block, not the 256 of width 512"):
        tavox.read_spectrum(raw, width=512, phase=True)
    plain = tmp_path / "plain.npy"
    np.save(plain, np.zeros(64))
    with pytest.raises(ValueError, match="holds no phases"):
        tavox.read_spectrum(plain, phase=True)
    with pytest.raises(ValueError, match="format must be one of"):
        tavox.read_spectrum(raw, format="xls")
    (tmp_path / "odd.spc").write_bytes(b"abc")
    with pytest.raises(ValueError, match="not a whole number"):
        tavox.read_spectrum(tmp_path / "odd.spc")


def test_help_describes_the_array_functions():
    for function in (tavox.spectrum, tavox.read_spectrum):
        assert len(function.__doc__) > 400
    text = subprocess.run([sys.executable, "-c", "import tavox; help(tavox.spectrum)"], capture_output=True, text=True,
                          env=dict(os.environ, PAGER="cat")).stdout
    assert "dtype" in text and "bytes a disk batch writes" in text
