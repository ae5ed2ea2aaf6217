"""Misuse from Python never crashes: odd values, threads, late releases, interpreter exit."""

import decimal
import gc
import math
import os
import subprocess
import sys
import threading
import time

import numpy as np
import pytest

import tavox
from conftest import Recorder, cosine, write_samples


def odd_values():
    self_list = []
    self_list.append(self_list)
    app = tavox.Application()
    return [None, True, False, 0, 1, -1, 2 ** 15, -2 ** 31, 2 ** 31, 2 ** 70, 0.5, -1e300, math.nan, math.inf,
            decimal.Decimal("NaN"), decimal.Decimal("-1e-40"), decimal.Decimal("1e30"), "", "abc", "12", "50%",
            "1e999", "\u010d\u0159", b"bytes", bytearray(b"x"), [], [1, [2, ["x"]]], (None,), self_list, {}, set(),
            object(), app, app.FFTFiles, app.FFTParameters, tavox.Nothing, tavox.ByRef(tavox.ByRef(3)),
            np.int64(7), np.float32(0.25), np.bool_(True), np.zeros(3), complex(1, 2), lambda: 1, tavox.fftMethodMulti]


ALLOWED = (tavox.AutomationError, TypeError)


def attempt(call):
    try:
        call()
    except ALLOWED:
        pass


def test_any_value_for_any_argument_gives_a_result_or_a_clean_error(tmp_path):
    app = tavox.Application()
    p, files = app.FFTParameters, app.FFTFiles
    write_samples(tmp_path / "a.dat", cosine())
    values = odd_values()
    for value in values:
        for name in ("Phase", "Center", "Method", "Window", "Width", "Repeat", "Start", "Finish"):
            attempt(lambda: setattr(p, name, value))
        attempt(lambda: files.Item(value))
        attempt(lambda: files[value])
        attempt(lambda: files.Remove(value))
        attempt(lambda: app.FFTCommand(value))
        attempt(lambda: tavox.invoke(p, value, "get"))
        for file_type in (0, 1, value):
            attempt(lambda: files.Add(file_type, value, "*out.*"))
            attempt(lambda: files.Add(file_type, str(tmp_path / "*.dat"), value))
            attempt(lambda: files.Add(file_type, tavox.ByRef(value), value))
    # Whatever was stored, a run ends with result codes, never a crash.
    p.Width, p.Method = 128, tavox.fftMethodSimple
    p.Start, p.Finish = math.nan, 0
    sink = Recorder()
    app.Subscribe(sink)
    app.FFTExecute()
    assert sink.events[0] == ("WillExecute", 0) and sink.events[-1] == ("ExecuteComplete",)
    assert all(isinstance(e[2], int) for e in sink.events if e[0] == "FileComplete")


def test_objects_stay_usable_after_the_application_is_gone(tmp_path):
    write_samples(tmp_path / "a.dat", cosine())
    app = tavox.Application()
    sink = Recorder(app=app)  # the sink keeps the application alive through a cycle
    app.Subscribe(sink)
    files, parameters = app.FFTFiles, app.FFTParameters
    source = np.array(cosine())
    target = np.zeros(64)
    files.Add(tavox.fftDataExcelRange, tavox.NumpyRange(source), tavox.NumpyRange(target))
    del app, sink
    gc.collect()
    parameters.Width = 128
    assert files[1].Transform() == tavox.fftResultAllRight and target[8] == pytest.approx(1000.0)
    assert files.Add(0, str(tmp_path / "a.dat"), "*o.*").Transform() == tavox.fftResultAllRight
    del files
    gc.collect()
    assert parameters.Width == 128


def test_two_applications_run_in_two_threads(tmp_path):
    def work(index, outcome):
        try:
            folder = tmp_path / str(index)
            folder.mkdir()
            for name in ("a.dat", "b.dat"):
                write_samples(folder / name, cosine(count=4096, bin_=8 + index))
            app = tavox.Application()
            app.FFTParameters.Method = tavox.fftMethodAverage
            app.FFTParameters.Repeat = 8
            app.FFTFiles.Add(tavox.fftDataDiskFile, str(folder / "*.dat"), "*out.*")
            target = np.zeros(64)
            app.FFTFiles.Add(tavox.fftDataExcelRange, tavox.NumpyRange(np.array(cosine(count=4096, bin_=8 + index))),
                             tavox.NumpyRange(target))
            sink = Recorder()
            app.Subscribe(sink)
            for _ in range(5):
                app.FFTExecute()
            codes = {e[2] for e in sink.events if e[0] == "FileComplete"}
            outcome[index] = (len(sink.events), codes, int(np.argmax(target)))
        except BaseException as error:  # reported by the main thread
            outcome[index] = error

    outcome = {}
    threads = [threading.Thread(target=work, args=(i, outcome)) for i in range(2)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(120)
    assert outcome == {0: (25, {1101}, 8), 1: (25, {1101}, 9)}


def test_one_application_from_two_threads_runs_one_batch_at_a_time(tmp_path):
    for name in ("a.dat", "b.dat", "c.dat"):
        write_samples(tmp_path / name, cosine())
    app = tavox.Application()
    app.FFTFiles.Add(tavox.fftDataDiskFile, str(tmp_path / "*.dat"), "*out.*")
    entered = threading.Event()

    class Slow(Recorder):
        def FileComplete(self, file, result):
            entered.set()
            time.sleep(0.01)
            super().FileComplete(file, result)

    sink = Slow()
    app.Subscribe(sink)
    errors = []

    def other():
        entered.wait(10)
        try:
            app.FFTExecute()  # waits for the running batch instead of entering it
            app.FFTParameters.Width = 128
            app.BreakFFT()
        except BaseException as error:
            errors.append(error)

    thread = threading.Thread(target=other)
    thread.start()
    app.FFTExecute()
    thread.join(60)
    one_run = [("WillExecute", 0)] + [("FileComplete", n, 1101) for n in ("a.dat", "b.dat", "c.dat")] + [
        ("ExecuteComplete",)]
    assert errors == [] and sink.events == one_run * 2


def test_a_batch_lets_other_python_threads_run(tmp_path):
    write_samples(tmp_path / "a.dat", cosine(count=65536 * 2, bin_=8))
    write_samples(tmp_path / "b.dat", cosine(count=65536 * 2, bin_=8))
    app = tavox.Application()
    p = app.FFTParameters
    p.Width, p.Method, p.Repeat = 65536, tavox.fftMethodAverage, 40
    app.FFTFiles.Add(tavox.fftDataDiskFile, str(tmp_path / "*.dat"), "*out.*")
    stamps, stop = [], threading.Event()
    window = []

    def ticker():
        while not stop.is_set():
            stamps.append(time.monotonic())

    # From the start of the run to its last file: the files may be
    # transformed side by side on worker threads.
    class Sink:
        def WillExecute(self, cancel):
            window.append(time.monotonic())

        def FileComplete(self, file, result):
            window.append(time.monotonic())

    app.Subscribe(Sink())
    thread = threading.Thread(target=ticker)
    thread.start()
    app.FFTExecute()
    stop.set()
    thread.join()
    start, end = window[0], window[-1]
    inside = [t for t in stamps if start < t < end]
    assert end - start > 0.02, "the transform was too quick to tell"
    gaps = [b - a for a, b in zip(inside, inside[1:])]
    assert inside and max(gaps) < (end - start) / 2


def test_interpreter_exit_with_live_objects_is_clean(tmp_path):
    script = """
import numpy as np, tavox
app = tavox.Application()
class Sink:
    def __init__(self, app): self.app = app
    def ExecuteComplete(self): pass
app.Subscribe(Sink(app))
kept = app.FFTFiles.Add(tavox.fftDataExcelRange, tavox.NumpyRange(np.zeros(200)), tavox.NumpyRange(np.zeros(64)))
app.FFTExecute()
print("ran", kept.Name)
"""
    result = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60,
                            env=dict(os.environ, PYTHONPATH=os.path.dirname(os.path.dirname(tavox.__file__))),
                            cwd=tmp_path)
    assert (result.returncode, result.stdout.strip(), result.stderr) == (0, "ran Range0.xls", "")


def test_a_sink_that_holds_its_application_is_collected():
    import weakref

    class Sink:
        def __init__(self, app):
            self.app = app

        def ExecuteComplete(self):
            pass

    app = tavox.Application()
    sink = Sink(app)
    app.Subscribe(sink)
    app.FFTExecute()
    gone = weakref.ref(sink)
    del app, sink
    gc.collect()
    assert gone() is None
