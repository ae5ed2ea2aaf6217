#!/usr/bin/env python3
"""numpy in, Spectrum out: the amplitude spectrum of a noisy two-tone signal
held in a numpy array, first with tavox.spectrum, then through the object
model into another numpy array; both give the same doubles.

Usage: numpy_arrays.py [folder]   (the folder is not used; nothing is written)
Run from the build tree with PYTHONPATH=<build>/python.
"""

import sys

import numpy as np

import tavox

WIDTH = 4096


def main() -> int:
    rng = np.random.default_rng(7)
    n = np.arange(3 * WIDTH)
    signal = (3000.0 * np.sin(2 * np.pi * 150 * n / WIDTH) + 1200.0 * np.cos(2 * np.pi * 1025 * n / WIDTH)
              + rng.normal(0.0, 200.0, n.size))

    # The exposure begins a quarter into the signal, as the command line's "25%".
    direct = tavox.spectrum(signal, WIDTH, center=True, start="25%")

    spectrum = np.zeros(WIDTH // 2)
    app = tavox.Application()
    p = app.FFTParameters
    p.Width = WIDTH
    p.Window = tavox.fftWindowRectangle
    p.Center = True
    p.Start = "25%"
    file = app.FFTFiles.Add(tavox.fftDataExcelRange, tavox.NumpyRange(signal), tavox.NumpyRange(spectrum))
    result = file.Transform()
    print("%s: %s" % (file.Name, result.name))

    peaks = np.argsort(spectrum)[-2:][::-1]
    for bin_ in peaks:
        print("bin %4d: amplitude %7.1f" % (bin_, spectrum[bin_]))
    same = direct.magnitude.tobytes() == spectrum.tobytes()
    print("tavox.spectrum gives the same doubles:", same)
    ok = result == tavox.fftResultAllRight and sorted(peaks.tolist()) == [150, 1025] and same
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
