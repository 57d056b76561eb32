"""hesk.select over a temporary archive written with the library's catalog
and index writers (hesk-py-peer archive), and reading what it selects."""

import datetime
import os

import pytest

import hesk

T0 = 1700000000


def run_files(files, run, writers=(1, 2), exp="lin"):
    """The files of a run in the order of the time stamps in their names:
    writer 1 file 1, writer 2 file 2, writer 1 file 2, writer 2 file 1."""
    order = [(1, 1), (2, 2), (1, 2), (2, 1)]
    return [files[(exp, run, w, n)] for w, n in order if w in writers]


def test_runs_writers_and_experiments(archive):
    root, files = archive
    assert hesk.select(root, runs=[(2, 2)]) == run_files(files, 2)
    assert hesk.select(root, runs=2) == hesk.select(root, runs=[2]) == run_files(files, 2)
    assert all(os.path.isfile(p) for p in hesk.select(root, runs=[(2, 2)]))
    assert hesk.select(root, runs=[(1, 1), (3, 3)], exp="lin") == run_files(files, 1) + run_files(files, 3)
    assert hesk.select(root, runs=[(1, 3)], writer=2) == sum(
        (run_files(files, r, writers=(2,)) for r in (1, 2, 3)), [])
    everything = hesk.select(root)
    assert everything == sum((run_files(files, r) for r in (1, 2, 3)), []) + [files[("ring", 5, 1, 1)]]
    assert hesk.select(root, exp="ring") == [files[("ring", 5, 1, 1)]]
    assert hesk.select(root, runs=[(7, 9)]) == []
    assert hesk.select(root, runs=[]) == []


def test_periods(archive):
    root, files = archive
    later = [files[("lin", 2, 1, 2)], files[("lin", 2, 2, 1)]]
    assert hesk.select(root, start=T0 + 2150, end=T0 + 2250) == later
    local = datetime.datetime.fromtimestamp
    assert hesk.select(root, start=local(T0 + 2150), end=local(T0 + 2250)) == later
    aware = datetime.datetime.fromtimestamp(T0 + 2210, datetime.timezone.utc)
    assert hesk.select(root, start=aware) == later  # end omitted: the instant start
    assert hesk.select(root, start=T0 + 900, end=T0 + 3600) == sum(
        (run_files(files, r) for r in (1, 2, 3)), [])
    assert hesk.select(root, start=T0 - 1000, end=T0 - 10) == []


def test_selected_files_read_as_one_channel(archive):
    root, files = archive
    ch = hesk.read_channel(hesk.select(root, runs=[(2, 2)]), "SRV.00/CH.001")
    firsts = [2110, 2220, 2120, 2210]  # run * 1000 + writer * 100 + file * 10
    assert ch.number.tolist() == [f + e for f in firsts for e in range(5)]
    assert ch.values.shape == (20, 3)
    assert ch.values[6].tolist() == [1.25, 2.25, 3.25]


@pytest.mark.parametrize(
    "kwargs,error",
    [
        (dict(root="/nonexistent/archive"), hesk.FileMissingError),
        (dict(root="{tmp}"), hesk.FileMissingError),  # no adm tree
        (dict(root="{root}", adm="{tmp}"), hesk.FileMissingError),  # no catalogs
        (dict(root="{root}", runs=[(1, 3)], format="root"), hesk.FileMissingError),  # no .idx
        (dict(root="{root}", runs=[(1, 2)], start=T0), ValueError),
        (dict(root="{root}", start=T0 + 10, end=T0), ValueError),
        (dict(root="{root}", end=T0), ValueError),
        (dict(root="{root}", start=T0, writer=1), ValueError),
        (dict(root="{root}", runs=[(3, 1)]), ValueError),
        (dict(root="{root}", runs=["1-3"]), TypeError),
        (dict(root="{root}", format="tape"), ValueError),
        (dict(root="{root}", start="yesterday"), TypeError),
        (dict(root="{root}", runs=[1], writer=-1), ValueError),
    ],
)
def test_missing_archives_and_bad_arguments_raise(archive, tmp_path, kwargs, error):
    root, _ = archive
    args = {k: v.format(root=root, tmp=tmp_path) if isinstance(v, str) and "{" in v else v
            for k, v in kwargs.items()}
    with pytest.raises(error) as e:
        hesk.select(**args)
    if isinstance(e.value, hesk.Error):
        assert e.value.code > 0 and e.value.message
