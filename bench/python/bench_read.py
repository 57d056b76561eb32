#!/usr/bin/python3
"""Reading one channel across all events of a large DAQ file with
hesk.DaqFile.read, beside the floor measured in the same run: numpy copying
the same samples out of a memory map of the same file at their known
offsets (taken from hesk-daqdump, not from hesk). Warm cache (best of N)
and cold cache (the file's pages dropped with posix_fadvise before each
read). Then the same channel over several files with hesk.dask on a local
cluster of 1 and of 2 process workers, beside hesk.read_channel in this
process.

    PYTHONPATH=build/default/python /usr/bin/python3 bench/python/bench_read.py \\
        --tools build/default/tools [--dir DIR] [--size-gb 1] [--dask-files 8]

The files are written into DIR (default: a new directory in /tmp) and
removed at the end unless --keep is given.
"""

import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np

import hesk

CHANNEL = "SRV.00/CH.000"
SERVERS, CHANNELS, SAMPLES = 2, 16, 8192
SAMPLE_OFFSET = 152  # type-41 payload: spectrum header and statistics before the samples


def event_bytes():
    """Average bytes of one event: the writer leaves channel c out of odd
    events when c % 3 == 2."""
    sub = 268 + SAMPLE_OFFSET + 4 * SAMPLES
    channels = CHANNELS - len([c for c in range(CHANNELS) if c % 3 == 2]) / 2
    return 36 + SERVERS * (284 + channels * sub) + 4


def write_file(tools, path, size_bytes, swapped=False):
    events = max(1, int(-(-size_bytes // event_bytes())))
    cmd = [os.path.join(tools, "hesk-daqgen", "hesk-daqgen"), "--events", str(events),
           "--servers", str(SERVERS), "--channels", str(CHANNELS), "--samples", str(SAMPLES)]
    if swapped:
        cmd.append("--swapped")
    subprocess.run(cmd + [path], check=True, stdout=subprocess.DEVNULL)
    return events


def sample_offsets(tools, path):
    """File offsets of the channel's first sample in every event that holds it."""
    out = subprocess.run([os.path.join(tools, "hesk-daqdump", "hesk-daqdump"), "--channels",
                          CHANNEL, path], check=True, capture_output=True, text=True).stdout
    return np.array([int(m) + SAMPLE_OFFSET for m in re.findall(r"data (\d+)", out)], np.int64)


def drop_cache(path):
    fd = os.open(path, os.O_RDONLY)
    try:
        os.fsync(fd)
        os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
    finally:
        os.close(fd)


def floor_read(path, offsets):
    """numpy: the same samples copied out of a memory map, one row per event."""
    mm = np.memmap(path, dtype=np.uint8, mode="r")
    out = np.empty((len(offsets), SAMPLES), np.float32)
    width = 4 * SAMPLES
    for i, o in enumerate(offsets):
        out[i] = mm[o:o + width].view(np.float32)
    del mm
    return out


def hesk_read(path):
    with hesk.DaqFile(path) as f:
        return f.read(CHANNEL).values


def timed(fn, cold, path, repeat):
    times = []
    for _ in range(repeat):
        if cold:
            drop_cache(path)
        t = time.perf_counter()
        result = fn()
        times.append(time.perf_counter() - t)
    return result, times


def report(label, times, nbytes, floor=None):
    best = min(times)
    line = "  %-30s best %8.1f ms  median %8.1f ms  %8.0f MB/s" % (
        label, best * 1e3, statistics.median(times) * 1e3, nbytes / best / 1e6)
    if floor is not None:
        line += "   %.2fx the floor" % (best / floor)
    print(line)
    return best


def bench_one_file(args, folder):
    path = os.path.join(folder, "big.raw")
    events = write_file(args.tools, path, args.size_gb * 1e9)
    size = os.path.getsize(path)
    offsets = sample_offsets(args.tools, path)
    nbytes = len(offsets) * SAMPLES * 4
    print("file: %s, %.2f GB, %d events; channel %s: %d events x %d samples = %.1f MB"
          % (path, size / 1e9, events, CHANNEL, len(offsets), SAMPLES, nbytes / 1e6))
    ours = hesk_read(path)
    assert np.array_equal(ours, floor_read(path, offsets)), "hesk and the floor disagree"
    for cold in (False, True):
        repeat = args.repeat if not cold else max(2, args.repeat // 2)
        print("%s cache:" % ("cold" if cold else "warm"))
        for _ in range(1 if cold else 2):  # warm: both once before timing
            if not cold:
                floor_read(path, offsets), hesk_read(path)
        _, ft = timed(lambda: floor_read(path, offsets), cold, path, repeat)
        _, ht = timed(lambda: hesk_read(path), cold, path, repeat)
        floor = report("floor (numpy memmap copy)", ft, nbytes)
        report("hesk: open, read, close", ht, nbytes, floor)
        if not cold:
            with hesk.DaqFile(path) as f:
                _, ot = timed(lambda: f.read(CHANNEL), cold, path, repeat)
            report("hesk: read of an open file", ot, nbytes, floor)
    os.remove(path)


def row_means(frame):
    return frame.iloc[:, 2:].to_numpy().mean(axis=1)


def bench_dask(args, folder):
    import hesk.dask
    from dask.distributed import Client, LocalCluster
    from distributed.utils_perf import disable_gc_diagnosis

    paths = []
    for i in range(args.dask_files):
        p = os.path.join(folder, "part%d.raw" % i)
        write_file(args.tools, p, args.dask_file_mb * 1e6, swapped=i % 2 == 1)
        paths.append(p)
    total = sum(os.path.getsize(p) for p in paths)
    ref = hesk.read_channel(paths, CHANNEL)
    nbytes = ref.values.nbytes
    print("dask: %d files (every other one swapped), %.2f GB in all; channel %s: %d events, "
          "%.1f MB (warm cache)" % (len(paths), total / 1e9, CHANNEL, len(ref.number), nbytes / 1e6))
    print("whole frame to the caller:")
    _, t = timed(lambda: hesk.read_channel(paths, CHANNEL), False, None, args.repeat)
    floor = report("hesk.read_channel, 1 process", t, nbytes)
    df = hesk.dask.read_channel(paths, CHANNEL)
    _, t = timed(lambda: df.compute(scheduler="sync"), False, None, args.repeat)
    report("hesk.dask, sync in this process", t, nbytes, floor)
    means = ref.values.mean(axis=1)
    results = {}
    for workers in (1, 2):
        with LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                          dashboard_address=None) as cluster, Client(cluster) as client:
            client.run(disable_gc_diagnosis)
            disable_gc_diagnosis()
            got = client.compute(hesk.dask.read_channel(paths, CHANNEL)).result()
            assert np.array_equal(got["number"].to_numpy(), ref.number)
            _, t = timed(lambda: client.compute(hesk.dask.read_channel(paths, CHANNEL)).result(),
                         False, None, args.repeat)
            results[("frame", workers)] = t
            reduce = lambda: client.compute(hesk.dask.read_channel(paths, CHANNEL).map_partitions(
                row_means, meta=(None, "f4"))).result()
            assert np.allclose(np.asarray(reduce()), means)
            _, t = timed(reduce, False, None, args.repeat)
            results[("mean", workers)] = t
    for workers in (1, 2):
        report("hesk.dask, %d process worker%s" % (workers, "s" if workers > 1 else ""),
               results[("frame", workers)], nbytes, floor)
    print("per-event mean on the workers, the means to the caller:")
    _, t = timed(lambda: hesk.read_channel(paths, CHANNEL).values.mean(axis=1), False, None,
                 args.repeat)
    floor = report("read_channel + numpy, 1 process", t, nbytes)
    for workers in (1, 2):
        report("hesk.dask, %d process worker%s" % (workers, "s" if workers > 1 else ""),
               results[("mean", workers)], nbytes, floor)
    for p in paths:
        os.remove(p)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--tools", required=True, help="the build's tools directory")
    ap.add_argument("--dir", help="where the files go (default: a new directory in /tmp)")
    ap.add_argument("--size-gb", type=float, default=1.0)
    ap.add_argument("--dask-files", type=int, default=8)
    ap.add_argument("--dask-file-mb", type=float, default=256)
    ap.add_argument("--repeat", type=int, default=15)
    ap.add_argument("--skip-dask", action="store_true")
    ap.add_argument("--keep", action="store_true", help="keep the directory of files")
    args = ap.parse_args()
    folder = tempfile.mkdtemp(prefix="hesk-bench-", dir=args.dir)
    need = (args.size_gb * 1e9 + args.dask_files * args.dask_file_mb * 1e6) * 1.1
    if shutil.disk_usage(folder).free < need:
        sys.exit("not enough room in %s for %.1f GB of files" % (folder, need / 1e9))
    try:
        bench_one_file(args, folder)
        if not args.skip_dask:
            bench_dask(args, folder)
    finally:
        if not args.keep:
            shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
