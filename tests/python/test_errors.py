"""Errors of the object model arrive as tavox.AutomationError; bad Python values as TypeError."""

from decimal import Decimal

import pytest

import tavox
from conftest import assert_automation_error, write_samples

ARGUMENT_TYPE = "Invalid data type of the 'Source' or 'Target' argument"
ARGUMENT_CONTENT = "Invalid content of the 'Source' or 'Target' argument"


def test_command_line_errors_1001_and_1002(app):
    with pytest.raises(tavox.AutomationError) as info:
        app.FFTCommand("f h 1024 a")
    assert_automation_error(info, -2147220502, "TAVOX.Application", "Missing required parameter")
    with pytest.raises(tavox.AutomationError) as info:
        app.FFTCommand("fc z 1024 a b")
    assert_automation_error(info, -2147220503, "TAVOX.Application", "Command line fault")
    # The method letters were applied before the bad window letter was found.
    assert app.FFTParameters.Phase and app.FFTParameters.Center
    assert "0x800403E9" in str(info.value) and "Command line fault" in str(info.value)
    with pytest.raises(tavox.AutomationError) as info:
        app.FFTCommand("f h abc a b")
    assert info.value.number == 13
    with pytest.raises(TypeError):
        app.FFTCommand(42)


def test_add_errors_1003_and_1004(app, tmp_path):
    files = app.FFTFiles
    for source, target in ((5, "*out.*"), ("*.dat", None), ("*.dat", 1.5)):
        with pytest.raises(tavox.AutomationError) as info:
            files.Add(tavox.fftDataDiskFile, source, target)
        assert_automation_error(info, -2147220501, "TAVOX.Files", ARGUMENT_TYPE)
    for source, target in (("", "*out.*"), ("*.dat", "*out?.*"), ("*.dat", "**.dat"), ("*.dat", "")):
        with pytest.raises(tavox.AutomationError) as info:
            files.Add(tavox.fftDataDiskFile, source, target)
        assert_automation_error(info, -2147220500, "TAVOX.Files", ARGUMENT_CONTENT)
    with pytest.raises(tavox.AutomationError) as info:
        files.Add(tavox.fftDataExcelRange, "A1:A10", "B1:B10")
    assert_automation_error(info, -2147220501, "TAVOX.Files", ARGUMENT_TYPE)
    assert files.Add(5, "*.dat", "*out.*") is None
    assert files.Count == 0


def test_duplicate_key_error_457_keeps_earlier_files(app, tmp_path):
    write_samples(tmp_path / "a.dat", [1] * 200)
    write_samples(tmp_path / "b.dat", [1] * 200)
    files = app.FFTFiles
    files.Add(tavox.fftDataDiskFile, str(tmp_path / "b.dat"), "*out.*")
    with pytest.raises(tavox.AutomationError) as info:
        files.Add(tavox.fftDataDiskFile, str(tmp_path / "*.dat"), "*out.*")
    assert info.value.number == 457 and info.value.description
    assert [f.Name for f in files] == ["b.dat", "a.dat"]


def test_platform_errors_keep_their_numbers(app):
    p = app.FFTParameters
    for name in ("Width", "Repeat"):
        with pytest.raises(tavox.AutomationError) as info:
            setattr(p, name, -2 ** 31)
        assert (info.value.number, info.value.description) == (6, "Overflow")
    for value in (-2 ** 31, 2 ** 31, 2 ** 100):
        with pytest.raises(tavox.AutomationError) as info:
            p.Start = value
        assert info.value.number == 6, value
    for too_big in (2 ** 31, 1e300, float("nan"), Decimal("1e40")):
        with pytest.raises(tavox.AutomationError) as info:
            p.Width = too_big
        assert info.value.number == 6, too_big
    with pytest.raises(tavox.AutomationError) as info:
        p.Start = Decimal("1e29")
    assert info.value.number == 6
    with pytest.raises(tavox.AutomationError) as info:
        p.Start = "1e999"
    assert info.value.number == 6
    with pytest.raises(tavox.AutomationError) as info:
        p.Width = "wide"
    assert (info.value.number, info.value.description) == (13, "Type mismatch")
    assert p.Width == 128


def test_wrong_python_types_raise_type_error(app):
    p = app.FFTParameters
    for name in ("Width", "Repeat", "Method", "Window", "Phase", "Center"):
        for value in (None, object(), [1], b"12"):
            with pytest.raises(TypeError):
                setattr(p, name, value)
    with pytest.raises(TypeError):
        app.FFTFiles.Add(None, "*.dat", "*out.*")
    with pytest.raises(TypeError):
        app.FFTFiles.Add(0, "*.dat")
    with pytest.raises(AttributeError):
        app.FFTFiles.Count = 3
    assert (p.Width, p.Repeat, p.Method, p.Phase) == (128, 1, 0, False)


def test_decimal_values_round_to_28_places(app):
    p = app.FFTParameters
    p.Start = Decimal("0.12345678901234567890123456789")  # 29 places
    assert p.Start == Decimal("0.1234567890123456789012345679")
    p.Start = Decimal("0.00000000000000000000000000005")  # half of the last place, to even
    assert p.Start == 0
    p.Start = Decimal("-0.5E-1")
    assert p.Start == Decimal("0.05") and type(p.Start) is Decimal
    p.Start = Decimal("1E-60")
    assert p.Start == 0
    with pytest.raises(tavox.AutomationError):
        p.Start = Decimal("NaN")


def test_automation_error_is_an_ordinary_exception():
    error = tavox.AutomationError(6, "TAVOX", "Overflow")
    assert isinstance(error, Exception)
    assert (error.number, error.source, error.description) == (6, "TAVOX", "Overflow")
    assert str(error) == "Overflow (number 6 = 0x00000006, source TAVOX)"
