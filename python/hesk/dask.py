"""A DAQ channel over many files as a dask DataFrame.

    import hesk.dask
    df = hesk.dask.read_channel(hesk.select(root, runs=[(100, 120)]), "SRV.00/CH.000")
    df.compute()                        # or on a dask.distributed cluster

One partition per file, read by DaqFile.read where the task runs: the task
list is the file list and the scheduler is Dask's, so the same call grows
from one process to a cluster. The columns are ``number`` (uint64),
``time`` (float64, seconds since the epoch) and the samples (float32):
``value`` for a channel of one sample per event, ``value_0``, ``value_1``,
... otherwise. The index counts the events of all files from 0, so the
computed frame holds exactly what hesk.read_channel gives, row for row.
"""

import numpy as np
import pandas as pd
import dask.dataframe as dd

from . import _hesk

__all__ = ["read_channel"]


def _columns(width):
    return ["value"] if width == 1 else ["value_%d" % k for k in range(width)]


def _frame(number, time, values, columns, start):
    frame = pd.DataFrame(values, columns=columns, copy=False)
    frame.insert(0, "time", time)
    frame.insert(0, "number", number)
    frame.index = pd.RangeIndex(start, start + len(number))
    return frame


def _meta(width):
    return _frame(
        np.empty(0, np.uint64),
        np.empty(0, np.float64),
        np.empty((0, width), np.float32),
        _columns(width),
        0,
    )


def _read_partition(path, name, width, start):
    with _hesk.DaqFile(path) as f:
        ch = f.read(name)
    values = ch.values
    if len(ch.number) == 0:
        values = np.empty((0, width), np.float32)
    elif values.dtype == object or values.shape[1] != width:
        counts = sorted({len(row) for row in values})
        raise _hesk.Error(
            "%s: %s holds %s samples per event where the first file holds %d; "
            "read it with hesk.read_channel instead" % (path, name, counts, width)
        )
    return _frame(ch.number, ch.time, values, _columns(width), start)


def read_channel(paths, name):
    """read_channel(paths, name) -> dask.dataframe.DataFrame

    The channel `name` in every event of the files `paths` (one path or a
    list, in that order), one partition per file. The files' tables are
    read here to size the frame; the samples are read when it is computed.
    Computing it gives the same rows as hesk.read_channel(paths, name):
    the columns number, time and value (or value_0, value_1, ...).
    """
    from . import _paths

    paths = _paths(paths)
    if not paths:
        raise ValueError("no files given")
    counts, width = [], None
    for p in paths:
        with _hesk.DaqFile(p) as f:
            info = f.info(name)
        counts.append(info["events"])
        if width is None and info["events"] > 0:
            width = info["samples"]
    width = 1 if width is None else max(width, 1)
    starts = np.concatenate([[0], np.cumsum(counts)[:-1]]).astype(int).tolist()
    divisions = None
    if all(counts):
        divisions = tuple(starts) + (starts[-1] + counts[-1] - 1,)
    return dd.from_map(
        _read_partition,
        paths,
        [name] * len(paths),
        [width] * len(paths),
        starts,
        meta=_meta(width),
        divisions=divisions,
        label="hesk-read-channel",
        enforce_metadata=False,
    )
