#!/usr/bin/env python3
"""An .xlsx workbook: column A of the sheet "Signal" is transformed by the
multi method (three exposures) into three columns of the sheet "Spectra";
the workbook is saved and read back.

Usage: spreadsheet.py [folder]   (default: a fresh temporary folder)
Run from the build tree with PYTHONPATH=<build>/python.
"""

import math
import sys
import tempfile
from pathlib import Path

import openpyxl

import tavox

WIDTH = 512
ROWS = 2048


def main() -> int:
    folder = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(tempfile.mkdtemp(prefix="tavox-xlsx-"))
    folder.mkdir(parents=True, exist_ok=True)
    book = openpyxl.Workbook()
    signal = book.active
    signal.title = "Signal"
    # A tone that glides upwards: each exposure finds it a little higher.
    for row in range(1, ROWS + 1):
        n = row - 1
        signal.cell(row=row, column=1, value=1000.0 * math.sin(2 * math.pi * (20 + 20 * n / ROWS) * n / WIDTH))
    spectra = book.create_sheet("Spectra")
    for column, title in enumerate(("Exposure 1", "Exposure 2", "Exposure 3"), start=1):
        spectra.cell(row=1, column=column, value=title)

    app = tavox.Application()
    p = app.FFTParameters
    p.Method = tavox.fftMethodMulti
    p.Repeat = 3
    p.Width = WIDTH
    p.Window = tavox.fftWindowFlatTop
    file = app.FFTFiles.Add(tavox.fftDataExcelRange, tavox.OpenpyxlRange(signal, "A1:A%d" % ROWS),
                            tavox.OpenpyxlRange(spectra, "A2:C%d" % (WIDTH // 2 + 1)))
    result = file.Transform()
    print("%s: %s" % (file.Name, result.name))

    path = folder / "spectra.xlsx"
    book.save(path)
    sheet = openpyxl.load_workbook(path)["Spectra"]
    peaks: list[int] = []
    for column in range(1, 4):
        values = [sheet.cell(row=row, column=column).value for row in range(2, WIDTH // 2 + 2)]
        peak = max(range(len(values)), key=values.__getitem__)
        peaks.append(peak)
        print("%s: peak at bin %d, amplitude %.1f" % (sheet.cell(row=1, column=column).value, peak, values[peak]))
    print("Saved", path)
    ok = result == tavox.fftResultAllRight and peaks == sorted(peaks) and peaks[0] < peaks[-1]
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
