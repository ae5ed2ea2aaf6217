"""Several tavox processes at once: on the same outputs, and on one folder of inputs."""

import os
import subprocess

import numpy as np
import pytest

TAVOX = os.environ.get("TAVOX_EXE", "")
COUNT = 1000


def start(fields, folder, mask):
    assert os.path.exists(TAVOX), "TAVOX_EXE must name the tavox program"
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    return subprocess.Popen([TAVOX, "--quiet", *fields, str(folder / "*.dat"), mask], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True, env=env)


def finish(process):
    out, err = process.communicate()
    return process.returncode, out, err


def outputs(folder, extension):
    return {path.stem: path.read_bytes() for path in folder.glob("*." + extension)}


@pytest.fixture(scope="module")
def inputs(tmp_path_factory):
    folder = tmp_path_factory.mktemp("inputs")
    rng = np.random.default_rng(5)
    for i in range(COUNT):
        rng.integers(-20000, 20000, 256).astype("<i2").tofile(folder / ("s%04d.dat" % i))
    return folder


def references(inputs, sets):
    """What each set of fields gives for every input when it runs alone."""
    given = []
    for k, fields in enumerate(sets):
        assert finish(start(fields, inputs, "*.r%d" % k)) == (0, "", "")
        given.append(outputs(inputs, "r%d" % k))
    return given


def test_two_runs_writing_the_same_outputs_leave_each_whole_from_one_of_them(inputs):
    # Outputs of different sizes: a file written over in place would end
    # with the tail of the longer one.
    sets = [("f", "h", "256"), ("ec", "f", "128")]
    alone = references(inputs, sets)
    assert all(alone[0][name] != alone[1][name] for name in alone[0])
    runs = [start(fields, inputs, "*.out") for fields in sets]
    for status, out, err in map(finish, runs):
        # A failure is named on standard error (--quiet) and sets the status.
        assert (status, out, err == "") in ((0, "", True), (1, "", False)), err
    written = outputs(inputs, "out")
    assert sorted(written) == sorted(alone[0])
    mixed = [name for name, data in written.items() if data not in (alone[0][name], alone[1][name])]
    assert mixed == []
    assert [p.name for p in inputs.iterdir() if p.name.startswith(".")] == []


def test_eight_runs_on_one_folder_of_inputs_each_write_what_they_write_alone(inputs):
    sets = [(method, window, "128") for method in ("e", "fc") for window in ("p", "h", "f")] + \
        [("ec", "h", "128"), ("f", "f", "256")]
    runs = [start(fields, inputs, "*.o%d" % k) for k, fields in enumerate(sets)]
    assert [finish(run) for run in runs] == [(0, "", "")] * len(sets)
    together = [outputs(inputs, "o%d" % k) for k in range(len(sets))]
    assert together == references(inputs, sets)
    assert all(len(written) == COUNT for written in together)
    assert [p.name for p in inputs.iterdir() if p.name.startswith(".")] == []
