"""Batches past one machine: tavox.transform_files on a Dask cluster.

Needs dask.distributed (Debian: python3-distributed). Every worker imports
tavox and reads and writes the files itself, so the inputs must lie on a
file system all workers share, under the same path.

    from distributed import Client
    import tavox.dask

    client = Client("tcp://scheduler:8786")
    results = tavox.dask.transform_files("/shared/data/*.dat", "*.spc", client=client, width=4096,
                                         method="average", repeat=32, window="hann")
    failed = [r for r in results if not r.ok]

A worker that dies while it runs a partition is replaced and Dask runs the
partition again elsewhere: every output of it is written again, with the
same bytes, and its FileResults come from that run alone, so none is
duplicated. An output is replaced in one step (written under a hidden name
and renamed over the old one), so a reader never finds one half-written.
"""

from __future__ import annotations

import os
from typing import Any, Optional, cast

from ._arrays import (AverageName, Channel, DetrendName, FftName, InputFormatName, LayoutName, MethodName,
                      Position, SampleFormatName, ScaleName, UnitName, WindowName, _rate, _settings)
from ._batch import (FileResult, PathText, Progress, _check_progress, _measure_settings, matching_inputs,
                     run_batch)
from ._tavox import BatchSettings, fftMethodEnum, fftWindowEnum

__all__ = ["transform_files", "partition"]


def partition(paths: list[str], count: int) -> list[list[str]]:
    """Cuts paths into count runs that follow each other, their sizes
    differing by one at most (the shares of the program's --shard=K/N)."""
    total = len(paths)
    return [paths[k * total // count:(k + 1) * total // count] for k in range(count)]


def _run_partition(paths: list[str], mask: str, settings: BatchSettings) -> list[FileResult]:
    """The task each worker runs: one batch over exactly these files."""
    return run_batch(paths, mask, settings, exact=True)


def _default_partitions(client: Any, files: int) -> int:
    workers = client.scheduler_info().get("workers", {})
    threads = sum(int(worker.get("nthreads", 1)) for worker in workers.values())
    return max(1, min(files, 2 * threads if threads else 1))


def transform_files(pattern: PathText, mask: PathText, *, client: Any = None, partitions: Optional[int] = None,
                    progress: Progress = None, width: int, window: WindowName | fftWindowEnum = "rect",
                    center: bool = False, method: MethodName | fftMethodEnum = "simple",
                    repeat: int | None = None, start: Position = None, finish: Position = None,
                    phase: bool = False, format: str = "raw",
                    average: AverageName = "mean", jobs: int | None = None, scale: ScaleName = "amplitude",
                    unit: UnitName = "linear", full_scale: float | None = None, overlap: float | None = None,
                    detrend: DetrendName = "none", pad: int | None = None,
                    fs: float | None = None, layout: LayoutName = "files", measure: bool = False,
                    fundamental: float | None = None, harmonics: int = 6,
                    measure_band: tuple[float, float] | None = None, fft: FftName = "exact",
                    input_format: InputFormatName = "auto", sample_format: SampleFormatName = "s16le",
                    channels: int = 1, channel: Channel = 1) -> list[FileResult]:
    """tavox.transform_files with the files spread over the workers of a Dask cluster.

    The files that pattern matches are listed here, in the batch's order,
    and cut into partitions, each run as one task by a worker's own tavox.
    The outputs are byte for byte those of tavox.transform_files.

    Parameters
    ----------
    pattern, mask : str or os.PathLike
        As for tavox.transform_files.
    client : distributed.Client, optional
        The cluster's client (default: the current one, see
        distributed.get_client).
    partitions : int, optional
        The number of tasks (default: twice the worker threads, at most one
        per file).
    progress : callable or progress bar, optional
        As for tavox.transform_files, called here as partitions finish.
    width : int
        Samples per exposure, a power of two from 128 to 65536.
    window, center, method, repeat, start, finish, phase, format, average : optional
        As for tavox.transform_files.
    jobs : int, optional
        The threads of each task; with several tasks per worker process at
        once, jobs=1 keeps them from competing for its CPUs.
    scale, unit, full_scale, overlap, detrend, pad, fs, layout : optional
        As for tavox.transform_files.
    measure, fundamental, harmonics, measure_band : optional
        As for tavox.transform_files: each FileResult's measure.
    fft : {"exact", "fast"}, default "exact"
        As for tavox.transform_files.
    input_format, sample_format, channels, channel : optional
        As for tavox.transform_files.

    Returns
    -------
    list of FileResult
        One per file, in input order.

    Raises
    ------
    TypeError, ValueError
        For arguments out of place.

    Examples
    --------
    >>> import distributed, pathlib, tempfile
    >>> folder = pathlib.Path(tempfile.mkdtemp())
    >>> for k in range(3):
    ...     _ = (folder / ("r%d.dat" % k)).write_bytes(np.zeros(512, dtype="<i2").tobytes())
    >>> with distributed.Client(processes=False, n_workers=1, dashboard_address=None) as client:
    ...     results = tavox.dask.transform_files(folder / "*.dat", "*.spc", client=client, width=256)
    >>> [pathlib.Path(r.outputs[0]).name for r in results]
    ['r0.spc', 'r1.spc', 'r2.spc']
    """
    from distributed import as_completed, get_client

    settings = _settings(width=width, window=window, center=center, method=method, repeat=repeat, start=start,
                         finish=finish, phase=phase, format=format, rate=_rate(fs), average=average, jobs=jobs,
                         scale=scale, unit=unit, full_scale=full_scale, overlap=overlap, detrend=detrend, pad=pad,
                         layout=layout, fft=fft, input_format=input_format, sample_format=sample_format,
                         channels=channels, channel=channel)
    _measure_settings(settings, measure, fundamental, harmonics, measure_band)
    _check_progress(progress)
    if partitions is not None and (isinstance(partitions, bool) or not isinstance(partitions, int)):
        raise TypeError("partitions must be an int or None, not %s" % type(partitions).__name__)
    if partitions is not None and partitions < 1:
        raise ValueError("partitions must be at least 1, not %d" % partitions)
    paths = matching_inputs(pattern, settings.input_format)
    if not paths:
        return []
    client = client if client is not None else get_client()
    count = min(partitions if partitions is not None else _default_partitions(client, len(paths)), len(paths))
    parts = partition(paths, count)
    futures = [client.submit(_run_partition, part, os.fspath(mask), settings, pure=False) for part in parts]
    order = {future.key: index for index, future in enumerate(futures)}
    gathered: list[Optional[list[FileResult]]] = [None] * len(futures)
    done = 0
    if progress is not None and not callable(progress):
        progress.reset(total=len(paths))
    for future in cast(Any, as_completed)(futures):
        results: list[FileResult] = future.result()
        gathered[order[future.key]] = results
        for result in results:
            done += 1
            if progress is None:
                continue
            if callable(progress):
                progress(result, done, max(done, len(paths)))
            else:
                progress.update(1)
    return [result for results in gathered if results is not None for result in results]
