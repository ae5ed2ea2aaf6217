"""Figures and band levels of spectra: tavox.measure and tavox.bands."""

from __future__ import annotations

import dataclasses
import math
from typing import Any, Optional

import numpy as np
import numpy.typing as npt

from ._arrays import (AverageName, DetrendName, MethodName, Position, ScaleName, TransformError, UnitName,
                      WindowName, _samples, _settings, spectrum)
from ._tavox import BatchSettings, _bands, _measure, _result_message, fftResultEnum, fftWindowEnum

_MAX_HARMONICS = 20


@dataclasses.dataclass(frozen=True)
class Measurement:
    """What was measured of one spectrum, as the program's --measure reports it.

    Frequencies in Hz (cycles per sample without fs); levels in the unit of
    the spectrum (an amplitude on the amplitude scale, a power on the
    others); harmonics_dbc holds harmonics 2, 3, ... in dBc (None for one
    not counted); ratios in dB, percent and bits; noise_floor the median
    density of the noise bins per Hz. When nothing could be measured every
    figure is None and problem says why.
    """

    peak_bin: Optional[int]
    peak_hz: Optional[float]
    peak_level: Optional[float]
    fundamental_hz: Optional[float]
    fundamental_level: Optional[float]
    harmonics_dbc: tuple[Optional[float], ...]
    snr_db: Optional[float]
    thd_db: Optional[float]
    thd_percent: Optional[float]
    thd_n_db: Optional[float]
    thd_n_percent: Optional[float]
    sinad_db: Optional[float]
    enob_bits: Optional[float]
    sfdr_dbc: Optional[float]
    sfdr_dbfs: Optional[float]
    noise_floor: Optional[float]
    problem: Optional[str]


@dataclasses.dataclass(frozen=True)
class Band:
    """One fractional-octave band (IEC 61260-1, base 10) and the level the
    spectrum holds within it; sparse when it holds fewer than 3 NENBW bins."""

    index: int
    nominal_hz: float
    exact_hz: float
    lower_hz: float
    upper_hz: float
    bins: float
    level: float
    sparse: bool


def _measurement(found: dict[str, Any]) -> Measurement:
    """A Measurement of the figures the extension gives by their report names."""
    harmonics = []
    h = 2
    while "h%d_dbc" % h in found:
        harmonics.append(found["h%d_dbc" % h])
        h += 1
    peak = found.get("peak_bin")
    fields: dict[str, Any] = {field.name: found.get(field.name) for field in dataclasses.fields(Measurement)}
    fields.update(peak_bin=None if peak is None else int(peak), harmonics_dbc=tuple(harmonics))
    return Measurement(**fields)


def _measure_options(fundamental: object, harmonics: object, band: object,
                     rate: Optional[float], file_rate: bool = False
                     ) -> tuple[Optional[float], int, Optional[float], Optional[float]]:
    """(fundamental, harmonics, low, high) as BatchSettings.measure takes them, each checked.

    file_rate: without rate, each input may state its own; what needs it
    is then checked file by file, as the measurement's problem."""
    if isinstance(harmonics, bool) or not isinstance(harmonics, (int, np.integer)):
        raise TypeError("harmonics must be an int, not %s" % type(harmonics).__name__)
    if not 1 <= int(harmonics) <= _MAX_HARMONICS:
        raise ValueError("harmonics must be from 1 to %d, not %d" % (_MAX_HARMONICS, int(harmonics)))
    hz: Optional[float] = None
    if fundamental is not None:
        if isinstance(fundamental, bool) or not isinstance(fundamental, (int, float, np.integer, np.floating)):
            raise TypeError("fundamental must be a frequency in Hz, not %s" % type(fundamental).__name__)
        hz = float(fundamental)
        if rate is None and not file_rate:
            raise ValueError("fundamental needs the sample rate fs")
        if rate is None and not (math.isfinite(hz) and hz > 0):
            raise ValueError("fundamental must be a frequency above 0, not %r" % hz)
        if rate is not None and not (math.isfinite(hz) and 0 < hz < rate / 2):
            raise ValueError("fundamental must be above 0 and below half the rate, %r Hz, not %r" % (rate / 2, hz))
    low: Optional[float] = None
    high: Optional[float] = None
    if band is not None:
        if rate is None and not file_rate:
            raise ValueError("band needs the sample rate fs")
        try:
            low, high = (float(edge) for edge in band)  # type: ignore[attr-defined]
        except (TypeError, ValueError):
            raise TypeError("band must be a pair (low, high) of frequencies in Hz, not %r" % (band,)) from None
        if not (math.isfinite(low) and math.isfinite(high) and 0 <= low < high
                and (rate is None or low < rate / 2)):
            raise ValueError("band must hold 0 <= low < high with low below half the rate, not %r" % (band,))
    return hz, int(harmonics), low, high


def _default_width(samples: np.ndarray[Any, Any], width: Optional[int]) -> int:
    if width is not None:
        return width
    size = int(samples.size)
    if size < 128:
        raise ValueError("%d samples are too few to measure; give at least 128" % size)
    return min(65536, 1 << (size.bit_length() - 1))


def measure(samples: npt.ArrayLike, width: Optional[int] = None, *, window: WindowName | fftWindowEnum = "hann",
            fs: Optional[float] = None, fundamental: Optional[float] = None, harmonics: int = 6,
            band: Optional[tuple[float, float]] = None, center: bool = False,
            method: MethodName = "simple", repeat: Optional[int] = None, start: Position = None,
            finish: Position = None, average: AverageName = "mean", scale: ScaleName = "amplitude",
            unit: UnitName = "linear", full_scale: Optional[float] = None, overlap: Optional[float] = None,
            detrend: DetrendName = "none", pad: Optional[int] = None, jobs: Optional[int] = None) -> Measurement:
    """The figures of the spectrum of samples, as the program's --measure gives them.

    samples, window, center, method, repeat, start, finish, average, scale,
    unit, full_scale, overlap, detrend, pad, jobs: as for tavox.spectrum;
    width defaults to the largest power of two the samples hold (at most
    65536), window to "hann". With "multi" the last exposure is measured.
    fs: the sample rate in Hz (None: frequencies in cycles per sample).
    fundamental: the fundamental is the strongest bin near this many Hz
    (None: the strongest of the spectrum). harmonics: harmonics 2 to this
    count (1 to 20). band: (low, high) in Hz, the noise and harmonics
    counted (None: all). fundamental and band need fs.

    Returns a Measurement; a spectrum without a tone gives None figures and
    the problem. Raises as tavox.spectrum does.
    """
    source = _samples(samples)
    settings = _settings(width=_default_width(source, width), window=window, center=center, method=method,
                         repeat=repeat, start=start, finish=finish, phase=False, average=average, jobs=jobs,
                         format="npy", rate=fs, scale=scale, unit=unit, full_scale=full_scale, overlap=overlap,
                         detrend=detrend, pad=pad)
    settings.measure = _measure_options(fundamental, harmonics, band, settings.rate)
    code, found = _measure(source, settings)
    result = fftResultEnum(code)
    if result != fftResultEnum.fftResultAllRight:
        raise TransformError(result, _result_message(code), "%d samples, width %d" % (source.size, settings.width))
    return _measurement(found if found is not None else {"problem": "nothing was measured"})


def bands(samples: npt.ArrayLike, width: Optional[int] = None, *, fs: float, bands_per_octave: int = 3,
          window: WindowName | fftWindowEnum = "hann", center: bool = False, method: MethodName = "simple",
          repeat: Optional[int] = None, start: Position = None, finish: Position = None,
          average: AverageName = "mean", scale: ScaleName = "power", unit: UnitName = "linear",
          full_scale: Optional[float] = None, overlap: Optional[float] = None, detrend: DetrendName = "none",
          pad: Optional[int] = None, jobs: Optional[int] = None) -> tuple[Band, ...]:
    """The fractional-octave band levels of the spectrum of samples, as the program's --bands writes them.

    fs: the sample rate in Hz (needed). bands_per_octave: 1, 3, 6 or 12.
    The other arguments are those of tavox.measure ("multi": its last
    exposure); levels are in the unit of the spectrum, powers by default.
    These are FFT-summed bands with IEC 61260-1 mid frequencies, not the
    output of IEC class-1 filters.
    """
    if bands_per_octave not in (1, 3, 6, 12):
        raise ValueError("bands_per_octave must be 1, 3, 6 or 12, not %r" % (bands_per_octave,))
    source = _samples(samples)
    chosen = _default_width(source, width)
    values = spectrum(source, chosen, window=window, center=center, method=method, repeat=repeat, start=start,
                      finish=finish, dtype="float64", average=average, jobs=jobs, scale=scale, unit=unit,
                      full_scale=full_scale, overlap=overlap, detrend=detrend, pad=pad, fs=fs)
    settings: BatchSettings = _settings(width=chosen, window=window, center=center, method=method, repeat=repeat,
                                        start=start, finish=finish, phase=False, average=average, jobs=jobs,
                                        format="npy", rate=fs, scale=scale, unit=unit, full_scale=full_scale,
                                        overlap=overlap, detrend=detrend, pad=pad)
    last = np.ascontiguousarray(values.reshape(-1, values.shape[-1])[-1], dtype=np.float64)
    return tuple(Band(int(i), nominal, exact, lower, upper, count, level, bool(sparse))
                 for i, nominal, exact, lower, upper, count, level, sparse in _bands(last, settings,
                                                                                      bands_per_octave))
