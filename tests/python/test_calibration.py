"""Calibrated spectra (--scale, --unit, --overlap, --detrend, --pad) against scipy.signal.

Each case runs TAVOX (the tavox.spectrum function, or the tavox program
writing csv or npy) and SciPy's welch, periodogram or spectrogram on the
same seeded noise and tones, with TAVOX's window weights handed to SciPy:
every bin above 1e-12 of the largest agrees within 1e-9 relative.
"""

import json
import os
import subprocess

import numpy as np
import pytest
from scipy import signal
from scipy.signal._spectral_py import _median_bias

import tavox

TAVOX = os.environ.get("TAVOX_EXE", "")
LETTERS = {"rect": "p", "hann": "h", "flattop": "f"}
SCIPY_DETREND = {"none": False, "mean": "constant", "linear": "linear"}
SCIPY_SCALING = {"power": "spectrum", "psd": "density"}
FULL_SCALE = 32767.0
TOLERANCE = 1e-9
FLOOR = 1e-12


def assert_close(got, expected, what):
    """Every bin of `expected` above FLOOR of its largest within TOLERANCE relative."""
    got = np.asarray(got, dtype=np.float64)
    expected = np.asarray(expected, dtype=np.float64)
    assert got.shape == expected.shape, what
    shown = np.abs(expected) > FLOOR * np.abs(expected).max()
    error = np.abs(got[shown] - expected[shown]) / np.abs(expected[shown])
    assert error.max() < TOLERANCE, "%s: worst relative error %.3g at bin %d" % (
        what, error.max(), np.flatnonzero(shown)[np.argmax(error)])


@pytest.fixture(scope="module")
def samples():
    """Noise over a level, with two tones off their bins, as 16-bit samples."""
    rng = np.random.default_rng(2024)
    n = np.arange(24000)
    x = 1200 * np.cos(2 * np.pi * 0.0731 * n) + 300 * np.sin(2 * np.pi * 0.2113 * n + 0.4) + 150
    return np.round(x + rng.normal(0, 20, n.size)).astype(np.int16)


def hop(width, overlap):
    return int(round(width * (1 - overlap / 100)))


def segments(x, width, window, scale, detrend, overlap, pad, fs):
    """SciPy's one-sided spectrum of every Welch segment, bins 0 .. M/2 - 1."""
    _, _, per = signal.spectrogram(x.astype(np.float64), fs=fs, window=tavox.window_weights(window, width),
                                   nperseg=width, noverlap=width - hop(width, overlap), nfft=pad,
                                   detrend=SCIPY_DETREND[detrend], scaling=SCIPY_SCALING[scale], mode="psd")
    return per[: (pad or width) // 2].T


def welch(x, width, window, scale, detrend, overlap, pad, fs, average):
    if average in ("max", "min"):
        per = segments(x, width, window, scale, detrend, overlap, pad, fs)
        return per.max(axis=0) if average == "max" else per.min(axis=0)
    _, p = signal.welch(x.astype(np.float64), fs=fs, window=tavox.window_weights(window, width), nperseg=width,
                        noverlap=width - hop(width, overlap), nfft=pad, detrend=SCIPY_DETREND[detrend],
                        scaling=SCIPY_SCALING[scale], average=average)
    return p[: (pad or width) // 2]


def run(*arguments):
    assert os.path.exists(TAVOX), "TAVOX_EXE must name the tavox program"
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    return subprocess.run([TAVOX, *arguments], capture_output=True, text=True, env=env)


def read_output(path):
    if path.endswith(".npy"):
        return np.load(path)
    table = np.genfromtxt(path, delimiter=",", names=True)
    return table[table.dtype.names[-1]]


# Welch averages through tavox.spectrum: every window and scale with each
# detrending, overlap, padding and averaging mode.
@pytest.mark.parametrize("window", ["rect", "hann", "flattop"])
@pytest.mark.parametrize("scale", ["power", "psd"])
def test_welch_averages_match_scipy(samples, window, scale):
    width = 512
    for detrend in ("none", "mean", "linear"):
        for overlap in (0, 50, 62.5, 75):
            for pad in (None, 2048):
                for average in ("mean", "median", "max", "min"):
                    what = "%s %s detrend=%s overlap=%s pad=%s %s" % (window, scale, detrend, overlap, pad, average)
                    got = tavox.spectrum(samples, width, window=window, method="average", overlap=overlap,
                                         scale=scale, detrend=detrend, pad=pad, fs=8000.0, average=average)
                    assert_close(got, welch(samples, width, window, scale, detrend, overlap, pad, 8000.0, average),
                                 what)


# The simple method is SciPy's periodogram of one exposure, the multi
# method its spectrogram: each exposure on its own. Doubles as input too.
@pytest.mark.parametrize("width, pad", [(128, None), (4096, None), (1024, 65536), (65536, None)])
def test_periodogram_and_spectrogram_match_scipy(width, pad):
    rng = np.random.default_rng(width)
    x = 3000 * np.cos(2 * np.pi * 0.1 * np.arange(2 * width)) + rng.normal(0, 1, 2 * width)
    for window in ("rect", "hann", "flattop"):
        for scale in ("power", "psd"):
            for detrend in ("none", "linear"):
                got = tavox.spectrum(x, width, window=window, scale=scale, detrend=detrend, pad=pad, fs=1000.0)
                _, p = signal.periodogram(x[:width], fs=1000.0, window=tavox.window_weights(window, width),
                                          nfft=pad, detrend=SCIPY_DETREND[detrend], scaling=SCIPY_SCALING[scale])
                assert_close(got, p[: (pad or width) // 2], "simple %s %s %s" % (window, scale, detrend))
        multi = tavox.spectrum(x, width, window=window, method="multi", overlap=25, scale="psd", pad=pad,
                               fs=1000.0)
        assert_close(multi, segments(x, width, window, "psd", "none", 25, pad, 1000.0), "multi " + window)


# The program writes the same values: csv and npy outputs of the average,
# simple and multi methods, each against SciPy.
@pytest.mark.parametrize("case", [
    ("p", "h", "psd", "mean", ["--overlap=50"], 48000.0),
    ("pc", "f", "power", "median", ["--overlap=75", "--pad=4096"], None),
    ("p", "p", "psd", "max", ["--overlap=0", "--detrend=linear"], 1000.0),
    ("p", "h", "power", "min", ["--overlap=50", "--detrend=mean"], None),
    ("e", "h", "psd", None, ["--pad=8192"], 44100.0),
    ("m", "f", "psd", None, ["--overlap=50", "--detrend=linear"], 48000.0),
])
@pytest.mark.parametrize("extension", ["csv", "npy"])
def test_the_program_writes_what_scipy_computes(samples, tmp_path, case, extension):
    method, letter, scale, average, options, rate = case
    width = 1024
    window = {v: k for k, v in LETTERS.items()}[letter]
    source = tmp_path / "in.dat"
    samples.tofile(source)
    arguments = ["--format=" + extension, "--scale=" + scale] + options
    arguments += ["--average=" + average] if average else []
    arguments += ["--rate=%g" % rate] if rate else []
    done = run(*arguments, method, letter, str(width), str(source), "*." + ("*" if method == "m" else extension))
    assert done.returncode == 0, done.stderr
    overlap = next((float(o.split("=")[1]) for o in options if o.startswith("--overlap")), 0)
    pad = next((int(o.split("=")[1]) for o in options if o.startswith("--pad")), None)
    detrend = next((o.split("=")[1] for o in options if o.startswith("--detrend")), "none")
    detrend = "mean" if method.endswith("c") else detrend
    fs = rate or 1.0
    if method.startswith("p"):
        expected = welch(samples, width, window, scale, detrend, overlap, pad, fs, average)
        assert_close(read_output(str(tmp_path / ("in." + extension))), expected, " ".join(arguments))
    elif method == "e":
        _, p = signal.periodogram(samples[:width].astype(np.float64), fs=fs, nfft=pad, detrend=False,
                                  window=tavox.window_weights(window, width), scaling=SCIPY_SCALING[scale])
        assert_close(read_output(str(tmp_path / ("in." + extension))), p[: (pad or width) // 2], "simple")
    else:
        expected = segments(samples, width, window, scale, detrend, overlap, pad, fs)
        written = sorted(tmp_path.glob("in.[0-9][0-9][0-9]"))
        assert len(written) == len(expected)
        for k, path in enumerate(written):
            got = np.load(path) if extension == "npy" else np.genfromtxt(path, delimiter=",", skip_header=1)[:, -1]
            assert_close(got, expected[k], "multi exposure %d" % (k + 1))


# Welch's placement: from the start of the range, as many as fit up to its
# finish; D caps them. The rms of the amplitudes of padded, overlapped
# exposures is sqrt(2 P) S1 / N of SciPy's mean power (bin 0: 2 sqrt(P) S1 / N).
def test_range_cap_and_amplitude_of_welch_exposures(samples):
    width, start, finish = 256, 1001, 9000
    part = samples[start - 1:finish]
    got = tavox.spectrum(samples, width, window="hann", method="average", overlap=50, start=start, finish=finish,
                         scale="power")
    assert_close(got, welch(part, width, "hann", "power", "none", 50, None, 1.0, "mean"), "range")
    capped = tavox.spectrum(samples, width, window="hann", method="multi", overlap=50, repeat=5, scale="power")
    assert capped.S.shape == (5, width // 2)
    assert_close(capped, segments(samples, width, "hann", "power", "none", 50, None, 1.0)[:5], "capped")
    for window in ("rect", "hann", "flattop"):
        power = welch(samples, width, window, "power", "none", 50, 1024, 1.0, "mean")
        s1 = tavox.window_constants(window, width).s1
        amplitude = np.sqrt(2 * power) * s1 / width
        amplitude[0] = 2 * np.sqrt(power[0]) * s1 / width
        options = dict(window=window, method="average", overlap=50, pad=1024, average="rms")
        got = tavox.spectrum(samples, width, dtype="float64", **options)
        assert_close(got, amplitude, "amplitude " + window)
        rounded = tavox.spectrum(samples, width, dtype="int16", **options).magnitude
        assert rounded.dtype == np.int16 and np.array_equal(rounded, np.clip(np.round(got.magnitude), -32767, 32767))


# Units after the combination: dBFS (a full-scale sine is 0 dB as amplitude
# and as power), volts through the full scale, dBV re 1 V or 1 V^2.
@pytest.mark.parametrize("scale", ["amplitude", "power", "psd"])
def test_units_convert_the_combined_values(samples, scale):
    options = dict(window="hann", method="average", overlap=50, scale=scale, fs=48000.0, average="median")
    linear = tavox.spectrum(samples, 1024, dtype="float64", **options).magnitude
    power = scale != "amplitude"
    dbfs = tavox.spectrum(samples, 1024, unit="dbfs", **options).magnitude
    reference = FULL_SCALE ** 2 / 2 if power else FULL_SCALE
    assert_close(reference * 10 ** (dbfs / (10 if power else 20)), linear, "dbfs")
    volts = tavox.spectrum(samples, 1024, unit="volts", full_scale=2.5, **options).magnitude
    assert_close(volts, linear * (2.5 / FULL_SCALE) ** (2 if power else 1), "volts")
    dbv = tavox.spectrum(samples, 1024, unit="dbv", full_scale=2.5, **options).magnitude
    assert_close(10 ** (dbv / (10 if power else 20)), volts, "dbv")


def test_known_answers():
    # An on-bin tone at 48 kHz: its power over the Hann window's ENBW.
    tone = 1000 * np.cos(2 * np.pi * 100 * np.arange(4096) / 4096)
    psd = tavox.spectrum(tone, 4096, window="hann", scale="psd", fs=48000.0).magnitude
    assert psd[100] == pytest.approx(500000 / (1.5 * 48000 / 4096), rel=1e-12)
    assert psd[100] == pytest.approx(28444.44, abs=0.005)

    # Parseval: the PSD summed times fs/M (and the Nyquist bin TAVOX does not
    # write) is the mean square of the weighted exposure over mean(w^2).
    rng = np.random.default_rng(7)
    x = rng.normal(0, 100, 1000)
    for window in ("rect", "hann", "flattop"):
        w = tavox.window_weights(window, 512)
        y = np.concatenate([x[:512] * w, np.zeros(1536)])
        got = tavox.spectrum(x, 512, window=window, scale="psd", fs=300.0, pad=2048).magnitude
        nyquist = np.sum(y * (-1.0) ** np.arange(2048)) ** 2 / (300.0 * np.sum(w ** 2))
        assert (got.sum() + nyquist) * 300.0 / 2048 == pytest.approx(np.mean(y[:512] ** 2) / np.mean(w ** 2),
                                                                        rel=1e-12)

    # White noise of variance 1 at fs = 1 reads a one-sided PSD of 2.
    noise = np.random.default_rng(11).normal(0, 1, 2 ** 18)
    mean = tavox.spectrum(noise, 1024, window="hann", method="average", overlap=50, scale="psd").magnitude[1:].mean()
    assert mean == pytest.approx(2, rel=0.01)  # 511 exposures of 511 bins: a standard error near 0.2 %

    # A full-scale sine, ideally rounded, 1001 cycles in 65536 samples: 0
    # dBFS, over a floor of rounding noise (1/12 per sample) near -141.5
    # dBFS per bin of the Hann window (NENBW 1.5).
    sine = np.round(FULL_SCALE * np.sin(2 * np.pi * 1001 * np.arange(65536) / 65536)).astype(np.int16)
    level = tavox.spectrum(sine, 65536, window="hann", scale="power", unit="dbfs").magnitude
    assert level[1001] == pytest.approx(0, abs=1e-4)
    floor = tavox.spectrum(sine, 65536, window="hann", scale="power").magnitude[2000:30000].mean()
    assert 10 * np.log10(floor / (FULL_SCALE ** 2 / 2)) == pytest.approx(-141.5, abs=0.1)


def test_window_constants_are_heinzels():
    known = {"rect": (1.0, -3.9224), "hann": (1.5, -1.4236), "flattop": (3.770164, None)}
    for window, (nenbw, loss) in known.items():
        c = tavox.window_constants(window, 4096, fs=48000)
        w = tavox.window_weights(window, 4096)
        assert c.coherent_gain == pytest.approx(1, rel=1e-12)
        assert c.nenbw == pytest.approx(nenbw, rel=1e-6)
        assert c.enbw_hz == pytest.approx(nenbw * 48000 / 4096, rel=1e-6)
        half_bin = abs(np.sum(w * np.exp(-1j * np.pi * np.arange(4096) / 4096))) / np.sum(w)
        assert c.scalloping_loss == pytest.approx(half_bin, rel=1e-12)
        if loss is not None:
            assert c.scalloping_loss_db == pytest.approx(loss, abs=1e-4)


def test_the_report_names_how_the_values_were_made(samples, tmp_path):
    source = tmp_path / "in.dat"
    samples.tofile(source)
    done = run("--format=npy", "--scale=psd", "--unit=dbfs", "--overlap=50", "--average=median", "--report=-",
               "p", "h", "1024", str(source), "*.npy", "40")
    assert done.returncode == 0, done.stderr
    line = json.loads(done.stdout.splitlines()[0])
    exposures = (samples.size - 1024) // 512 + 1
    assert (line["exposures"], line["exposure_hop"], line["overlap_percent"]) == (min(40, exposures), 512, 50.0)
    assert (line["scale"], line["unit"], line["column"], line["fs_hz"]) == ("psd", "dbfs", "psd_dbfs_per_hz", 1.0)
    assert line["median_bias"] == pytest.approx(_median_bias(line["exposures"]), rel=1e-15)
    constants = line["window_constants"]
    assert constants["nenbw_bins"] == pytest.approx(1.5, rel=1e-12)
    assert constants["enbw_hz"] == pytest.approx(1.5 / 1024, rel=1e-12)
    assert constants["scalloping_loss_db"] == pytest.approx(-1.4236, abs=1e-4)


@pytest.mark.parametrize("arguments, error", [
    (dict(scale="psd", dtype="int16"), "dtype='int16' holds amplitudes in sample counts only"),
    (dict(scale="decibel"), "scale must be one of 'amplitude', 'power', 'psd'"),
    (dict(unit="dbv"), "unit='dbv' needs full_scale"),
    (dict(full_scale=2.0), "full_scale applies to unit 'volts' or 'dbv'"),
    (dict(unit="volts", full_scale=0.0), "full_scale must be the volts of sample value 32767"),
    (dict(overlap=50), "overlap applies to the methods 'average' and 'multi'"),
    (dict(method="average", overlap=100), "overlap must be a percentage from 0 to 95"),
    (dict(pad=128), "pad must be at least the width (256), not 128"),
    (dict(pad=1000), "pad must be a power of two from 128 to 65536"),
    (dict(detrend="quadratic"), "detrend must be one of 'none', 'mean', 'linear'"),
    (dict(method="average", scale="power", average="rms"), "average='rms' applies to the amplitude scale"),
])
def test_bad_arguments_name_what_is_allowed(arguments, error):
    with pytest.raises(ValueError, match=error.replace("(", r"\(").replace(")", r"\)")):
        tavox.spectrum(np.zeros(4096, dtype=np.int16), 256, **arguments)


def test_transform_files_and_its_fs(samples, tmp_path):
    samples.tofile(tmp_path / "a.dat")
    results = tavox.transform_files(str(tmp_path / "a.dat"), "*.npy", width=512, window="flattop",
                                    method="average", overlap=50, scale="psd", format="npy", fs=2000.0)
    assert results[0].ok, results[0].message
    expected = tavox.spectrum(samples, 512, window="flattop", method="average", overlap=50, scale="psd", fs=2000.0)
    assert np.load(tmp_path / "a.npy").tobytes() == expected.magnitude.tobytes()
    with pytest.raises(ValueError, match="format='raw' holds amplitudes in sample counts only"):
        tavox.transform_files(str(tmp_path / "a.dat"), "*.x", width=512, scale="psd")
