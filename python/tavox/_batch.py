"""Batches over disk files from Python: tavox.transform_files and FileResult."""

from __future__ import annotations

import dataclasses
import os
from typing import Any, Callable, Optional, Protocol, Sequence, Union

from ._arrays import (AverageName, Channel, DetrendName, FftName, InputFormatName, LayoutName, MethodName,
                      Position, SampleFormatName, ScaleName, UnitName, WindowName, _rate, _settings)
from ._measure import Measurement, _measure_options, _measurement
from ._tavox import (Application, AutomationError, BatchSettings, File, _result_message, fftDataEnum,
                     fftMethodEnum, fftResultEnum, fftWindowEnum)

PathText = Union[str, "os.PathLike[str]"]


@dataclasses.dataclass(frozen=True)
class FileResult:
    """What a batch did with one input file.

    Attributes
    ----------
    input : str
        The full path of the input.
    outputs : tuple of str
        The outputs written in full, in order (several for the multi
        method, none when the file failed before writing).
    code : fftResultEnum
        The result code (fftResultAllRight when all went well).
    message : str
        Its English text.
    measure : Measurement or None
        With ``measure=True``, what was measured of its last output (None
        when nothing was).
    channel : int
        The channel of the input that was read, from 1 (with
        ``channel="all"`` one FileResult per channel).
    problem : str
        Why the input could not be read (libsndfile's words, the SigMF
        field, the channel), as the program says it on standard error, else
        "".

    Examples
    --------
    >>> import pathlib, tempfile
    >>> folder = pathlib.Path(tempfile.mkdtemp())
    >>> _ = (folder / "short.dat").write_bytes(bytes(100))
    >>> [r] = tavox.transform_files(folder / "*.dat", "*.spc", width=128)
    >>> r.ok, r.outputs, r.message
    (False, (), 'The evaluation range did not fit the length of the file')
    """

    input: str
    outputs: tuple[str, ...]
    code: fftResultEnum
    message: str
    measure: Optional[Measurement] = None
    channel: int = 1
    problem: str = ""

    @property
    def ok(self) -> bool:
        """True when the file was transformed all right."""
        return self.code == fftResultEnum.fftResultAllRight


class ProgressBar(Protocol):
    """What transform_files uses of a progress bar such as tqdm's."""

    def reset(self, total: Optional[float] = None) -> None: ...

    def update(self, n: float = 1) -> Optional[bool]: ...


Progress = Union[Callable[[FileResult, int, int], object], ProgressBar, None]


class _Collector:
    """Turns the FileComplete events of a run into FileResults and reports progress."""

    def __init__(self, total: int, progress: Progress) -> None:
        self.results: list[FileResult] = []
        self.total = total
        self.progress = progress
        if progress is not None and not callable(progress):
            progress.reset(total=total)

    def FileComplete(self, file: File, result: Any) -> None:
        code = fftResultEnum(int(result.value))
        source = file.Source
        found = file.measures
        record = FileResult(input=source if isinstance(source, str) else file.Name, outputs=file.outputs,
                            code=code, message=_result_message(int(code)),
                            measure=None if found is None else _measurement(found), channel=file.channel,
                            problem=file.problem)
        self.results.append(record)
        if self.progress is None:
            return
        if callable(self.progress):
            self.progress(record, len(self.results), self.total)
        else:
            self.progress.update(1)


def _check_progress(progress: object) -> None:
    if progress is None or callable(progress):
        return
    if callable(getattr(progress, "update", None)) and callable(getattr(progress, "reset", None)):
        return
    raise TypeError("progress must be a callable progress(result, done, total) or a progress bar with update() "
                    "and reset() such as tqdm's, not %s" % type(progress).__name__)


def run_batch(sources: Sequence[str], mask: str, settings: BatchSettings, *, exact: bool = False,
              progress: Progress = None) -> list[FileResult]:
    """Runs one batch over the files the path masks in sources match (exact:
    only the files of exactly these paths) and returns a FileResult per file."""
    _check_progress(progress)
    with Application() as app:
        app._configure(settings)
        files = app.FFTFiles
        for source in sources:
            try:
                added = files.Add(fftDataEnum.fftDataDiskFile, source, mask)
            except AutomationError as error:
                raise ValueError("%r and %r do not make a batch: %s" % (source, mask, error.description)) from None
            if exact:
                # A name that holds "*" or "?" matches more than itself.
                for file in added if isinstance(added, tuple) else ():
                    if file.Source != source:
                        files.Remove(file.Name)
        collector = _Collector(len(files), progress)
        app.Subscribe(collector)
        app.FFTExecute()
    if not exact:
        return collector.results
    # A path whose file has gone since it was listed still gets its result;
    # one that was read channel by channel gets one per channel.
    done: dict[str, list[FileResult]] = {}
    for result in collector.results:
        done.setdefault(result.input, []).append(result)
    missing = fftResultEnum.fftResultFileSysErr
    return [result for source in sources
            for result in done.get(source) or [FileResult(source, (), missing, _result_message(int(missing)))]]


def _measure_settings(settings: BatchSettings, measure: object, fundamental: object, harmonics: object,
                      band: object) -> None:
    """Sets what transform_files measures, each argument checked."""
    if not isinstance(measure, bool):
        raise TypeError("measure must be True or False, not %s" % type(measure).__name__)
    if not measure:
        if fundamental is not None or harmonics != 6 or band is not None:
            raise ValueError("fundamental, harmonics and measure_band apply to measure=True only")
        return
    if settings.format == "raw":
        raise ValueError("measure=True reads the unrounded spectra, which format='raw' does not keep; choose 'csv', "
                         "'f32' or 'npy'")
    settings.measure = _measure_options(fundamental, harmonics, band, settings.rate,
                                        file_rate=settings.input_format != "raw")


def _absolute(pattern: PathText) -> str:
    """The pattern as a full path; a relative one is taken from the current folder."""
    text = os.fspath(pattern)
    if not isinstance(text, str) or not text:
        raise ValueError("pattern must name files, such as '/data/*.dat', not %r" % (text,))
    return os.path.abspath(text)


def matching_inputs(pattern: PathText, input_format: str = "auto") -> list[str]:
    """The full paths of the files a pattern matches, in the batch's order
    (relative patterns are taken from the current folder; with
    input_format="auto" each SigMF recording once)."""
    app = Application()
    app.input_format = input_format
    try:
        app.FFTFiles.Add(fftDataEnum.fftDataDiskFile, _absolute(pattern), "*")
    except AutomationError as error:
        raise ValueError("%r is no input pattern: %s" % (os.fspath(pattern), error.description)) from None
    return [str(file.Source) for file in app.FFTFiles]


def transform_files(pattern: PathText, mask: PathText, *, progress: Progress = None, width: int,
                    window: WindowName | fftWindowEnum = "rect", center: bool = False,
                    method: MethodName | fftMethodEnum = "simple", repeat: int | None = None,
                    start: Position = None, finish: Position = None, phase: bool = False, format: str = "raw",
                    average: AverageName = "mean", jobs: int | None = None,
                    scale: ScaleName = "amplitude", unit: UnitName = "linear", full_scale: float | None = None,
                    overlap: float | None = None, detrend: DetrendName = "none", pad: int | None = None,
                    fs: float | None = None, layout: LayoutName = "files", measure: bool = False,
                    fundamental: float | None = None, harmonics: int = 6,
                    measure_band: tuple[float, float] | None = None, fft: FftName = "exact",
                    input_format: InputFormatName = "auto", sample_format: SampleFormatName = "s16le",
                    channels: int = 1, channel: Channel = 1) -> list[FileResult]:
    """Runs a batch over the files that pattern matches.

    Parameters
    ----------
    pattern : str or os.PathLike
        A path whose name may hold "*" and "?" (a relative one is taken from
        the current folder). The files it matches are transformed in name
        order, each output beside its input.
    mask : str or os.PathLike
        The output-name mask, as the command line's VYSTUP: "*out.*" turns
        /data/a.dat into /data/aout.dat (multi: numbered extensions).
    progress : callable or progress bar, optional
        A callable ``progress(result, done, total)`` called after each file,
        or a bar with reset() and update() (``tqdm.tqdm(unit="file")``).
    width : int
        Samples per exposure, a power of two from 128 to 65536.
    window, center, method, repeat, start, finish, phase : optional
        As for tavox.spectrum.
    format : {"raw", "csv", "f32", "npy", "npz"}, default "raw"
        As the command line's --format.
    average : {"mean", "rms", "max", "median", "min"}, default "mean"
        As for tavox.spectrum and the command line's --average.
    jobs : int, optional
        The threads the batch may use, as the command line's --jobs: 1 runs
        it on this thread alone; None or 0 means TAVOX_JOBS when set, else
        one per CPU this process may use. The outputs, results and progress
        calls do not depend on it.
    scale, unit, full_scale, overlap, detrend, pad : optional
        As for tavox.spectrum and the command line's options of those names;
        a scale or unit other than amplitude in sample counts needs a format
        other than "raw".
    fs : float, optional
        The sample rate in Hz, as --rate: the frequency column of CSV
        outputs and the density of "psd" per Hz. When None, a sound file's
        or SigMF recording's own rate counts.
    layout : {"files", "matrix"}, default "files"
        As the command line's --layout: "files" (each exposure of "multi"
        into a numbered output) or "matrix" (all into one output with its
        axes, named by mask: ``"*.npz"`` with format="npz" gives a file that
        tavox.read_spectrum reads into a Spectrogram).
    measure : bool, default False
        Each FileResult's measure holds the figures of its last output, as
        the command line's --measure. Needs a format other than "raw".
    fundamental, harmonics, measure_band : optional
        As --fundamental, --harmonics and --measure-band (a pair of Hz), as
        for tavox.measure.
    fft : {"exact", "fast"}, default "exact"
        As for tavox.spectrum and the command line's --fft.
    input_format : {"auto", "raw"}, default "auto"
        As --input-format: "auto" reads sound files and SigMF recordings by
        their contents and other files as raw samples; "raw" reads every
        file raw.
    sample_format : str, default "s16le"
        As --sample-format: the samples of raw files.
    channels : int, default 1
        As --channels: the interleaved channels of raw files.
    channel : int or "all", default 1
        As --channel: the channel to read, from 1, or "all": each channel
        into outputs of its own, named with _chK before the extension, and
        one FileResult per channel.

    Returns
    -------
    list of FileResult
        One per file, in batch order: a file that fails gives its code and
        message.

    Raises
    ------
    TypeError, ValueError
        For arguments out of place (only those raise).
    KeyboardInterrupt
        Ctrl+C on the main thread stops the batch at once, between two
        exposures; the files reported to progress until then keep their
        outputs, and no other output is left.

    Notes
    -----
    The GIL is released while files are transformed, so batches on several
    threads run in parallel.

    Examples
    --------
    >>> import pathlib, tempfile
    >>> folder = pathlib.Path(tempfile.mkdtemp())
    >>> _ = (folder / "a.dat").write_bytes(np.full(1024, 100, dtype="<i2").tobytes())
    >>> [r] = tavox.transform_files(folder / "*.dat", "*.csv", width=256, format="csv", fs=8000)
    >>> r.code == tavox.fftResultAllRight, tavox.read_spectrum(r.outputs[0]).fs
    (True, 8000.0)
    """
    settings = _settings(width=width, window=window, center=center, method=method, repeat=repeat, start=start,
                         finish=finish, phase=phase, format=format, rate=_rate(fs), average=average, jobs=jobs,
                         scale=scale, unit=unit, full_scale=full_scale, overlap=overlap, detrend=detrend, pad=pad,
                         layout=layout, fft=fft, input_format=input_format, sample_format=sample_format,
                         channels=channels, channel=channel)
    _measure_settings(settings, measure, fundamental, harmonics, measure_band)
    return run_batch([_absolute(pattern)], os.fspath(mask), settings, progress=progress)
