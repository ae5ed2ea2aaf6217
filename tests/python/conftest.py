"""Shared fixtures of the tavox module's tests."""

import math
import struct

import pytest

import tavox


def cosine(count=128, bin_=8, amplitude=1000.0, width=128):
    """Samples of amplitude * cos(2 pi bin n / width): one exact bin of the spectrum."""
    return [amplitude * math.cos(2 * math.pi * bin_ * n / width) for n in range(count)]


def write_samples(path, values):
    data = [int(round(v)) for v in values]
    with open(path, "wb") as f:
        f.write(struct.pack("<%dh" % len(data), *data))


def read_samples(path):
    with open(path, "rb") as f:
        data = f.read()
    return list(struct.unpack("<%dh" % (len(data) // 2), data[: len(data) // 2 * 2]))


class Recorder:
    """An event sink that records every event it receives."""

    def __init__(self, cancel=None, break_after=None, app=None):
        self.events = []
        self.cancel = cancel
        self.break_after = break_after
        self.app = app

    def WillExecute(self, cancel):
        self.events.append(("WillExecute", cancel.value))
        if self.cancel is not None:
            cancel.value = self.cancel

    def FileComplete(self, file, result):
        self.events.append(("FileComplete", file.Name, int(result.value)))
        if self.break_after is not None and len(self.names()) == self.break_after:
            self.app.BreakFFT()

    def ExecuteComplete(self):
        self.events.append(("ExecuteComplete",))

    def names(self):
        return [e[1] for e in self.events if e[0] == "FileComplete"]


@pytest.fixture
def app():
    return tavox.Application()


@pytest.fixture
def signal_folder(tmp_path):
    """A folder with three 128-sample cosine files a.dat, b.dat, c.dat (bins 8, 16, 24)."""
    for name, bin_ in (("a.dat", 8), ("b.dat", 16), ("c.dat", 24)):
        write_samples(tmp_path / name, cosine(bin_=bin_))
    return tmp_path


def assert_automation_error(info, number, source, description):
    error = info.value
    assert isinstance(error, tavox.AutomationError)
    assert (error.number, error.source, error.description) == (number, source, description)
