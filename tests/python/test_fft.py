"""fft="fast" (--fft=fast): FFTW's real-input transform against numpy.fft.rfft."""

import json
import os
import pickle
import subprocess

import numpy as np
import pytest

import tavox
from tavox._tavox import BatchSettings

TAVOX = os.environ.get("TAVOX_EXE", "")
TOLERANCE = 1e-12  # of the largest bin


def tones(count, seed):
    rng = np.random.default_rng(seed)
    t = np.arange(count, dtype=np.float64)
    x = 12000 * np.sin(0.1234567 * t) + 9000 * np.sin(1.7654321 * t + 1) + rng.normal(0, 400, count)
    return np.clip(np.rint(x), -32768, 32767).astype(np.int16)


def rfft_bins(x, window, points=None):
    w = tavox.window_weights(window, len(x))
    return np.fft.rfft(x.astype(np.float64) * w, points)[: (points or len(x)) // 2], w


@pytest.mark.parametrize("width", [128, 1024, 8192, 65536])
@pytest.mark.parametrize("window", ["rect", "hann", "flattop"])
def test_fast_spectrum_is_numpys_rfft(width, window):
    x = tones(width, width)
    expected = 2 * np.abs(rfft_bins(x, window)[0]) / width
    got = tavox.spectrum(x, width, window=window, dtype="float64", fft="fast").magnitude
    assert np.abs(got - expected).max() < TOLERANCE * expected.max()


def test_fast_power_with_padding_is_numpys_rfft():
    bins, w = rfft_bins(tones(512, 3), "hann", 4096)
    expected = np.abs(bins) ** 2 * 2 / w.sum() ** 2
    expected[0] /= 2
    got = tavox.spectrum(tones(512, 3), 512, window="hann", scale="power", pad=4096, fft="fast").magnitude
    assert np.abs(got - expected).max() < 4 * TOLERANCE * expected.max()


def test_settings_keep_the_transform_and_refuse_other_names(tmp_path):
    settings = BatchSettings()
    assert pickle.loads(pickle.dumps(settings)).fft == "exact" and "exact" not in repr(settings)
    settings.fft = "fast"
    assert pickle.loads(pickle.dumps(settings)).fft == "fast"
    with pytest.raises(ValueError, match="fft"):
        tavox.spectrum(tones(128, 1), 128, fft="quick")
    tones(4096, 10).tofile(tmp_path / "s.dat")
    for fft in ("exact", "fast"):
        tavox.transform_files(tmp_path / "s.dat", "*." + fft, width=1024, method="average", repeat=4, fft=fft)
    exact, fast = (np.fromfile(tmp_path / ("s." + fft), "<i2").astype(int) for fft in ("exact", "fast"))
    assert exact.size == 512 and np.abs(fast - exact).max() <= 1


@pytest.mark.skipif(not TAVOX, reason="needs the program (TAVOX_EXE)")
def test_program_csv_and_measured_wisdom(tmp_path):
    x = tones(2048, 77)
    x.tofile(tmp_path / "a.dat")
    cache = tmp_path / "cache"
    env = dict(os.environ, XDG_CACHE_HOME=str(cache), TAVOX_FFT_PLAN="measure")
    for fft in ("exact", "fast"):
        subprocess.run([TAVOX, "--quiet", "--fft=" + fft, "--format=csv", "--report=" + str(tmp_path / fft), "e", "f",
                        "2048", str(tmp_path / "a.dat"), "*.csv"], check=True, env=env)
        line = json.loads((tmp_path / fft).read_text().splitlines()[0])
        assert line.get("fft") == (None if fft == "exact" else "fast"), line
    got = np.loadtxt(tmp_path / "a.csv", delimiter=",", skiprows=1)[:, 1]
    expected = 2 * np.abs(rfft_bins(x, "flattop")[0]) / 2048
    assert np.abs(got - expected).max() < TOLERANCE * expected.max()
    assert sorted(os.listdir(cache / "tavox")) == ["fftw-wisdom"]
    assert (cache / "tavox" / "fftw-wisdom").read_text().startswith("(fftw-3")
    bad = subprocess.run([TAVOX, "--fft=fastest", "e", "f", "2048", str(tmp_path / "a.dat"), "*.x"],
                         capture_output=True, text=True)
    assert bad.returncode == 2 and bad.stderr.count("\n") == 1 and "--fft" in bad.stderr
