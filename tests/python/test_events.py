"""Events of a batch run delivered to Python sinks."""

import pytest

import tavox
from conftest import Recorder

ALL_RIGHT = int(tavox.fftResultAllRight)


def add_all(app, folder):
    return app.FFTFiles.Add(tavox.fftDataDiskFile, str(folder / "*.dat"), "*out.*")


def test_empty_run_raises_will_execute_and_execute_complete(app):
    sink = Recorder()
    app.Subscribe(sink)
    app.FFTExecute()
    assert sink.events == [("WillExecute", 0), ("ExecuteComplete",)]


def test_full_run_then_a_second_run_repeat_the_sequence(app, signal_folder):
    add_all(app, signal_folder)
    sink = Recorder()
    app.Subscribe(sink)
    app.FFTExecute()
    app.FFTExecute()
    one_run = [("WillExecute", 0)] + [("FileComplete", n, ALL_RIGHT) for n in ("a.dat", "b.dat", "c.dat")] + [
        ("ExecuteComplete",)]
    assert sink.events == one_run * 2
    assert (signal_folder / "aout.dat").stat().st_size == 128


@pytest.mark.parametrize("cancel, transformed", [(-1, []), (True, []), (1, ["a.dat", "b.dat", "c.dat"]),
                                                 (-1.0, []), ("-1", [])])
def test_cancel_stops_only_at_minus_one(app, signal_folder, cancel, transformed):
    add_all(app, signal_folder)
    sink = Recorder(cancel=cancel)
    app.Subscribe(sink)
    app.FFTExecute()
    assert sink.names() == transformed
    assert sink.events[-1] == ("ExecuteComplete",)
    assert (signal_folder / "aout.dat").exists() == bool(transformed)


def test_bad_cancel_value_ends_the_run(app, signal_folder):
    add_all(app, signal_folder)
    sink = Recorder(cancel=object())
    app.Subscribe(sink)
    with pytest.raises(TypeError):
        app.FFTExecute()
    sink.cancel = 40000
    with pytest.raises(tavox.AutomationError) as info:
        app.FFTExecute()
    assert info.value.number == 6
    assert sink.names() == []


def test_break_from_file_complete_stops_before_the_next_file(app, signal_folder):
    add_all(app, signal_folder)
    sink = Recorder(break_after=1, app=app)
    app.Subscribe(sink)
    app.FFTExecute()
    assert sink.names() == ["a.dat"] and sink.events[-1] == ("ExecuteComplete",)
    assert not (signal_folder / "bout.dat").exists()
    # A break before a run has no effect on it: WillExecute clears it.
    sink.break_after = None
    app.BreakFFT()
    app.FFTExecute()
    assert sink.names()[1:] == ["a.dat", "b.dat", "c.dat"]


def test_result_holder_carries_the_code_and_changes_are_ignored(app, signal_folder, tmp_path):
    add_all(app, signal_folder)
    results = []

    class Sink:
        def FileComplete(self, file, result):
            results.append((file, result.value))
            result.value = "changed"
            app.FFTParameters.Width = 256  # applies to the following files

    app.Subscribe(Sink())
    app.FFTExecute()
    assert [(f.Name, r) for f, r in results] == [("a.dat", tavox.fftResultAllRight),
                                                ("b.dat", tavox.fftResultShortFile),
                                                ("c.dat", tavox.fftResultShortFile)]
    assert type(results[0][1]) is tavox.fftResultEnum
    assert results[0][0] == app.FFTFiles[1]


def test_missing_methods_are_skipped_and_any_number_of_sinks_get_events(app, signal_folder):
    add_all(app, signal_folder)

    class OnlyComplete:
        def __init__(self):
            self.count = 0

        def ExecuteComplete(self):
            self.count += 1

    partial, full, empty = OnlyComplete(), Recorder(), object()
    for sink in (partial, full, empty, full):
        app.Subscribe(sink)
    app.FFTExecute()
    assert partial.count == 1
    assert len(full.events) == 5  # subscribing twice delivers once
    app.Unsubscribe(full)
    app.Unsubscribe(Recorder())  # not subscribed: ignored
    app.FFTExecute()
    assert partial.count == 2 and len(full.events) == 5


class Boom(Exception):
    pass


@pytest.mark.parametrize("failing", ["WillExecute", "FileComplete"])
def test_exception_in_a_handler_ends_the_run_unchanged(app, signal_folder, failing):
    add_all(app, signal_folder)
    sink = Recorder()

    def fail(*args):
        sink.events.append(("raised", failing))
        raise Boom("from " + failing)

    setattr(sink, failing, fail)
    app.Subscribe(sink)
    with pytest.raises(Boom, match="from " + failing):
        app.FFTExecute()
    assert ("ExecuteComplete",) not in sink.events
    assert sink.events.count(("raised", failing)) == 1
    # The application is usable again after the failed run.
    app.Unsubscribe(sink)
    app.FFTExecute()


def test_handler_that_is_not_callable_raises_type_error(app):
    class Sink:
        WillExecute = 5

    app.Subscribe(Sink())
    with pytest.raises(TypeError):
        app.FFTExecute()


def test_execute_from_a_handler_is_refused_and_the_outer_run_ends(app, signal_folder):
    add_all(app, signal_folder)
    errors = []

    class Sink:
        def FileComplete(self, file, result):
            try:
                app.FFTExecute()
            except tavox.AutomationError as error:
                errors.append(error.number)
                raise

    app.Subscribe(Sink())
    with pytest.raises(tavox.AutomationError):
        app.FFTExecute()
    assert len(errors) == 1
