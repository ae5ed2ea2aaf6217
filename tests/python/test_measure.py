"""Measurements and band levels of known signals, through the program (--measure, --bands) and the module
(tavox.measure, tavox.bands, transform_files(measure=True)): the known answers of a rounded full-scale sine
(SINAD 10 log10(6 * 32767**2), ENOB 16) and of a tone with a harmonic and noise."""

import csv
import json
import os
import pickle
import subprocess
import wave

import numpy as np
import pytest

import tavox
from tavox._tavox import BatchSettings

TAVOX = os.environ.get("TAVOX_EXE", "")


def run(*arguments, cwd=None):
    assert os.path.exists(TAVOX), "TAVOX_EXE must name the tavox program"
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    return subprocess.run([TAVOX, *arguments], capture_output=True, text=True, env=env, cwd=cwd)


def full_scale_sine():
    j = np.arange(65536)
    return np.round(32767 * np.sin(2 * np.pi * 1001 * j / 65536 + 0.1234)).astype(np.int16)


def tone_harmonic_noise(seed=5):
    """48 kHz: 1 kHz of 16384, 2 kHz of 0.4 of it, white noise of 0.1 of it; SNR 16.99, THD -7.96, SINAD 7.45."""
    t = np.arange(65536) / 48000
    noise = np.random.default_rng(seed).normal(0, 0.1 * 16384, t.size)
    x = 16384 * (np.sin(2 * np.pi * 1000 * t) + 0.4 * np.sin(2 * np.pi * 2000 * t + 0.5)) + noise
    return np.clip(np.round(x), -32767, 32767).astype(np.int16)


KNOWN = [
    (full_scale_sine, None, {"sinad_db": (98.07, 0.05), "enob_bits": (16.00, 0.01)}),
    (tone_harmonic_noise, 48000.0, {"snr_db": (16.99, 0.1), "thd_db": (-7.96, 0.1), "sinad_db": (7.45, 0.1)}),
]


@pytest.mark.parametrize("make, rate, answers", KNOWN)
def test_the_program_and_the_module_read_the_known_answers(tmp_path, make, rate, answers):
    samples = make()
    samples.tofile(tmp_path / "sig.dat")
    options = ["--format=npy", "--report=-", "--measure=%s" % (tmp_path / "m.csv")]
    if rate is not None:
        options.append("--rate=%g" % rate)
    done = run(*options, "e", "h", "65536", str(tmp_path / "sig.dat"), "*.npy")
    assert done.returncode == 0, done.stderr
    figures = json.loads(done.stdout.splitlines()[0])["measure"]
    with open(tmp_path / "m.csv", newline="") as f:
        rows = list(csv.DictReader(f))
    assert len(rows) == 1 and rows[0]["output"].endswith("sig.npy")
    module = tavox.measure(samples, fs=rate)
    for name, (value, tolerance) in answers.items():
        assert figures[name] == pytest.approx(value, abs=tolerance), name
        assert float(rows[0][name]) == pytest.approx(figures[name], rel=1e-12), name
        assert getattr(module, name) == pytest.approx(figures[name], rel=1e-12), name
    assert figures["problem"] is None and module.problem is None


def test_every_exposure_of_method_m_gets_a_row_and_the_report_its_last(tmp_path):
    full_scale_sine().tofile(tmp_path / "sig.dat")
    done = run("--format=csv", "--report=-", "--measure=%s" % (tmp_path / "m.csv"), "--harmonics=3", "m", "f",
               "8192", str(tmp_path / "sig.dat"), "*.csv", "4")
    assert done.returncode == 0, done.stderr
    report = json.loads(done.stdout.splitlines()[0])
    with open(tmp_path / "m.csv", newline="") as f:
        rows = list(csv.DictReader(f))
    assert [row["exposure"] for row in rows] == ["1", "2", "3", "4"]
    assert [row["output"] for row in rows] == report["outputs"]
    assert list(rows[0])[-3:] == ["sfdr_dbfs", "noise_floor", "problem"]
    assert "h3_dbc" in rows[0] and "h4_dbc" not in rows[0]
    assert float(rows[-1]["sinad_db"]) == pytest.approx(report["measure"]["sinad_db"], rel=1e-12)


def test_a_matrix_of_method_m_gets_a_row_per_exposure_with_the_figures_of_the_files_layout(tmp_path):
    tone_harmonic_noise().tofile(tmp_path / "sig.dat")
    tables = {}
    for layout, mask in (("files", "*.csv"), ("matrix", "*.npz")):
        table = tmp_path / ("%s.csv" % layout)
        done = run("--format=" + mask[2:], "--layout=" + layout, "--rate=48000", "--measure=%s" % table, "m", "f",
                   "8192", str(tmp_path / "sig.dat"), mask, "5")
        assert done.returncode == 0, done.stderr
        with open(table, newline="") as f:
            tables[layout] = list(csv.DictReader(f))
    files, matrix = tables["files"], tables["matrix"]
    assert len(files) == len(matrix)
    assert [row["exposure"] for row in matrix] == ["1", "2", "3", "4", "5"]
    assert {row["output"] for row in matrix} == {str(tmp_path / "sig.npz")}
    for a, b in zip(files, matrix):
        assert {k: v for k, v in a.items() if k != "output"} == {k: v for k, v in b.items() if k != "output"}
    assert float(matrix[0]["snr_db"]) == pytest.approx(16.99, abs=0.5)


def test_noise_alone_gives_null_figures_and_the_reason(tmp_path):
    np.random.default_rng(1).normal(0, 1000, 8192).round().astype(np.int16).tofile(tmp_path / "n.dat")
    done = run("--format=csv", "--report=-", "--measure", "e", "h", "8192", str(tmp_path / "n.dat"), "*.csv")
    assert done.returncode == 0, done.stderr
    figures = json.loads(done.stdout.splitlines()[0])["measure"]
    assert figures["problem"] == "no tone stands 20 dB above the noise floor"
    assert figures["sinad_db"] is None and figures["enob_bits"] is None


@pytest.mark.parametrize("options, line", [
    (["--measure=x.csv"], "tavox: --measure reads the unrounded spectra, which raw 16-bit outputs do not keep: "
                          "give --format=csv, f32 or npy"),
    (["--bands=3", "--format=csv", "--input-format=raw"],
     "tavox: --bands needs the sample rate of raw inputs: give --rate=HZ"),
    (["--harmonics=0"], "tavox: --harmonics=0 is not a count; give a whole number from 1 to 20 (1 counts none)"),
])
def test_misuse_is_refused_with_one_line_and_status_2(tmp_path, options, line):
    done = run(*options, "e", "h", "1024", str(tmp_path / "none.dat"), "*.csv", cwd=tmp_path)
    assert done.returncode == 2
    assert done.stderr.splitlines()[0] == line
    assert os.listdir(tmp_path) == []


def test_a_tone_in_a_third_octave_band_sums_to_its_power(tmp_path):
    """1 kHz of amplitude 1000 at 48 kHz: 1000**2 / 2 in band 0 (891.251 to 1122.018 Hz)."""
    t = np.arange(16384) / 48000
    samples = np.round(1000 * np.sin(2 * np.pi * 1000 * t)).astype(np.int16)
    samples.tofile(tmp_path / "t.dat")
    done = run("--format=csv", "--scale=power", "--rate=48000", "--bands=3", "e", "f", "16384",
               str(tmp_path / "t.dat"), "*.csv")
    assert done.returncode == 0, done.stderr
    with open(tmp_path / "t.csv.bands.csv", newline="") as f:
        assert f.readline().startswith("# FFT-summed bands with IEC 61260-1")
        rows = {int(row["band"]): row for row in csv.DictReader(f)}
    assert float(rows[0]["nominal_hz"]) == 1000
    assert float(rows[0]["lower_hz"]) == pytest.approx(891.251, abs=5e-4)
    assert float(rows[0]["level"]) == pytest.approx(5e5, rel=1e-3)
    assert float(rows[-1]["level"]) < 1e-3 * 5e5
    module = {band.index: band for band in tavox.bands(samples, fs=48000, window="flattop")}
    assert module[0].level == pytest.approx(float(rows[0]["level"]), rel=1e-9)
    assert module[0].exact_hz == pytest.approx(1000.0)


def test_a_wav_file_gives_its_rate_to_the_measurement_and_the_bands(tmp_path):
    """A 48 kHz WAV without --rate measures and bands as its raw samples with --rate=48000; a raw file says why not."""
    samples = tone_harmonic_noise()
    with wave.open(str(tmp_path / "t.wav"), "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(48000)
        w.writeframes(samples.astype("<i2").tobytes())
    samples.astype("<i2").tofile(tmp_path / "t.dat")
    asked = ["--format=csv", "--report=-", "--measure", "--fundamental=1000", "--measure-band=20:20000", "--bands=3"]
    figures, bands = {}, {}
    for name, rate in (("wav", []), ("dat", ["--rate=48000"])):
        done = run(*asked, *rate, "e", "h", "65536", str(tmp_path / ("t." + name)), "*_" + name + ".csv")
        assert done.returncode == 0, done.stderr
        figures[name] = json.loads(done.stdout.splitlines()[0])["measure"]
        with open(tmp_path / ("t_" + name + ".csv.bands.csv")) as f:
            bands[name] = f.read()
    assert figures["wav"]["problem"] is None and figures["wav"]["fundamental_hz"] == pytest.approx(1000, abs=0.1)
    assert figures["wav"] == figures["dat"]
    assert bands["wav"] == bands["dat"]
    # Of a WAV and a raw file, the raw file says why it has no figures and no bands.
    (tmp_path / "mixed").mkdir()
    for name in ("t.dat", "t.wav"):
        os.link(tmp_path / name, tmp_path / "mixed" / ("a.dat" if name == "t.dat" else "b.wav"))
    done = run(*asked, "e", "h", "65536", str(tmp_path / "mixed" / "*"), "*_norate.csv")
    assert done.returncode == 1
    measured = [json.loads(line)["measure"] for line in done.stdout.splitlines()[:2]]
    assert measured[0]["problem"] == "the input states no sample rate, which a fundamental or band in Hz needs"
    assert measured[0]["sinad_db"] is None and measured[1] == figures["wav"]
    assert "states no sample rate, which the bands need; give --rate=HZ" in done.stderr
    assert sorted(os.listdir(tmp_path / "mixed")) == ["a.dat", "a_norate.csv", "b.wav", "b_norate.csv",
                                                      "b_norate.csv.bands.csv"]
    # When no input states a rate, the command is refused before anything is written.
    for options in (["--bands=3"], ["--measure", "--fundamental=1000"], ["--measure", "--measure-band=20:20000"]):
        done = run("--format=csv", "--report=" + str(tmp_path / "r.jsonl"), *options, "e", "h", "65536",
                   str(tmp_path / "t.dat"), "*_refused.csv")
        option = options[-1].split("=")[0]
        assert (done.returncode, done.stdout) == (2, ""), done.stderr
        assert done.stderr == "tavox: %s needs the sample rate, which none of the input files states: give " \
                              "--rate=HZ\n" % option
    assert not [p for p in os.listdir(tmp_path) if "refused" in p or p == "r.jsonl"]


def test_transform_files_measures_each_file(tmp_path):
    full_scale_sine().tofile(tmp_path / "a.dat")
    results = tavox.transform_files(str(tmp_path / "*.dat"), "*.npy", width=65536, window="hann", format="npy",
                                    measure=True, harmonics=2)
    assert results[0].measure is not None
    assert results[0].measure.enob_bits == pytest.approx(16.00, abs=0.01)
    assert len(results[0].measure.harmonics_dbc) == 1
    plain = tavox.transform_files(str(tmp_path / "*.dat"), "*.npy", width=65536, format="npy")
    assert plain[0].measure is None
    with pytest.raises(ValueError, match="format='raw'"):
        tavox.transform_files(str(tmp_path / "*.dat"), "*.o", width=1024, measure=True)
    with pytest.raises(ValueError, match="needs the sample rate"):
        tavox.measure(full_scale_sine(), fundamental=1000)
    with pytest.raises(ValueError, match="harmonics must be from 1 to 20"):
        tavox.measure(full_scale_sine(), harmonics=21)


@pytest.mark.parametrize("window, scale, unit, full_scale", [
    ("hann", "amplitude", "linear", None), ("flattop", "psd", "dbfs", None), ("rect", "power", "volts", 2.5),
    ("hann", "amplitude", "dbv", 1.0)])
def test_a_spectrum_measures_as_the_samples_it_was_made_of(window, scale, unit, full_scale):
    samples = tone_harmonic_noise()
    options = dict(window=window, scale=scale, unit=unit, full_scale=full_scale)
    direct = tavox.measure(samples, fs=48000, **options)
    again = tavox.measure(tavox.spectrum(samples, 65536, fs=48000, **options), full_scale=full_scale)
    assert again.problem is None and direct.problem is None
    for name, value in vars(direct).items():
        other = getattr(again, name)
        if isinstance(value, tuple):
            assert other == pytest.approx(value, rel=1e-9, abs=1e-9), name
        else:
            assert other == pytest.approx(value, rel=1e-9, abs=1e-9), name


def test_a_spectrum_keeps_what_it_was_made_with():
    s = tavox.spectrum(tone_harmonic_noise(), 4096, window="hann", fs=48000)
    with pytest.raises(ValueError, match="window applies to samples"):
        tavox.measure(s, window="rect")
    with pytest.raises(ValueError, match="overlap applies to samples"):
        tavox.measure(s, overlap=50)
    with pytest.raises(TypeError, match="not a Spectrogram"):
        tavox.measure(tavox.spectrogram(tone_harmonic_noise(), 1024, fs=48000))


def test_settings_keep_the_layout_inputs_and_measurement_through_pickle_and_read_older_states():
    settings = BatchSettings()
    settings.format = "npz"
    settings.layout = "matrix"
    settings.input_format, settings.channels = "raw", 2
    settings.measure = (1000.0, 3, None, None)
    assert pickle.loads(pickle.dumps(settings)) == settings
    state = settings.__getstate__()
    measured = (1000.0, 3, None, None)
    # Every layout an earlier version wrote: none of the three, the layout, the measurement alone,
    # the layout with the measurement, the layout with the inputs.
    older = [(state[:13], "files", 1, None), (state[:14], "matrix", 1, None),
             (state[:13] + state[15:], "files", 1, measured), (state[:14] + state[15:], "matrix", 1, measured),
             (state[:15], "matrix", 2, None)]
    for entries, layout, channels, measure in older:
        read = BatchSettings.__new__(BatchSettings)
        read.__setstate__(entries)
        assert (read.format, read.layout, read.channels, read.measure) == ("npz", layout, channels, measure)
    for bad in (state[:12], state + (None,), state[:13] + (None, "matrix")):
        with pytest.raises(ValueError, match="not the state of a BatchSettings"):
            BatchSettings.__new__(BatchSettings).__setstate__(bad)
