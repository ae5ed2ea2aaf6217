"""Spectrograms: the matrix layout of the program, tavox.spectrogram and read_spectrum, against numpy and SciPy."""

import csv
import io
import json
import os
import subprocess
import zipfile

import numpy as np
import pytest
import scipy.signal

import tavox

TAVOX = os.environ.get("TAVOX_EXE", "")
WINDOWS = {"rect": "p", "hann": "h", "flattop": "f"}


def run(*arguments):
    assert os.path.exists(TAVOX), "TAVOX_EXE must name the tavox program"
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    return subprocess.run([TAVOX, *arguments], capture_output=True, text=True, env=env)


def weights(window, n):
    """TAVOX's window values, periodic, scaled so that a tone reads its amplitude."""
    x = np.arange(n) * 2 * np.pi / n
    if window == "hann":
        return 1 - np.cos(x)
    if window == "flattop":
        return 1 - 1.93 * np.cos(x) + 1.29 * np.cos(2 * x) - 0.388 * np.cos(3 * x) + 0.028 * np.cos(4 * x)
    return np.ones(n)


def noisy_chirp(length, seed):
    rng = np.random.default_rng(seed)
    n = np.arange(length)
    x = 9000 * np.sin(2 * np.pi * (0.02 * n + 0.3 * n * n / (2 * length))) + rng.normal(0, 800, length)
    return np.clip(np.round(x), -32768, 32767).astype(np.int16)


def test_the_npz_holds_the_rows_of_the_files_layout_bit_for_bit_with_the_placement_rule(tmp_path):
    width, repeat, rate = 128, 999, 8000.0
    samples = noisy_chirp(150000, 1)
    samples.tofile(tmp_path / "run.dat")
    common = ("m", "h", str(width), str(tmp_path / "run.dat"))
    r = run("--format=npy", *common, "*.*", str(repeat))
    assert r.returncode == 0, r.stderr
    r = run("--layout=matrix", "--format=npz", "--rate=8000", *common, "*.npz", str(repeat))
    assert r.returncode == 0, r.stderr

    rows = np.stack([np.load(tmp_path / ("run.%03d" % k)) for k in range(1, repeat + 1)])
    with np.load(tmp_path / "run.npz") as npz:  # allow_pickle stays False
        assert sorted(npz.files) == ["S", "f", "meta", "start", "t"]
        S, f, t, start, meta = (npz[k] for k in ("S", "f", "t", "start", "meta"))
    assert S.dtype == np.float64 and S.shape == (repeat, width // 2)
    assert S.tobytes() == rows.tobytes()
    # Exposure k starts at (k - 1) * step, step = (L - N) // (R - 1).
    step = (len(samples) - width) // (repeat - 1)
    assert start.dtype == np.int64
    np.testing.assert_array_equal(start, np.arange(repeat) * step)
    np.testing.assert_array_equal(t, (start + width / 2) / rate)
    np.testing.assert_array_equal(f, np.arange(width // 2) * rate / width)
    info = json.loads(str(meta))
    assert info["window"] == "hann" and info["width"] == width and info["rate"] == rate
    assert info["source"] == str(tmp_path / "run.dat") and info["channel"] == 1
    assert (info["scale"], info["unit"], info["step"], info["exposures"]) == ("amplitude", "linear", step, repeat)
    w = weights("hann", width)
    assert info["coherent_gain"] == pytest.approx(w.sum() / width, rel=1e-12)
    assert info["nenbw_bins"] == pytest.approx(width * (w * w).sum() / w.sum() ** 2, rel=1e-12)
    # Each member holds what numpy.save writes for its array, stored.
    with zipfile.ZipFile(tmp_path / "run.npz") as archive:
        for name, array in (("S", S), ("f", f), ("t", t), ("start", start), ("meta", meta)):
            saved = io.BytesIO()
            np.save(saved, array)
            assert archive.read(name + ".npy") == saved.getvalue(), name
            assert archive.getinfo(name + ".npy").compress_type == zipfile.ZIP_STORED
    assert tavox.read_spectrum(tmp_path / "run.npz").S.tobytes() == rows.tobytes()


def test_npy_csv_and_f32_matrices_hold_the_same_rows_and_axes(tmp_path):
    width, repeat = 256, 12
    samples = noisy_chirp(9000, 2)
    samples.tofile(tmp_path / "s.dat")
    common = ("m", "f", str(width), str(tmp_path / "s.dat"))
    for fmt in ("npz", "npy", "csv", "f32"):
        r = run("--layout=matrix", "--format=" + fmt, *common, "*." + fmt, str(repeat))
        assert r.returncode == 0, r.stderr
    reference = tavox.read_spectrum(tmp_path / "s.npz")
    assert reference.meta["rate"] is None and reference.meta["frequency_unit"] == "bin"
    npy = np.load(tmp_path / "s.npy")
    assert npy.shape == (repeat, width // 2)
    np.testing.assert_array_equal(npy, reference.S)
    np.testing.assert_array_equal(np.fromfile(tmp_path / "s.f32", "<f4").reshape(repeat, -1),
                                  reference.S.astype(np.float32))
    with open(tmp_path / "s.csv", newline="") as file:
        table = list(csv.reader(file))
    assert table[0] == ["exposure", "start", "bin", "magnitude"]
    values = np.array(table[1:], dtype=np.float64)
    assert values.shape == (repeat * width // 2, 4)
    np.testing.assert_array_equal(values[:, 0], np.repeat(np.arange(1, repeat + 1), width // 2))
    np.testing.assert_array_equal(values[:, 1], np.repeat(reference.start, width // 2))
    np.testing.assert_array_equal(values[:, 2], np.tile(np.arange(width // 2), repeat))
    np.testing.assert_array_equal(values[:, 3].reshape(repeat, -1), reference.S)
    np.testing.assert_array_equal(reference.t, reference.start + width / 2)
    np.testing.assert_array_equal(reference.f, np.arange(width // 2))


@pytest.mark.parametrize("window", sorted(WINDOWS))
@pytest.mark.parametrize("overlap", [0, 50, 75])
def test_spectrogram_is_twice_scipys_magnitude_mode_where_the_placements_meet(window, overlap):
    width, fs = 512, 48000.0
    hop = round(width * (1 - overlap / 100))
    samples = noisy_chirp(width + 40 * hop + hop // 2, len(window) + overlap)
    result = tavox.spectrogram(samples, width, window=window, overlap=overlap, fs=fs)
    f, t, Sxx = scipy.signal.spectrogram(samples.astype(np.float64), fs, window=weights(window, width),
                                         nperseg=width, noverlap=width - hop, detrend=False, mode="magnitude",
                                         scaling="spectrum")
    expected = 2 * Sxx.T[:, : width // 2]
    assert result.S.shape == expected.shape == (41, width // 2)
    large = expected > 1e-12 * expected.max()
    np.testing.assert_allclose(result.S[large], expected[large], rtol=1e-9)
    np.testing.assert_allclose(result.t, t, rtol=1e-15)
    np.testing.assert_array_equal(result.f, f[: width // 2])
    np.testing.assert_array_equal(result.start, np.arange(41) * hop)
    assert result.meta["step"] == hop and result.meta["window"] == window and result.meta["source"] is None


def test_spectrogram_gives_the_matrix_of_the_batch_and_runs_past_999_exposures(tmp_path):
    samples = noisy_chirp(60000, 3)
    samples.tofile(tmp_path / "a.dat")
    r = run("--layout=matrix", "--format=npz", "--rate=1000", "mc", "f", "1024", str(tmp_path / "a.dat"), "*.npz",
            "77", "101", "90%")
    assert r.returncode == 0, r.stderr
    batch = tavox.read_spectrum(tmp_path / "a.npz")
    mine = tavox.spectrogram(samples, 1024, window="flattop", center=True, repeat=77, start=101, finish="90%",
                             fs=1000)
    assert mine.S.tobytes() == batch.S.tobytes()
    for name in ("f", "t", "start"):
        np.testing.assert_array_equal(getattr(mine, name), getattr(batch, name))
    assert {k: v for k, v in mine.meta.items() if k != "source"} == \
        {k: v for k, v in batch.meta.items() if k != "source"}

    # 2400 exposures take three runs of the multi method; the seams do not show.
    long = np.tile(samples, 3)
    many = tavox.spectrogram(long, 128, overlap=50, window="rect", jobs=2)
    assert many.S.shape == ((len(long) - 128) // 64 + 1, 64)
    np.testing.assert_array_equal(np.diff(many.start), 64)
    f, t, Sxx = scipy.signal.spectrogram(long.astype(np.float64), 1.0, window=np.ones(128), nperseg=128, noverlap=64,
                                         detrend=False, mode="magnitude", scaling="spectrum")
    expected = 2 * Sxx.T[:, :64]
    large = expected > 1e-12 * expected.max()
    np.testing.assert_allclose(many.S[large], expected[large], rtol=1e-9)


def test_transform_files_writes_a_matrix_and_bad_choices_are_refused(tmp_path):
    noisy_chirp(5000, 4).tofile(tmp_path / "x.dat")
    results = tavox.transform_files(tmp_path / "x.dat", "*.npz", width=256, window="hann", method="multi",
                                    repeat=9, format="npz", layout="matrix", fs=4000)
    assert [r.outputs for r in results] == [(str(tmp_path / "x.npz"),)] and results[0].ok
    matrix = tavox.read_spectrum(tmp_path / "x.npz", width=256, format="npz")
    assert matrix.S.shape == (9, 128) and matrix.meta["rate"] == 4000
    with pytest.raises(ValueError, match="holds 128 bins per exposure, not the 64 of width 128"):
        tavox.read_spectrum(tmp_path / "x.npz", width=128)

    refused = [
        (dict(method="multi", layout="matrix"), "needs a format that holds the matrix"),
        (dict(method="average", layout="matrix", format="npz"), "method 'multi' only"),
        (dict(method="multi", format="npz"), "give layout='matrix'"),
        (dict(method="multi", format="npy", layout="grid"), "layout must be 'files' or 'matrix'"),
    ]
    for options, message in refused:
        with pytest.raises(ValueError, match=message):
            tavox.transform_files(tmp_path / "x.dat", "*.o", width=256, **options)
    for options, message in [(dict(overlap=100), "from 0 to 95"), (dict(overlap="50"), "a percentage"),
                             (dict(scale="loud"), "scale must be"), (dict(fs=0), "fs must be a sample rate")]:
        with pytest.raises((ValueError, TypeError), match=message):
            tavox.spectrogram(np.zeros(4096, np.int16), 256, **options)
    with pytest.raises(tavox.TransformError):
        tavox.spectrogram(np.zeros(100, np.int16), 256)
    (tmp_path / "other.npz").write_bytes((tmp_path / "x.npz").read_bytes().replace(b"start.npy", b"begin.npy"))
    with pytest.raises(ValueError, match="no spectrogram matrix: it has no start"):
        tavox.read_spectrum(tmp_path / "other.npz")


@pytest.mark.parametrize("scale, scaling", [("power", "spectrum"), ("psd", "density")])
def test_calibrated_spectrograms_are_scipys_with_welch_placement_detrending_and_padding(tmp_path, scale, scaling):
    width, pad, fs, hop = 256, 1024, 8000.0, 128
    samples = noisy_chirp(40000, 5)
    samples.tofile(tmp_path / "c.dat")
    f, t, Sxx = scipy.signal.spectrogram(samples.astype(np.float64), fs, window=tavox.window_weights("hann", width),
                                         nperseg=width, noverlap=width - hop, nfft=pad, detrend="linear",
                                         scaling=scaling, mode="psd")
    expected = Sxx[: pad // 2].T
    mine = tavox.spectrogram(samples, width, overlap=50, fs=fs, scale=scale, detrend="linear", pad=pad)
    assert mine.S.shape == expected.shape
    large = expected > 1e-12 * expected.max()
    np.testing.assert_allclose(mine.S[large], expected[large], rtol=1e-9)
    np.testing.assert_allclose(mine.t, t, rtol=1e-15)
    np.testing.assert_array_equal(mine.f, f[: pad // 2])

    # The program's matrix of the same options (999 exposures at most): the
    # rows of --layout=files bit for bit, SciPy's axes, and a meta that says
    # how the values were made.
    common = ("--overlap=50", "--detrend=linear", "--pad=%d" % pad, "--scale=" + scale, "--unit=dbfs", "--rate=8000",
              "m", "h", str(width), str(tmp_path / "c.dat"))
    r = run("--format=npy", *common, "*.*")
    assert r.returncode == 0, r.stderr
    r = run("--layout=matrix", "--format=npz", *common, "*.npz")
    assert r.returncode == 0, r.stderr
    batch = tavox.read_spectrum(tmp_path / "c.npz")
    rows = np.stack([np.load(tmp_path / ("c.%03d" % k)) for k in range(1, len(batch.t) + 1)])
    assert not (tmp_path / ("c.%03d" % (len(batch.t) + 1))).exists()
    assert batch.S.tobytes() == rows.tobytes() and batch.S.shape == (len(t), pad // 2)
    level = 10 * np.log10(expected / (32767.0 ** 2 / 2))
    np.testing.assert_allclose(batch.S[large], level[large], atol=1e-7)
    np.testing.assert_array_equal(batch.t, t)
    np.testing.assert_array_equal(batch.f, f[: pad // 2])
    np.testing.assert_array_equal(batch.start, np.arange(len(t)) * hop)
    w = tavox.window_weights("hann", width)
    assert (batch.meta["scale"], batch.meta["unit"], batch.meta["points"], batch.meta["width"]) == \
        (scale, "dbfs", pad, width)
    assert batch.meta["nenbw_bins"] == pytest.approx(width * (w * w).sum() / w.sum() ** 2, rel=1e-12)
    assert batch.meta["enbw_hz"] == pytest.approx(fs * (w * w).sum() / w.sum() ** 2, rel=1e-12)
    dbfs = tavox.spectrogram(samples, width, overlap=50, fs=fs, scale=scale, unit="dbfs", detrend="linear", pad=pad)
    assert dbfs.S.tobytes() == batch.S.tobytes()
    assert {k: v for k, v in dbfs.meta.items() if k != "source"} == \
        {k: v for k, v in batch.meta.items() if k != "source"}


@pytest.mark.parametrize("width, overlap, fs", [(256, 50, 8000.0), (512, 75, 44100)])
def test_spectrum_of_method_multi_is_scipys_spectrogram_with_its_axes(width, overlap, fs):
    x = noisy_chirp(12000, 7)
    got = tavox.spectrum(x, width, window="hann", method="multi", overlap=overlap, fs=fs)
    hop = round(width * (1 - overlap / 100))
    f, t, Sxx = scipy.signal.spectrogram(x.astype(np.float64), fs, window=weights("hann", width), nperseg=width,
                                         noverlap=width - hop, detrend=False, mode="magnitude",
                                         scaling="spectrum")
    assert isinstance(got, tavox.Spectrogram) and got.S.dtype == np.float64 and got.fs == float(fs)
    np.testing.assert_allclose(got.S, 2 * Sxx.T[:, :width // 2], rtol=1e-9, atol=1e-9 * Sxx.max())
    np.testing.assert_allclose(got.f, f[:-1], rtol=1e-12)
    np.testing.assert_allclose(got.t, t, rtol=1e-12)
    np.testing.assert_array_equal(got.start, np.arange(len(t)) * hop)
    as_int16 = tavox.spectrum(x, width, window="hann", method="multi", overlap=overlap, dtype="int16")
    np.testing.assert_array_equal(as_int16.S, got.to_int16())
    with pytest.raises(ValueError, match="amplitudes in sample counts only"):
        tavox.spectrum(x, width, method="multi", scale="psd").to_int16()


def test_spectrogram_to_frame_to_xarray_and_its_picture(tmp_path):
    pandas = pytest.importorskip("pandas")
    xarray = pytest.importorskip("xarray")
    noisy_chirp(5000, 4).tofile(tmp_path / "x.dat")
    assert run("--layout=matrix", "--format=npz", "--rate=4000", "--scale=psd", "--unit=dbfs", "m", "h", "256",
               str(tmp_path / "x.dat"), "*.npz", "9").returncode == 0
    for g in (tavox.read_spectrum(tmp_path / "x.npz"), tavox.spectrogram(noisy_chirp(5000, 4), 256, fs=4000)):
        frame = g.to_frame()
        assert frame.shape == g.S.T.shape and frame.index.name == "frequency_hz" and frame.columns.name == "time_s"
        np.testing.assert_array_equal(frame.to_numpy(), g.S.T)
        array = g.to_xarray()
        assert isinstance(frame, pandas.DataFrame) and isinstance(array, xarray.DataArray)
        assert array.dims == ("time", "frequency") and array.attrs["fs"] == 4000.0
        np.testing.assert_array_equal(array.time, g.t)
        np.testing.assert_array_equal(array.frequency, g.f)
        np.testing.assert_array_equal(array.start, g.start)
        assert (array.time.attrs["units"], array.frequency.attrs["units"]) == ("s", "Hz")
    assert tavox.read_spectrum(tmp_path / "x.npz").to_xarray().attrs["units"] == "dBFS/Hz"
    bins = tavox.spectrogram(np.zeros(4096), 256).to_xarray()
    assert (bins.time.attrs["units"], bins.frequency.attrs["units"]) == ("samples", "bin")

    pytest.importorskip("tavox._picture")
    png = tavox.read_spectrum(tmp_path / "x.npz")._repr_png_()
    assert png[:8] == b"\x89PNG\r\n\x1a\n" and png[16:24] == (1200).to_bytes(4, "big") + (700).to_bytes(4, "big")
