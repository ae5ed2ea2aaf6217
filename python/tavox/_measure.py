"""Figures and band levels of spectra: tavox.measure and tavox.bands."""

from __future__ import annotations

import dataclasses
import math
from typing import Any, Optional

import numpy as np
import numpy.typing as npt

from ._arrays import (AverageName, DetrendName, FftName, MethodName, Position, ScaleName, TransformError, UnitName,
                      WindowName, _samples, _settings, spectrum)
from ._spectrogram import Spectrogram
from ._spectrum import Spectrum
from ._tavox import BatchSettings, _bands, _measure, _measure_values, _result_message, fftResultEnum, fftWindowEnum

_MAX_HARMONICS = 20


@dataclasses.dataclass(frozen=True)
class Measurement:
    """What was measured of one spectrum, as the program's --measure reports it.

    tavox.measure returns one, and so does each FileResult of a batch run
    with ``measure=True``. When nothing could be measured every figure is
    None and `problem` says why.

    Attributes
    ----------
    peak_bin : int or None
        The strongest bin above DC.
    peak_hz : float or None
        Its frequency, interpolated (Grandke for Hann, Jain for the
        rectangle, the bin itself for the flat top); in Hz, or cycles per
        sample without a rate.
    peak_level : float or None
        Its level, corrected for the offset from the bin, in the unit of the
        spectrum (an amplitude on the amplitude scale, a power on the others).
    fundamental_hz : float or None
        The fundamental: the strongest bin, or the strongest near the
        fundamental asked for.
    fundamental_level : float or None
        Its main lobe's power over the window's NENBW, as a level.
    harmonics_dbc : tuple of float or None
        Harmonics 2, 3, ... in dBc, folded about multiples of the rate; None
        for one not counted (on DC, on the fundamental's lobe, at Nyquist or
        outside the band).
    snr_db, thd_db, thd_n_db, sinad_db : float or None
        Signal to noise, total harmonic distortion (dBc), THD plus noise and
        SINAD, in dB.
    thd_percent, thd_n_percent : float or None
        THD and THD+N in percent.
    enob_bits : float or None
        Effective bits, referred to a full-scale sine.
    sfdr_dbc, sfdr_dbfs : float or None
        The fundamental, or a full-scale sine, over the strongest spur.
    noise_floor : float or None
        The median density of the noise bins, in the unit per Hz.
    problem : str or None
        Why nothing was measured, else None.

    Examples
    --------
    >>> j = np.arange(65536)
    >>> m = tavox.measure(np.round(32767 * np.sin(2 * np.pi * 1001 * j / 65536 + 0.1234)))
    >>> round(m.sinad_db, 1), round(m.enob_bits, 2), m.problem
    (98.1, 16.0, None)
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
    """One fractional-octave band and the level the spectrum holds within it.

    Mid frequencies and edges are those of IEC 61260-1 (base 10); the level
    is summed from the FFT's bins, not the output of a class-1 filter.

    Attributes
    ----------
    index : int
        The band number x: mid frequency 1000 * G**(x/b) for odd b bands per
        octave, 1000 * G**((2x+1)/(2b)) for even b, G = 10**0.3.
    nominal_hz : float
        Its nominal mid frequency (ISO 266 for octaves and third octaves).
    exact_hz : float
        Its exact mid frequency.
    lower_hz, upper_hz : float
        Its edges.
    bins : float
        The bins within it, those at its edges counted in part.
    level : float
        Its level in the unit of the spectrum (a power by default).
    sparse : bool
        True when it holds fewer than 3 NENBW bins, so that its level depends
        much on the window.

    Examples
    --------
    >>> tone = 1000 * np.sin(2 * np.pi * 1000 * np.arange(48000) / 48000)
    >>> third = {b.index: b for b in tavox.bands(tone, fs=48000, window="flattop")}
    >>> third[0].nominal_hz, round(third[0].lower_hz, 3), round(third[0].level / (1000**2 / 2), 3)
    (1000.0, 891.251, 1.0)
    """

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


def _from_spectrum(given: Spectrum, *, fs: Optional[float], full_scale: Optional[float],
                   transform: dict[str, object]) -> tuple[np.ndarray[Any, Any], BatchSettings]:
    """The values of a Spectrum and the settings that made them, for measuring it again."""
    for name, value in transform.items():
        if value is not None and value != _SPECTRUM_DEFAULTS.get(name) and value != getattr(given, name, None):
            raise ValueError("%s applies to samples; a Spectrum was made with its own" % name)
    if given.window is None:
        raise ValueError("the Spectrum does not say its window; measure its samples instead")
    rate = given.fs if fs is None else fs
    settings = _settings(width=given.width, window=given.window, center=False, method="simple", repeat=None,
                         start=None, finish=None, phase=False, average="mean", jobs=None, format="npy", rate=rate,
                         scale=given.scale, unit=given.unit, full_scale=full_scale,
                         pad=None if given.points == given.width else given.points)
    values = np.asarray(given.magnitude, dtype=np.float64)
    return np.ascontiguousarray(values.reshape(-1, values.shape[-1])[-1]), settings


# What measure's transform arguments are when not given.
_SPECTRUM_DEFAULTS: dict[str, object] = {"center": False, "method": "simple", "average": "mean",
                                         "scale": "amplitude", "unit": "linear", "detrend": "none",
                                         "fft": "exact"}


def measure(samples: npt.ArrayLike | Spectrum, width: Optional[int] = None, *,
            window: WindowName | fftWindowEnum | None = None, fs: Optional[float] = None,
            fundamental: Optional[float] = None, harmonics: int = 6, band: Optional[tuple[float, float]] = None,
            center: bool = False, method: MethodName = "simple", repeat: Optional[int] = None,
            start: Position = None, finish: Position = None, average: AverageName = "mean",
            scale: ScaleName = "amplitude", unit: UnitName = "linear", full_scale: Optional[float] = None,
            overlap: Optional[float] = None, detrend: DetrendName = "none", pad: Optional[int] = None,
            fft: FftName = "exact", jobs: Optional[int] = None) -> Measurement:
    """The figures of a spectrum, as the program's --measure gives them.

    Parameters
    ----------
    samples : array_like or Spectrum
        The samples to transform (as for tavox.spectrum), or a Spectrum that
        tavox.spectrum or tavox.read_spectrum made, measured as it stands
        (its window, width, pad, scale, unit and rate are its own).
    width : int, optional
        Samples per exposure; defaults to the largest power of two the
        samples hold, at most 65536.
    window : {"hann", "rect", "flattop"}, optional
        The window; "hann" when not given.
    fs : float, optional
        The sample rate in Hz; without one, frequencies are in cycles per
        sample.
    fundamental : float, optional
        The fundamental is the strongest bin near this many Hz (default: the
        strongest of the spectrum). Needs fs.
    harmonics : int, default 6
        Harmonics 2 to this many (1 to 20) count as distortion.
    band : (float, float), optional
        (low, high) in Hz: only the noise and harmonics within it count.
        Needs fs.
    center, method, repeat, start, finish, average, scale, unit : optional
        As for tavox.spectrum; with "multi" the last exposure is measured.
        A Spectrum takes none of these, nor those below but full_scale.
    full_scale : float, optional
        The volts of sample value 32767, for the units "volts" and "dbv"
        (also of a Spectrum in those units).
    overlap, detrend, pad, fft, jobs : optional
        As for tavox.spectrum.

    Returns
    -------
    Measurement
        The figures; a spectrum without a tone 20 dB above its noise gives
        None figures and the reason in `problem`, not an exception.

    Raises
    ------
    TypeError, ValueError
        For arguments out of place.
    TransformError
        When the samples cannot be transformed, as tavox.spectrum.

    Examples
    --------
    >>> j = np.arange(65536)
    >>> tone = 16384 * np.sin(2 * np.pi * 1000 * j / 48000) + 6554 * np.sin(2 * np.pi * 2000 * j / 48000)
    >>> m = tavox.measure(tone, fs=48000, window="flattop")
    >>> round(m.fundamental_hz), round(m.fundamental_level), round(m.thd_db, 2)
    (1000, 16384, -7.96)
    >>> s = tavox.spectrum(tone, 65536, window="flattop", fs=48000)
    >>> round(tavox.measure(s).thd_db, 2)
    -7.96
    >>> tavox.measure(np.zeros(1024)).problem is not None
    True
    """
    if isinstance(samples, Spectrogram):
        raise TypeError("measure takes samples or one Spectrum, not a Spectrogram; give the samples with "
                        "method='multi' to measure the last exposure")
    if isinstance(samples, Spectrum):
        values, settings = _from_spectrum(
            samples, fs=fs, full_scale=full_scale,
            transform=dict(width=width, window=window, center=center, method=method, repeat=repeat, start=start,
                           finish=finish, average=average, scale=scale, unit=unit, overlap=overlap,
                           detrend=detrend, pad=pad, fft=fft, jobs=jobs))
        settings.measure = _measure_options(fundamental, harmonics, band, settings.rate)
        found = _measure_values(values, settings)
        return _measurement(found if found is not None else {"problem": "nothing was measured"})
    source = _samples(samples)
    settings = _settings(width=_default_width(source, width), window="hann" if window is None else window,
                         center=center, method=method, repeat=repeat, start=start, finish=finish, phase=False,
                         average=average, jobs=jobs, format="npy", rate=fs, scale=scale, unit=unit,
                         full_scale=full_scale, overlap=overlap, detrend=detrend, pad=pad, fft=fft)
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
          pad: Optional[int] = None, fft: FftName = "exact", jobs: Optional[int] = None) -> tuple[Band, ...]:
    """The fractional-octave band levels of the spectrum of samples, as the program's --bands writes them.

    These are FFT-summed bands with IEC 61260-1 mid frequencies, not the
    output of IEC class-1 filters.

    Parameters
    ----------
    samples : array_like
        The samples, as for tavox.spectrum.
    width : int, optional
        Samples per exposure; defaults to the largest power of two the
        samples hold, at most 65536.
    fs : float
        The sample rate in Hz.
    bands_per_octave : {1, 3, 6, 12}, default 3
        Octaves, third octaves, sixth or twelfth octaves.
    window, center, method, repeat, start, finish, average : optional
        As for tavox.measure ("multi": its last exposure).
    scale : {"power", "psd", "amplitude"}, default "power"
        The scale of the levels: a band's power by default.
    unit, full_scale, overlap, detrend, pad, fft, jobs : optional
        As for tavox.spectrum.

    Returns
    -------
    tuple of Band
        From the first band whose lower edge lies at one bin or above to the
        last below the top bin.

    Raises
    ------
    TypeError, ValueError
        For arguments out of place.

    Examples
    --------
    >>> noise = np.random.default_rng(1).normal(0, 100, 96000)
    >>> octaves = tavox.bands(noise, fs=48000, bands_per_octave=1)
    >>> [b.nominal_hz for b in octaves if 100 <= b.nominal_hz <= 2000]
    [125.0, 250.0, 500.0, 1000.0, 2000.0]
    """
    if bands_per_octave not in (1, 3, 6, 12):
        raise ValueError("bands_per_octave must be 1, 3, 6 or 12, not %r" % (bands_per_octave,))
    source = _samples(samples)
    chosen = _default_width(source, width)
    values = np.asarray(spectrum(source, chosen, window=window, center=center, method=method, repeat=repeat,
                                 start=start, finish=finish, average=average, jobs=jobs, scale=scale, unit=unit,
                                 full_scale=full_scale, overlap=overlap, detrend=detrend, pad=pad, fs=fs, fft=fft),
                        dtype=np.float64)
    settings: BatchSettings = _settings(width=chosen, window=window, center=center, method=method, repeat=repeat,
                                        start=start, finish=finish, phase=False, average=average, jobs=jobs,
                                        format="npy", rate=fs, scale=scale, unit=unit, full_scale=full_scale,
                                        overlap=overlap, detrend=detrend, pad=pad, fft=fft)
    last = np.ascontiguousarray(values.reshape(-1, values.shape[-1])[-1])
    return tuple(Band(int(i), nominal, exact, lower, upper, count, level, bool(sparse))
                 for i, nominal, exact, lower, upper, count, level, sparse in _bands(last, settings,
                                                                                      bands_per_octave))
