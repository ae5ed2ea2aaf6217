"""The Files collection and File objects over disk files."""

import gc
import os

import pytest

import tavox
from conftest import cosine, read_samples, write_samples


def test_disk_batch_writes_the_spectrum(app, signal_folder):
    app.FFTFiles.Add(tavox.fftDataDiskFile, str(signal_folder / "a.dat"), "*out.*")
    app.FFTParameters.Phase = True
    app.FFTExecute()
    spectrum = read_samples(signal_folder / "aout.dat")
    assert len(spectrum) == 128  # 64 magnitudes, then 64 phases
    assert spectrum[8] == 1000
    assert max(abs(v) for i, v in enumerate(spectrum[:64]) if i != 8) <= 1
    assert spectrum[64 + 8] == 0


def test_add_returns_none_one_file_or_a_tuple(app, signal_folder):
    files = app.FFTFiles
    assert files.Add(tavox.fftDataDiskFile, str(signal_folder / "*.none"), "*out.*") is None
    assert files.Add(tavox.fftDataDiskFile, str(signal_folder / "missing" / "*.dat"), "*out.*") is None
    one = files.Add(tavox.fftDataDiskFile, str(signal_folder / "a.dat"), "*out.*")
    assert isinstance(one, tavox.File) and one.Name == "a.dat"
    (signal_folder / "more").mkdir()
    for name in ("y.dat", "x.dat", "x.txt"):
        write_samples(signal_folder / "more" / name, [1] * 10)
    several = files.Add(tavox.fftDataDiskFile, str(signal_folder / "more" / "?.dat"), "*.res")
    assert isinstance(several, tuple) and [f.Name for f in several] == ["x.dat", "y.dat"]
    assert [f.Name for f in files] == ["a.dat", "x.dat", "y.dat"] and len(files) == files.Count == 3


def test_item_by_position_and_key(app, signal_folder):
    files = app.FFTFiles
    first, second, _ = files.Add(tavox.fftDataDiskFile, str(signal_folder / "*.dat"), "*out.*")
    assert files[1] == first and files.Item(2) == second and files(1) == first
    assert files["A.DAT"] == first and files.Item("b.DaT") == second
    assert files[2.0] == second
    for missing in (0, 4, -1, "none", None, 2.0 ** 40):
        assert files[missing] is None, missing
    files.Remove("none")
    files.Remove(99)
    assert files.Count == 3
    files.Remove("B.DAT")
    files.Remove(1)
    assert [f.Name for f in files] == ["c.dat"]


def test_relative_mask_is_completed_with_the_module_folder(app):
    source = tavox.ByRef("no-such-file-*.dat")
    target = tavox.ByRef("*out.*")
    assert app.FFTFiles.Add(tavox.fftDataDiskFile, source, target) is None
    folder = os.path.dirname(os.path.abspath(tavox._tavox.__file__))
    assert source.value == os.path.join(folder, "no-such-file-*.dat")
    assert target.value == "*out.*"
    absolute = tavox.ByRef("/no/such/folder/*.dat")
    app.FFTFiles.Add(tavox.fftDataDiskFile, absolute, "*out.*")
    assert absolute.value == "/no/such/folder/*.dat"


def test_file_outlives_remove_and_its_application(signal_folder):
    app = tavox.Application()
    app.FFTParameters.Width = 128
    kept = app.FFTFiles.Add(tavox.fftDataDiskFile, str(signal_folder / "a.dat"), "*x.*")
    files = app.FFTFiles
    parameters = app.FFTParameters
    files.Remove(1)
    assert files.Count == 0
    assert kept.Transform() == tavox.fftResultAllRight
    del app
    gc.collect()
    os.remove(signal_folder / "ax.dat")
    parameters.Width = 256
    assert kept.Transform() == tavox.fftResultShortFile  # reads the parameters it shares
    parameters.Width = 128
    assert kept.Transform() == tavox.fftResultAllRight and (signal_folder / "ax.dat").exists()
    assert files.Add(tavox.fftDataDiskFile, str(signal_folder / "b.dat"), "*x.*").Name == "b.dat"
    assert files[1].Transform() == tavox.fftResultAllRight


def test_transform_result_codes(app, tmp_path):
    write_samples(tmp_path / "short.dat", cosine(count=100))
    write_samples(tmp_path / "sig.dat", cosine())
    files = app.FFTFiles
    short = files.Add(tavox.fftDataDiskFile, str(tmp_path / "short.dat"), "*out.*")
    same = files.Add(tavox.fftDataDiskFile, str(tmp_path / "sig.dat"), "*.*")
    assert short.Transform() == tavox.fftResultShortFile
    assert same.Transform() == tavox.fftResultFileNameErr
    assert read_samples(tmp_path / "sig.dat")[:3] == [1000, 924, 707]
    (tmp_path / "sig.dat").unlink()
    assert same.Transform() == tavox.fftResultFileSysErr


def test_command_line_runs_a_batch(app, signal_folder):
    app.FFTCommand("ec h 128 %s *.spc" % (signal_folder / "b.dat"))
    p = app.FFTParameters
    assert (p.Phase, p.Center, p.Window, p.Width) == (False, True, tavox.fftWindowHanning, 128)
    assert len(read_samples(signal_folder / "b.spc")) == 64
    app.FFTCommand(tavox.ByRef("e p 128 %s *.spd" % (signal_folder / "c.dat")))
    assert (signal_folder / "c.spd").exists() and app.FFTFiles.Count == 2
