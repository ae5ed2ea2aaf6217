#!/usr/bin/env python3
"""One batch spread over a Dask cluster: recordings in a folder, their
spectra written by the workers, the results gathered in input order and
checked against tavox.spectrum.

Usage: dask_cluster.py [folder [scheduler]]   (default: a fresh temporary
folder and a cluster of two worker processes on this machine; a scheduler
such as tcp://host:8786 needs the folder on a file system its workers share)
Run from the build tree with PYTHONPATH=<build>/python.
"""

import sys
import tempfile
from pathlib import Path

import numpy as np
from distributed import Client, LocalCluster

import tavox
import tavox.dask

WIDTH = 1024


def main() -> int:
    folder = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(tempfile.mkdtemp(prefix="tavox-dask-"))
    folder.mkdir(parents=True, exist_ok=True)
    rng = np.random.default_rng(1)
    for k in range(12):
        tone = 4000 * np.sin(2 * np.pi * (10 + 10 * k) * np.arange(8 * WIDTH) / WIDTH)
        samples = np.rint(tone + rng.normal(0, 300, tone.size)).astype("<i2")
        (folder / ("take%02d.dat" % k)).write_bytes(samples.tobytes())

    if len(sys.argv) > 2:
        client = Client(sys.argv[2])
        cluster = None
    else:
        cluster = LocalCluster(n_workers=2, threads_per_worker=1, host="127.0.0.1", dashboard_address=None)
        client = Client(cluster)
    try:
        results = tavox.dask.transform_files(folder / "*.dat", "*.spc", client=client, width=WIDTH, window="hann",
                                             method="average", repeat=8)
    finally:
        client.close()
        if cluster is not None:
            cluster.close()

    ok = len(results) == 12
    for k, result in enumerate(results):
        samples = np.fromfile(result.input, dtype="<i2")
        expected = tavox.spectrum(samples, WIDTH, window="hann", method="average", repeat=8).to_int16()
        written = tavox.read_spectrum(result.outputs[0], width=WIDTH) if result.ok else None
        same = written is not None and np.array_equal(written.to_int16(), expected)
        peak = int(np.argmax(expected))
        print("%s: %s, peak at bin %d, same as tavox.spectrum: %s" % (Path(result.input).name, result.code.name,
                                                                      peak, same))
        ok = ok and same and peak == 10 + 10 * k
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
