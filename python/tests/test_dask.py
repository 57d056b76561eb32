"""hesk.dask.read_channel: one partition per file, and the same rows as
hesk.read_channel whether computed in this process or on a cluster of two
process workers."""

import numpy as np
import pandas as pd
import pytest

import hesk
import hesk.dask

distributed = pytest.importorskip("distributed")


def expected_frame(paths, name):
    ch = hesk.read_channel(paths, name)
    width = ch.values.shape[1]
    cols = ["value"] if width == 1 else ["value_%d" % k for k in range(width)]
    frame = pd.DataFrame(ch.values, columns=cols)
    frame.insert(0, "time", ch.time)
    frame.insert(0, "number", ch.number)
    return frame


@pytest.fixture(scope="module")
def files(daqgen):
    return [daqgen(g, s, events=20 + 5 * i, servers=1, channels=3, samples=4)
            for i, (g, s) in enumerate([(2009, False), (2010, True), (2024, False), (2024, True)])]


@pytest.fixture(scope="module")
def client():
    cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                       dashboard_address=None)
    c = distributed.Client(cluster)
    yield c
    c.close()
    cluster.close()


def test_frame_layout_and_in_process_compute(files):
    df = hesk.dask.read_channel(files, "SRV.00/CH.002")
    assert df.npartitions == len(files)
    assert list(df.columns) == ["number", "time", "value_0", "value_1", "value_2", "value_3"]
    assert df.dtypes["number"] == np.uint64 and df.dtypes["value_0"] == np.float32
    got = df.compute(scheduler="threads")
    pd.testing.assert_frame_equal(got, expected_frame(files, "SRV.00/CH.002"))


def test_cluster_with_process_workers_equals_in_process_read(files, client, daqgen):
    df = hesk.dask.read_channel(files, "SRV.00/CH.001")
    got = client.compute(df).result()
    pd.testing.assert_frame_equal(got, expected_frame(files, "SRV.00/CH.001"))
    # A channel of one sample per event is one column "value".
    one = [daqgen(2010, False, events=7, servers=1, channels=1, samples=1),
           daqgen(2024, True, events=3, servers=1, channels=1, samples=1)]
    got = client.compute(hesk.dask.read_channel(one, "SRV.00/CH.000")).result()
    assert list(got.columns) == ["number", "time", "value"]
    pd.testing.assert_frame_equal(got, expected_frame(one, "SRV.00/CH.000"))


def test_errors_reach_the_caller(files, client, daqgen):
    with pytest.raises(KeyError):
        hesk.dask.read_channel(files, "NO.SUCH")
    with pytest.raises(ValueError):
        hesk.dask.read_channel([], "SRV.00/CH.000")
    other = daqgen(2010, False, events=5, servers=1, channels=3, samples=9)
    df = hesk.dask.read_channel([files[0], other], "SRV.00/CH.000")
    with pytest.raises(hesk.Error, match="samples per event"):
        client.compute(df).result()
