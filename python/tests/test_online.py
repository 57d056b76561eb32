"""hesk.Reader against a running master and writer (hesk-py-peer processes)
on partitions of the test's own names, in both event-slot layouts."""

import os
import threading
import time

import numpy as np
import pytest

import hesk
from conftest import PREFIX

T0 = 1700000000


def take(reader, count, timeout=20):
    events, end = [], time.monotonic() + timeout
    while len(events) < count and time.monotonic() < end:
        ev = reader.get(timeout=0.2)
        if ev is not None:
            events.append(ev)
    return events


def wait_until(done, timeout=20):
    end = time.monotonic() + timeout
    while not done() and time.monotonic() < end:
        time.sleep(0.01)
    return done()


def test_reader_copies_fast_and_slow_channels(manager):
    names = ["W/CH.0", "W/CH.1:0", "SLOW.T", "NOT.THERE"]
    with hesk.Reader(["NORMAL", "HEART_BEAT"], names) as r:
        assert r.layout == manager.layout
        writer = manager.writer("W", 30, interval_us=2000, slow=True)
        events = take(r, 30)
        assert writer.wait_for("sent") == "sent 30"
    assert r.closed and r.skipped == 0 and r.received == 30
    assert sorted(ev.number for ev in events) == list(range(1000, 1030))
    for ev in events:
        i = ev.number - 1000
        assert ev.time == pytest.approx(T0 + 0.1 * i, abs=1e-6)
        if i % 5 == 0:
            assert ev.type == hesk.event_types["HEART_BEAT"]
            assert list(ev.channels) == ["SLOW.T"] and ev.channels["SLOW.T"].tolist() == [i]
        else:
            assert ev.type == hesk.event_types["NORMAL"]
            assert sorted(ev.channels) == ["W/CH.0", "W/CH.1:0"]
            np.testing.assert_array_equal(ev.channels["W/CH.0"], i + np.arange(4))
            np.testing.assert_array_equal(ev.channels["W/CH.1:0"], i + 0.25 + np.arange(4))
            assert ev.channels["W/CH.0"].dtype == np.float32


def test_slow_loop_skips_the_oldest_events(manager):
    with hesk.Reader("NORMAL", "W/CH.1", blocks=["W"], max_queue=5) as r:
        writer = manager.writer("W", 100)
        # The writer is never held back by the Python side that reads nothing.
        assert writer.wait_for("sent") == "sent 100"
        assert wait_until(lambda: r.received == 100)
        assert r.skipped == 95
        kept = take(r, 5)
        assert [ev.number for ev in kept] == list(range(1095, 1100))
        np.testing.assert_array_equal(kept[-1].channels["W/CH.1"], 99.25 + np.arange(4))
        assert r.get(timeout=0.05) is None


def test_close_ends_iteration(manager):
    r = hesk.Reader(["NORMAL"], ["W/CH.0"])
    seen = []
    loop = threading.Thread(target=lambda: seen.extend(ev.number for ev in r))
    loop.start()
    manager.writer("W", 10, interval_us=1000)
    assert wait_until(lambda: len(seen) == 10)
    r.close()
    loop.join(10)
    assert not loop.is_alive() and seen == list(range(1000, 1010))
    r.close()  # twice is harmless
    assert r.get(timeout=0) is None


def test_reader_without_a_buffer_manager_raises():
    os.environ["KOVA_CLI_SHM_NAME"] = PREFIX + ".nobody.cl"
    os.environ["KOVA_EV_SHM_NAME"] = PREFIX + ".nobody.ev"
    try:
        with pytest.raises(hesk.Error, match="cannot attach"):
            hesk.Reader(["NORMAL"], ["W/CH.0"])
    finally:
        del os.environ["KOVA_CLI_SHM_NAME"], os.environ["KOVA_EV_SHM_NAME"]


@pytest.mark.parametrize(
    "args,error",
    [
        ((["NOPE"], ["A"]), ValueError),
        (([32], ["A"]), ValueError),
        (([], ["A"]), ValueError),
        ((["NORMAL"], [7]), TypeError),
        ((["NORMAL"], [""]), ValueError),
        ((["NORMAL"], ["A"], None, 0), ValueError),
        ((["NORMAL"], ["A"], None, 10, 2000), ValueError),
    ],
)
def test_bad_reader_arguments(args, error):
    with pytest.raises(error):
        hesk.Reader(*args)
