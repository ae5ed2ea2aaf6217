"""The result of tavox.spectrum and tavox.read_spectrum, and its frequency axis."""

from __future__ import annotations

import dataclasses
from typing import TYPE_CHECKING, Any, Optional

import numpy as np

from ._tavox import _quantity_columns

if TYPE_CHECKING:
    from ._arrays import WindowConstants

_RAW_LIMIT = 32767
# The unit of each scale and unit, as the attrs of an xarray and the axis
# label of a plot give it.
_UNITS = {
    ("amplitude", "linear"): "counts", ("amplitude", "dbfs"): "dBFS", ("amplitude", "volts"): "V",
    ("amplitude", "dbv"): "dBV", ("power", "linear"): "counts**2", ("power", "dbfs"): "dBFS",
    ("power", "volts"): "V**2", ("power", "dbv"): "dBV", ("psd", "linear"): "counts**2/Hz",
    ("psd", "dbfs"): "dBFS/Hz", ("psd", "volts"): "V**2/Hz", ("psd", "dbv"): "dBV/Hz",
}
_COLUMNS = {(scale, unit): column for column, scale, unit in _quantity_columns}


def frequencies(width: int, fs: float | None = None) -> np.ndarray[Any, np.dtype[np.float64]]:
    """The frequency of each bin of a spectrum of `width` points.

    Parameters
    ----------
    width : int
        Points transformed: the exposure width, or the pad when padded; a
        power of two from 128 to 65536.
    fs : float, optional
        The sample rate in Hz. Without it the bins are numbered 0, 1, 2, ...

    Returns
    -------
    numpy.ndarray
        float64, shape ``(width // 2,)``: ``numpy.fft.rfftfreq(width, 1 / fs)``
        without its last (Nyquist) value, which no spectrum of tavox holds.

    Raises
    ------
    TypeError, ValueError
        For a width or fs out of place.

    Examples
    --------
    >>> tavox.frequencies(128, fs=1000)[:4]
    array([ 0.    ,  7.8125, 15.625 , 23.4375])
    >>> tavox.frequencies(128)[-1]
    63.0
    """
    from ._arrays import _rate, _width

    return _axis(_width(width), _rate(fs))


def _axis(points: int, fs: Optional[float]) -> np.ndarray[Any, np.dtype[np.float64]]:
    if fs is None:
        return np.arange(points // 2, dtype=np.float64)
    return np.fft.rfftfreq(points, 1 / fs)[:-1]


@dataclasses.dataclass(frozen=True, eq=False, repr=False)
class Spectrum:
    """A spectrum with its frequency axis and what it was computed with.

    tavox.spectrum and tavox.read_spectrum return one (the method "multi"
    a Spectrogram). ``numpy.asarray`` of a Spectrum gives its magnitude.

    Attributes
    ----------
    magnitude : numpy.ndarray
        The values, shape ``(bins,)``: float64 in the scale and unit below
        (int16 when asked for with ``dtype="int16"``).
    phase : numpy.ndarray or None
        The phase of each bin in degrees (the method "simple" with
        ``phase=True``), else None.
    frequencies : numpy.ndarray
        float64, shape ``(bins,)``: Hz with a sample rate (see
        tavox.frequencies), else the bin numbers.
    fs : float or None
        The sample rate in Hz, if given.
    window : str or None
        "rect", "hann" or "flattop"; None when a file does not say.
    width : int
        Samples per exposure.
    points : int
        Points transformed: the width, or the pad; bins is points / 2.
    exposures : int or None
        Exposures transformed (combined by "average"); None when a file
        does not say.
    method : str or None
        "simple", "average" or "multi"; None when a file does not say.
    scale : str
        "amplitude", "power" or "psd".
    unit : str
        "linear", "dbfs", "volts" or "dbv".
    window_constants : WindowConstants or None
        The constants of the window at this width and sample rate (1 Hz
        without one); None when the window is not known.

    Examples
    --------
    >>> samples = 1000 * np.cos(2 * np.pi * 8 * np.arange(1024) / 128)
    >>> s = tavox.spectrum(samples, 128, window="hann", fs=1000)
    >>> s.magnitude.dtype, s.magnitude.shape, s.frequencies[8]
    (dtype('float64'), (64,), 62.5)
    >>> round(float(s.magnitude[8]), 6)
    1000.0
    >>> s.to_int16()[7:10]
    array([ 500, 1000,  500], dtype=int16)
    """

    magnitude: np.ndarray[Any, Any]
    phase: Optional[np.ndarray[Any, Any]]
    frequencies: np.ndarray[Any, np.dtype[np.float64]]
    fs: Optional[float]
    window: Optional[str]
    width: int
    points: int
    exposures: Optional[int]
    method: Optional[str]
    scale: str = "amplitude"
    unit: str = "linear"
    window_constants: Optional[WindowConstants] = None

    def __array__(self, dtype: Any = None, copy: Optional[bool] = None) -> np.ndarray[Any, Any]:
        return np.asarray(self.magnitude, dtype=dtype)

    def __repr__(self) -> str:
        told = ["bins=%d" % self.magnitude.shape[-1]]
        if self.magnitude.ndim == 2:
            told.append("exposures=%d" % self.magnitude.shape[0])
        told += ["%s=%r" % (name, getattr(self, name)) for name in ("window", "width", "fs", "scale", "unit")]
        if self.phase is not None:
            told.append("phase=True")
        return "Spectrum(%s)" % ", ".join(told)

    @property
    def quantity(self) -> str:
        """The name of the values, as a CSV output heads their column: "magnitude", "psd_v2_per_hz", ..."""
        return _COLUMNS[(self.scale, self.unit)]

    @property
    def units(self) -> str:
        """The unit of the values: "counts", "dBFS", "V**2/Hz", ..."""
        return _UNITS[(self.scale, self.unit)]

    def to_int16(self) -> np.ndarray[Any, np.dtype[np.int16]]:
        """The values of a raw output: exactly the samples the command line writes for this spectrum.

        Returns
        -------
        numpy.ndarray
            int16: shape ``(bins,)``, ``(2, bins)`` with phases (magnitudes,
            then phases, as the file holds them) or ``(exposures, bins)``;
            each value rounded half to even within +-32767, NaN as 0.
            ``.tobytes()`` on a little-endian machine is the file's contents.

        Raises
        ------
        ValueError
            For a scale or unit other than amplitudes in sample counts, which
            a raw output cannot hold.

        Examples
        --------
        >>> tone = 1000.4 * np.cos(2 * np.pi * 8 * np.arange(128) / 128)
        >>> tavox.spectrum(tone, 128).to_int16()[7:10]
        array([   0, 1000,    0], dtype=int16)
        """
        if (self.scale, self.unit) != ("amplitude", "linear"):
            raise ValueError("a raw output holds amplitudes in sample counts only, not scale=%r, unit=%r"
                             % (self.scale, self.unit))
        return _raw_values(self.magnitude if self.phase is None else np.stack([self.magnitude, self.phase]))

    def to_frame(self) -> Any:
        """The spectrum as a pandas DataFrame indexed by frequency.

        Returns
        -------
        pandas.DataFrame
            Index "frequency_hz" with a sample rate, else "bin"; a column
            named by `quantity` ("magnitude", ...) and "phase_deg" with
            phases. For "multi", one column per exposure (0, 1, ...).

        Raises
        ------
        ImportError
            When pandas is not installed.

        Examples
        --------
        >>> tone = 1000 * np.cos(2 * np.pi * 8 * np.arange(128) / 128)
        >>> tavox.spectrum(tone, 128, fs=8000).to_frame().iloc[7:10].round(6)
                      magnitude
        frequency_hz
        437.5               0.0
        500.0            1000.0
        562.5               0.0
        """
        pandas = _optional("pandas", "to_frame", "python3-pandas")
        index = pandas.Index(self.frequencies, name="frequency_hz" if self.fs is not None else "bin")
        if self.magnitude.ndim == 2:
            return pandas.DataFrame(self.magnitude.T, index=index)
        columns = {self.quantity: self.magnitude}
        if self.phase is not None:
            columns["phase_deg"] = self.phase
        return pandas.DataFrame(columns, index=index)

    def to_xarray(self) -> Any:
        """The magnitudes as an xarray DataArray with a frequency coordinate.

        Returns
        -------
        xarray.DataArray
            Dimensions ``("frequency",)``, or ``("exposure", "frequency")``
            for "multi"; the coordinate "frequency" in Hz (bins without a
            sample rate) and, with phases, "phase" in degrees along it.
            ``attrs`` hold units, quantity, scale, unit, window, width, fs,
            exposures and the window's nenbw and enbw_hz.

        Raises
        ------
        ImportError
            When xarray is not installed.

        Examples
        --------
        >>> tone = 1000 * np.cos(2 * np.pi * 8 * np.arange(128) / 128)
        >>> a = tavox.spectrum(tone, 128, fs=8000).to_xarray()
        >>> a.dims, a.attrs["units"], a.frequency.attrs["units"]
        (('frequency',), 'counts', 'Hz')
        """
        xarray = _optional("xarray", "to_xarray", "python3-xarray")
        frequency = xarray.Variable("frequency", self.frequencies,
                                    attrs={"units": "Hz" if self.fs is not None else "bin"})
        coords: dict[str, Any] = {"frequency": frequency}
        dims: tuple[str, ...] = ("frequency",)
        if self.magnitude.ndim == 2:
            dims = ("exposure", "frequency")
            coords["exposure"] = np.arange(self.magnitude.shape[0])
        if self.phase is not None:
            coords["phase"] = xarray.Variable("frequency", self.phase, attrs={"units": "degree"})
        attrs: dict[str, Any] = {"units": self.units, "quantity": self.quantity, "scale": self.scale,
                                 "unit": self.unit, "width": self.width, "points": self.points}
        for name in ("window", "fs", "exposures", "method"):
            value = getattr(self, name)
            if value is not None:
                attrs[name] = value
        if self.window_constants is not None:
            attrs["nenbw"] = self.window_constants.nenbw
            attrs["enbw_hz"] = self.window_constants.enbw_hz
        return xarray.DataArray(self.magnitude, dims=dims, coords=coords, name=self.quantity, attrs=attrs)

    def plot(self, ax: Any = None) -> Any:
        """Draws the spectrum on a matplotlib axis.

        Parameters
        ----------
        ax : matplotlib.axes.Axes, optional
            The axis to draw on; by default the current one
            (``matplotlib.pyplot.gca()``).

        Returns
        -------
        matplotlib.axes.Axes
            The axis, with one line (one per exposure for "multi") and its
            axes labelled with their units.

        Raises
        ------
        ImportError
            When matplotlib is not installed.

        Examples
        --------
        >>> import matplotlib
        >>> matplotlib.use("Agg")
        >>> tone = 1000 * np.cos(2 * np.pi * 8 * np.arange(128) / 128)
        >>> tavox.spectrum(tone, 128, fs=8000).plot().get_xlabel()
        'frequency (Hz)'
        """
        if ax is None:
            pyplot = _optional("matplotlib.pyplot", "plot", "python3-matplotlib")
            ax = pyplot.gca()
        ax.plot(self.frequencies, np.asarray(self.magnitude, dtype=np.float64).T)
        ax.set_xlabel("frequency (Hz)" if self.fs is not None else "bin")
        ax.set_ylabel("%s (%s)" % (self.quantity, self.units))
        if self.window is not None:
            ax.set_title("%s window, width %d" % (self.window, self.width))
        return ax

    def _repr_png_(self) -> Optional[bytes]:
        """The picture the command line's --plot draws of this spectrum, as PNG bytes.

        Jupyter shows it for a Spectrum at the end of a cell. None when
        tavox was built without its plots (Qt). For "multi", the picture of
        the first exposure.
        """
        try:
            from ._picture import _spectrum_png
        except ImportError:
            return None
        from ._tavox import _method_names, _window_names

        windows, methods = dict(_window_names), dict(_method_names)
        magnitudes = self.magnitude if self.magnitude.ndim == 1 else self.magnitude[0]
        known = self.window is not None and self.method is not None
        return _spectrum_png(np.asarray(magnitudes, dtype=np.float64),
                             None if self.phase is None else np.asarray(self.phase, dtype=np.float64),
                             self.quantity, self.fs, "tavox.spectrum" if known else "tavox.read_spectrum",
                             windows[self.window] if known and self.window else None,
                             methods[self.method] if known and self.method else None,
                             self.width, self.points,
                             1 if self.magnitude.ndim == 2 or self.exposures is None else self.exposures,
                             False, 1200, 700)


def _optional(module: str, method: str, package: str, owner: str = "Spectrum") -> Any:
    import importlib

    try:
        return importlib.import_module(module)
    except ImportError as error:
        raise ImportError("%s.%s needs %s, which is not installed (Debian: apt install %s): %s"
                          % (owner, method, module.split(".")[0], package, error)) from None


def _raw_values(values: np.ndarray[Any, Any]) -> np.ndarray[Any, np.dtype[np.int16]]:
    """Values as a raw output holds them: rounded half to even within +-32767, NaN as 0."""
    if values.dtype == np.int16:
        return np.array(values, dtype=np.int16)
    finite = np.nan_to_num(np.asarray(values, dtype=np.float64), nan=0.0)
    return np.rint(np.clip(finite, -_RAW_LIMIT, _RAW_LIMIT)).astype(np.int16)
