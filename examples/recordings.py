#!/usr/bin/env python3
"""Recordings as they come: a stereo WAV, a SigMF recording and a raw file of
float samples, each channel into a spectrum of its own, with the frequency
axis from the rate the files state.

Usage: recordings.py [folder]   (default: a fresh temporary folder)
Run from the build tree with PYTHONPATH=<build>/python.
"""

import json
import sys
import tempfile
import wave
from pathlib import Path

import numpy as np
import numpy.typing as npt

import tavox

Samples = npt.NDArray[np.float64]

RATE = 48000
WIDTH = 4096


def tone(hz: float, amplitude: float, count: int = 3 * WIDTH) -> Samples:
    samples: Samples = amplitude * np.sin(2 * np.pi * hz * np.arange(count) / RATE)
    return samples


def write_wav(path: Path, channels: list[Samples]) -> None:
    """A 16-bit PCM WAV through Python's own wave module."""
    frames = np.stack([np.round(c).astype("<i2") for c in channels], axis=1)
    with wave.open(str(path), "wb") as file:
        file.setnchannels(len(channels))
        file.setsampwidth(2)
        file.setframerate(RATE)
        file.writeframes(frames.tobytes())


def write_sigmf(base: Path, samples: Samples) -> None:
    """A SigMF recording of real float32 samples in [-1, 1]."""
    (samples / 32768).astype("<f4").tofile(str(base) + ".sigmf-data")
    meta = {"global": {"core:datatype": "rf32_le", "core:sample_rate": RATE, "core:version": "1.2.0"},
            "captures": [{"core:sample_start": 0}], "annotations": []}
    Path(str(base) + ".sigmf-meta").write_text(json.dumps(meta))


def peak_hz(path: str) -> float:
    """The frequency of the strongest bin of a CSV spectrum with a frequency axis."""
    table = np.loadtxt(path, delimiter=",", skiprows=1)
    return float(table[int(np.argmax(table[:, 2])), 1])


def main() -> int:
    folder = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(tempfile.mkdtemp(prefix="tavox-recordings-"))
    folder.mkdir(parents=True, exist_ok=True)
    write_wav(folder / "tone.wav", [tone(1000, 10000), tone(3000, 5000)])
    write_sigmf(folder / "probe", tone(6000, 20000))
    (tone(9000, 8000) / 32768).astype("<f4").tofile(str(folder / "sensor.f32"))

    samples, fs = tavox.read_signal(folder / "tone.wav")
    print("tone.wav: %d frames of %d channels at %s Hz" % (samples.shape[0], samples.shape[1], fs))

    expected = {"tone_ch1.csv": 1000.0, "tone_ch2.csv": 3000.0, "probe_ch1.csv": 6000.0}
    results = []
    for pattern in ("tone.wav", "*.sigmf-*"):
        results += tavox.transform_files(folder / pattern, "*.csv", format="csv", width=WIDTH, window="hann",
                                         channel="all")
    results += tavox.transform_files(folder / "*.f32", "*.csv", format="csv", width=WIDTH, window="hann",
                                     input_format="raw", sample_format="f32le", fs=RATE)
    expected["sensor.csv"] = 9000.0
    failed = 0
    for result in results:
        if not result.ok:
            print("%s channel %d: %s %s" % (result.input, result.channel, result.message, result.problem))
            failed += 1
            continue
        output = Path(result.outputs[0])
        found = peak_hz(str(output))
        print("%-14s channel %d: peak at %.0f Hz" % (output.name, result.channel, found))
        if abs(found - expected.pop(output.name, -1.0)) > RATE / WIDTH:
            failed += 1
    return 1 if failed or expected else 0


if __name__ == "__main__":
    sys.exit(main())
