"""fft="fast" (--fft=fast): FFTW's real-input transform, against numpy.fft.rfft
as the oracle and within one count of fft="exact" on raw outputs."""

import os
import pickle
import subprocess

import numpy as np
import pytest

import tavox
from tavox._tavox import BatchSettings

TAVOX = os.environ.get("TAVOX_EXE", "")
# Largest error of a bin against numpy.fft.rfft, relative to the largest bin.
TOLERANCE = 1e-12


def tones(count, seed):
    rng = np.random.default_rng(seed)
    t = np.arange(count, dtype=np.float64)
    x = 12000 * np.sin(0.1234567 * t) + 9000 * np.sin(1.7654321 * t + 1) + rng.normal(0, 400, count)
    return np.clip(np.rint(x), -32768, 32767).astype(np.int16)


def rfft_amplitude(x, window):
    width = len(x)
    spectrum = np.fft.rfft(x * tavox.window_weights(window, width))[: width // 2]
    return 2 * np.abs(spectrum) / width


@pytest.mark.parametrize("width", [128, 1024, 8192, 65536])
@pytest.mark.parametrize("window", ["rect", "hann", "flattop"])
def test_fast_spectrum_is_numpys_rfft(width, window):
    x = tones(width, width)
    got = tavox.spectrum(x, width, window=window, dtype="float64", fft="fast")
    expected = rfft_amplitude(x.astype(np.float64), window)
    assert np.abs(got - expected).max() < TOLERANCE * expected.max()
    rounded = tavox.spectrum(x, width, window=window, fft="fast")
    exact = tavox.spectrum(x, width, window=window)
    assert np.abs(rounded.astype(int) - exact.astype(int)).max() <= 1


def test_fast_power_with_padding_is_numpys_rfft():
    x = tones(512, 3).astype(np.float64)
    got = tavox.spectrum(x[:512], 512, window="hann", scale="power", pad=4096, fft="fast")
    w = tavox.window_weights("hann", 512)
    expected = np.abs(np.fft.rfft(x[:512] * w, 4096)[:2048]) ** 2 * 2 / w.sum() ** 2
    expected[0] /= 2
    assert np.abs(got - expected).max() < 4 * TOLERANCE * expected.max()


def test_bad_transform_names_are_refused():
    with pytest.raises(ValueError, match="fft"):
        tavox.spectrum(tones(128, 1), 128, fft="quick")
    settings = BatchSettings()
    assert pickle.loads(pickle.dumps(settings)).fft == "exact" and "exact" not in repr(settings)
    settings.fft = "fast"
    assert pickle.loads(pickle.dumps(settings)).fft == "fast"
    with pytest.raises(ValueError, match="fft"):
        settings.fft = "slow"


def test_transform_files_fast_is_within_one_count(tmp_path):
    for k in range(3):
        tones(4096, 10 + k).tofile(tmp_path / ("s%d.dat" % k))
    for fft in ("exact", "fast"):
        results = tavox.transform_files(tmp_path / "s?.dat", "*." + fft, width=1024, window="hann",
                                        method="average", repeat=4, fft=fft)
        assert [r.code for r in results] == [tavox.fftResultEnum.fftResultAllRight] * 3
    for k in range(3):
        exact = np.fromfile(tmp_path / ("s%d.exact" % k), "<i2").astype(int)
        fast = np.fromfile(tmp_path / ("s%d.fast" % k), "<i2").astype(int)
        assert exact.size == 512 and np.abs(fast - exact).max() <= 1


@pytest.mark.skipif(not TAVOX, reason="needs the program (TAVOX_EXE)")
def test_program_csv_and_measured_wisdom(tmp_path):
    x = tones(2048, 77)
    x.tofile(tmp_path / "a.dat")
    cache = tmp_path / "cache"
    env = dict(os.environ, XDG_CACHE_HOME=str(cache), TAVOX_FFT_PLAN="measure")
    subprocess.run([TAVOX, "--quiet", "--fft=fast", "--format=csv", "e", "f", "2048", str(tmp_path / "a.dat"),
                    "*.csv"], check=True, env=env)
    got = np.loadtxt(tmp_path / "a.csv", delimiter=",", skiprows=1)[:, 1]
    expected = rfft_amplitude(x.astype(np.float64), "flattop")
    assert np.abs(got - expected).max() < TOLERANCE * expected.max()
    assert sorted(os.listdir(cache / "tavox")) == ["fftw-wisdom"]
    assert (cache / "tavox" / "fftw-wisdom").read_text().startswith("(fftw-3")
    bad = subprocess.run([TAVOX, "--fft=fastest", "e", "f", "2048", str(tmp_path / "a.dat"), "*.x"],
                         capture_output=True, text=True)
    assert bad.returncode == 2 and bad.stderr.count("\n") == 1 and "--fft" in bad.stderr
