"""The tavox program's csv, f32 and npy outputs and --average modes, against numpy; --peaks against scipy."""

import csv
import io
import os
import subprocess

import numpy as np
import pytest

TAVOX = os.environ.get("TAVOX_EXE", "")
WINDOWS = {"p": "rect", "h": "hann", "f": "flattop"}



def run(*arguments, cwd=None):
    assert os.path.exists(TAVOX), "TAVOX_EXE must name the tavox program"
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    return subprocess.run([TAVOX, *arguments], capture_output=True, text=True, env=env, cwd=cwd)


def window(letter, n):
    x = np.arange(n) * 2 * np.pi / n
    if letter == "h":
        return 1 - np.cos(x)
    if letter == "f":
        return 1 - 1.93 * np.cos(x) + 1.29 * np.cos(2 * x) - 0.388 * np.cos(3 * x) + 0.028 * np.cos(4 * x)
    return np.ones(n)


def exposures(samples, width, repeat, letter, center=False):
    """Magnitudes of each exposure, placed as the average method places them
    over the whole file: the first at the start, the last ending at the end."""
    step = (len(samples) - width) // (repeat - 1)
    rows = []
    for e in range(repeat):
        x = samples[e * step : e * step + width].astype(np.float64)
        if center:
            x = x - x.mean()
        spectrum = np.fft.fft(x * window(letter, width)) * 2 / width
        rows.append(np.abs(spectrum[: width // 2]))
    return np.array(rows)


def combine(mags, mode):
    if mode == "mean":
        return mags.mean(axis=0)
    if mode == "rms":
        return np.sqrt(np.mean(mags**2, axis=0))
    if mode == "max":
        return mags.max(axis=0)
    return np.median(mags, axis=0)


def rounded(values):
    """What the raw output holds: rounded half to even, limited to +-32767."""
    return np.clip(np.round(values), -32767, 32767).astype(np.int16)


def signal(length, seed):
    rng = np.random.default_rng(seed)
    n = np.arange(length)
    x = 6000 * np.cos(2 * np.pi * 0.0625 * n) + 2000 * np.sin(2 * np.pi * 0.2 * n) + rng.normal(0, 1500, length)
    return np.clip(np.round(x + 300), -32768, 32767).astype(np.int16)


@pytest.mark.parametrize("letter", sorted(WINDOWS))
@pytest.mark.parametrize("mode", ["mean", "rms", "max", "median"])
def test_each_average_mode_matches_numpy_over_the_same_exposures(tmp_path, letter, mode):
    samples = signal(20000, seed=len(mode) * 10 + ord(letter))
    samples.tofile(tmp_path / "s.dat")
    width, repeat = 1024, 6  # an even count: the median is the mean of the two middle values
    r = run("--format=npy", f"--average={mode}", "p", letter, str(width), str(tmp_path / "s.dat"), "*.npy", str(repeat))
    assert r.returncode == 0, r.stderr
    got = np.load(tmp_path / "s.npy")
    expected = combine(exposures(samples, width, repeat, letter), mode)
    assert got.shape == (width // 2,)
    np.testing.assert_allclose(got, expected, rtol=1e-9, atol=1e-9 * expected.max())

    r = run(f"--average={mode}", "p", letter, str(width), str(tmp_path / "s.dat"), "*.raw", str(repeat))
    assert r.returncode == 0, r.stderr
    np.testing.assert_array_equal(np.fromfile(tmp_path / "s.raw", "<i2"), rounded(got))


def test_every_format_loads_in_numpy_with_the_frequency_axis_and_rounds_to_raw(tmp_path):
    samples = signal(4096, seed=1)
    samples.tofile(tmp_path / "s.dat")
    rate, width = 48000.0, 2048
    for fmt in ("raw", "csv", "f32", "npy"):
        r = run(f"--format={fmt}", f"--rate={rate:g}", "f", "h", str(width), str(tmp_path / "s.dat"), f"*.{fmt}")
        assert r.returncode == 0, r.stderr
    raw = np.fromfile(tmp_path / "s.raw", "<i2")
    assert raw.shape == (width,)

    npy = np.load(tmp_path / "s.npy")
    assert npy.shape == (2, width // 2) and npy.dtype == np.dtype("<f8")
    # The file is exactly what numpy.save writes for the same array.
    saved = io.BytesIO()
    np.save(saved, npy)
    assert (tmp_path / "s.npy").read_bytes() == saved.getvalue()

    with open(tmp_path / "s.csv", newline="") as f:
        rows = list(csv.reader(f))
    assert rows[0] == ["bin", "frequency_hz", "magnitude", "phase_deg"]
    table = np.array(rows[1:], dtype=np.float64)
    np.testing.assert_array_equal(table[:, 0], np.arange(width // 2))
    np.testing.assert_array_equal(table[:, 1], np.arange(width // 2) * rate / width)
    np.testing.assert_array_equal(table[:, 2:].T, npy)

    f32 = np.fromfile(tmp_path / "s.f32", "<f4")
    for values in (npy.ravel(), f32, table[:, 2:].T.ravel()):
        np.testing.assert_array_equal(rounded(values), raw)
    # The magnitudes against numpy's own FFT of the same exposure.
    spectrum = np.fft.fft(samples[:width] * window("h", width)) * 2 / width
    np.testing.assert_allclose(npy[0], np.abs(spectrum[: width // 2]), rtol=1e-9, atol=1e-7)


def test_relative_input_is_taken_from_the_current_folder(tmp_path):
    (tmp_path / "data").mkdir()
    signal(2048, seed=2).tofile(tmp_path / "data" / "x.dat")
    r = run("--format=csv", "e", "h", "1024", "data/x.dat", "*.csv", cwd=tmp_path)
    assert r.returncode == 0, r.stderr
    assert (tmp_path / "data" / "x.csv").read_text().startswith("bin,magnitude\n0,")


def expected_peaks(m):
    """The peaks --peaks lists, by scipy: local maxima and their prominences
    in the magnitudes with a zero at each end; kept when the prominence is 20
    dB over the median of the 65 bins around and the bin lies within 60 dB of
    the strongest; the strongest three."""
    signal_ = pytest.importorskip("scipy.signal")
    padded = np.concatenate([[0.0], m, [0.0]])
    found, _ = signal_.find_peaks(padded)
    prominences = signal_.peak_prominences(padded, found)[0]
    kept = [b for b, p in zip(found - 1, prominences)
            if p >= 10 * np.median(m[max(0, b - 32):b + 33]) and m[b] >= m.max() * 1e-3]
    return sorted(kept, key=lambda b: (-m[b], b))[:3]


@pytest.mark.parametrize("seed", range(12))
def test_peaks_are_those_scipy_finds(tmp_path, seed):
    rng = np.random.default_rng(seed)
    bins = (64, 512, 4096)[seed % 3]
    m = rng.rayleigh(rng.uniform(0.01, 100), bins)
    # Tones 12 to 32 dB over the median of the noise, some at the ends, with
    # the leakage of a Hanning window: about half of them stand out enough.
    for b in rng.integers(0, bins, 3).tolist() + [0, bins - 1][: seed % 3]:
        a = np.median(m) * 10 ** rng.uniform(0.6, 1.6)
        m[b] += a
        m[max(b - 1, 0)] += a / 2
        m[min(b + 1, bins - 1)] += a / 2
    np.save(tmp_path / "s.npy", m)
    r = run("--peaks=%s" % (tmp_path / "s.npy"))
    assert r.returncode == 0, r.stderr
    rows = list(csv.reader(io.StringIO(r.stdout)))
    assert rows[0] == ["bin", "magnitude"]
    assert [int(row[0]) for row in rows[1:]] == expected_peaks(m)
    assert [float(row[1]) for row in rows[1:]] == [m[b] for b in expected_peaks(m)]
