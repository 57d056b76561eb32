"""DAQ raw files, archive selections and online events as numpy arrays.

The hesk package reads the data of the facility's DAQ chain from Python:

Files
    DaqFile(path) opens a DAQ raw file of any generation (2009, 2010, 2024)
    and either byte order. It is a context manager; ``f.generation``,
    ``f.swapped`` and ``len(f)`` describe it, ``f.events`` lists its events
    (a numpy structured array: number, type, seconds, micros, offset,
    length) and ``f.channels`` the names of its channel dictionary.

        with hesk.DaqFile(path) as f:
            ch = f.read("SRV.00/CH.000")
            ch.number, ch.time, ch.values       # one row per event

    ``f.read(name)`` finds the channel in every event through the file's
    pointer tables and copies only its samples; ``f.event(i)`` gives one
    event's bytes in host byte order and ``f.dump(i)`` the event printer's
    text for it.

Many files
    read_channel(paths, name) reads a channel over several files and
    concatenates the results in order. hesk.dask.read_channel(paths, name)
    gives the same as a dask DataFrame with one partition per file
    (columns number, time and value, or value_0, value_1, ...), to compute
    on a dask.distributed cluster.

Archive
    select(root, runs=[(first, last)], ...) lists the data files of runs,
    of a period (start, end) or of one writer from the archive's run
    catalogs and index files.

Online
    Reader(types, channels) subscribes to this host's buffer manager and
    yields one Event (number, type, time, channels) per delivered event;
    the buffer manager's reader thread copies the channels and lets the
    event go at once, and a bounded queue drops the oldest events when
    Python falls behind (``r.skipped`` counts them).

Errors
    Failures raise hesk.Error (attributes ``code``, the library's result
    code, and ``message``) or one of its subclasses that are also the
    fitting built-in exception: FileMissingError is a FileNotFoundError,
    ChannelMissingError a KeyError. Damaged, truncated or shrinking files
    raise; they never crash the interpreter.

The C++ work runs without the interpreter lock, so threads read files in
parallel; every array returned owns its memory.
"""

import numpy as _np

from ._hesk import (
    Channel,
    ChannelMissingError,
    DaqFile,
    Error,
    Event,
    FileMissingError,
    Reader,
    event_types,
    select,
)

__all__ = [
    "Channel",
    "ChannelMissingError",
    "DaqFile",
    "Error",
    "Event",
    "FileMissingError",
    "Reader",
    "event_types",
    "read_channel",
    "select",
]

__version__ = "0.1.0"

for _cls in (Channel, DaqFile, Event, Reader, Error, FileMissingError, ChannelMissingError):
    try:
        _cls.__module__ = "hesk"
    except (AttributeError, TypeError):
        pass
try:
    select.__module__ = "hesk"
except (AttributeError, TypeError):
    pass


def _paths(paths):
    """A list of path strings from one path or an iterable of them."""
    import os

    if isinstance(paths, (str, bytes, os.PathLike)):
        return [os.fspath(paths)]
    return [os.fspath(p) for p in paths]


def _concatenate(name, channels):
    """One Channel holding `channels` (Channel objects) one after the other.

    The values stay a 2-D float32 array while every part has the same number
    of samples per event (parts without events do not count); otherwise they
    become an object array of 1-D rows.
    """
    channels = list(channels)
    number = _np.concatenate([c.number for c in channels]) if channels else _np.empty(0, _np.uint64)
    time = _np.concatenate([c.time for c in channels]) if channels else _np.empty(0, _np.float64)
    parts = [c.values for c in channels if len(c.values)]
    widths = {v.shape[1] for v in parts if v.dtype != object}
    if not parts:
        values = _np.empty((0, 0), _np.float32)
    elif len(widths) == 1 and all(v.dtype != object for v in parts):
        values = _np.concatenate(parts)
    else:
        values = _np.empty(len(number), object)
        at = 0
        for v in parts:
            for row in v:
                values[at] = row
                at += 1
    return Channel(name, number.astype(_np.uint64, copy=False), time, values)


def read_channel(paths, name):
    """read_channel(paths, name) -> Channel

    DaqFile.read(name) over every file of `paths` (one path or a list, in
    that order), concatenated: the arrays number, time and values hold the
    events of the first file, then those of the second, and so on. A file
    that lacks the channel raises KeyError like DaqFile.read.
    """
    parts = []
    for p in _paths(paths):
        with DaqFile(p) as f:
            parts.append(f.read(name))
    return _concatenate(name, parts)


def __getattr__(attr):
    # hesk.dask is imported on first use: dask is needed only there.
    if attr == "dask":
        import importlib

        return importlib.import_module(".dask", __name__)
    raise AttributeError("module 'hesk' has no attribute %r" % attr)
