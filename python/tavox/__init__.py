"""TAVOX object model: batch amplitude spectra of 16-bit sample files.

Create a tavox.Application, add files through app.FFTFiles.Add, set
app.FFTParameters and call app.FFTExecute(). Errors of the object model raise
tavox.AutomationError (number, source, description).

Conventions of this module:

* Files are numbered from 1: files[1], files.Item(1); files["A.DAT"] looks a
  file up by name in any letter case; both give None when nothing matches.
* Arguments passed by reference take a tavox.ByRef holder: after
  files.Add(fftDataDiskFile, src, "*out.*") with src = tavox.ByRef("*.dat"),
  src.value holds the completed path. Event handlers get ByRef holders too.
* Values given as variants: None is Empty, bool Boolean, int the 16-bit or
  32-bit integer it fits (beyond 32 bits the overflow error 6), float Double,
  decimal.Decimal Decimal (rounded to 28 places; beyond its range the overflow
  error 6), str String, list/tuple an array, tavox.Nothing the empty object
  reference, any other object an object reference (a range when shaped like
  one). Read back, Empty, Null and the empty object reference are None.
* Typed arguments (Width, Repeat, Method, Window, Phase, Center, FileType)
  accept numbers, bool (True is -1) and numeric text, as automation coerces;
  other types raise TypeError.
* Threads: every call into the core holds one module-wide lock, so calls from
  several threads run one after another; a thread waiting for the lock does
  not hold the GIL. A batch releases the GIL; event handlers and Python ranges
  take it back while they run.
* Late binding: each class has DispIds (member -> dispatch identifier);
  tavox.DispIds maps (class, member) to the identifier, and
  tavox.invoke(obj, name_or_dispid, "get" | "put" | "call", *args) calls a
  member by either.
"""

from ._tavox import (  # noqa: F401
    Application,
    AutomationError,
    ByRef,
    Nothing,
    File,
    Files,
    Parameters,
    __version__,
    fftDataEnum,
    fftMethodEnum,
    fftResultEnum,
    fftWindowEnum,
)
from ._dispatch import (  # noqa: F401
    DISP_E_BADPARAMCOUNT,
    DISP_E_MEMBERNOTFOUND,
    DISP_E_UNKNOWNNAME,
    DispIds,
    EventDispIds,
    invoke,
)
from ._ranges import NumpyRange, OpenpyxlRange  # noqa: F401

for _enum in (fftResultEnum, fftMethodEnum, fftWindowEnum, fftDataEnum):
    globals().update(_enum.__members__)
del _enum
