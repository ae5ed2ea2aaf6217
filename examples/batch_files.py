#!/usr/bin/env python3
"""Batch over disk files: amplitude spectra of every *.sig file in a folder,
with progress printed from the events of the run.

Usage: batch_files.py [folder]   (default: a fresh temporary folder)
Run from the build tree with PYTHONPATH=<build>/python.
"""

import math
import struct
import sys
import tempfile
from pathlib import Path

import tavox

WIDTH = 1024


def write_tone(path: Path, bin_: int, count: int = 8192, amplitude: float = 8000.0) -> None:
    """A sequence file of 16-bit little-endian samples holding one tone."""
    samples = [round(amplitude * math.sin(2 * math.pi * bin_ * n / WIDTH)) for n in range(count)]
    path.write_bytes(struct.pack("<%dh" % count, *samples))


def read_samples(path: Path) -> tuple[int, ...]:
    data = path.read_bytes()
    return struct.unpack("<%dh" % (len(data) // 2), data)


class Progress:
    """Prints each finished file and the share of the batch done."""

    def __init__(self, total: int) -> None:
        self.total = total
        self.done = 0
        self.failed = 0

    def WillExecute(self, cancel: tavox.ByRef) -> None:
        print("Transforming %d files" % self.total)

    def FileComplete(self, file: tavox.File, result: tavox.ByRef) -> None:
        self.done += 1
        if result.value != tavox.fftResultAllRight:
            self.failed += 1
        name = result.value.name
        print("  %-8s %-20s %3d%%" % (file.Name, name, 100 * self.done // self.total))

    def ExecuteComplete(self) -> None:
        print("Done: %d of %d files all right" % (self.done - self.failed, self.total))


def main() -> int:
    folder = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(tempfile.mkdtemp(prefix="tavox-batch-"))
    folder.mkdir(parents=True, exist_ok=True)
    tones = {"low.sig": 10, "mid.sig": 100, "high.sig": 400, "top.sig": 500}
    for name, bin_ in tones.items():
        write_tone(folder / name, bin_)

    app = tavox.Application()
    p = app.FFTParameters
    p.Method = tavox.fftMethodAverage
    p.Repeat = 4
    p.Window = tavox.fftWindowHanning
    p.Width = WIDTH
    app.FFTFiles.Add(tavox.fftDataDiskFile, folder / "*.sig", "*.spc")
    progress = Progress(len(app.FFTFiles))
    app.Subscribe(progress)
    app.FFTExecute()

    for name, bin_ in tones.items():
        spectrum = read_samples(folder / name.replace(".sig", ".spc"))
        peak = max(range(len(spectrum)), key=spectrum.__getitem__)
        print("%s: peak at bin %d (expected %d), amplitude %d" % (name, peak, bin_, spectrum[peak]))
        if peak != bin_:
            progress.failed += 1
    return 1 if progress.failed else 0


if __name__ == "__main__":
    sys.exit(main())
