"""numpy in, Spectrum out: tavox.spectrum, tavox.read_spectrum and tavox.read_signal."""

from __future__ import annotations

import dataclasses
import decimal
import errno
import io
import math
import numbers
import os
import re
from typing import TYPE_CHECKING, Any, Literal, Optional, Union, cast, overload

import numpy as np
import numpy.typing as npt

from ._spectrum import Spectrum, _axis
from ._tavox import (BatchSettings, _average_modes, _detrends, _fft_modes, _method_names, _output_formats,
                     _quantity_columns, _read_signal, _result_message, _scales, _spectrum, _units, _window_constants,
                     _window_names, _window_weights, fftMethodEnum, fftResultEnum, fftWindowEnum)

if TYPE_CHECKING:
    from ._spectrogram import Spectrogram

WindowName = Literal["rect", "hann", "flattop"]
MethodName = Literal["simple", "average", "multi"]
AverageName = Literal["mean", "rms", "max", "median", "min"]
LayoutName = Literal["files", "matrix"]
ScaleName = Literal["amplitude", "power", "psd"]
UnitName = Literal["linear", "dbfs", "volts", "dbv"]
DetrendName = Literal["none", "mean", "linear"]
FftName = Literal["exact", "fast"]
Position = Union[int, float, str, None]
InputFormatName = Literal["auto", "raw"]
SampleFormatName = Literal["s16le", "s16be", "s8", "u8", "u16le", "u16be", "s24le", "s24be", "s32le", "s32be",
                           "u32le", "u32be", "f32le", "f32be", "f64le", "f64be"]
Channel = Union[int, Literal["all"]]

_WINDOWS = {name: fftWindowEnum(value) for name, value in _window_names}
_METHODS = {name: fftMethodEnum(value) for name, value in _method_names}
_AVERAGES = _average_modes
_FORMATS = tuple(name for name, *_ in _output_formats)
_LAYOUTS = ("files", "matrix")
_MAX_REPEAT = 999
_MAX_POSITION = 2 ** 31 - 1
# What the command line takes for a start or finish: a sample number or a
# fraction below 1, or a percentage.
_POSITION_TEXT = re.compile(r"\s*(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?\s*(%?)\s*\Z")


class TransformError(ValueError):
    """The samples could not be transformed as asked.

    Attributes
    ----------
    code : fftResultEnum
        The result code a batch would report for the same samples:
        fftResultShortFile when the exposures do not fit the samples, error6
        when a value overflows.
    message : str
        Its English text.

    Examples
    --------
    >>> try:
    ...     tavox.spectrum(np.zeros(100), 128)
    ... except tavox.TransformError as error:
    ...     print(error.code.name)
    fftResultShortFile
    """

    def __init__(self, code: fftResultEnum, message: str, detail: str) -> None:
        super().__init__("%s (result code %d): %s" % (message, int(code), detail))
        self.code = code
        self.message = message


def _choice(value: object, name: str, names: dict[str, Any], enum: type) -> int:
    if isinstance(value, enum):
        return int(getattr(value, "value"))
    if isinstance(value, str) and value in names:
        return int(names[value])
    if not isinstance(value, str):
        raise TypeError("%s must be one of %s, not %s" % (name, ", ".join(map(repr, names)), type(value).__name__))
    raise ValueError("%s must be one of %s, not %r" % (name, ", ".join(map(repr, names)), value))


def _integer(value: object, name: str) -> int:
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, (int, np.integer)):
        raise TypeError("%s must be an int, not %s" % (name, type(value).__name__))
    return int(value)


def _flag(value: object, name: str) -> bool:
    if not isinstance(value, (bool, np.bool_)):
        raise TypeError("%s must be a bool, not %s" % (name, type(value).__name__))
    return bool(value)


def _width(value: object) -> int:
    width = _integer(value, "width")
    if width < 128 or width > 65536 or width & (width - 1):
        raise ValueError("width must be a power of two from 128 to 65536, not %d" % width)
    return width


def _position(value: object, name: str) -> str:
    """The command-line text of a start or finish ("" for the default)."""
    if value is None:
        return ""
    if isinstance(value, str):
        match = _POSITION_TEXT.match(value)
        if not match:
            raise ValueError("%s=%r is neither a sample number, a fraction below 1 nor a percentage such as '25%%'"
                             % (name, value))
        number = float(match.group(1) + (match.group(2) or ""))
        if match.group(3) and number > 100:
            raise ValueError("%s=%r is more than 100%%" % (name, value))
        if not match.group(3) and number > _MAX_POSITION:
            raise ValueError("%s=%r is beyond the last sample number a source can have" % (name, value))
        return value
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, (int, float, np.integer, np.floating)):
        raise TypeError("%s must be an int, a float or a str such as '25%%', not %s" % (name, type(value).__name__))
    if isinstance(value, (int, np.integer)):
        number = int(value)
        text = str(number)
    else:
        number = float(value)
        text = repr(number)
    if not math.isfinite(number) or number < 0 or number > _MAX_POSITION:
        raise ValueError("%s must be a sample number from 0 to %d or a fraction from 0 to 1, not %r"
                         % (name, _MAX_POSITION, value))
    return text


def _text(value: object, name: str) -> str:
    if not isinstance(value, str):
        raise TypeError("%s must be a str, not %s" % (name, type(value).__name__))
    return value


def _inputs(settings: BatchSettings, input_format: object, sample_format: object, channels: object,
            channel: object) -> None:
    """Checks the input options into settings (the values by BatchSettings)."""
    settings.input_format = _text(input_format, "input_format")
    settings.sample_format = _text(sample_format, "sample_format")
    settings.channels = channels  # type: ignore[assignment]
    settings.channel = channel  # type: ignore[assignment]


def _name(value: object, name: str, names: tuple[str, ...]) -> str:
    if isinstance(value, str) and value in names:
        return value
    if not isinstance(value, str):
        raise TypeError("%s must be one of %s, not %s" % (name, ", ".join(map(repr, names)), type(value).__name__))
    raise ValueError("%s must be one of %s, not %r" % (name, ", ".join(map(repr, names)), value))


def _spectrum_settings(settings: BatchSettings, *, scale: object, unit: object, full_scale: object,
                       overlap: object, detrend: object, pad: object, repeat_given: bool,
                       fft: object = "exact") -> None:
    """Checks the scale, unit, placement, detrending and padding, alone (by
    BatchSettings) and as the command line checks them together."""
    settings.scale = _name(scale, "scale", _scales)
    settings.unit = _name(unit, "unit", _units)
    settings.detrend = _name(detrend, "detrend", _detrends)
    settings.fft = _name(fft, "fft", _fft_modes)
    settings.full_scale = cast(Optional[float], full_scale)
    volts = settings.unit in ("volts", "dbv")
    if volts and settings.full_scale is None:
        raise ValueError("unit=%r needs full_scale, the volts of sample value 32767" % settings.unit)
    if not volts and settings.full_scale is not None:
        raise ValueError("full_scale applies to unit 'volts' or 'dbv', not %r" % settings.unit)
    settings.overlap = cast(Optional[float], overlap)
    if settings.overlap is not None and settings.method == fftMethodEnum.fftMethodSimple:
        raise ValueError("overlap applies to the methods 'average' and 'multi', not 'simple'")
    settings.repeat_caps = settings.overlap is not None and repeat_given
    settings.pad = cast(Optional[int], pad)
    if settings.pad is not None and settings.pad < settings.width:
        raise ValueError("pad must be at least the width (%d), not %d" % (settings.width, settings.pad))
    if settings.scale != "amplitude" and settings.average == "rms":
        raise ValueError("average='rms' applies to the amplitude scale; on the %s scale 'mean' averages power"
                         % settings.scale)


def _settings(*, width: object, window: object, center: object, method: object, repeat: object, start: object,
              finish: object, phase: object, average: object, jobs: object, format: object = "raw",
              rate: object = None, scale: object = "amplitude", unit: object = "linear", full_scale: object = None,
              overlap: object = None, detrend: object = "none", pad: object = None, layout: object = "files",
              fft: object = "exact", input_format: object = "auto", sample_format: object = "s16le",
              channels: object = 1, channel: object = 1) -> BatchSettings:
    """The settings of a batch or a spectrum, each option checked in turn (the
    rate, the jobs, the numbers of the spectrum and the inputs by
    BatchSettings); TypeError or ValueError for the first one out of place."""
    settings = BatchSettings()
    _inputs(settings, input_format, sample_format, channels, channel)
    settings.method = _choice(method, "method", _METHODS, fftMethodEnum)
    simple = settings.method == fftMethodEnum.fftMethodSimple
    repeat_value = 2 if repeat is None else _integer(repeat, "repeat")
    if not simple and not 2 <= repeat_value <= _MAX_REPEAT:
        raise ValueError("repeat must be from 2 to %d, not %d" % (_MAX_REPEAT, repeat_value))
    settings.repeat = 1 if simple else repeat_value
    if format not in _FORMATS:
        raise ValueError("format must be one of %s, not %r" % (", ".join(map(repr, _FORMATS)), format))
    settings.format = cast(str, format)
    if layout not in _LAYOUTS:
        raise ValueError("layout must be 'files' or 'matrix', not %r" % (layout,))
    if layout == "matrix" and settings.method != fftMethodEnum.fftMethodMulti:
        raise ValueError("layout='matrix' applies to method 'multi' only")
    if layout == "matrix" and format == "raw":
        raise ValueError("layout='matrix' needs a format that holds the matrix and its axes: 'npz', 'npy', 'csv' or "
                         "'f32'")
    if format == "npz" and layout != "matrix":
        raise ValueError("format='npz' holds the exposures of method 'multi' as one matrix: give layout='matrix'")
    settings.layout = cast(str, layout)
    if average not in _AVERAGES:
        if not isinstance(average, str):
            raise TypeError("average must be one of %s, not %s" % (", ".join(map(repr, _AVERAGES)),
                                                                  type(average).__name__))
        raise ValueError("average must be one of %s, not %r" % (", ".join(map(repr, _AVERAGES)), average))
    settings.average = cast(str, average)
    settings.rate = cast(Optional[float], rate)
    settings.jobs = None if jobs is None else _integer(jobs, "jobs")
    settings.width = _width(width)
    settings.window = _choice(window, "window", _WINDOWS, fftWindowEnum)
    settings.center = _flag(center, "center")
    settings.start = _position(start, "start") or None
    settings.finish = _position(finish, "finish") or None
    settings.phase = _flag(phase, "phase")
    _spectrum_settings(settings, scale=scale, unit=unit, full_scale=full_scale, overlap=overlap, detrend=detrend,
                       pad=pad, repeat_given=repeat is not None, fft=fft)
    if settings.format == "raw" and (settings.scale, settings.unit) != ("amplitude", "linear"):
        raise ValueError("format='raw' holds amplitudes in sample counts only; for scale=%r, unit=%r choose "
                         "'csv', 'f32' or 'npy'" % (settings.scale, settings.unit))
    return settings


def _check_result(code: int, source: np.ndarray[Any, Any], settings: BatchSettings) -> None:
    """Raises what a result code other than fftResultAllRight means."""
    result = fftResultEnum(code)
    if result == fftResultEnum.fftResultAllRight:
        return
    message = _result_message(code)
    if result in (fftResultEnum.fftResultOutOfMemory, fftResultEnum(7)):
        raise MemoryError(message)
    detail = "%d samples, width %d, method %s" % (source.size, settings.width, fftMethodEnum(settings.method).name)
    if settings.method != fftMethodEnum.fftMethodSimple and settings.overlap is None:
        detail += ", repeat %s" % settings.repeat
    if settings.overlap is not None:
        detail += ", overlap %s%%" % settings.overlap
    if settings.start is not None:
        detail += ", start %s" % settings.start
    if settings.finish is not None:
        detail += ", finish %s" % settings.finish
    raise TransformError(result, message, detail)


def _samples(samples: npt.ArrayLike) -> np.ndarray[Any, Any]:
    """The samples as a contiguous int16 array (used in place when given so)
    or, for any other numbers, a float64 array."""
    array = samples if isinstance(samples, np.ndarray) else np.asarray(samples)
    if array.ndim != 1:
        raise ValueError("samples must be 1-D, not %d-D (shape %s)" % (array.ndim, array.shape))
    if array.size > _MAX_POSITION:
        raise ValueError("samples holds %d values, more than a source can hold (%d)" % (array.size, _MAX_POSITION))
    kind = array.dtype.kind
    if kind in "iu":
        if array.dtype == np.int16:
            return np.ascontiguousarray(array, dtype=np.dtype("=i2"))
        if array.size == 0 or (int(array.min()) >= -32768 and int(array.max()) <= 32767):
            return array.astype(np.int16)
        return np.ascontiguousarray(array, dtype=np.float64)
    if kind == "f":
        converted = np.ascontiguousarray(array, dtype=np.float64)
    elif kind == "O":
        for index, value in enumerate(array):
            if isinstance(value, (bool, np.bool_)) or not isinstance(value, (numbers.Real, decimal.Decimal)):
                raise TypeError("samples must be numbers; samples[%d] is %r" % (index, value))
        converted = np.asarray(array, dtype=np.float64)
    else:
        raise TypeError("samples must be numbers, not %s" % array.dtype)
    finite = np.isfinite(converted)
    if not finite.all():
        index = int(np.argmin(finite))
        raise ValueError("samples[%d] is %r; a spreadsheet cell reads NaN and infinity as 0, so replace them "
                         "(numpy.nan_to_num) if that is meant" % (index, float(converted[index])))
    return converted


def _dtype(value: object) -> bool:
    """True for int16 (the raw outputs), False for float64."""
    if value is None:
        raise TypeError("dtype must be 'int16' or 'float64', not None")
    try:
        dtype = np.dtype(value)  # type: ignore[call-overload]
    except TypeError:
        raise TypeError("dtype must be 'int16' or 'float64', not %r" % (value,)) from None
    if dtype == np.int16:
        return True
    if dtype == np.float64:
        return False
    raise ValueError("dtype must be 'int16' or 'float64', not %r" % (value,))


def _rate(value: object, name: str = "fs") -> Optional[float]:
    """A sample rate in Hz, or None."""
    if value is None:
        return None
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, (int, float, np.integer, np.floating)):
        raise TypeError("%s must be a number (Hz) or None, not %s" % (name, type(value).__name__))
    rate = float(value)
    if not math.isfinite(rate) or rate <= 0:
        raise ValueError("%s must be a sample rate in Hz above 0, such as 48000, not %r" % (name, value))
    return rate


@overload
def spectrum(samples: npt.ArrayLike, width: int, *, window: WindowName | fftWindowEnum = ...,
             center: bool = ..., method: Literal["simple", "average"] = ..., repeat: int | None = ...,
             start: Position = ..., finish: Position = ..., phase: bool = ...,
             dtype: Literal["float64", "int16"] = ..., average: AverageName = ..., jobs: int | None = ...,
             scale: ScaleName = ..., unit: UnitName = ..., full_scale: float | None = ...,
             overlap: float | None = ..., detrend: DetrendName = ..., pad: int | None = ..., fft: FftName = ...,
             fs: float | None = ...) -> Spectrum: ...


@overload
def spectrum(samples: npt.ArrayLike, width: int, *, window: WindowName | fftWindowEnum = ...,
             center: bool = ..., method: Literal["multi"], repeat: int | None = ...,
             start: Position = ..., finish: Position = ..., phase: bool = ...,
             dtype: Literal["float64", "int16"] = ..., average: AverageName = ..., jobs: int | None = ...,
             scale: ScaleName = ..., unit: UnitName = ..., full_scale: float | None = ...,
             overlap: float | None = ..., detrend: DetrendName = ..., pad: int | None = ..., fft: FftName = ...,
             fs: float | None = ...) -> Spectrogram: ...


@overload
def spectrum(samples: npt.ArrayLike, width: int, *, window: WindowName | fftWindowEnum = ...,
             center: bool = ..., method: fftMethodEnum, repeat: int | None = ...,
             start: Position = ..., finish: Position = ..., phase: bool = ...,
             dtype: Literal["float64", "int16"] = ..., average: AverageName = ..., jobs: int | None = ...,
             scale: ScaleName = ..., unit: UnitName = ..., full_scale: float | None = ...,
             overlap: float | None = ..., detrend: DetrendName = ..., pad: int | None = ..., fft: FftName = ...,
             fs: float | None = ...) -> Spectrum | Spectrogram: ...


def spectrum(samples: npt.ArrayLike, width: int, *, window: WindowName | fftWindowEnum = "rect",
             center: bool = False, method: MethodName | fftMethodEnum = "simple", repeat: int | None = None,
             start: Position = None, finish: Position = None, phase: bool = False,
             dtype: Literal["float64", "int16"] = "float64", average: AverageName = "mean", jobs: int | None = None,
             scale: ScaleName = "amplitude", unit: UnitName = "linear", full_scale: float | None = None,
             overlap: float | None = None, detrend: DetrendName = "none", pad: int | None = None,
             fft: FftName = "exact", fs: float | None = None) -> Spectrum | Spectrogram:
    """The spectrum of samples, as the batch computes it.

    Parameters
    ----------
    samples : array_like
        1-D numbers. An int16 array is used in place, without a copy (a
        C-contiguous one; others are copied first). Integers that fit 16
        bits are 16-bit samples, as a sequence file holds them; any other
        numbers are read as spreadsheet cells holding them are (unchanged;
        NaN and infinity raise ValueError).
    width : int
        Samples per exposure, a power of two from 128 to 65536.
    window : {"rect", "hann", "flattop"} or fftWindowEnum, default "rect"
        The window each exposure is multiplied by (see tavox.window_weights).
    center : bool, default False
        Remove the mean of every exposure first.
    method : {"simple", "average", "multi"} or fftMethodEnum, default "simple"
        "simple": one exposure at start; "average": the average of repeat
        exposures spread from start to finish; "multi": each of repeat
        exposures on its own.
    repeat : int, optional
        Exposures of "average" and "multi", 2 to 999 (default 2, or with
        overlap as many as fit); not used by "simple".
    start, finish : int, float or str, optional
        The evaluated range, as the command line takes it: a 1-based sample
        number, a fraction below 1 (0.25) or a percentage ("25%"); None or
        0 for the start and the end of the samples.
    phase : bool, default False
        With "simple", the phase of each bin in degrees as well.
    dtype : {"float64", "int16"}, default "float64"
        "float64" gives the unrounded values (exactly what a spreadsheet
        target receives for a source range holding the samples); "int16"
        the samples of a raw output, exactly the bytes a disk batch writes
        for 16-bit samples (``Spectrum.to_int16`` gives the same from a
        float64 result).
    average : {"mean", "rms", "max", "median", "min"}, default "mean"
        How "average" combines its exposures, bin by bin, as --average (a
        spreadsheet target always takes the mean; the others give the
        values of a disk output). On the power scales it combines power,
        the median corrected for its bias as
        ``scipy.signal.welch(average="median")`` does.
    jobs : int, optional
        Threads for the exposures of a long "average", as --jobs: None or 0
        for TAVOX_JOBS, else one per CPU; 1 for none. The result does not
        depend on it.
    scale : {"amplitude", "power", "psd"}, default "amplitude"
        "amplitude": a sine on a bin reads its amplitude; "power":
        scipy.signal's ``scaling="spectrum"`` (a sine reads A**2/2); "psd":
        ``scaling="density"`` (power over the window's ENBW in Hz);
        one-sided, bin 0 not doubled.
    unit : {"linear", "dbfs", "volts", "dbv"}, default "linear"
        Sample counts, dB re a full-scale sine (0 for a sine peaking at
        32767), or volts and dBV through `full_scale`.
    full_scale : float, optional
        The volts of sample value 32767, for "volts" and "dbv".
    overlap : float, optional
        Welch's placement for "average" and "multi": exposures from start,
        ``round(width * (1 - overlap/100))`` samples apart, as many as fit
        (repeat, when given, caps them); 0 to 95 percent.
    detrend : {"none", "mean", "linear"}, default "none"
        "mean" is the same as center; "linear" removes the least-squares
        line of each exposure before the window.
    pad : int, optional
        Points transformed, a power of two from width to 65536: the weighted
        exposure followed by zeros, giving pad/2 bins.
    fft : {"exact", "fast"}, default "exact"
        "exact" (the same bits as the batch) or "fast" (FFTW's real-input
        transform, within one count on int16 results), as --fft.
    fs : float, optional
        The sample rate in Hz: the frequencies in Hz and the density of
        "psd" per Hz (without it, bin numbers and a rate of 1, as SciPy).

    Returns
    -------
    Spectrum
        magnitude of shape (bins,), bins being width/2, or pad/2; phase,
        frequencies and what they were computed with.
    Spectrogram
        For "multi": S of shape (exposures, bins), f, t, start and meta, as
        tavox.spectrogram gives them (phase does not apply).

    Raises
    ------
    TypeError, ValueError
        For arguments out of place.
    TransformError
        A ValueError: the samples do not hold the exposures asked for, or
        a value overflows.
    MemoryError
        When memory runs out.

    Notes
    -----
    The GIL is released while the spectrum is computed, so calls on
    several threads run in parallel.

    Examples
    --------
    >>> t = np.arange(4096) / 8000
    >>> x = 1000 * np.sin(2 * np.pi * 1000 * t)
    >>> s = tavox.spectrum(x, 1024, window="hann", method="average", overlap=50, fs=8000)
    >>> s.exposures, float(s.frequencies[s.magnitude.argmax()])
    (7, 1000.0)
    >>> p = tavox.spectrum(x, 1024, window="hann", scale="psd", fs=8000)
    >>> p.units
    'counts**2/Hz'
    """
    raw = _dtype(dtype)
    calibrated = (scale, unit) != ("amplitude", "linear")
    if raw and calibrated:
        raise ValueError("dtype='int16' holds amplitudes in sample counts only; for scale=%r, unit=%r use "
                         "dtype='float64'" % (scale, unit))
    settings = _settings(width=width, window=window, center=center, method=method, repeat=repeat, start=start,
                         finish=finish, phase=phase, average=average, jobs=jobs, format="raw" if raw else "npy",
                         rate=_rate(fs), scale=scale, unit=unit, full_scale=full_scale, overlap=overlap,
                         detrend=detrend, pad=pad, fft=fft)
    source = _samples(samples)
    if settings.method == fftMethodEnum.fftMethodMulti:
        from ._spectrogram import _multi
        return _multi(source, settings, settings.rate, raw)

    code, outputs, rows, bins, values, exposures = _spectrum(source, settings, raw)
    _check_result(code, source, settings)
    return _result(values.reshape(outputs * rows, bins), settings, exposures, rows == 2)


def _result(values: np.ndarray[Any, Any], settings: BatchSettings, exposures: int, phased: bool) -> Spectrum:
    """The Spectrum of a transform's values, one block per row."""
    points = settings.pad or settings.width
    window = _window_name(settings.window)
    return Spectrum(magnitude=values[0], phase=values[1] if phased else None,
                    frequencies=_axis(points, settings.rate), fs=settings.rate, window=window,
                    width=settings.width, points=points, exposures=exposures,
                    method=next(name for name, member in _METHODS.items() if member == settings.method),
                    scale=settings.scale, unit=settings.unit,
                    window_constants=window_constants(window, settings.width, fs=settings.rate or 1.0))


def _window_name(value: int) -> WindowName:
    return cast(WindowName, next(name for name, member in _WINDOWS.items() if member == value))


def read_signal(path: str | os.PathLike[str], *, channel: int | None = None, input_format: InputFormatName = "auto",
                sample_format: SampleFormatName = "s16le",
                channels: int = 1) -> tuple[np.ndarray[Any, np.dtype[np.float64]], float | None]:
    """Reads the samples of any input a batch reads, as the batch reads them.

    Parameters
    ----------
    path : str or os.PathLike
        A sound file (WAV, FLAC, AIFF, CAF, W64), a SigMF recording (its
        .sigmf-meta or .sigmf-data file) or a raw file, known by its contents
        as the command line's --input-format=auto knows it.
    channel : int, optional
        The channel to read, from 1; None reads every channel.
    input_format : {"auto", "raw"}, default "auto"
        As the command line's --input-format ("raw" reads any file as raw
        samples).
    sample_format : str, default "s16le"
        As --sample-format: the samples of a raw file.
    channels : int, default 1
        As --channels: the interleaved channels of a raw file.

    Returns
    -------
    samples : numpy.ndarray
        float64 on the 16-bit scale the batch transforms (a full-scale sine
        reads about 32767 whatever the format), of shape (frames,) for one
        channel and (frames, channels) for every channel of a source of
        several.
    fs : float or None
        The sample rate in Hz the file states, None when it states none (raw
        files); pass it on as ``fs=``.

    Raises
    ------
    FileNotFoundError, OSError
        When the file cannot be read.
    TransformError
        A ValueError (code fftResultFormatErr) when the file cannot be
        decoded or has no such channel.
    TypeError, ValueError
        For arguments out of place.

    Examples
    --------
    >>> import pathlib, tempfile
    >>> path = pathlib.Path(tempfile.mkdtemp()) / "pairs.raw"
    >>> _ = path.write_bytes(np.array([1, -2, 3, -4], dtype="<i2").tobytes())
    >>> tavox.read_signal(path, channel=2, channels=2)
    (array([-2., -4.]), None)
    """
    name = os.fspath(path)
    if not isinstance(name, str) or not name:
        raise TypeError("path must be a str or os.PathLike[str] naming a file, not %r" % (path,))
    if channel is not None and (isinstance(channel, (bool, np.bool_)) or not isinstance(channel, (int, np.integer))):
        raise TypeError("channel must be an int or None, not %s" % type(channel).__name__)
    settings = BatchSettings()
    _inputs(settings, input_format, sample_format, channels, 1 if channel is None else int(channel))
    if not os.path.exists(name):
        raise FileNotFoundError(errno.ENOENT, os.strerror(errno.ENOENT), name)
    code, reason, samples, fs = _read_signal(os.path.abspath(name), settings,
                                             None if channel is None else int(channel))
    if code == fftResultEnum.fftResultFormatErr:
        raise TransformError(fftResultEnum(code), _result_message(code), "%s: %s" % (name, reason))
    if code != fftResultEnum.fftResultAllRight:
        raise OSError(errno.EIO, "%s%s" % (_result_message(code), ": " + reason if reason else ""), name)
    return samples, fs


@dataclasses.dataclass(frozen=True)
class WindowConstants:
    """The constants of a window of width weights w (Heinzel, Ruediger,
    Schilling 2002, section 9).

    Attributes
    ----------
    window : str
        "rect", "hann" or "flattop".
    width : int
        Weights of the window.
    fs : float
        The sample rate in Hz of enbw_hz.
    s1, s2 : float
        The sums of w and of w**2.
    coherent_gain : float
        s1 / width (1 for every window of tavox, whose weights average 1).
    nenbw : float
        The normalised equivalent noise bandwidth width * s2 / s1**2, in bins.
    enbw_hz : float
        The same in Hz, nenbw * fs / width.
    scalloping_loss, scalloping_loss_db : float
        The gain of a sine half a bin off over that of one on a bin, and the
        same in dB (0 or less).

    Examples
    --------
    >>> c = tavox.window_constants("hann", 1024, fs=48000)
    >>> round(c.nenbw, 9), round(c.enbw_hz, 6)
    (1.5, 70.3125)
    """

    window: str
    width: int
    fs: float
    s1: float
    s2: float
    coherent_gain: float
    nenbw: float
    enbw_hz: float
    scalloping_loss: float
    scalloping_loss_db: float


def window_constants(window: WindowName | fftWindowEnum, width: int, *, fs: float = 1.0) -> WindowConstants:
    """The constants of a window of tavox, as the report of --scale gives them.

    Parameters
    ----------
    window : {"rect", "hann", "flattop"} or fftWindowEnum
        The window.
    width : int
        Samples per exposure, a power of two from 128 to 65536.
    fs : float, default 1.0
        The sample rate in Hz (1 gives the ENBW in cycles per sample).

    Returns
    -------
    WindowConstants
        The sums of the weights, coherent gain, NENBW, ENBW and scalloping loss.

    Raises
    ------
    TypeError, ValueError
        For arguments out of place.

    Examples
    --------
    >>> round(tavox.window_constants("flattop", 256).scalloping_loss_db, 3)
    -0.016
    """
    value = _choice(window, "window", _WINDOWS, fftWindowEnum)
    size = _width(width)
    if fs is None:
        raise TypeError("fs must be a number, not NoneType")
    rate = cast(float, _rate(fs))
    _, s1, s2, gain, nenbw, loss = _window_constants(value, size)
    return WindowConstants(window=_window_name(value), width=size, fs=rate, s1=s1, s2=s2, coherent_gain=gain,
                           nenbw=nenbw, enbw_hz=nenbw * rate / size, scalloping_loss=loss,
                           scalloping_loss_db=20 * math.log10(loss))


def window_weights(window: WindowName | fftWindowEnum, width: int) -> np.ndarray[Any, np.dtype[np.float64]]:
    """The weights tavox multiplies an exposure by.

    Parameters
    ----------
    window : {"rect", "hann", "flattop"} or fftWindowEnum
        1 for "rect", 1 - cos(2 pi i / width) for "hann", the flat top's sum
        of cosines (Heinzel's FTSRS); each averages 1.
    width : int
        Samples per exposure, a power of two from 128 to 65536.

    Returns
    -------
    numpy.ndarray
        float64, shape (width,). Hand them to SciPy as its window to compare
        spectra.

    Examples
    --------
    >>> w = tavox.window_weights("hann", 128)
    >>> round(float(w.mean()), 12), float(w[64])
    (1.0, 2.0)
    """
    return _window_weights(_choice(window, "window", _WINDOWS, fftWindowEnum), _width(width))


# The formats that are a flat run of values, and the NumPy type of those.
_FLAT_TYPES = {name: value_type for name, _, _, self_describing, value_type in _output_formats if not self_describing}


def _detect(data: bytes, path: str) -> str:
    for name, magic, _, _, _ in _output_formats:
        if magic and data.startswith(magic):
            return name
    for name, _, extension, self_describing, _ in _output_formats:
        if not self_describing and path.lower().endswith(extension):
            return name
    return "raw"


_COLUMNS = tuple(column for column, _, _ in _quantity_columns)


def _csv(data: bytes, path: str) -> tuple[np.ndarray[Any, np.dtype[np.float64]], str, Optional[float]]:
    """The values of a CSV output, its quantity's column name and the rate its frequencies show."""
    lines = data.decode("ascii").splitlines()
    header = lines[0].split(",") if lines else []
    named = [name for name in header if name in _COLUMNS]
    if not header or header[0] != "bin" or len(named) != 1:
        raise ValueError("%s is not a spectrum in CSV (its first line is not bin,...,magnitude or another "
                         "quantity such as psd_v2_per_hz)" % path)
    columns = [header.index(named[0])] + ([header.index("phase_deg")] if "phase_deg" in header else [])
    rows = [line.split(",") for line in lines[1:]]
    table = np.array([[float(cells[c]) for c in columns] for cells in rows],
                     dtype=np.float64).reshape(len(lines) - 1, len(columns))
    rate = None
    if "frequency_hz" in header and len(rows) > 1:
        rate = float(rows[1][header.index("frequency_hz")]) * 2 * len(rows)
    return np.ascontiguousarray(table.T if len(columns) == 2 else table[:, 0]), named[0], rate


PathArgument = Union[str, "os.PathLike[str]", "os.PathLike[bytes]", bytes]


@overload
def read_spectrum(path: PathArgument, *, width: int | None = ..., phase: bool = ..., format: Literal["npz"],
                  fs: float | None = ...) -> Spectrogram: ...


@overload
def read_spectrum(path: PathArgument, *, width: int | None = ..., phase: bool = ...,
                  format: Literal["raw", "csv", "f32", "npy"], fs: float | None = ...) -> Spectrum: ...


@overload
def read_spectrum(path: PathArgument, *, width: int | None = ..., phase: bool = ..., format: None = ...,
                  fs: float | None = ...) -> Any: ...


def read_spectrum(path: PathArgument, *, width: int | None = None, phase: bool = False, format: str | None = None,
                  fs: float | None = None) -> Any:
    """Reads an output of a batch back into a Spectrum, or a matrix into a Spectrogram.

    Parameters
    ----------
    path : str, bytes or os.PathLike
        The output file.
    width : int, optional
        The exposure width of the batch (its pad, when padded), to check the
        number of values (None: any number).
    phase : bool, default False
        The output holds phases after the magnitudes (the simple method with
        phases); csv and npy outputs say so themselves.
    format : {"raw", "f32", "npy", "csv", "npz"}, optional
        "raw" (16-bit samples), "f32" (float32), "npy" or "csv" (float64),
        or "npz" (the matrix of ``layout="matrix"``); None recognises npz,
        npy and csv by their contents and f32 by the extension .f32, and
        takes anything else as raw.
    fs : float, optional
        The sample rate in Hz, for the frequencies; a CSV output written
        with a rate shows its own, and an npz holds its own axes.

    Returns
    -------
    Spectrum
        magnitude float64 of shape (width/2,), phase or None, frequencies;
        scale and unit as a CSV output's header names them, else amplitudes
        in sample counts. The window, exposures and method are None, as the
        file does not hold them; ``to_int16()`` of a raw output gives its
        samples back.
    Spectrogram
        For an npz: the matrix as tavox.spectrogram returns it (width checks
        its bins).

    Raises
    ------
    ValueError
        When the file does not hold such a spectrum.
    OSError
        When it cannot be read.

    Examples
    --------
    >>> import pathlib, tempfile
    >>> path = pathlib.Path(tempfile.mkdtemp()) / "a.raw"
    >>> _ = path.write_bytes(np.arange(64, dtype="<i2").tobytes())
    >>> s = tavox.read_spectrum(path, width=128, fs=1000)
    >>> s.magnitude[:3], s.frequencies[1], s.to_int16().tobytes() == path.read_bytes()
    (array([0., 1., 2.]), 7.8125, True)
    """
    name = os.fsdecode(path)
    with open(name, "rb") as file:
        data = file.read()
    kind = format if format is not None else _detect(data, name)
    if kind not in _FORMATS:
        raise ValueError("format must be one of %s or None, not %r" % (", ".join(map(repr, _FORMATS)), kind))
    rate = _rate(fs)
    column = "magnitude"
    values: np.ndarray[Any, Any]
    if kind == "npz":
        from ._spectrogram import _read_matrix
        matrix = _read_matrix(data, name)
        if width is not None and matrix.S.shape[1] != _width(width) // 2:
            raise ValueError("%s holds %d bins per exposure, not the %d of width %d"
                             % (name, matrix.S.shape[1], _width(width) // 2, width))
        return matrix
    if kind == "npy":
        values = np.load(io.BytesIO(data), allow_pickle=False)
    elif kind == "csv":
        values, column, written_rate = _csv(data, name)
        rate = rate if rate is not None else written_rate
    else:
        stored = np.dtype(_FLAT_TYPES[kind])
        if len(data) % stored.itemsize:
            raise ValueError("%s holds %d bytes, not a whole number of %s values" % (name, len(data), kind))
        values = np.frombuffer(data, dtype=stored).astype(stored.newbyteorder("="))
        if phase:
            if values.size % 2:
                raise ValueError("%s holds an odd number of values, so no phases follow its magnitudes" % name)
            values = values.reshape(2, values.size // 2)
    has_phases = values.ndim == 2
    if phase and not has_phases:
        raise ValueError("%s holds no phases" % name)
    bins = values.shape[-1]
    if width is not None:
        expected = _width(width) // 2
        if bins != expected:
            raise ValueError("%s holds %d values per block, not the %d of width %d%s"
                             % (name, bins, expected, width, "" if has_phases else " (with phases: phase=True)"))
    values = np.asarray(values, dtype=np.float64)
    points = 2 * bins
    scale, unit = next((scale, unit) for quantity, scale, unit in _quantity_columns if quantity == column)
    return Spectrum(magnitude=values[0] if has_phases else values, phase=values[1] if has_phases else None,
                    frequencies=_axis(points, rate), fs=rate, window=None, width=points, points=points, exposures=None,
                    method=None, scale=scale, unit=unit)
