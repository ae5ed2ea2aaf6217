"""TAVOX: batch amplitude spectra of sample files, sound files and SigMF recordings.

numpy in, Spectrum out::

    s = tavox.spectrum(samples, 1024, window="hann", fs=48000)
    s.magnitude, s.frequencies          # float64, Hz
    psd = tavox.spectrum(samples, 1024, window="hann", method="average", overlap=50, scale="psd", fs=48000)
    S, f, t, start, meta = tavox.spectrogram(samples, 1024, overlap=50, fs=48000)
    results = tavox.transform_files("/data/*.dat", "*.spc", width=1024)
    figures = tavox.measure(samples, fs=48000)   # SNR, THD, SINAD, ENOB...
    levels = tavox.bands(samples, fs=48000, bands_per_octave=3)
    s = tavox.read_spectrum("/data/a.spc", width=1024)
    samples, fs = tavox.read_signal("/data/tone.wav", channel=1)

The object model (as automation clients know it): create a
tavox.Application, add files through app.FFTFiles.Add, set
app.FFTParameters and call app.FFTExecute(). Errors of the object model raise
tavox.AutomationError (number, source, description). tavox.dask spreads a
batch over a Dask cluster.

Conventions of this module:

* Files are numbered from 1: files[1], files.Item(1); files["A.DAT"] looks a
  file up by name in any letter case; both give None when nothing matches.
* Arguments passed by reference take a tavox.ByRef holder: after
  ``files.Add(fftDataDiskFile, src, "*out.*")`` with
  ``src = tavox.ByRef("*.dat")``, src.value holds the completed path. Event handlers get ByRef holders too.
* Values given as variants: None is Empty, bool Boolean, int the 16-bit or
  32-bit integer it fits (beyond 32 bits the overflow error 6), float Double,
  decimal.Decimal Decimal (rounded to 28 places; beyond its range the overflow
  error 6), str and os.PathLike String, list/tuple an array, tavox.Nothing the
  empty object reference, any other object an object reference (a range when
  shaped like one). Read back, Empty, Null and the empty object reference are
  None.
* Typed arguments (Width, Repeat, Method, Window, Phase, Center, FileType)
  accept numbers, bool (True is -1) and numeric text, as automation coerces;
  other types raise TypeError.
* Result codes are fftResultEnum members everywhere; a runtime error number
  trapped in a transform is one too (error6 for the overflow error 6).
* Threads: the objects of one Application share a lock, so calls into one
  Application from several threads run one after another; Applications,
  spectrum and transform_files calls on different threads run in parallel.
  A thread waiting for a lock does not hold the GIL. A batch and spectrum
  release the GIL; event handlers and Python ranges take it back while they
  run.
* Late binding: each class has DispIds (member -> dispatch identifier);
  tavox.DispIds maps (class, member) to the identifier, and
  ``tavox.invoke(obj, name_or_dispid, "get" | "put" | "call", *args)``
  calls a member by either.
"""

from typing import Final

from ._tavox import (
    Application,
    AutomationError,
    ByRef,
    File,
    Files,
    Nothing,
    Parameters,
    __version__,
    fftDataEnum,
    fftMethodEnum,
    fftResultEnum,
    fftWindowEnum,
)
from ._dispatch import (
    DISP_E_BADPARAMCOUNT,
    DISP_E_MEMBERNOTFOUND,
    DISP_E_UNKNOWNNAME,
    DispIds,
    EventDispIds,
    invoke,
)
from ._ranges import NumpyRange, OpenpyxlRange
from ._arrays import (TransformError, WindowConstants, read_signal, read_spectrum, spectrum, window_constants,
                      window_weights)
from ._spectrum import Spectrum, frequencies
from ._spectrogram import Spectrogram, spectrogram
from ._batch import FileResult, transform_files
from ._measure import Band, Measurement, bands, measure

fftResultAllRight: Final = fftResultEnum.fftResultAllRight
fftResultFileSysErr: Final = fftResultEnum.fftResultFileSysErr
fftResultFileNameErr: Final = fftResultEnum.fftResultFileNameErr
fftResultOutOfMemory: Final = fftResultEnum.fftResultOutOfMemory
fftResultRepeatFail: Final = fftResultEnum.fftResultRepeatFail
fftResultShortFile: Final = fftResultEnum.fftResultShortFile
fftResultTargetFull: Final = fftResultEnum.fftResultTargetFull
fftResultFormatErr: Final = fftResultEnum.fftResultFormatErr
fftMethodSimple: Final = fftMethodEnum.fftMethodSimple
fftMethodAverage: Final = fftMethodEnum.fftMethodAverage
fftMethodMulti: Final = fftMethodEnum.fftMethodMulti
fftWindowRectangle: Final = fftWindowEnum.fftWindowRectangle
fftWindowHanning: Final = fftWindowEnum.fftWindowHanning
fftWindowFlatTop: Final = fftWindowEnum.fftWindowFlatTop
fftDataDiskFile: Final = fftDataEnum.fftDataDiskFile
fftDataExcelRange: Final = fftDataEnum.fftDataExcelRange

__all__ = [
    "Application", "AutomationError", "ByRef", "File", "FileResult", "Files", "Nothing", "NumpyRange",
    "OpenpyxlRange", "Parameters", "Spectrogram", "Spectrum", "TransformError", "__version__", "frequencies",
    "invoke", "read_signal", "read_spectrum", "spectrogram", "spectrum",
    "transform_files", "WindowConstants", "window_constants", "window_weights", "DispIds", "EventDispIds", "DISP_E_BADPARAMCOUNT", "DISP_E_MEMBERNOTFOUND",
    "Band", "Measurement", "bands", "measure", "DISP_E_UNKNOWNNAME", "fftDataEnum", "fftMethodEnum", "fftResultEnum", "fftWindowEnum",
    "fftResultAllRight", "fftResultFileSysErr", "fftResultFileNameErr", "fftResultOutOfMemory",
    "fftResultRepeatFail", "fftResultShortFile", "fftResultTargetFull", "fftResultFormatErr", "fftMethodSimple",
    "fftMethodAverage",
    "fftMethodMulti", "fftWindowRectangle", "fftWindowHanning", "fftWindowFlatTop", "fftDataDiskFile",
    "fftDataExcelRange",
]
