"""Late binding: members by name or by dispatch identifier."""

from __future__ import annotations

from typing import Any, NoReturn, Union

from ._tavox import Application, AutomationError, File, Files, Parameters

# Automation's own error numbers (HRESULTs as signed 32-bit values).
DISP_E_UNKNOWNNAME = -2147352570  # 0x80020006
DISP_E_MEMBERNOTFOUND = -2147352573  # 0x80020003
DISP_E_BADPARAMCOUNT = -2147352562  # 0x8002000E
_SOURCE = "TAVOX"

_CLASSES = (Application, Parameters, Files, File)

# How each member is reached and how many arguments its get or call takes.
_ACCESS: dict[str, dict[str, tuple[str, int]]] = {
    "Application": {"FFTFiles": ("get", 0), "FFTParameters": ("get", 0), "BreakFFT": ("call", 0),
                    "FFTCommand": ("call", 1), "FFTExecute": ("call", 0)},
    "Parameters": {name: ("getput", 0) for name in
                   ("Phase", "Center", "Finish", "Method", "Repeat", "Start", "Width", "Window")},
    "Files": {"Count": ("get", 0), "Item": ("get", 1), "NewEnum": ("get", 0), "Add": ("call", 3),
              "Remove": ("call", 1)},
    "File": {"DataFormat": ("get", 0), "Name": ("get", 0), "Source": ("get", 0), "Target": ("get", 0),
             "Transform": ("call", 0)},
}



def _dispids(cls: type) -> dict[str, int]:
    table: dict[str, int] = getattr(cls, "DispIds")
    return table


DispIds: dict[tuple[str, str], int] = {(cls.__name__, name): dispid for cls in _CLASSES
                                       for name, dispid in _dispids(cls).items()}
DispIds.update({("__Application", name): dispid for name, dispid in Application.EventDispIds.items()})
EventDispIds: dict[str, int] = dict(Application.EventDispIds)


def _fail(number: int, description: str) -> NoReturn:
    raise AutomationError(number, _SOURCE, description)


def _resolve(cls: type, member: Union[str, int]) -> str:
    if isinstance(member, str):
        wanted = member.lower()
        if wanted == "_newenum":
            wanted = "newenum"
        for name in _dispids(cls):
            if name.lower() == wanted:
                return name
        _fail(DISP_E_UNKNOWNNAME, "Unknown name.")
    if isinstance(member, int) and not isinstance(member, bool):
        for name, dispid in _dispids(cls).items():
            if dispid == member:
                return name
        _fail(DISP_E_MEMBERNOTFOUND, "Member not found.")
    raise TypeError("member must be a name (str) or a dispatch identifier (int)")


def invoke(obj: Union[Application, Files, File, Parameters], member: Union[str, int], kind: str,
           *args: Any) -> Any:
    """Calls a member of an Application, Files, File or Parameters object by name or dispatch identifier.

    Parameters
    ----------
    obj : Application, Files, File or Parameters
        The object.
    member : str or int
        Its name (any letter case) or its dispatch identifier.
    kind : {"get", "put", "call"}
        "get": a property, with its index argument for Files.Item; "put": a
        writable property, one argument; "call": a method.
    *args
        The arguments of the member.

    Returns
    -------
    object
        What the member gives; None for "put".

    Raises
    ------
    AutomationError
        DISP_E_UNKNOWNNAME for an unknown name, DISP_E_MEMBERNOTFOUND for an
        unknown identifier or the wrong kind, DISP_E_BADPARAMCOUNT for a
        wrong number of arguments; errors of the member itself pass
        unchanged.

    Examples
    --------
    >>> parameters = tavox.Application().FFTParameters
    >>> tavox.invoke(parameters, "width", "put", 1024)
    >>> tavox.invoke(parameters, tavox.DispIds[("Parameters", "Width")], "get")
    1024
    """
    cls = next((c for c in _CLASSES if isinstance(obj, c)), None)
    if cls is None:
        raise TypeError("invoke() needs a tavox Application, Files, File or Parameters object, not %r"
                        % type(obj).__name__)
    if kind not in ("get", "put", "call"):
        raise ValueError("kind must be 'get', 'put' or 'call', not %r" % (kind,))
    name = _resolve(cls, member)
    access, arity = _ACCESS[cls.__name__][name]
    if kind == "put":
        if access != "getput":
            _fail(DISP_E_MEMBERNOTFOUND, "Member not found.")
        if len(args) != 1:
            _fail(DISP_E_BADPARAMCOUNT, "Invalid number of parameters.")
        setattr(obj, name, args[0])
        return None
    if (kind == "call") != (access == "call"):
        _fail(DISP_E_MEMBERNOTFOUND, "Member not found.")
    if len(args) != arity:
        _fail(DISP_E_BADPARAMCOUNT, "Invalid number of parameters.")
    value = getattr(obj, name)
    return value(*args) if kind == "call" or arity else value
