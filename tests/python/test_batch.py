"""transform_files and FileResult, the Pythonic surface of the object model, and its locks."""

import inspect
import os
import pathlib
import pickle
import signal
import subprocess
import sys
import threading
import time

import numpy as np
import pytest

import tavox
import tavox.dask
from conftest import Recorder, cosine, write_samples


@pytest.fixture
def recordings(tmp_path):
    """Four 16-bit recordings of seeded noise and a file of 100 samples, too short for width 1024."""
    rng = np.random.default_rng(11)
    for name in ("a.dat", "b.dat", "c.dat", "d.dat"):
        (tmp_path / name).write_bytes(rng.integers(-20000, 20000, 6000).astype("<i2").tobytes())
    (tmp_path / "e.dat").write_bytes(np.zeros(100, dtype="<i2").tobytes())
    return tmp_path


def test_transform_files_returns_one_result_per_file_in_order(recordings):
    seen = []
    results = tavox.transform_files(recordings / "*.dat", "*.spc", width=1024, window="hann", method="average",
                                    repeat=4, progress=lambda result, done, total: seen.append((result, done, total)))
    assert [pathlib.Path(r.input).name for r in results] == ["a.dat", "b.dat", "c.dat", "d.dat", "e.dat"]
    assert [r.ok for r in results] == [True] * 4 + [False]
    assert results[4].code is tavox.fftResultShortFile and results[4].outputs == ()
    assert results[4].message == "The evaluation range did not fit the length of the file"
    assert results[0].message == "The transform went well"
    for result in results[:4]:
        assert isinstance(result.code, tavox.fftResultEnum)
        (output,) = result.outputs
        samples = np.frombuffer(pathlib.Path(result.input).read_bytes(), dtype="<i2")
        expected = tavox.spectrum(samples, 1024, window="hann", method="average", repeat=4)
        assert pathlib.Path(output).read_bytes() == expected.to_int16().tobytes()
        assert output == result.input[:-4] + ".spc"
    assert seen == [(r, i + 1, 5) for i, r in enumerate(results)]
    assert pickle.loads(pickle.dumps(results)) == results


def test_transform_files_options_reach_the_outputs(recordings, monkeypatch):
    monkeypatch.chdir(recordings)
    results = tavox.transform_files("a.dat", pathlib.Path("*.npy"), width=512,
                                    method="multi", repeat=3, start="10%", format="npy")
    (result,) = results
    assert result.input == str(recordings / "a.dat")  # relative patterns are taken from the current folder
    assert [pathlib.Path(p).name for p in result.outputs] == ["a.001", "a.002", "a.003"]
    samples = np.frombuffer((recordings / "a.dat").read_bytes(), dtype="<i2")
    expected = tavox.spectrum(samples, 512, method="multi", repeat=3, start="10%", dtype="float64")
    for row, path in zip(expected.S, result.outputs):
        assert np.load(path).tobytes() == row.tobytes()
    csv = tavox.transform_files(recordings / "b.dat", "*.csv", width=256, format="csv", fs=1000)
    assert pathlib.Path(csv[0].outputs[0]).read_text().startswith("bin,frequency_hz,magnitude\n0,0,")


def test_transform_files_with_a_tqdm_bar(recordings):
    tqdm = pytest.importorskip("tqdm")
    with open(os.devnull, "w") as sink:
        bar = tqdm.tqdm(unit="file", file=sink)
        tavox.transform_files(recordings / "*.dat", "*.spc", width=128, progress=bar)
        assert (bar.n, bar.total) == (5, 5)
        bar.close()


@pytest.mark.parametrize("options,error,text", [
    (dict(width=100), ValueError, "power of two"),
    (dict(method="multi", repeat=0), ValueError, "repeat must be from 2 to 999"),
    (dict(format="xls"), ValueError, "format must be one of 'raw', 'csv', 'f32', 'npy'"),
    (dict(fs=0), ValueError, "fs must be a sample rate"),
    (dict(fs="48k"), TypeError, "fs must be a number"),
    (dict(average="mode"), ValueError, "average must be one of"),
    (dict(jobs=-1), ValueError, "jobs must be from 0 to 256"),
    (dict(jobs=257), ValueError, "jobs must be from 0 to 256"),
    (dict(jobs=2.0), TypeError, "jobs must be an int"),
    (dict(progress=42), TypeError, "progress must be a callable"),
    (dict(mask="a?.*"), ValueError, "do not make a batch"),
    (dict(pattern=""), ValueError, "pattern must name files"),
])
def test_transform_files_refuses_bad_options_before_touching_anything(recordings, options, error, text):
    arguments = dict(pattern=str(recordings / "*.dat"), mask="*.spc", width=128)
    arguments.update(options)
    with pytest.raises(error, match=text):
        tavox.transform_files(arguments.pop("pattern"), arguments.pop("mask"), **arguments)
    assert not list(recordings.glob("*.spc"))


def _thread_ids():
    return set(os.listdir("/proc/self/task"))


def _wait_until_workers_transformed_more_than(count):
    """Polls the count of files transformed on worker threads until it exceeds `count`; the deadline only ends a run
    that would otherwise hang."""
    deadline = time.monotonic() + 120
    while tavox._tavox._files_transformed_on_workers() <= count:
        assert time.monotonic() < deadline, "no worker transformed a file"
        time.sleep(0.001)


@pytest.mark.parametrize("method,window,width,repeat,count,length", [
    ("simple", "hann", 128, 2, 20, 3000),        # enough files to transform them ahead
    ("average", "flattop", 1024, 200, 2, 210000),  # exposures of one file on worker threads
    ("multi", "hann", 4096, 40, 2, 170000),
])
def test_jobs_change_neither_outputs_nor_results(tmp_path, method, window, width, repeat, count, length):
    rng = np.random.default_rng(5)
    folders = {jobs: tmp_path / ("jobs%d" % jobs) for jobs in (1, 2)}
    for folder in folders.values():
        folder.mkdir()
    for k in range(count):
        data = rng.integers(-30000, 30000, length).astype("<i2").tobytes()
        for folder in folders.values():
            (folder / ("r%02d.dat" % k)).write_bytes(data)
    threads, on_workers, results = {}, {}, {}
    for jobs, folder in folders.items():
        # Threads are told apart by id: one joined before may still be listed for a moment while it ends.
        before = _thread_ids()
        started = set()
        workers_before = tavox._tavox._files_transformed_on_workers()

        def progress(result, done, total):
            started.update(_thread_ids() - before)
            # The batch's thread takes the first chunk of files itself and waits here until a worker has taken
            # one of the rest, so that some outputs compared below surely come from a worker.
            if jobs == 2 and method == "simple" and done == 1:
                _wait_until_workers_transformed_more_than(workers_before)

        mask = "*.*" if method == "multi" else "*.out"
        results[jobs] = tavox.transform_files(folder / "*.dat", mask, width=width, window=window, method=method,
                                              repeat=repeat, jobs=jobs, progress=progress)
        threads[jobs] = len(started)
        on_workers[jobs] = tavox._tavox._files_transformed_on_workers() - workers_before
    assert all(r.ok for r in results[1])
    assert [(pathlib.Path(r.input).name, r.code, len(r.outputs)) for r in results[1]] == [
        (pathlib.Path(r.input).name, r.code, len(r.outputs)) for r in results[2]]
    names = sorted(p.name for p in folders[1].iterdir())
    assert names == sorted(p.name for p in folders[2].iterdir())
    for name in names:
        assert (folders[1] / name).read_bytes() == (folders[2] / name).read_bytes(), name
    assert threads[1] == 0 and on_workers[1] == 0, "jobs=1 started a thread"


@pytest.mark.parametrize("jobs", [1, 2])
def test_ctrl_c_stops_a_batch_at_once_and_leaves_the_outputs_of_the_files_reported(tmp_path, jobs):
    rng = np.random.default_rng(3)
    for i in range(4):
        (rng.standard_normal(100_000) * 3000).astype("<i2").tofile(tmp_path / ("s%d.dat" % i))
    reported = []
    first = threading.Event()
    times = {}

    def progress(result, done, total):
        reported.append(result)
        times.setdefault("first", time.monotonic())
        first.set()

    def interrupt():
        first.wait()
        times["sent"] = time.monotonic()
        os.kill(os.getpid(), signal.SIGINT)

    sender = threading.Thread(target=interrupt)
    sender.start()
    times["start"] = time.monotonic()
    with pytest.raises(KeyboardInterrupt):
        tavox.transform_files(tmp_path / "*.dat", "*.avg", method="average", repeat=999, width=65536, jobs=jobs,
                              progress=progress)
    stopped = time.monotonic()
    sender.join()
    # Each file takes 999 exposures; the batch stops between two of them,
    # not after the file in progress.
    assert stopped - times["sent"] < (times["first"] - times["start"]) / 4
    # Not every file was transformed. On a loaded machine the sender may wake
    # only after other files are done, and the file in progress is then
    # reported as stopped; a stop during a callback reports no stopped file.
    assert reported and reported[0].ok and sum(r.ok for r in reported) < 4
    assert sorted(p.name for p in tmp_path.iterdir() if not p.name.endswith(".dat")) == \
        sorted(os.path.basename(output) for result in reported if result.ok for output in result.outputs)
    # The handler is Python's again, and the next batch runs to its end.
    assert signal.getsignal(signal.SIGINT) is signal.default_int_handler
    assert len(tavox.transform_files(tmp_path / "s0.dat", "*.avg", method="average", repeat=2, width=128)) == 1


def test_application_jobs_is_checked():
    app = tavox.Application()
    assert app.jobs == 0
    app.jobs = 3
    assert app.jobs == 3
    for value, error in ((-1, ValueError), (257, ValueError), (2**70, ValueError), (True, TypeError),
                         ("2", TypeError)):
        with pytest.raises(error, match="jobs must be"):
            app.jobs = value
    assert app.jobs == 3


def test_every_class_property_and_method_has_a_docstring():
    missing = []
    for cls in (tavox.Application, tavox.Files, tavox.File, tavox.Parameters, tavox.ByRef, tavox.NumpyRange,
                tavox.OpenpyxlRange, tavox.FileResult, tavox.TransformError, tavox.AutomationError,
                tavox.fftResultEnum, tavox.fftMethodEnum, tavox.fftWindowEnum, tavox.fftDataEnum):
        if not (cls.__doc__ or "").strip():
            missing.append(cls.__name__)
        for name, member in vars(cls).items():
            if name.startswith("_") or not (callable(member) or isinstance(member, property)
                                            or type(member).__name__ == "property"):
                continue
            if not (getattr(member, "__doc__", None) or "").strip():
                missing.append(cls.__name__ + "." + name)
    for function in (tavox.spectrum, tavox.read_spectrum, tavox.transform_files, tavox.invoke):
        if not (function.__doc__ or "").strip():
            missing.append(function.__name__)
    assert missing == []
    text = subprocess.run([sys.executable, "-c", "import tavox; help(tavox.Parameters)"], capture_output=True,
                          text=True, env=dict(os.environ, PAGER="cat")).stdout
    assert "Width" in text and "power of two" in text and "handle" not in text
    add = tavox.Files.Add.__doc__
    assert add.startswith("Add(FileType: fftDataEnum | int, Source: str | os.PathLike") and "handle" not in add


def test_reprs_say_what_an_object_holds(signal_folder):
    app = tavox.Application()
    app.FFTParameters.Width = 1024
    app.FFTFiles.Add(tavox.fftDataDiskFile, str(signal_folder / "*.dat"), "*out.*")
    assert repr(app) == "<tavox.Application: 3 files, Width 1024>"
    assert repr(app.FFTFiles) == "<tavox.Files: 3 files 'a.dat', 'b.dat', 'c.dat'>"
    assert repr(app.FFTParameters) == ("<tavox.Parameters fftMethodSimple, fftWindowRectangle, Width=1024, Repeat=1, "
                                       "Start=0, Finish=0, Phase=False, Center=False>")
    assert repr(tavox.fftResultEnum(6)) == "<fftResultEnum.error6: 6>"
    result = tavox.FileResult("/x/a.dat", ("/x/a.spc",), tavox.fftResultAllRight, "The transform went well")
    assert repr(result).startswith("FileResult(input='/x/a.dat', outputs=('/x/a.spc',), code=<fftResultEnum.")


def test_paths_may_be_path_objects(signal_folder):
    app = tavox.Application()
    source = tavox.ByRef(signal_folder / "*.dat")
    added = app.FFTFiles.Add(tavox.fftDataDiskFile, source, pathlib.Path("*out.*"))
    assert len(added) == 3 and source.value == str(signal_folder / "*.dat")
    assert app.FFTFiles[1].outputs == ()
    assert app.FFTFiles[1].Transform() == tavox.fftResultAllRight
    assert app.FFTFiles[1].outputs == (str(signal_folder / "aout.dat"),)

    class BytesPath:
        def __fspath__(self):
            return os.fsencode(signal_folder / "b.dat")

    file = tavox.Application().FFTFiles.Add(tavox.fftDataDiskFile, BytesPath(), "*y.*")
    assert file.Source == str(signal_folder / "b.dat")


def test_the_application_is_a_context_manager(signal_folder):
    class Sink(Recorder):
        pass

    with tavox.Application() as app:
        sink = Sink(app=app)
        app.Subscribe(sink)
        app.FFTFiles.Add(tavox.fftDataDiskFile, str(signal_folder / "a.dat"), "*out.*")
        app.FFTExecute()
    assert sink.events[-1] == ("ExecuteComplete",)
    app.FFTExecute()  # still usable; the sink no longer hears of it
    assert sink.events.count(("ExecuteComplete",)) == 1
    with pytest.raises(KeyError):
        with tavox.Application():
            raise KeyError("passes on")


def test_result_codes_are_the_enumeration_everywhere(signal_folder):
    app = tavox.Application()
    app.FFTParameters.Width = 256  # longer than the files: short file
    codes = []

    class Sink:
        def FileComplete(self, file, result):
            codes.append(result.value)

    app.Subscribe(Sink())
    app.FFTFiles.Add(tavox.fftDataDiskFile, str(signal_folder / "a.dat"), "*out.*")
    app.FFTExecute()
    assert type(codes[0]) is tavox.fftResultEnum and codes[0] is tavox.fftResultShortFile
    assert type(app.FFTFiles[1].Transform()) is tavox.fftResultEnum
    trapped = tavox.fftResultEnum(6)
    assert isinstance(trapped, tavox.fftResultEnum) and trapped == 6 and trapped.name == "error6"
    assert tavox.fftResultEnum(6) is trapped and tavox.fftResultEnum(-5).name == "error_5"
    overflow = np.full(256, 1e307)
    file = app.FFTFiles.Add(tavox.fftDataExcelRange, tavox.NumpyRange(overflow), tavox.NumpyRange(np.zeros(128)))
    assert file.Transform() is tavox.fftResultEnum(6)
    with pytest.raises(ValueError):
        tavox.fftResultEnum("6")


def test_object_arrays_load_as_a_spreadsheet_would():
    app = tavox.Application()
    app.FFTParameters.Width = 128
    values = cosine(bin_=8)
    cells = np.array([v if i % 3 == 0 else ("%r mV" % v if i % 3 == 1 else str(v)) for i, v in enumerate(values)],
                     dtype=object)
    cells[5] = None  # an empty cell reads 0
    plain = np.array(values)
    plain[5] = 0.0
    target, expected = np.zeros(64), np.zeros(64)
    assert app.FFTFiles.Add(tavox.fftDataExcelRange, tavox.NumpyRange(cells),
                            tavox.NumpyRange(target)).Transform() == tavox.fftResultAllRight
    assert app.FFTFiles.Add(tavox.fftDataExcelRange, tavox.NumpyRange(plain),
                            tavox.NumpyRange(expected)).Transform() == tavox.fftResultAllRight
    assert target.tobytes() == expected.tobytes()
    mixed = tavox.NumpyRange(np.array([12.5, "12.5 mV", None], dtype=object))
    assert [mixed.Cells(row, 1).Value for row in (1, 2, 3)] == [12.5, "12.5 mV", None]


def test_a_target_cell_that_refuses_its_value_costs_that_cell_only():
    class Refusing:
        def __init__(self, rows):
            self.values = {}
            self.Rows = type("Count", (), {"Count": rows})()
            self.Columns = type("Count", (), {"Count": 1})()

        def Cells(self, row, column):
            outer = self

            class Cell:
                @property
                def Value(self):
                    return outer.values.get(row, 0.0)

                @Value.setter
                def Value(self, value):
                    if row == 3:
                        raise ValueError("this cell is locked")
                    outer.values[row] = value

            return Cell()

    app = tavox.Application()
    target = Refusing(64)
    file = app.FFTFiles.Add(tavox.fftDataExcelRange, tavox.NumpyRange(np.array(cosine(bin_=8))), target)
    assert file.Transform() == tavox.fftResultTargetFull
    assert sorted(target.values) == [row for row in range(1, 65) if row != 3]
    assert target.values[9] == pytest.approx(1000.0)


def test_independent_applications_do_not_wait_for_each_other(signal_folder, tmp_path):
    """One batch halts inside its event handler until a batch of another Application, and a
    spectrum, have run to the end (a lock of one Application's objects keeps only its own
    callers waiting); were they kept waiting, the handler would give up after minutes."""
    entered, other_done, released, finished = threading.Event(), threading.Event(), [], []

    class Halting:
        def FileComplete(self, file, result):
            entered.set()
            released.append(other_done.wait(120))

    first = tavox.Application()
    first.FFTFiles.Add(tavox.fftDataDiskFile, str(signal_folder / "a.dat"), "*out.*")
    first.Subscribe(Halting())
    runner = threading.Thread(target=first.FFTExecute)
    runner.start()
    assert entered.wait(120)

    def other():
        try:
            app = tavox.Application()
            write_samples(tmp_path / "x.dat", cosine())
            app.FFTFiles.Add(tavox.fftDataDiskFile, str(tmp_path / "x.dat"), "*out.*")
            app.FFTExecute()
            finished.append(app.FFTFiles[1].outputs)
            finished.append(tavox.spectrum(np.rint(cosine()).astype(np.int16), 128).to_int16()[8])
        finally:
            other_done.set()

    helper = threading.Thread(target=other)
    helper.start()
    runner.join(300)
    helper.join(300)
    assert released == [True] and finished == [(str(tmp_path / "xout.dat"),), 1000]


def test_objects_of_one_application_share_its_lock(signal_folder):
    entered, release = threading.Event(), threading.Event()
    order = []

    class Halting:
        def FileComplete(self, file, result):
            entered.set()
            release.wait(30)
            order.append("batch")

    app = tavox.Application()
    files, parameters = app.FFTFiles, app.FFTParameters
    files.Add(tavox.fftDataDiskFile, str(signal_folder / "a.dat"), "*out.*")
    app.Subscribe(Halting())
    runner = threading.Thread(target=app.FFTExecute)
    runner.start()
    assert entered.wait(30)

    def reader():
        order.append(("width", parameters.Width))

    waiting = threading.Thread(target=reader)
    waiting.start()
    waiting.join(0.5)
    assert waiting.is_alive()  # the batch holds the lock of its Application's objects
    release.set()
    runner.join(30)
    waiting.join(30)
    assert order == ["batch", ("width", 128)]


def test_signatures_of_the_module_functions():
    spectrum = inspect.signature(tavox.spectrum)
    assert list(spectrum.parameters)[:2] == ["samples", "width"]
    assert all(p.kind is p.KEYWORD_ONLY for p in list(spectrum.parameters.values())[2:])
    assert spectrum.parameters["dtype"].default == "float64"
    for function in (tavox.read_spectrum, tavox.window_constants, tavox.frequencies):
        positional = [p.name for p in inspect.signature(function).parameters.values() if p.kind is not p.KEYWORD_ONLY]
        assert positional == {"read_spectrum": ["path"], "window_constants": ["window", "width"],
                              "frequencies": ["width", "fs"]}[function.__name__]
    batch = inspect.signature(tavox.transform_files)
    for function in (tavox.transform_files, tavox.dask.transform_files):
        assert inspect.signature(function).parameters["width"].default is inspect.Parameter.empty
    assert list(batch.parameters)[:3] == ["pattern", "mask", "progress"]
