"""Time and frequency together: tavox.spectrogram and the Spectrogram it returns."""

from __future__ import annotations

import io
import json
import math
import zipfile
from typing import Any, NamedTuple, Optional

import numpy as np
import numpy.typing as npt

from ._arrays import (DetrendName, FftName, Position, ScaleName, UnitName, WindowName, _check_result, _integer,
                      _rate, _samples, _settings)
from ._spectrum import _COLUMNS, _UNITS, _optional, _raw_values
from ._tavox import (BatchSettings, _matrix_meta, _range, _spectrogram, _window_names, fftMethodEnum, fftResultEnum,
                     fftWindowEnum)

_MAX_EXPOSURES = 999  # of one run of the multi method
_MEMBERS = ("S", "f", "t", "start", "meta")


class Spectrogram(NamedTuple):
    """A spectrogram: the spectrum of each exposure, one row per exposure.

    tavox.spectrogram returns one, and so do tavox.spectrum with
    ``method="multi"`` and tavox.read_spectrum of an .npz matrix. It unpacks
    as ``S, f, t, start, meta = ...``; ``numpy.asarray`` of it gives S.

    Attributes
    ----------
    S : numpy.ndarray
        float64, shape ``(exposures, bins)``: row k is the spectrum of
        exposure k in the scale and unit of the batch (amplitudes: a
        sinusoid of amplitude A centred on a bin reads A); int16 from
        tavox.spectrum with ``dtype="int16"``. scipy.signal.spectrogram
        gives the transpose, frequency by time.
    f : numpy.ndarray
        float64, shape ``(bins,)``: the frequency of each column,
        ``k * fs / width`` Hz (``k * fs / pad`` when padded), or the bin
        number k without a sample rate.
    t : numpy.ndarray
        float64, shape ``(exposures,)``: the centre of each exposure, SciPy's
        convention ``(start + width / 2) / fs`` seconds, or in samples
        without a sample rate.
    start : numpy.ndarray
        int64, shape ``(exposures,)``: the first sample of each exposure,
        counted from 0.
    meta : dict
        What the matrix holds: window, width, bins, exposures, first and
        step, scale, unit and quantity (with full_scale and points), the
        window's constants (window_sum S1, window_squares S2,
        coherent_gain, nenbw_bins, enbw_hz), rate, time_unit,
        frequency_unit, source and channel.

    Examples
    --------
    >>> x = 1000 * np.cos(2 * np.pi * 250 * np.arange(4096) / 8000)
    >>> S, f, t, start, meta = tavox.spectrogram(x, 256, fs=8000)
    >>> S.shape, f[8], t[:2], meta["time_unit"]
    ((31, 128), 250.0, array([0.016, 0.032]), 's')
    """

    S: np.ndarray[Any, Any]
    f: np.ndarray[Any, np.dtype[np.float64]]
    t: np.ndarray[Any, np.dtype[np.float64]]
    start: np.ndarray[Any, np.dtype[np.int64]]
    meta: dict[str, Any]

    def __array__(self, dtype: Any = None, copy: Optional[bool] = None) -> np.ndarray[Any, Any]:
        return np.asarray(self.S, dtype=dtype)

    @property
    def fs(self) -> Optional[float]:
        """The sample rate in Hz, or None when the spectrogram was made without one."""
        rate = self.meta.get("rate")
        return None if rate is None else float(rate)

    @property
    def quantity(self) -> str:
        """The name of the values, as a CSV output heads their column: "magnitude", "psd_v2_per_hz", ..."""
        return _COLUMNS[(self._scale, self._unit)]

    @property
    def units(self) -> str:
        """The unit of the values: "counts", "dBFS", "V**2/Hz", ..."""
        return _UNITS[(self._scale, self._unit)]

    @property
    def _scale(self) -> str:
        return str(self.meta.get("scale") or "amplitude")

    @property
    def _unit(self) -> str:
        return str(self.meta.get("unit") or "linear")

    @property
    def _seconds(self) -> bool:
        return self.meta.get("time_unit") == "s"

    def to_int16(self) -> np.ndarray[Any, np.dtype[np.int16]]:
        """The values of the raw outputs of the multi method, one row per numbered output.

        Returns
        -------
        numpy.ndarray
            int16 of the shape of S: each value rounded half to even within
            +-32767, NaN as 0; ``S.to_int16()[k].tobytes()`` is the output
            numbered k + 1 on a little-endian machine.

        Raises
        ------
        ValueError
            For a scale or unit other than amplitudes in sample counts.

        Examples
        --------
        >>> tone = 1000.4 * np.cos(2 * np.pi * 8 * np.arange(512) / 128)
        >>> tavox.spectrum(tone, 128, method="multi", repeat=3).to_int16()[:, 8]
        array([1000, 1000, 1000], dtype=int16)
        """
        if (self._scale, self._unit) != ("amplitude", "linear"):
            raise ValueError("a raw output holds amplitudes in sample counts only, not scale=%r, unit=%r"
                             % (self._scale, self._unit))
        return _raw_values(self.S)

    def to_frame(self) -> Any:
        """The spectrogram as a pandas DataFrame indexed by frequency, one column per exposure.

        Returns
        -------
        pandas.DataFrame
            S transposed: the index "frequency_hz" (with a sample rate, else
            "bin") and the columns the times t, named "time_s" (else
            "time_samples").

        Raises
        ------
        ImportError
            When pandas is not installed.

        Examples
        --------
        >>> x = 1000 * np.cos(2 * np.pi * 250 * np.arange(1024) / 8000)
        >>> frame = tavox.spectrogram(x, 256, fs=8000).to_frame()
        >>> frame.shape, frame.index.name, frame.columns.name, round(float(frame.loc[250.0, 0.016]), 6)
        ((128, 7), 'frequency_hz', 'time_s', 1000.0)
        """
        pandas = _optional("pandas", "to_frame", "python3-pandas", "Spectrogram")
        index = pandas.Index(self.f, name="frequency_hz" if self.fs is not None else "bin")
        columns = pandas.Index(self.t, name="time_s" if self._seconds else "time_samples")
        return pandas.DataFrame(np.asarray(self.S).T, index=index, columns=columns)

    def to_xarray(self) -> Any:
        """The spectrogram as an xarray DataArray with time and frequency coordinates.

        Returns
        -------
        xarray.DataArray
            Dimensions ``("time", "frequency")``; the coordinate "time" in
            s (samples without a sample rate) with "start" (the first sample
            of each exposure) along it, "frequency" in Hz (bins without a
            sample rate). ``attrs`` hold units, quantity, scale, unit,
            window, width, points, fs, exposures and the window's nenbw and
            enbw_hz.

        Raises
        ------
        ImportError
            When xarray is not installed.

        Examples
        --------
        >>> x = 1000 * np.cos(2 * np.pi * 250 * np.arange(1024) / 8000)
        >>> a = tavox.spectrogram(x, 256, fs=8000).to_xarray()
        >>> a.dims, a.time.attrs["units"], a.frequency.attrs["units"], a.attrs["units"]
        (('time', 'frequency'), 's', 'Hz', 'counts')
        >>> round(float(a.sel(time=0.048, frequency=250.0)), 6)
        1000.0
        """
        xarray = _optional("xarray", "to_xarray", "python3-xarray", "Spectrogram")
        coords = {
            "time": xarray.Variable("time", self.t, attrs={"units": "s" if self._seconds else "samples"}),
            "frequency": xarray.Variable("frequency", self.f, attrs={"units": "Hz" if self.fs is not None else "bin"}),
            "start": xarray.Variable("time", self.start, attrs={"units": "samples"}),
        }
        attrs: dict[str, Any] = {"units": self.units, "quantity": self.quantity, "scale": self._scale,
                                 "unit": self._unit}
        for name in ("window", "width", "points", "exposures", "full_scale"):
            if self.meta.get(name) is not None:
                attrs[name] = self.meta[name]
        if self.fs is not None:
            attrs["fs"] = self.fs
        if self.meta.get("nenbw_bins") is not None:
            attrs["nenbw"] = self.meta["nenbw_bins"]
        if self.meta.get("enbw_hz") is not None:
            attrs["enbw_hz"] = self.meta["enbw_hz"]
        return xarray.DataArray(self.S, dims=("time", "frequency"), coords=coords, name=self.quantity, attrs=attrs)

    def plot(self, ax: Any = None) -> Any:
        """Draws the spectrogram on a matplotlib axis: time to the right, frequency upwards.

        Parameters
        ----------
        ax : matplotlib.axes.Axes, optional
            The axis to draw on; by default the current one.

        Returns
        -------
        matplotlib.axes.Axes
            The axis, with the values as a mesh and its axes labelled with
            their units.

        Raises
        ------
        ImportError
            When matplotlib is not installed.

        Examples
        --------
        >>> import matplotlib
        >>> matplotlib.use("Agg")
        >>> x = 1000 * np.cos(2 * np.pi * 250 * np.arange(1024) / 8000)
        >>> tavox.spectrogram(x, 256, fs=8000).plot().get_ylabel()
        'frequency (Hz)'
        """
        if ax is None:
            pyplot = _optional("matplotlib.pyplot", "plot", "python3-matplotlib", "Spectrogram")
            ax = pyplot.gca()
        ax.pcolormesh(self.t, self.f, np.asarray(self.S, dtype=np.float64).T, shading="nearest")
        ax.set_xlabel("time (s)" if self._seconds else "time (samples)")
        ax.set_ylabel("frequency (Hz)" if self.fs is not None else "bin")
        ax.set_title("%s (%s)" % (self.quantity, self.units))
        return ax

    def _repr_png_(self) -> Optional[bytes]:
        """The picture the command line's --plot draws of a matrix, as PNG bytes.

        Jupyter shows it for a Spectrogram at the end of a cell. None when
        tavox was built without its plots (Qt), or for a matrix of fewer
        than two exposures or a window it does not name.
        """
        try:
            from ._picture import _spectrogram_png
        except ImportError:
            return None
        windows = dict(_window_names)
        window = self.meta.get("window")
        if len(self.t) < 2 or window not in windows:
            return None
        width = int(self.meta.get("width") or 2 * self.S.shape[1])
        return _spectrogram_png(np.asarray(self.S, dtype=np.float64), np.asarray(self.t, dtype=np.float64),
                                self._seconds, self._scale, self._unit, self.fs, str(self.meta.get("source") or ""),
                                windows[window], width, 2 * self.S.shape[1], 1200, 700)


def _multi(source: np.ndarray[Any, Any], settings: BatchSettings, fs: Optional[float], raw: bool) -> Spectrogram:
    """The Spectrogram of the multi method as the settings place its exposures."""
    code, outputs, bins, values, starts = _spectrogram(source, settings)
    _check_result(code, source, settings)
    S = values.reshape(outputs, bins)
    f, t = _axes(starts, bins, settings.width, 2 * bins, fs)
    step = int(starts[1] - starts[0]) if outputs > 1 else 0
    meta = json.loads(_matrix_meta(settings, int(starts[0]), step, outputs, ""))
    meta["source"] = None
    return Spectrogram(_raw_values(S) if raw else S, f, t, starts.astype(np.int64), meta)


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
                detrend: DetrendName = "none", pad: int | None = None, jobs: int | None = None,
                fft: FftName = "exact") -> Spectrogram:
    """The spectrogram of samples: the spectrum of each exposure, as the batch's method "multi" computes it.

    Parameters
    ----------
    samples : array_like
        1-D numbers, read as tavox.spectrum reads them.
    width : int
        Samples per exposure, a power of two from 128 to 65536.
    window : {"rect", "hann", "flattop"} or fftWindowEnum, default "hann"
        The window each exposure is multiplied by.
    overlap : float, optional
        Welch's placement: exposures ``round(width * (1 - overlap / 100))``
        samples apart from the start of the range, as many as fit (as
        scipy.signal.spectrogram places its segments; more than 999 too);
        0 to 95 percent. Without overlap and repeat, 50.
    repeat : int, optional
        Without overlap, the number of exposures (2 to 999), placed as the
        batch places them: the first at the start of the range, the last
        ending at or before its end; with overlap, a cap on their number.
    start, finish : int, float or str, optional
        The evaluated range, as tavox.spectrum takes it.
    center : bool, default False
        Remove the mean of every exposure first.
    fs : float, optional
        The sample rate in Hz, for f in Hz and t in seconds (and the density
        of "psd"); None gives bin numbers and samples.
    scale, unit, full_scale, detrend, pad : optional
        As for tavox.spectrum: the values of each row ("psd" in units per
        Hz, "dbfs" in dB, ...); with pad the rows hold pad / 2 bins,
        ``k * fs / pad`` Hz apart.
    jobs : int, optional
        Threads, as for tavox.spectrum; the result does not depend on it.
    fft : {"exact", "fast"}, default "exact"
        As for tavox.spectrum.

    Returns
    -------
    Spectrogram
        S (exposures x bins), f, t, start and meta. Where the definitions
        meet, S equals ``2 * scipy.signal.spectrogram(x, fs, window=w,
        nperseg=width, noverlap=width - hop, detrend=False, mode="magnitude",
        scaling="spectrum")[2].T[:, :width // 2]`` for TAVOX's window values
        w (tavox.window_weights): the amplitude of each bin, of which SciPy's
        magnitude mode gives half. With scale="power" or "psd" it equals
        ``scipy.signal.spectrogram(..., mode="psd", scaling="spectrum" or
        "density")[2].T[:, :width // 2]``.

    Raises
    ------
    TypeError, ValueError
        For arguments out of place.
    TransformError
        When no exposure fits the samples.
    MemoryError
        When memory runs out.

    Examples
    --------
    >>> fs = 8000
    >>> x = 1000 * np.cos(2 * np.pi * 1000 * np.arange(8192) / fs)
    >>> g = tavox.spectrogram(x, 512, overlap=75, fs=fs)
    >>> g.S.shape, g.t[0], float(g.f[g.S[0].argmax()])
    ((61, 256), 0.032, 1000.0)
    >>> round(float(g.S[:, 64].mean()), 6), g.units
    (1000.0, 'counts')
    """
    if repeat is not None:
        repeat = _integer(repeat, "repeat")
    if overlap is None and repeat is None:
        overlap = 50
    placed_by_hop = overlap is not None
    settings = _settings(width=width, window=window, center=center, method="multi",
                         repeat=2 if placed_by_hop else repeat, start=start, finish=finish, phase=False,
                         average="mean", jobs=jobs, format="npy", rate=_rate(fs), scale=scale, unit=unit,
                         full_scale=full_scale, detrend=detrend, pad=pad, layout="matrix", fft=fft)
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
    f, t = _axes(starts, bins, width, 2 * bins, settings.rate)
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
