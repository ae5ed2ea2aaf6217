"""The Spectrum of tavox.spectrum and tavox.read_spectrum, checked as a numpy user would check it: against the
command line's raw bytes, numpy.fft.rfftfreq, SciPy's segment count, pandas, xarray and matplotlib."""

import os
import struct
import subprocess
import sys

import numpy as np
import pytest

import tavox

TAVOX = os.environ.get("TAVOX_EXE", "")


def run(*arguments):
    assert os.path.exists(TAVOX), "TAVOX_EXE must name the tavox program"
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    return subprocess.run([TAVOX, *arguments], check=True, capture_output=True, text=True, env=env)


@pytest.fixture(scope="module")
def samples():
    rng = np.random.default_rng(28)
    n = np.arange(20000)
    # A square wave whose fundamental (4/pi of 30000) is beyond what 16 bits hold, over noise.
    square = 30000 * np.sign(np.sin(2 * np.pi * n / 64))
    return np.clip(np.rint(square * 0.9 + rng.normal(0, 2000, n.size)), -32768, 32767).astype(np.int16)


# (command-line fields, tavox.spectrum keywords): every method and window, phases and a cut range.
CASES = [
    (["e", "p", "128"], dict(width=128)),
    (["f", "h", "1024"], dict(width=1024, window="hann", phase=True)),
    (["pc", "f", "512", "7", "1000", "15000"], dict(width=512, window="flattop", center=True, method="average",
                                                     repeat=7, start=1000, finish=15000)),
    (["m", "h", "256", "3"], dict(width=256, window="hann", method="multi", repeat=3)),
]


@pytest.mark.parametrize("fields, keywords", CASES)
def test_to_int16_is_the_command_lines_raw_output_bit_for_bit(samples, fields, keywords, tmp_path):
    (tmp_path / "in.dat").write_bytes(samples.astype("<i2").tobytes())
    method, window, width, *rest = fields
    run(method, window, width, str(tmp_path / "in.dat"), "*.*" if method == "m" else "*.spc", *rest)
    outputs = sorted(p for p in tmp_path.iterdir() if p.name != "in.dat")
    on_disk = b"".join(p.read_bytes() for p in outputs)
    width = keywords.pop("width")
    result = tavox.spectrum(samples, width, **keywords)
    assert np.asarray(result).dtype == np.float64
    assert result.to_int16().astype("<i2").tobytes() == on_disk
    if method != "m":
        read = tavox.read_spectrum(outputs[0], width=width, phase=keywords.get("phase", False))
        assert read.to_int16().tobytes() == on_disk and read.magnitude.dtype == np.float64


@pytest.mark.parametrize("width, pad, fs", [(128, None, 1000.0), (1024, 4096, 44100.0), (4096, None, 48000)])
def test_fields_axes_and_constants(samples, width, pad, fs):
    result = tavox.spectrum(samples, width, window="hann", method="average", overlap=50, pad=pad, fs=fs)
    points = pad or width
    assert isinstance(result, tavox.Spectrum) and result.phase is None
    assert result.magnitude.shape == result.frequencies.shape == (points // 2,)
    assert result.frequencies.dtype == np.float64
    np.testing.assert_array_equal(result.frequencies, np.fft.rfftfreq(points, 1 / fs)[:-1])
    np.testing.assert_array_equal(tavox.frequencies(points, fs), np.fft.rfftfreq(points, 1 / fs)[:-1])
    np.testing.assert_array_equal(tavox.frequencies(points), np.arange(points // 2))
    signal = pytest.importorskip("scipy.signal")
    _, times, _ = signal.spectrogram(samples.astype(float), nperseg=width, noverlap=width // 2)
    assert result.exposures == times.size
    assert (result.window, result.width, result.points, result.fs, result.method) == ("hann", width, points, fs,
                                                                                      "average")
    assert (result.scale, result.unit, result.quantity, result.units) == ("amplitude", "linear", "magnitude",
                                                                          "counts")
    assert result.window_constants == tavox.window_constants("hann", width, fs=fs)
    np.testing.assert_array_equal(np.asarray(result), result.magnitude)
    with pytest.raises(AttributeError):
        result.width = 2  # frozen
    assert tavox.spectrum(samples, width).frequencies[1] == 1.0  # bin numbers without fs
    assert tavox.spectrum(samples, width, method="multi", repeat=4).meta["exposures"] == 4


def test_calibrated_results_name_their_units_and_refuse_int16(samples):
    psd = tavox.spectrum(samples, 1024, window="hann", scale="psd", unit="volts", full_scale=2.5, fs=8000)
    assert (psd.quantity, psd.units) == ("psd_v2_per_hz", "V**2/Hz")
    with pytest.raises(ValueError, match="raw output holds amplitudes in sample counts only"):
        psd.to_int16()


def test_read_spectrum_gives_a_csv_outputs_quantity_and_rate(samples, tmp_path):
    (tmp_path / "in.dat").write_bytes(samples.astype("<i2").tobytes())
    run("--format=csv", "--rate=8000", "--scale=psd", "--unit=dbfs", "e", "h", "512", str(tmp_path / "in.dat"),
        "*.csv")
    read = tavox.read_spectrum(tmp_path / "in.csv")
    direct = tavox.spectrum(samples, 512, window="hann", scale="psd", unit="dbfs", fs=8000)
    assert (read.scale, read.unit, read.fs) == ("psd", "dbfs", 8000.0)
    np.testing.assert_array_equal(read.frequencies, direct.frequencies)
    np.testing.assert_allclose(read.magnitude, direct.magnitude, rtol=1e-15)


def test_frame_and_data_array(samples):
    pandas = pytest.importorskip("pandas")
    xarray = pytest.importorskip("xarray")
    result = tavox.spectrum(samples, 256, window="hann", phase=True, fs=1000)
    frame = result.to_frame()
    assert frame.index.name == "frequency_hz" and list(frame.columns) == ["magnitude", "phase_deg"]
    pandas.testing.assert_index_equal(frame.index, pandas.Index(np.fft.rfftfreq(256, 1e-3)[:-1],
                                                                name="frequency_hz"))
    np.testing.assert_array_equal(frame["phase_deg"].to_numpy(), result.phase)
    array = result.to_xarray()
    assert isinstance(array, xarray.DataArray) and array.dims == ("frequency",)
    assert array.frequency.attrs["units"] == "Hz" and array.phase.attrs["units"] == "degree"
    assert (array.attrs["units"], array.attrs["window"], array.attrs["fs"]) == ("counts", "hann", 1000.0)
    assert array.sel(frequency=62.5).item() == result.magnitude[16]
    multi = tavox.spectrum(samples, 256, method="multi", repeat=3).to_xarray()
    assert multi.dims == ("time", "frequency") and multi.shape == (3, 128)
    assert multi.frequency.attrs["units"] == "bin" and multi.time.attrs["units"] == "samples"


@pytest.mark.parametrize("method, module", [("to_frame", "pandas"), ("to_xarray", "xarray"),
                                            ("plot", "matplotlib")])
def test_missing_packages_are_named(samples, monkeypatch, method, module):
    for name in list(sys.modules):
        if name == module or name.startswith(module + "."):
            monkeypatch.setitem(sys.modules, name, None)
    monkeypatch.setitem(sys.modules, module, None)
    for result in (tavox.spectrum(samples, 128), tavox.spectrogram(samples, 256)):
        with pytest.raises(ImportError, match="%s.%s needs %s.*apt install python3-%s"
                           % (type(result).__name__, method, module, module)):
            getattr(result, method)()


def test_plot_draws_on_a_matplotlib_axis(samples):
    matplotlib = pytest.importorskip("matplotlib")
    matplotlib.use("Agg")
    from matplotlib import pyplot
    figure, ax = pyplot.subplots()
    result = tavox.spectrum(samples, 512, window="flattop", scale="power", unit="dbfs", fs=48000)
    assert result.plot(ax=ax) is ax
    (line,) = ax.get_lines()
    np.testing.assert_array_equal(line.get_xdata(), result.frequencies)
    np.testing.assert_array_equal(line.get_ydata(), result.magnitude)
    assert ax.get_ylabel() == "power_dbfs (dBFS)"
    pyplot.close(figure)


def png_size(data):
    assert data[:8] == b"\x89PNG\r\n\x1a\n" and data[12:16] == b"IHDR"
    return struct.unpack(">II", data[16:24])


def test_repr_png_is_the_picture_of_the_plot_module(samples, tmp_path, monkeypatch):
    pytest.importorskip("tavox._picture")
    plain = tavox.spectrum(samples, 1024, window="hann", fs=8000)._repr_png_()
    phased = tavox.spectrum(samples, 1024, window="hann", phase=True, scale="psd", fs=8000)._repr_png_()
    assert png_size(plain) == png_size(phased) == (1200, 700) and plain != phased
    (tmp_path / "in.dat").write_bytes(samples.astype("<i2").tobytes())
    run("e", "h", "1024", str(tmp_path / "in.dat"), "*.spc")
    assert png_size(tavox.read_spectrum(tmp_path / "in.spc")._repr_png_()) == (1200, 700)
    monkeypatch.setitem(sys.modules, "tavox._picture", None)
    assert tavox.spectrum(samples, 128)._repr_png_() is None


def test_version_is_the_programs():
    assert run("--version").stdout.split()[-1] == tavox.__version__


def test_application_takes_the_sample_rate_as_fs(samples, tmp_path):
    (tmp_path / "in.dat").write_bytes(samples.astype("<i2").tobytes())
    app = tavox.Application()
    app.output_format, app.fs = "csv", 8000
    app.FFTFiles.Add(tavox.fftDataDiskFile, str(tmp_path / "in.dat"), "*.csv")
    app.FFTExecute()
    read = tavox.read_spectrum(tmp_path / "in.csv")
    assert (app.fs, read.fs) == (8000.0, 8000.0)
    np.testing.assert_array_equal(read.frequencies, tavox.frequencies(128, 8000))
    with pytest.raises(ValueError, match="fs must be a finite number above 0"):
        app.fs = 0
