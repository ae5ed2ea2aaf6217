"""Objects shaped like spreadsheet ranges (Rows.Count, Columns.Count,
Cells(row, column).Value) over openpyxl worksheets and numpy arrays."""

from __future__ import annotations

from typing import Any

import numpy


class _Count:
    """The number of rows or columns of a range (Rows.Count, Columns.Count)."""

    __slots__ = ("Count",)

    def __init__(self, count: int) -> None:
        self.Count = count

    def __repr__(self) -> str:
        return "Count(%d)" % self.Count


def _position(value: object, name: str) -> int:
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError("%s must be an int" % name)
    if value < 1:
        raise IndexError("%s %d is before the first of the range" % (name, value))
    return value


class _OpenpyxlCell:
    """One cell of an OpenpyxlRange; Value reads and writes the worksheet cell."""

    __slots__ = ("_cell",)

    def __init__(self, cell: Any) -> None:
        self._cell = cell

    @property
    def Value(self) -> Any:
        """The value of the worksheet cell."""
        return self._cell.value

    @Value.setter
    def Value(self, value: Any) -> None:
        self._cell.value = value


class OpenpyxlRange:
    """A rectangular range of an openpyxl worksheet, such as "A1:A1024".

    Rows and columns are 1-based and relative to the top-left cell; a row
    below the range (or a column right of it) addresses the worksheet cell
    there, as on a real sheet.

    Parameters
    ----------
    worksheet : openpyxl.worksheet.worksheet.Worksheet
        The worksheet.
    reference : str
        The range, with two corners ("A1:A1024").

    Raises
    ------
    ValueError
        For a reference without two corners.

    Examples
    --------
    >>> import openpyxl
    >>> sheet = openpyxl.Workbook().active
    >>> cells = tavox.OpenpyxlRange(sheet, "B2:B129")
    >>> cells.Rows.Count, cells.Columns.Count
    (128, 1)
    >>> cells.Cells(1, 1).Value = 5
    >>> sheet["B2"].value
    5
    """

    def __init__(self, worksheet: Any, reference: str) -> None:
        from openpyxl.utils.cell import range_boundaries

        min_col, min_row, max_col, max_row = range_boundaries(reference)
        if None in (min_col, min_row, max_col, max_row):
            raise ValueError("a range with two corners is required, such as 'A1:A1024', not %r" % reference)
        self.worksheet = worksheet
        self.reference = reference
        self._top = min_row
        self._left = min_col
        self.Rows = _Count(max_row - min_row + 1)
        self.Columns = _Count(max_col - min_col + 1)

    def Cells(self, row: int, column: int) -> _OpenpyxlCell:
        """The cell at 1-based row and column of the range (below or right of it: the worksheet's cell there)."""
        row = _position(row, "row")
        column = _position(column, "column")
        return _OpenpyxlCell(self.worksheet.cell(row=self._top + row - 1, column=self._left + column - 1))

    def __repr__(self) -> str:
        return "OpenpyxlRange(%r, %r)" % (self.worksheet.title, self.reference)


class _NumpyCell:
    """One element of a NumpyRange as a cell.

    Value gives the element as a Python value: a number as int or float, and
    an element of an object array as it is held, so that such cells load as
    a spreadsheet's would (12.5 and "12.5 mV" read as 12.5, None as 0).
    """

    __slots__ = ("_array", "_index")

    def __init__(self, array: Any, index: Any) -> None:
        self._array = array
        self._index = index

    @property
    def Value(self) -> Any:
        """The element, as a Python value."""
        value = self._array[self._index]
        return value.item() if isinstance(value, numpy.generic) else value

    @Value.setter
    def Value(self, value: Any) -> None:
        self._array[self._index] = value


class NumpyRange:
    """A 1-D array (one column) or a 2-D array (rows x columns) as a range.

    Cells outside the array raise IndexError, which a transform reports as a
    result code. As a target use a writable float64 array: values are stored
    as they are computed, converted to the array's type.

    Parameters
    ----------
    array : numpy.ndarray
        1-D or 2-D, used in place.

    Raises
    ------
    TypeError, ValueError
        For anything but a 1-D or 2-D numpy array.

    Examples
    --------
    >>> source = tavox.NumpyRange(1000 * np.cos(2 * np.pi * 8 * np.arange(128) / 128))
    >>> target = np.zeros(64)
    >>> app = tavox.Application()
    >>> file = app.FFTFiles.Add(tavox.fftDataExcelRange, source, tavox.NumpyRange(target))
    >>> file.Transform() == tavox.fftResultAllRight, round(target[8], 6)
    (True, 1000.0)
    """

    def __init__(self, array: Any) -> None:
        if not isinstance(array, numpy.ndarray):
            raise TypeError("a numpy.ndarray is required, not %r" % type(array).__name__)
        if array.ndim not in (1, 2):
            raise ValueError("a 1-D or 2-D array is required, not %d-D" % array.ndim)
        self.array = array
        self.Rows = _Count(array.shape[0])
        self.Columns = _Count(1 if array.ndim == 1 else array.shape[1])

    def Cells(self, row: int, column: int) -> _NumpyCell:
        """The element at 1-based row and column; IndexError outside the array."""
        row = _position(row, "row")
        column = _position(column, "column")
        if row > self.Rows.Count or column > self.Columns.Count:
            raise IndexError("cell (%d, %d) is outside the %d x %d array"
                             % (row, column, self.Rows.Count, self.Columns.Count))
        index = row - 1 if self.array.ndim == 1 else (row - 1, column - 1)
        return _NumpyCell(self.array, index)

    def __repr__(self) -> str:
        return "NumpyRange(<%s array %s>)" % (self.array.dtype, self.array.shape)
