"""Members, dispatch identifiers, enumerations and late binding."""

import pytest

import tavox
from conftest import assert_automation_error

EXPECTED_DISPIDS = {
    ("Application", "FFTFiles"): 0,
    ("Application", "FFTParameters"): 0x68030000,
    ("Application", "BreakFFT"): 0x60030001,
    ("Application", "FFTCommand"): 0x60030002,
    ("Application", "FFTExecute"): 0x60030003,
    ("__Application", "WillExecute"): 1,
    ("__Application", "FileComplete"): 2,
    ("__Application", "ExecuteComplete"): 3,
    ("Parameters", "Phase"): 0x40030000,
    ("Parameters", "Center"): 0x40030001,
    ("Parameters", "Finish"): 0x68030008,
    ("Parameters", "Method"): 0x68030007,
    ("Parameters", "Repeat"): 0x68030006,
    ("Parameters", "Start"): 0x68030005,
    ("Parameters", "Width"): 0x68030004,
    ("Parameters", "Window"): 0x68030003,
    ("Files", "Count"): 0x68030001,
    ("Files", "Item"): 0,
    ("Files", "NewEnum"): -4,
    ("Files", "Add"): 0x60030002,
    ("Files", "Remove"): 0x60030003,
    ("File", "DataFormat"): 0x68030004,
    ("File", "Name"): 0,
    ("File", "Source"): 0x68030003,
    ("File", "Target"): 0x68030002,
    ("File", "Transform"): 0x60030005,
}


def test_dispatch_identifiers_match_the_interfaces():
    assert tavox.DispIds == EXPECTED_DISPIDS
    assert tavox.EventDispIds == {"WillExecute": 1, "FileComplete": 2, "ExecuteComplete": 3}
    for (cls, member), dispid in EXPECTED_DISPIDS.items():
        if cls != "__Application":
            assert getattr(tavox, cls).DispIds[member] == dispid
            assert hasattr(getattr(tavox, cls), member), (cls, member)


def test_enumerations_have_their_names_and_values():
    expected = {
        "fftResultEnum": {"fftResultAllRight": 1101, "fftResultFileSysErr": 1102, "fftResultFileNameErr": 1103,
                          "fftResultOutOfMemory": 1104, "fftResultRepeatFail": 1105, "fftResultShortFile": 1106,
                          "fftResultTargetFull": 1107, "fftResultFormatErr": 1108},
        "fftMethodEnum": {"fftMethodSimple": 0, "fftMethodAverage": 1, "fftMethodMulti": 2},
        "fftWindowEnum": {"fftWindowRectangle": 0, "fftWindowHanning": 1, "fftWindowFlatTop": 2},
        "fftDataEnum": {"fftDataDiskFile": 0, "fftDataExcelRange": 1},
    }
    for enum_name, members in expected.items():
        enum = getattr(tavox, enum_name)
        assert {m.name: m.value for m in enum} == members
        for name, value in members.items():
            assert getattr(tavox, name) is enum[name]
            assert getattr(tavox, name) == value


def test_only_application_is_creatable():
    for cls in (tavox.Files, tavox.File, tavox.Parameters):
        with pytest.raises(TypeError):
            cls()
    app = tavox.Application()
    assert app.FFTFiles is app.FFTFiles
    assert app.FFTParameters is app.FFTParameters
    assert tavox.Application().FFTFiles is not app.FFTFiles


def test_parameters_defaults_and_mapping_into_range(app):
    p = app.FFTParameters
    assert (p.Method, p.Window, p.Width, p.Repeat, p.Start, p.Finish, p.Phase, p.Center) == (
        tavox.fftMethodSimple, tavox.fftWindowRectangle, 128, 1, 0, 0, False, False)
    assert type(p.Method) is tavox.fftMethodEnum and type(p.Window) is tavox.fftWindowEnum
    for given, stored in ((1, 128), (0, 128), (129, 256), (4097, 8192), (1000000, 65536), (-300, 512), (1000.5, 1024)):
        p.Width = given
        assert p.Width == stored, given
    p.Window = 5
    assert p.Window is tavox.fftWindowRectangle
    p.Window = tavox.fftWindowFlatTop
    assert p.Window is tavox.fftWindowFlatTop
    p.Repeat = -5
    assert p.Repeat == 5
    p.Method = tavox.fftMethodMulti
    p.Repeat = 1
    assert p.Repeat == 2
    p.Method = 7
    assert p.Method is tavox.fftMethodSimple and p.Repeat == 2
    p.Phase, p.Center = True, 1
    assert p.Phase is True and p.Center is True
    p.Phase = "False"
    assert p.Phase is False
    p.Width = "2048"  # numeric text converts as automation converts it
    assert p.Width == 2048


def test_start_and_finish_keep_the_normalised_kind(app):
    from decimal import Decimal

    p = app.FFTParameters
    cases = [("25%", 0.25, float), ("150%", 0.9999, float), ("0.5", 0.5, float), ("2000", 2000.0, float),
             ("abc", 0.0, float), (-200, 200, int), (True, 0, int), (None, 0, int), (1.0, 0.9999, float),
             (Decimal("1.5"), 0.9999, float), (Decimal("-0.25"), Decimal("0.25"), Decimal), (70000, 70000, int),
             (2 ** 20, 2 ** 20, int), (2.0 ** 40, 0.9999, float), ([1, 2], 0, int), (object(), 0, int)]
    for given, stored, kind in cases:
        p.Start = given
        p.Finish = tavox.ByRef(given)
        for value in (p.Start, p.Finish):
            assert value == stored and type(value) is kind, (given, value)


def test_file_members_and_default_name(app, signal_folder):
    first, second, third = app.FFTFiles.Add(tavox.fftDataDiskFile, str(signal_folder / "*.dat"), "*out.*")
    assert (first.Name, str(second), repr(third)) == ("a.dat", "b.dat", "<tavox.File 'c.dat'>")
    assert second.DataFormat is tavox.fftDataDiskFile
    assert second.Source == str(signal_folder / "b.dat") and second.Target == "*out.*"
    assert app.FFTFiles[1] == first and hash(app.FFTFiles[1]) == hash(first) and first != second


def test_invoke_by_name_and_by_dispid(app, signal_folder):
    p = app.FFTParameters
    tavox.invoke(p, "Width", "put", 1000)
    assert tavox.invoke(p, 0x68030004, "get") == 1024
    tavox.invoke(p, 0x68030004, "put", 100)
    assert p.Width == 128
    tavox.invoke(p, "start", "put", "50%")
    assert tavox.invoke(p, "START", "get") == 0.5
    tavox.invoke(p, 0x68030005, "put", 0)
    files = tavox.invoke(app, 0, "get")
    assert files is app.FFTFiles
    assert tavox.invoke(app, "FFTParameters", "get") is p
    added = tavox.invoke(files, 0x60030002, "call", 0, str(signal_folder / "a.dat"), "*out.*")
    assert tavox.invoke(files, "Count", "get") == 1
    assert tavox.invoke(files, 0, "get", "A.DAT") == added
    assert [f.Name for f in tavox.invoke(files, -4, "get")] == ["a.dat"]
    assert tavox.invoke(added, 0, "get") == "a.dat"
    assert tavox.invoke(added, "Transform", "call") == tavox.fftResultAllRight
    tavox.invoke(app, 0x60030001, "call")
    tavox.invoke(files, "Remove", "call", 1)
    assert files.Count == 0


def test_invoke_reports_automation_errors(app):
    p = app.FFTParameters
    with pytest.raises(tavox.AutomationError) as info:
        tavox.invoke(p, "Height", "get")
    assert_automation_error(info, -2147352570, "TAVOX", "Unknown name.")
    assert info.value.number & 0xFFFFFFFF == 0x80020006
    with pytest.raises(tavox.AutomationError) as info:
        tavox.invoke(p, 0x12345, "get")
    assert info.value.number == tavox.DISP_E_MEMBERNOTFOUND
    for obj, member, kind, args in ((app.FFTFiles, "Count", "put", (3,)), (app, "FFTExecute", "get", ()),
                                    (p, "Width", "call", ())):
        with pytest.raises(tavox.AutomationError) as info:
            tavox.invoke(obj, member, kind, *args)
        assert info.value.number == tavox.DISP_E_MEMBERNOTFOUND, (member, kind)
    with pytest.raises(tavox.AutomationError) as info:
        tavox.invoke(app.FFTFiles, "Item", "get")
    assert info.value.number == tavox.DISP_E_BADPARAMCOUNT
    with pytest.raises(tavox.AutomationError) as info:
        tavox.invoke(app, "FFTCommand", "call", "x h 128 a b")
    assert info.value.number == -2147220503  # the member's own error passes unchanged
    with pytest.raises(TypeError):
        tavox.invoke(object(), "Count", "get")
    with pytest.raises(ValueError):
        tavox.invoke(p, "Width", "let", 1)
