"""Spreadsheet ranges: openpyxl worksheets, numpy arrays and any range-shaped object."""

import math

import numpy as np
import openpyxl
import pytest

import tavox
from conftest import cosine


def multi(app, width, repeat):
    p = app.FFTParameters
    p.Method = tavox.fftMethodMulti
    p.Width = width
    p.Repeat = repeat


def test_xlsx_round_trip_multi_three_exposures(app, tmp_path):
    book = openpyxl.Workbook()
    source_sheet = book.active
    source_sheet.title = "Signal"
    for row, value in enumerate(cosine(count=1024, bin_=8, width=256), start=1):
        source_sheet.cell(row=row, column=1, value=value)
    spectra = book.create_sheet("Spectra")
    multi(app, 256, 3)
    file = app.FFTFiles.Add(tavox.fftDataExcelRange, tavox.OpenpyxlRange(source_sheet, "A1:A1024"),
                            tavox.OpenpyxlRange(spectra, "B2:D129"))
    assert file.Name == "Range0.xls" and file.DataFormat is tavox.fftDataExcelRange
    assert file.Transform() == tavox.fftResultAllRight
    path = tmp_path / "book.xlsx"
    book.save(path)

    reopened = openpyxl.load_workbook(path)["Spectra"]
    for column in "BCD":
        values = [reopened["%s%d" % (column, row)].value for row in range(2, 130)]
        assert all(isinstance(v, (int, float)) for v in values)  # xlsx stores 1000.0 as 1000
        assert values[8] == pytest.approx(1000.0, abs=1e-6)
        assert max(abs(v) for i, v in enumerate(values) if i != 8) < 1e-6
    assert reopened["B130"].value is None and reopened["E2"].value is None and reopened["A2"].value is None


def test_xlsx_too_short_target_writes_below_the_range(app):
    book = openpyxl.Workbook()
    sheet = book.active
    for row, value in enumerate(cosine(count=256, width=256), start=1):
        sheet.cell(row=row, column=1, value=value)
    app.FFTParameters.Width = 256
    file = app.FFTFiles.Add(tavox.fftDataExcelRange, tavox.OpenpyxlRange(sheet, "A1:A256"),
                            tavox.OpenpyxlRange(sheet, "C1:C100"))
    assert file.Transform() == tavox.fftResultTargetFull
    written = [sheet.cell(row=row, column=3).value for row in range(1, 130)]
    assert all(isinstance(v, float) for v in written[:128]) and written[128] is None
    assert written[8] == pytest.approx(1000.0)


def test_xlsx_too_narrow_target_writes_nothing_for_the_extra_exposure(app):
    book = openpyxl.Workbook()
    sheet = book.active
    for row, value in enumerate(cosine(count=600), start=1):
        sheet.cell(row=row, column=1, value=value)
    multi(app, 128, 3)
    file = app.FFTFiles.Add(tavox.fftDataExcelRange, tavox.OpenpyxlRange(sheet, "A1:A600"),
                            tavox.OpenpyxlRange(sheet, "C1:D64"))
    assert file.Transform() == tavox.fftResultTargetFull
    assert sheet["C9"].value == pytest.approx(1000.0) and sheet["D9"].value == pytest.approx(1000.0)
    assert all(sheet.cell(row=row, column=5).value is None for row in range(1, 70))


def test_xlsx_text_cells_read_their_leading_number(app):
    book = openpyxl.Workbook()
    sheet = book.active
    for row, value in enumerate(cosine(), start=1):
        sheet.cell(row=row, column=1, value="%r mV" % value)
        sheet.cell(row=row, column=2, value=value)
    sheet["A1"], sheet["B1"] = "abc", 0
    files = app.FFTFiles
    for source, target in (("A1:A128", "C1:C64"), ("B1:B128", "D1:D64")):
        file = files.Add(tavox.fftDataExcelRange, tavox.OpenpyxlRange(sheet, source), tavox.OpenpyxlRange(sheet, target))
        assert file.Transform() == tavox.fftResultAllRight
    from_text = [sheet.cell(row=row, column=3).value for row in range(1, 65)]
    from_numbers = [sheet.cell(row=row, column=4).value for row in range(1, 65)]
    assert from_text == from_numbers and from_text[8] > 900


def test_numpy_in_and_out(app):
    source = np.array(cosine(count=1000, bin_=4))
    target = np.zeros((64, 3))
    multi(app, 128, 3)
    file = app.FFTFiles.Add(tavox.fftDataExcelRange, tavox.NumpyRange(source), tavox.NumpyRange(target))
    assert file.Source.array is source and file.Target.array is target
    assert file.Transform() == tavox.fftResultAllRight
    expected = np.zeros(64)
    expected[4] = 1000.0
    for column in range(3):
        np.testing.assert_allclose(target[:, column], expected, atol=1e-6)
    samples = np.round(source).astype(np.int16)  # integer arrays read as well
    file = app.FFTFiles.Add(tavox.fftDataExcelRange, tavox.NumpyRange(samples), tavox.NumpyRange(target))
    assert file.Transform() == tavox.fftResultAllRight
    np.testing.assert_allclose(target[:, 0], expected, atol=2.0)


def test_numpy_two_dimensional_source_uses_its_first_column(app):
    source = np.zeros((128, 2))
    source[:, 0] = cosine(bin_=16)
    source[:, 1] = 5000.0
    target = np.zeros(64)
    file = app.FFTFiles.Add(tavox.fftDataExcelRange, tavox.NumpyRange(source), tavox.NumpyRange(target))
    assert file.Transform() == tavox.fftResultAllRight
    assert target[16] == pytest.approx(1000.0) and target[0] == pytest.approx(0.0, abs=1e-9)


def test_numpy_target_too_short_reports_target_full(app):
    source = np.array(cosine())
    target = np.full(10, -1.0)
    file = app.FFTFiles.Add(tavox.fftDataExcelRange, tavox.NumpyRange(source), tavox.NumpyRange(target))
    assert file.Transform() == tavox.fftResultTargetFull
    assert target[8] == pytest.approx(1000.0) and target[9] == pytest.approx(0.0, abs=1e-9)


def test_numpy_range_checks_its_arguments():
    with pytest.raises(TypeError):
        tavox.NumpyRange([1.0, 2.0])
    with pytest.raises(ValueError):
        tavox.NumpyRange(np.zeros((2, 2, 2)))
    r = tavox.NumpyRange(np.arange(6.0).reshape(3, 2))
    assert (r.Rows.Count, r.Columns.Count, r.Cells(3, 2).Value) == (3, 2, 5.0)
    for row, column in ((0, 1), (1, 0), (4, 1), (1, 3)):
        with pytest.raises(IndexError):
            r.Cells(row, column)
    with pytest.raises(ValueError):
        tavox.OpenpyxlRange(openpyxl.Workbook().active, "A:A")


class ShapedRange:
    """A range-shaped object whose members can be told to fail or to answer with text."""

    def __init__(self, rows, columns=1, values=None, fail=()):
        self.values = dict(values or {})
        self.fail = set(fail)
        self._rows, self._columns = rows, columns

    def _count(self, what, count):
        owner = self

        class Count:
            @property
            def Count(self):
                if what in owner.fail:
                    raise RuntimeError(what)
                return count

        return Count()

    @property
    def Rows(self):
        return self._count("rows", self._rows)

    @property
    def Columns(self):
        return self._count("columns", self._columns)

    def Cells(self, row, column):
        if "cells" in self.fail:
            raise KeyError((row, column))
        owner = self

        class Cell:
            @property
            def Value(self):
                if "read" in owner.fail:
                    raise ValueError("unreadable")
                return owner.values.get((row, column))

            @Value.setter
            def Value(self, value):
                if "write" in owner.fail:
                    raise PermissionError("read-only")
                owner.values[(row, column)] = value

        return Cell()


def signal_range(**kwargs):
    return ShapedRange(128, values={(r + 1, 1): v for r, v in enumerate(cosine())}, **kwargs)


@pytest.mark.parametrize("source, target, expected", [
    (lambda: signal_range(), lambda: ShapedRange(64), tavox.fftResultAllRight),
    (lambda: signal_range(fail={"read"}), lambda: ShapedRange(64), tavox.fftResultFileSysErr),
    (lambda: signal_range(fail={"cells"}), lambda: ShapedRange(64), tavox.fftResultFileSysErr),
    (lambda: signal_range(fail={"rows"}), lambda: ShapedRange(64), tavox.fftResultShortFile),
    (lambda: signal_range(), lambda: ShapedRange(64, fail={"columns"}), tavox.fftResultTargetFull),
    (lambda: signal_range(), lambda: ShapedRange(64, fail={"write"}), tavox.fftResultTargetFull),
    (lambda: ShapedRange("128", values={(r, 1): "1e3" for r in range(1, 129)}), lambda: ShapedRange("64"),
     tavox.fftResultAllRight),
    (lambda: ShapedRange("many"), lambda: ShapedRange(64), tavox.fftResultShortFile),
    (lambda: object(), lambda: ShapedRange(64), tavox.fftResultShortFile),
    (lambda: signal_range(), lambda: object(), tavox.fftResultTargetFull),
])
def test_failing_or_odd_ranges_give_result_codes(app, source, target, expected):
    file = app.FFTFiles.Add(tavox.fftDataExcelRange, source(), target())
    assert file.Transform() == expected


def test_range_values_arrive_as_doubles(app):
    target = ShapedRange(64)
    app.FFTFiles.Add(tavox.fftDataExcelRange, signal_range(), target)
    app.FFTExecute()
    assert all(type(v) is float for v in target.values.values()) and len(target.values) == 64
    assert target.values[(9, 1)] == pytest.approx(1000.0)


def test_spreadsheet_files_are_named_by_a_counter(app):
    files = app.FFTFiles
    names = [files.Add(1, ShapedRange(1), ShapedRange(1)).Name for _ in range(2)]
    files.Remove("Range0.xls")
    names.append(files.Add(1, ShapedRange(1), ShapedRange(1)).Name)
    assert names == ["Range0.xls", "Range1.xls", "Range2.xls"]
    with pytest.raises(tavox.AutomationError) as info:
        files.Add(1, ShapedRange(1), None)  # None is Empty, not an object
    assert info.value.number == -2147220501
    with pytest.raises(tavox.AutomationError) as info:
        files.Add(1, tavox.Nothing, ShapedRange(1))
    assert info.value.number == -2147220500
    assert files.Count == 2
