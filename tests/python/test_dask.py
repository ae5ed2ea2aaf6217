"""tavox.dask on a LocalCluster of two worker processes on the loopback: the
same outputs as a local run, and a worker that dies mid-run."""

import os
import pathlib
import shutil
import signal
import threading
import time

import numpy as np
import pytest

distributed = pytest.importorskip("distributed")

import tavox  # noqa: E402
import tavox.dask  # noqa: E402


@pytest.fixture(scope="module")
def client():
    cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                                       dashboard_address=None, silence_logs=50)
    with distributed.Client(cluster) as client:
        yield client
    cluster.close()


def recordings(folder, count, length, seed=3):
    rng = np.random.default_rng(seed)
    folder.mkdir()
    for k in range(count):
        (folder / ("rec%02d.dat" % k)).write_bytes(rng.integers(-25000, 25000, length).astype("<i2").tobytes())
    (folder / "short.dat").write_bytes(np.zeros(10, dtype="<i2").tobytes())
    return folder


def files_of(folder):
    return {path.name: path.read_bytes() for path in sorted(folder.iterdir()) if not path.name.startswith(".")}


def test_partitions_cover_every_file_once_in_order():
    paths = ["f%d" % k for k in range(23)]
    for count in (1, 2, 5, 23):
        parts = tavox.dask.partition(paths, count)
        assert len(parts) == count and sum(parts, []) == paths
        assert max(map(len, parts)) - min(map(len, parts)) <= 1


def test_a_cluster_run_is_identical_to_a_local_one(client, tmp_path):
    local = recordings(tmp_path / "local", 9, 9000)
    spread = tmp_path / "spread"
    shutil.copytree(local, spread)
    options = dict(width=2048, window="flattop", method="average", repeat=5, average="median", center=True)
    expected = tavox.transform_files(local / "*.dat", "*.spc", **options)
    seen = []
    results = tavox.dask.transform_files(spread / "*.dat", "*.spc", client=client, partitions=4,
                                         progress=lambda result, done, total: seen.append((done, total)), **options)
    assert files_of(spread) == files_of(local)
    assert [(pathlib.Path(r.input).name, r.code, r.message) for r in results] == [
        (pathlib.Path(r.input).name, r.code, r.message) for r in expected]
    assert [r.input for r in results] == sorted(str(p) for p in spread.glob("*.dat"))
    assert results[-1].code is tavox.fftResultShortFile
    assert sorted(seen) == [(k, 10) for k in range(1, 11)]
    # Without a client the current one is used, and csv outputs agree too.
    again = tavox.dask.transform_files(spread / "rec0*.dat", "*.csv", width=1024, format="csv", fs=8000, jobs=1)
    local_csv = tavox.transform_files(local / "rec0*.dat", "*.csv", width=1024, format="csv", fs=8000)
    assert [r.code for r in again] == [r.code for r in local_csv] and files_of(spread) == files_of(local)
    assert tavox.dask.transform_files(spread / "*.none", "*.spc", client=client, width=128) == []
    with pytest.raises(ValueError, match="power of two"):
        tavox.dask.transform_files(spread / "*.dat", "*.spc", client=client, width=1000)


def test_a_worker_that_dies_mid_run_is_replaced_without_a_duplicated_or_half_written_output(client, tmp_path):
    """SIGKILL to the worker running a partition once its first outputs are written:
    Dask runs the partition again on a worker, the results hold each file once, and
    no output is ever seen incomplete under its name, even while it is rewritten."""
    local = recordings(tmp_path / "local", 8, 65536 * 3, seed=9)
    spread = tmp_path / "spread"
    shutil.copytree(local, spread)
    options = dict(width=65536, window="hann", method="average", repeat=24, format="csv")
    expected = tavox.transform_files(local / "*.dat", "*.csv", **options)
    complete = {name: data for name, data in files_of(local).items() if name.endswith(".csv")}
    assert len(complete) == 8

    incomplete, stop = [], threading.Event()

    def watch():
        while not stop.is_set():
            for name in os.listdir(spread):
                if name.endswith(".csv"):
                    try:
                        data = (spread / name).read_bytes()
                    except FileNotFoundError:
                        continue
                    if data != complete[name]:
                        incomplete.append((name, len(data)))

    outcome = {}

    def run():
        try:
            outcome["results"] = tavox.dask.transform_files(spread / "*.dat", "*.csv", client=client, partitions=2,
                                                            **options)
        except BaseException as error:  # reported below
            outcome["error"] = error

    pids = client.run(os.getpid)
    watcher = threading.Thread(target=watch)
    watcher.start()
    runner = threading.Thread(target=run)
    runner.start()
    deadline = time.monotonic() + 120
    victim = None
    while victim is None and time.monotonic() < deadline and runner.is_alive():
        busy = [address for address, keys in client.processing().items() if keys]
        if busy and any(name.endswith(".csv") for name in os.listdir(spread)):
            victim = busy[0]
        else:
            time.sleep(0.005)
    assert victim is not None, "the run ended before a worker could be stopped"
    os.kill(pids[victim], signal.SIGKILL)
    killed_mid_run = runner.is_alive()
    runner.join(300)
    stop.set()
    watcher.join()

    assert killed_mid_run and "error" not in outcome, outcome.get("error")
    results = outcome["results"]
    assert [pathlib.Path(r.input).name for r in results] == [pathlib.Path(r.input).name for r in expected]
    assert [r.code for r in results] == [r.code for r in expected]
    assert files_of(spread) == files_of(local)
    assert incomplete == []
    # The nanny starts a new interpreter, which on a loaded machine took over a minute.
    client.wait_for_workers(2, timeout=600)


def test_recordings_channel_by_channel_on_a_cluster_as_locally(client, tmp_path):
    local = tmp_path / "local"
    local.mkdir()
    rng = np.random.default_rng(5)
    for name in ("a", "b", "c"):
        frames = rng.integers(-20000, 20000, (8192, 2)).astype("<i2")
        frames.tofile(local / f"{name}.sigmf-data")
        (local / f"{name}.sigmf-meta").write_text(
            '{"global": {"core:datatype": "ri16_le", "core:num_channels": 2, "core:sample_rate": 8000}}')
    spread = tmp_path / "spread"
    shutil.copytree(local, spread)
    options = dict(width=1024, format="csv", channel="all")
    expected = tavox.transform_files(local / "*.sigmf-*", "*.csv", **options)
    results = tavox.dask.transform_files(spread / "*.sigmf-*", "*.csv", client=client, partitions=2, **options)
    assert files_of(spread) == files_of(local)
    assert [(pathlib.Path(r.input).name, r.channel, r.code) for r in results] == [
        (pathlib.Path(r.input).name, r.channel, r.code) for r in expected]
    assert [r.channel for r in results] == [1, 2] * 3
