"""Sound files, SigMF recordings and raw files of every sample format, through
the tavox program and tavox.read_signal: every output against the one of the
same samples given as a raw 16-bit file, the samples against soundfile's and
numpy's reading, and damaged files."""

import json
import pickle
import os
import struct
import subprocess

import numpy as np
import pytest
import scipy.signal
import soundfile

import tavox

TAVOX = os.environ.get("TAVOX_EXE", "")
RATE = 48000
WIDTH = 1024
FRAMES = 6 * WIDTH
# An average of 8 exposures: several reads of every source.
BATCH = ["p", "h", str(WIDTH)]


def run(*arguments, cwd=None):
    assert os.path.exists(TAVOX), "TAVOX_EXE must name the tavox program"
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    return subprocess.run([TAVOX, *arguments], capture_output=True, text=True, env=env, cwd=cwd)


def signal(channels, seed, step=1):
    """int16 frames (FRAMES, channels): a tone per channel over noise, full
    scale reached, every value a multiple of step."""
    rng = np.random.default_rng(seed)
    n = np.arange(FRAMES)[:, None]
    x = 20000 * np.sin(2 * np.pi * (60 + 70 * np.arange(channels)) * n / WIDTH) + rng.normal(0, 3000, (FRAMES, channels))
    x[::97] = 40000 * np.sign(x[::97])
    return (np.clip(np.round(x / step), -32768 // step, 32767 // step) * step).astype(np.int16)


def transform(path, fmt, *options):
    """The output of the average batch over path in format fmt."""
    r = run(f"--format={fmt}", *options, *BATCH, str(path), f"*.{fmt}", "8")
    assert r.returncode == 0, r.stdout + r.stderr
    return path.with_suffix(f".{fmt}")


def reference(tmp_path, column, name="ref"):
    """The outputs (raw, npy) of the same samples as a raw 16-bit mono file."""
    path = tmp_path / f"{name}.dat"
    column.astype("<i2").tofile(path)
    return transform(path, "raw").read_bytes(), np.load(transform(path, "npy"))


def assert_same_outputs(tmp_path, source, frames, bounded, *options):
    """Each channel of source gives the outputs of its samples as 16-bit raw:
    identical bytes for 16-bit samples, within 1e-9 relative otherwise."""
    for k in range(frames.shape[1]):
        chosen = [*options, f"--channel={k + 1}"]
        raw, npy = reference(tmp_path, frames[:, k])
        got = np.load(transform(source, "npy", *chosen))
        if bounded:
            assert transform(source, "raw", *chosen).read_bytes() == raw
            assert source.with_suffix(".npy").read_bytes() == tmp_path.joinpath("ref.npy").read_bytes()
        else:
            np.testing.assert_allclose(got, npy, rtol=1e-9, atol=1e-9 * npy.max())


SOUND_FILES = [
    # name, soundfile format and subtype, values scaled from 16 bits, step, 16-bit
    ("wav16.wav", "WAV", "PCM_16", 1, True),
    ("wav24.wav", "WAV", "PCM_24", 1, False),
    ("wav32.wav", "WAV", "PCM_32", 1, False),
    ("float.wav", "WAV", "FLOAT", 1, False),
    ("double.wav", "WAV", "DOUBLE", 1, False),
    ("u8.wav", "WAV", "PCM_U8", 256, True),
    ("extensible.wav", "WAVEX", "PCM_16", 1, True),
    ("extensible24.wav", "WAVEX", "PCM_24", 1, False),
    ("rf64.wav", "RF64", "PCM_16", 1, True),
    ("w64.w64", "W64", "PCM_24", 1, False),
    ("flac16.flac", "FLAC", "PCM_16", 1, True),
    ("flac24.flac", "FLAC", "PCM_24", 1, False),
    ("aiff.aiff", "AIFF", "PCM_16", 1, True),
    ("aifc.aifc", "AIFF", "FLOAT", 1, False),
    ("caf.caf", "CAF", "PCM_32", 1, False),
    ("alaw.wav", "WAV", "ALAW", 1, False),
]


@pytest.mark.parametrize("name,container,subtype,step,bounded", SOUND_FILES)
@pytest.mark.parametrize("channels", [1, 2])
def test_sound_files_give_the_outputs_of_their_samples_as_16_bit_raw(tmp_path, name, container, subtype, step,
                                                                    bounded, channels):
    frames = signal(channels, seed=len(name) + channels, step=step)
    source = tmp_path / name
    # soundfile writes integers into a float file as they are: floats are given in [-1, 1).
    written = frames / 32768 if subtype in ("FLOAT", "DOUBLE") else frames
    soundfile.write(source, written, RATE, format=container, subtype=subtype)
    # What the file holds, on the 16-bit scale (A-law is lossy): soundfile's reading.
    held = soundfile.read(source, dtype="float64", always_2d=True)[0] * 32768
    assert np.array_equal(held, np.round(held))
    assert_same_outputs(tmp_path, source, held.astype(np.int16), bounded)
    samples, fs = tavox.read_signal(source)
    assert fs == RATE
    np.testing.assert_array_equal(samples.reshape(FRAMES, channels), held)


@pytest.mark.parametrize("datatype,numpy_type,scale,bounded", [
    ("ri16_le", "<i2", 1, True),
    ("rf32_le", "<f4", 1 / 32768, False),
    ("ri8", "i1", 1 / 256, True),
    ("ru16_be", ">u2", 1, True),
    ("rf64_be", ">f8", 1 / 32768, False),
])
def test_sigmf_recordings_give_the_outputs_of_their_samples(tmp_path, datatype, numpy_type, scale, bounded):
    frames = signal(2, seed=7, step=256 if numpy_type == "i1" else 1)
    offset = 32768 if numpy_type.endswith("u2") else 0
    (frames * scale + offset).astype(numpy_type).tofile(tmp_path / "rec.sigmf-data")
    meta = {"global": {"core:datatype": datatype, "core:version": "1.2.0", "core:num_channels": 2,
                       "core:sample_rate": RATE}, "captures": [{"core:sample_start": 0}], "annotations": []}
    (tmp_path / "rec.sigmf-meta").write_text(json.dumps(meta))
    # The mask may name either file; *.sigmf-* takes the recording once.
    assert_same_outputs(tmp_path, tmp_path / "rec.sigmf-meta", frames, bounded)
    assert_same_outputs(tmp_path, tmp_path / "rec.sigmf-data", frames, bounded)
    r = run("--format=csv", "--channel=all", "e", "h", str(WIDTH), str(tmp_path / "*.sigmf-*"), "*.csv")
    assert r.returncode == 0 and r.stdout.count("-->>") == 2, r.stdout
    samples, fs = tavox.read_signal(tmp_path / "rec.sigmf-data")
    assert fs == RATE
    np.testing.assert_array_equal(samples, frames)


def test_a_non_conforming_sigmf_dataset_after_its_header_bytes(tmp_path):
    frames = signal(1, seed=9)
    (tmp_path / "capture.bin").write_bytes(b"H" * 100 + frames.astype("<i2").tobytes() + b"T" * 6)
    meta = {"global": {"core:datatype": "ri16_le", "core:version": "1.2.0", "core:dataset": "capture.bin",
                       "core:trailing_bytes": 6}, "captures": [{"core:sample_start": 0, "core:header_bytes": 100}]}
    (tmp_path / "rec.sigmf-meta").write_text(json.dumps(meta))
    samples, fs = tavox.read_signal(tmp_path / "rec.sigmf-meta")
    assert fs is None
    np.testing.assert_array_equal(samples, frames[:, 0])


FORMATS = {  # --sample-format: numpy type, scale from 16 bits, offset, step of the values, 16-bit
    "s16le": ("<i2", 1, 0, 1, True), "s16be": (">i2", 1, 0, 1, True), "s8": ("i1", 1 / 256, 0, 256, True),
    "u8": ("u1", 1 / 256, 128, 256, True), "u16le": ("<u2", 1, 32768, 1, True), "u16be": (">u2", 1, 32768, 1, True),
    "s32le": ("<i4", 65536, 0, 1, False), "s32be": (">i4", 65536, 0, 1, False),
    "u32le": ("<u4", 65536, 2 ** 31, 1, False), "u32be": (">u4", 65536, 2 ** 31, 1, False),
    "f32le": ("<f4", 1 / 32768, 0, 1, False), "f32be": (">f4", 1 / 32768, 0, 1, False),
    "f64le": ("<f8", 1 / 32768, 0, 1, False), "f64be": (">f8", 1 / 32768, 0, 1, False),
}


def raw_bytes(frames, name):
    if name.startswith("s24"):
        values = frames.astype(np.int64).ravel() * 256
        order = "little" if name.endswith("le") else "big"
        return b"".join(int(v).to_bytes(3, order, signed=True) for v in values)
    numpy_type, scale, offset, _, _ = FORMATS[name]
    return (frames.astype(np.float64) * scale + offset).astype(numpy_type).tobytes()


@pytest.mark.parametrize("name", sorted(FORMATS) + ["s24le", "s24be"])
def test_raw_files_of_every_sample_format(tmp_path, name):
    step, bounded = FORMATS[name][3:] if name in FORMATS else (1, False)
    frames = signal(3, seed=11, step=step)
    source = tmp_path / f"in.{name}"
    source.write_bytes(raw_bytes(frames, name))
    options = [f"--sample-format={name}", "--channels=3"]
    assert_same_outputs(tmp_path, source, frames, bounded, *options)
    samples, fs = tavox.read_signal(source, sample_format=name, channels=3)
    assert fs is None
    np.testing.assert_array_equal(samples, frames)


def test_channel_all_names_one_output_per_channel(tmp_path):
    frames = signal(2, seed=3)
    soundfile.write(tmp_path / "tone.wav", frames, RATE, subtype="PCM_16")
    r = run("--format=npy", "--channel=all", "--report=" + str(tmp_path / "r.jsonl"), "m", "h", str(WIDTH),
            str(tmp_path / "tone.wav"), "*.npy", "2")
    assert r.returncode == 0, r.stderr
    assert [line.split()[0] for line in r.stdout.splitlines()[:2]] == ["tone_ch1.wav", "tone_ch2.wav"]
    for k in (1, 2):
        for e in (1, 2):
            assert (tmp_path / f"tone_ch{k}.00{e}").exists()
    report = [json.loads(line) for line in (tmp_path / "r.jsonl").read_text().splitlines()]
    assert [(x["channel"], x["channels"], x["rate_hz"]) for x in report[:2]] == [(1, 2, RATE), (2, 2, RATE)]
    results = tavox.transform_files(tmp_path / "tone.wav", "*.npy", format="npy", width=WIDTH, channel="all")
    assert [(x.channel, [os.path.basename(o) for o in x.outputs]) for x in results] == [
        (1, ["tone_ch1.npy"]), (2, ["tone_ch2.npy"])]


def test_the_rate_from_the_file_and_the_one_that_overrides_it(tmp_path):
    soundfile.write(tmp_path / "a.flac", signal(1, seed=4), 44100, subtype="PCM_16")
    # An AIFF's rate is a float, of which libsndfile keeps the whole number only.
    soundfile.write(tmp_path / "b.aiff", signal(1, seed=4), 44100, subtype="PCM_16")
    aiff = (tmp_path / "b.aiff").read_bytes()
    (tmp_path / "b.aiff").write_bytes(patched(aiff, b"COMM", 16, "10s", extended(44100.5)))
    assert tavox.read_signal(tmp_path / "b.aiff")[1] == 44100.5
    for options, rate in (([], 44100), (["--rate=1000"], 1000)):
        r = run("--format=csv", "--report=-", *options, "e", "h", str(WIDTH), str(tmp_path / "a.flac"), "*.csv")
        assert r.returncode == 0, r.stderr
        assert json.loads(r.stdout.splitlines()[0])["rate_hz"] == rate
        table = np.loadtxt(tmp_path / "a.csv", delimiter=",", skiprows=1)
        np.testing.assert_array_equal(table[:, 1], np.arange(WIDTH // 2) * rate / WIDTH)


def test_a_psd_divides_by_the_rate_the_file_states(tmp_path):
    frames = signal(2, seed=6)
    soundfile.write(tmp_path / "tone.wav", frames, RATE, subtype="PCM_16")
    frames[:, 1].astype("<i2").tofile(tmp_path / "ref.dat")
    calibrated = ["--format=npy", "--scale=psd", "--unit=dbfs", "--overlap=50", "--report=-"]
    stated = run(*calibrated, "--channel=2", *BATCH, str(tmp_path / "tone.wav"), "*.npy")
    given = run(*calibrated, f"--rate={RATE}", *BATCH, str(tmp_path / "ref.dat"), "*.npy")
    assert stated.returncode == 0 and given.returncode == 0, stated.stderr + given.stderr
    assert (tmp_path / "tone.npy").read_bytes() == (tmp_path / "ref.npy").read_bytes()
    lines = [json.loads(r.stdout.splitlines()[0]) for r in (stated, given)]
    assert [(x["fs_hz"], x["fs_from"]) for x in lines] == [(RATE, "the input file"), (RATE, "--rate")]
    assert lines[0]["window_constants"]["enbw_hz"] == pytest.approx(1.5 * RATE / WIDTH, rel=1e-12)
    # The same as SciPy's Welch density at the file's rate, in dB re a full-scale sine.
    _, psd = scipy.signal.welch(frames[:, 1].astype(np.float64), fs=RATE, window=tavox.window_weights("hann", WIDTH),
                                nperseg=WIDTH, noverlap=WIDTH // 2, detrend=False, scaling="density")
    expected = 10 * np.log10(psd[: WIDTH // 2] / (32767.0 ** 2 / 2))
    np.testing.assert_allclose(np.load(tmp_path / "tone.npy"), expected, rtol=0, atol=1e-9)


def test_a_stereo_wav_gives_a_matrix_per_channel_at_its_own_rate(tmp_path):
    frames = signal(2, seed=7)
    soundfile.write(tmp_path / "tone.wav", frames, RATE, subtype="PCM_16")
    report = tmp_path / "r.jsonl"
    r = run("--layout=matrix", "--format=npz", "--channel=all", "--scale=psd", "--overlap=50", "--plot",
            "--report=" + str(report), "m", "h", str(WIDTH), str(tmp_path / "tone.wav"), "*.npz", "999")
    assert r.returncode == 0, r.stdout + r.stderr
    lines = [json.loads(line) for line in report.read_text().splitlines()[:2]]
    exposures = (FRAMES - WIDTH) // (WIDTH // 2) + 1
    assert [(x["channel"], x["rate_hz"], x["shape"], [os.path.basename(o) for o in x["outputs"]]) for x in lines] == [
        (k, RATE, [exposures, WIDTH // 2], [f"tone_ch{k}.npz"]) for k in (1, 2)]
    for k in (1, 2):
        assert (tmp_path / f"tone_ch{k}.npz.png").exists()
        with np.load(tmp_path / f"tone_ch{k}.npz") as npz:
            S, f, t, meta = (npz[name] for name in ("S", "f", "t", "meta"))
        assert (json.loads(str(meta))["channel"], json.loads(str(meta))["rate"]) == (k, RATE)
        # SciPy's PSD at the file's rate: the axes and the values of that channel alone.
        f0, t0, psd = scipy.signal.spectrogram(frames[:, k - 1].astype(np.float64), fs=RATE,
                                               window=tavox.window_weights("hann", WIDTH), nperseg=WIDTH,
                                               noverlap=WIDTH // 2, detrend=False, scaling="density", mode="psd")
        np.testing.assert_allclose(f, f0[: WIDTH // 2], rtol=1e-12, atol=0)
        np.testing.assert_allclose(t, t0, rtol=1e-12, atol=0)
        np.testing.assert_allclose(S, psd.T[:, : WIDTH // 2], rtol=1e-9, atol=0)


def test_input_format_raw_reads_a_sound_file_as_samples_as_before(tmp_path):
    soundfile.write(tmp_path / "a.wav", signal(2, seed=5), RATE, subtype="PCM_16")
    path = transform(tmp_path / "a.wav", "raw", "--input-format=raw")
    whole = np.fromfile(tmp_path / "a.wav", "<i2")
    expected = tavox.spectrum(whole, WIDTH, window="hann", method="average", repeat=8)
    np.testing.assert_array_equal(np.fromfile(path, "<i2"), expected.to_int16())


def patched(data, marker, offset, fmt, value):
    at = data.index(marker) + offset
    return data[:at] + struct.pack(fmt, value) + data[at + struct.calcsize(fmt):]


def extended(value):
    """value as the 80-bit float of an AIFF COMM chunk (0 as all zeros)."""
    if value == 0:
        return b"\0" * 10
    mantissa, exponent = np.frexp(value)
    return struct.pack(">HQ", int(exponent) - 1 + 16383, int(mantissa * 2 ** 64))


def damaged_files(tmp_path):
    """name -> bytes of files that no batch can read."""
    soundfile.write(tmp_path / "good.wav", signal(1, seed=6), RATE, subtype="PCM_16")
    wav = (tmp_path / "good.wav").read_bytes()
    soundfile.write(tmp_path / "good.flac", signal(1, seed=6), RATE, subtype="PCM_16")
    flac = (tmp_path / "good.flac").read_bytes()
    soundfile.write(tmp_path / "good.aiff", signal(1, seed=6), RATE, subtype="PCM_16")
    aiff = (tmp_path / "good.aiff").read_bytes()
    nan = signal(1, seed=6).astype(np.float32) / 32768
    nan[5000] = np.nan
    soundfile.write(tmp_path / "nan.wav", nan, RATE, subtype="FLOAT")
    return {
        "a_overclaim.wav": patched(wav, b"data", 4, "<I", len(wav)),
        "b_cut.wav": wav[:len(wav) // 2],
        "c_cut.flac": flac[:len(flac) // 2],
        "d_channels0.wav": patched(wav, b"fmt ", 10, "<H", 0),
        "e_channels65535.wav": patched(wav, b"fmt ", 10, "<H", 65535),
        "f_rate0.wav": patched(wav, b"fmt ", 12, "<I", 0),
        "g_garbage.wav": wav[:12] + b"\xff" * 64,
        "h_nan.wav": (tmp_path / "nan.wav").read_bytes(),
        # libsndfile reads these as 800 MHz and 1 Hz.
        "i_rate1e12.aiff": patched(aiff, b"COMM", 16, "10s", extended(1e12)),
        "j_rate0.aiff": patched(aiff, b"COMM", 16, "10s", extended(0)),
    }


SIGMF_DAMAGED = {
    "datatype_number": {"core:datatype": 16},
    "datatype_grammar": {"core:datatype": "i16_le"},
    "datatype_no_order": {"core:datatype": "ri16"},
    "datatype_complex": {"core:datatype": "cf32_le"},
    "channels_text": {"core:datatype": "ri16_le", "core:num_channels": "2"},
    "channels_zero": {"core:datatype": "ri16_le", "core:num_channels": 0},
    "rate_text": {"core:datatype": "ri16_le", "core:sample_rate": "48000"},
    "rate_zero": {"core:datatype": "ri16_le", "core:sample_rate": 0},
    "rate_huge": {"core:datatype": "ri16_le", "core:sample_rate": 1e12},
    "dataset_number": {"core:datatype": "ri16_le", "core:dataset": 5},
    "version_number": {"core:datatype": "ri16_le", "core:version": 1.2},
    "trailing_negative": {"core:datatype": "ri16_le", "core:trailing_bytes": -1},
    "metadata_only": {"core:datatype": "ri16_le", "core:metadata_only": True},
}


def test_damaged_files_fail_with_1108_and_one_line_and_the_batch_goes_on(tmp_path):
    folder = tmp_path / "in"
    folder.mkdir()
    files = damaged_files(tmp_path)
    for name, data in files.items():
        (folder / name).write_bytes(data)
    for name, fields in SIGMF_DAMAGED.items():
        (folder / f"s_{name}.sigmf-data").write_bytes(b"\0" * 4096)
        (folder / f"s_{name}.sigmf-meta").write_text(json.dumps({"global": fields}))
    (folder / "s_captures.sigmf-meta").write_text('{"global": {"core:datatype": "ri16_le"}, "captures": 1}')
    (folder / "s_captures.sigmf-data").write_bytes(b"\0" * 4096)
    (folder / "s_json.sigmf-meta").write_text('{"global": ')
    (folder / "s_json.sigmf-data").write_bytes(b"\0" * 4096)
    (folder / "z_good.wav").write_bytes((tmp_path / "good.wav").read_bytes())
    r = run("--format=npy", "--report=" + str(tmp_path / "r.jsonl"), *BATCH, str(folder / "*"), "*.npy", "8")
    assert r.returncode == 1
    report = [json.loads(line) for line in (tmp_path / "r.jsonl").read_text().splitlines()[:-1]]
    damaged = len(files) + len(SIGMF_DAMAGED) + 2
    assert len(report) == damaged + 1
    assert [x["code"] for x in report] == [1108] * damaged + [1101], r.stderr
    assert all(x["outputs"] == [] and x["problem"] for x in report[:-1])
    lines = r.stderr.splitlines()
    assert len(lines) == damaged and all(line.startswith('tavox: "' + str(folder)) for line in lines), r.stderr
    assert [p.name for p in folder.glob("*.npy")] == ["z_good.npy"]
    problems = {os.path.basename(x["input"]): x["problem"] for x in report[:-1]}
    assert "core:num_channels" in problems["s_channels_text.sigmf-meta"]
    assert "complex" in problems["s_datatype_complex.sigmf-meta"]
    assert "NaN" in problems["h_nan.wav"]


def test_read_signal_refuses_what_a_batch_refuses(tmp_path):
    soundfile.write(tmp_path / "two.wav", signal(2, seed=8), RATE, subtype="PCM_16")
    with pytest.raises(tavox.TransformError) as info:
        tavox.read_signal(tmp_path / "two.wav", channel=3)
    assert info.value.code == tavox.fftResultFormatErr and "holds 2 channels" in str(info.value)
    with pytest.raises(FileNotFoundError):
        tavox.read_signal(tmp_path / "none.wav")
    with pytest.raises(ValueError, match="sample_format"):
        tavox.read_signal(tmp_path / "two.wav", sample_format="s17le")
    r = run("--channel=3", "e", "h", str(WIDTH), str(tmp_path / "two.wav"), "*.npy")
    assert r.returncode == 1 and "channel 3 was asked for, but the file holds 2 channels" in r.stderr


def test_a_long_average_of_a_decoded_file_gives_the_same_output_on_threads(tmp_path):
    rng = np.random.default_rng(12)
    frames = np.clip(np.round(rng.normal(0, 8000, (200000, 2))), -32768, 32767).astype(np.int16)
    soundfile.write(tmp_path / "long.flac", frames, RATE, subtype="PCM_24")
    for jobs in ("1", "2"):
        r = run("--format=npy", f"--jobs={jobs}", "--channel=2", "p", "h", "4096", str(tmp_path / "long.flac"),
                f"*_{jobs}.npy", "64")
        assert r.returncode == 0, r.stderr
    assert (tmp_path / "long_1.npy").read_bytes() == (tmp_path / "long_2.npy").read_bytes()
    frames[:, 1].astype("<i2").tofile(tmp_path / "ref.dat")
    r = run("--format=npy", "p", "h", "4096", str(tmp_path / "ref.dat"), "*.npy", "64")
    assert r.returncode == 0, r.stderr
    expected = np.load(tmp_path / "ref.npy")
    np.testing.assert_allclose(np.load(tmp_path / "long_2.npy"), expected, rtol=1e-9, atol=1e-9 * expected.max())


def test_the_object_model_reads_inputs_as_its_application_says(tmp_path):
    frames = signal(2, seed=13)
    soundfile.write(tmp_path / "t.wav", frames, RATE, subtype="PCM_16")
    app = tavox.Application()
    app.FFTParameters.Width = WIDTH
    app.output_format = "npy"
    app.channel = "all"
    added = app.FFTFiles.Add(tavox.fftDataDiskFile, str(tmp_path / "t.wav"), "*.npy")
    assert isinstance(added, tuple) and [(f.Name, f.channel) for f in added] == [("t_ch1.wav", 1), ("t_ch2.wav", 2)]
    app.input_format = "raw"
    app.channel = 3
    app.channels = 2
    raw = app.FFTFiles.Add(tavox.fftDataDiskFile, str(tmp_path / "t.wav"), "*_raw.npy")
    assert isinstance(raw, tavox.File) and raw.channel == 3
    app.FFTExecute()
    assert [f.Transform() for f in app.FFTFiles] == [tavox.fftResultAllRight] * 2 + [tavox.fftResultFormatErr]
    assert raw.problem == "channel 3 was asked for, but the file holds 2 channels" and raw.outputs == ()
    for k in (1, 2):
        expected = tavox.spectrum(frames[:, k - 1], WIDTH, dtype="float64")
        np.testing.assert_allclose(np.load(tmp_path / f"t_ch{k}.npy"), expected.magnitude, rtol=1e-12)
    settings = tavox._tavox.BatchSettings()
    settings.sample_format, settings.channels, settings.channel, settings.input_format = "u8", 3, "all", "raw"
    assert pickle.loads(pickle.dumps(settings)) == settings
