"""Time and frequency together: tavox.spectrogram and the Spectrogram it returns."""

from __future__ import annotations

import io
import json
import math
import zipfile
from typing import Any, NamedTuple, Optional

import numpy as np
import numpy.typing as npt

from ._arrays import (DetrendName, Position, ScaleName, UnitName, WindowName, _check_result, _integer, _samples,
                      _settings)
from ._tavox import _matrix_meta, _range, _spectrogram, fftMethodEnum, fftResultEnum, fftWindowEnum

_MAX_EXPOSURES = 999  # of one run of the multi method
_MEMBERS = ("S", "f", "t", "start", "meta")


class Spectrogram(NamedTuple):
    """A spectrogram: the spectrum of each exposure, one row per exposure.

    S: float64, shape (exposures, bins): row k is the spectrum of exposure k
      in the scale and unit of the batch (amplitudes: a sinusoid of
      amplitude A centred on a bin reads A). scipy.signal.spectrogram gives
      the transpose, frequency by time.
    f: float64, shape (bins,): the frequency of each column, k * fs / width
      Hz (k * fs / pad when padded), or the bin number k without a sample
      rate.
    t: float64, shape (exposures,): the centre of each exposure, SciPy's
      convention (start + width / 2) / fs seconds, or in samples without a
      sample rate.
    start: int64, shape (exposures,): the first sample of each exposure,
      counted from 0.
    meta: what the matrix holds: window, width, bins, exposures, first and
      step, scale, unit and quantity (with full_scale and points), the
      window's constants (window_sum S1,
      window_squares S2, coherent_gain, nenbw_bins, enbw_hz), rate, source
      and channel.
    """

    S: np.ndarray[Any, np.dtype[np.float64]]
    f: np.ndarray[Any, np.dtype[np.float64]]
    t: np.ndarray[Any, np.dtype[np.float64]]
    start: np.ndarray[Any, np.dtype[np.int64]]
    meta: dict[str, Any]


def _overlap(value: object) -> float:
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, (int, float, np.integer, np.floating)):
        raise TypeError("overlap must be a percentage (a number), not %s" % type(value).__name__)
    overlap = float(value)
    if not math.isfinite(overlap) or not 0 <= overlap <= 95:
        raise ValueError("overlap must be a percentage from 0 to 95, not %r" % (value,))
    return overlap


def _axes(starts: np.ndarray[Any, Any], bins: int, width: int, points: int,
          fs: Optional[float]) -> tuple[np.ndarray[Any, Any], np.ndarray[Any, Any]]:
    """The frequency of each column (of a transform of `points`) and the
    time of each row (the centre of an exposure of `width` samples)."""
    f = np.arange(bins, dtype=np.float64)
    t = starts.astype(np.float64) + width / 2
    if fs is not None:
        f = f * fs / points
        t = t / fs
    return f, t


def spectrogram(samples: npt.ArrayLike, width: int, *, window: WindowName | fftWindowEnum = "hann",
                overlap: float | None = None, repeat: int | None = None, start: Position = None,
                finish: Position = None, center: bool = False, fs: float | None = None,
                scale: ScaleName = "amplitude", unit: UnitName = "linear", full_scale: float | None = None,
                detrend: DetrendName = "none", pad: int | None = None, jobs: int | None = None) -> Spectrogram:
    """The spectrogram of samples: the spectrum of each exposure, as the batch's
    method "multi" with --layout=matrix computes it.

    samples: a 1-D array-like of numbers, read as tavox.spectrum reads it.
    width: samples per exposure, a power of two from 128 to 65536.
    window: "rect", "hann" or "flattop" (or an fftWindowEnum member).
    overlap: the exposures follow each other at a hop of
      round(width * (1 - overlap / 100)) samples from the start of the range,
      as many as fit (Welch's placement, as scipy.signal.spectrogram places
      its segments); a percentage from 0 to 95. repeat, when given as well,
      caps their number.
    repeat: without overlap, the number of exposures (2 to 999), placed as
      the batch places them: the first at the start of the range, the last
      ending at or before its end.
      Without either, overlap is 50.
    start, finish: the evaluated range, as tavox.spectrum takes it.
    center: remove the mean of every exposure first.
    fs: the sample rate in Hz, for f in Hz and t in seconds (and of "psd");
      None gives bin numbers and samples.
    scale, unit, full_scale, detrend, pad: as for tavox.spectrum: the
      values of each row ("psd" in units per Hz, "dbfs" in dB...); with pad
      the rows hold pad / 2 bins, k * fs / pad Hz apart.
    jobs: threads, as for tavox.spectrum; the result does not depend on it.

    Returns a Spectrogram: S (exposures x bins), f, t, start and meta.
    Where the definitions meet, S equals 2 * scipy.signal.spectrogram(x, fs,
    window=w, nperseg=width, noverlap=width - hop, detrend=False,
    mode="magnitude")[2].T[:, :width // 2] for TAVOX's window values w
    (tavox.window_weights): the amplitude of each bin, of which SciPy's
    magnitude mode gives half. With scale="power" or "psd" it equals
    scipy.signal.spectrogram(..., mode="psd", scaling="spectrum" or
    "density")[2].T[:, :width // 2].

    Raises TypeError and ValueError for arguments out of place,
    TransformError when no exposure fits the samples, MemoryError when
    memory runs out.
    """
    if repeat is not None:
        repeat = _integer(repeat, "repeat")
    if overlap is None and repeat is None:
        overlap = 50
    placed_by_hop = overlap is not None
    settings = _settings(width=width, window=window, center=center, method="multi",
                         repeat=2 if placed_by_hop else repeat, start=start, finish=finish, phase=False,
                         average="mean", jobs=jobs, format="npy", rate=fs, scale=scale, unit=unit,
                         full_scale=full_scale, detrend=detrend, pad=pad, layout="matrix")
    source = _samples(samples)
    if not placed_by_hop:
        code, outputs, bins, values, starts = _spectrogram(source, settings)
        _check_result(code, source, settings)
        step = int(starts[1] - starts[0]) if outputs > 1 else 0
    else:
        hop = max(1, round(width * (1 - _overlap(overlap) / 100)))
        first, last = _range(settings, min(source.size, 2 ** 31 - 1))
        count = (last - first + 1 - width) // hop + 1 if last - first + 1 >= width else 0
        if repeat is not None:
            count = min(count, repeat)
        if count < 1:
            _check_result(int(fftResultEnum.fftResultShortFile), source, settings)
        parts, part_starts = [], []
        done = 0
        bins = (pad or width) // 2
        if count == 1:
            # One exposure: the simple method's magnitudes.
            settings.method = int(fftMethodEnum.fftMethodSimple)
            settings.repeat = 1
            settings.start = str(first)
            code, outputs, bins, values, _ = _spectrogram(source, settings)
            _check_result(code, source, settings)
            parts.append(values.reshape(1, bins))
            part_starts.append(np.array([first - 1], dtype=np.int64))
            done = 1
        while done < count:
            # Runs of the multi method whose step is the hop: the last run
            # takes one exposure of the run before when it would hold one.
            begin = done if count - done != 1 else done - 1
            run = min(_MAX_EXPOSURES, count - begin)
            position = first + begin * hop
            settings.repeat = max(run, 2)
            settings.start = str(position)
            settings.finish = str(position + (max(run, 2) - 1) * hop + width - 1)
            code, outputs, bins, values, starts = _spectrogram(source, settings)
            _check_result(code, source, settings)
            rows = values.reshape(outputs, bins)[done - begin:run]
            parts.append(rows)
            part_starts.append(starts[done - begin:run])
            done = begin + run
        values = np.concatenate(parts).ravel()
        starts = np.concatenate(part_starts)
        outputs = count
        step = hop
    S = values.reshape(outputs, bins)
    f, t = _axes(starts, bins, width, 2 * bins, fs)
    meta = json.loads(_matrix_meta(settings, int(starts[0]), step, outputs, ""))
    meta["source"] = None
    return Spectrogram(S, f, t, starts.astype(np.int64), meta)


def _read_matrix(data: bytes, name: str) -> Spectrogram:
    """The Spectrogram in the bytes of an .npz of --layout=matrix."""
    try:
        with np.load(io.BytesIO(data), allow_pickle=False) as archive:
            missing = [member for member in _MEMBERS if member not in archive.files]
            if missing:
                raise ValueError("%s is no spectrogram matrix: it has no %s" % (name, ", ".join(missing)))
            S, f, t = (np.asarray(archive[key], dtype=np.float64) for key in ("S", "f", "t"))
            start = np.asarray(archive["start"], dtype=np.int64)
            meta = json.loads(str(archive["meta"]))
    except (zipfile.BadZipFile, OSError, json.JSONDecodeError) as error:
        raise ValueError("%s is no spectrogram matrix: %s" % (name, error)) from None
    if S.ndim != 2 or f.shape != (S.shape[1],) or t.shape != (S.shape[0],) or start.shape != t.shape:
        raise ValueError("%s is no spectrogram matrix: S %s, f %s, t %s and start %s do not fit together"
                         % (name, S.shape, f.shape, t.shape, start.shape))
    return Spectrogram(S, f, t, start, meta)
