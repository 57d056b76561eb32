"""hesk.DaqFile and hesk.read_channel on files of the project's file writer:
every generation and byte order, values checked against what was written,
and damaged, truncated and shrinking files."""

import os
import shutil
import struct
import threading

import numpy as np
import pytest

import hesk
from conftest import synthetic_sample

SHAPE = dict(events=12, servers=2, channels=3, samples=5)
GENERATIONS = [(g, s) for g in (2009, 2010, 2024) for s in (False, True)]


def channel_name(server, channel):
    return "SRV.%02d/CH.%03d" % (server, channel)


def present(event, channel):
    # The writer leaves channel c out of odd events when c % 3 == 2.
    return not (channel % 3 == 2 and event % 2 == 1)


@pytest.mark.parametrize("generation,swapped", GENERATIONS)
def test_reads_what_the_writer_wrote(daqgen, generation, swapped):
    path = daqgen(generation, swapped, **SHAPE)
    with hesk.DaqFile(path) as f:
        assert (f.generation, f.swapped, len(f)) == (generation, swapped, SHAPE["events"])
        assert f.channels == [channel_name(s, c) for s in range(2) for c in range(3)]

        ev = f.events
        assert ev.dtype.names == ("number", "type", "seconds", "micros", "offset", "length")
        e = np.arange(SHAPE["events"])
        assert (ev["number"] == 1000 + e).all()
        assert (ev["type"] == 1).all()
        assert (ev["seconds"] == 1700000000 + e // 10).all()
        assert (ev["micros"] == (e % 10) * 100000).all()
        assert ev["offset"][0] == 0
        assert (ev["offset"][1:] == ev["offset"][:-1] + ev["length"][:-1]).all()

        for s, c in [(0, 0), (1, 1), (1, 2)]:
            ch = f.read(channel_name(s, c))
            events = [i for i in range(SHAPE["events"]) if present(i, c)]
            assert ch.name == channel_name(s, c) and len(ch) == len(events)
            assert ch.number.dtype == np.uint64 and ch.values.dtype == np.float32
            assert ch.number.tolist() == [1000 + i for i in events]
            np.testing.assert_allclose(ch.time, [1700000000 + 0.1 * i for i in events], atol=1e-6)
            want = [[synthetic_sample(i, c, k) for k in range(SHAPE["samples"])] for i in events]
            np.testing.assert_array_equal(ch.values, np.array(want, np.float32))
        assert f.info(channel_name(1, 2)) == {
            "events": 6, "samples": 5, "type": 9 if generation == 2009 else 41,
            "type_name": "BLOCK_SINGLE" if generation == 2009 else "BLOCK_1CHAN_2010"}


@pytest.mark.parametrize("generation", [2009, 2010, 2024])
def test_swapped_files_give_the_same_events_and_dumps(daqgen, generation):
    host = hesk.DaqFile(daqgen(generation, False, **SHAPE))
    swapped = hesk.DaqFile(daqgen(generation, True, **SHAPE))
    for i in (0, 5, -1):
        assert host.event(i) == swapped.event(i)
        assert host.dump(i) == swapped.dump(i)
    raw = host.event(3)
    assert len(raw) == host.events["length"][3]
    assert struct.unpack_from("=I", raw)[0] in (0xFFEEFFEE, 0xFFEEFFDD, 0xFFCCFFCC)
    text = host.dump(3)
    assert "SRV.01/CH.001" in text and "1003" in text
    assert host.event(-1) == host.event(len(host) - 1)
    with pytest.raises(IndexError):
        host.event(len(host))
    assert np.array_equal(host.events, swapped.events)


def test_channels_of_a_block_and_missing_names(daqgen):
    with hesk.DaqFile(daqgen(2010, False, **SHAPE)) as f:
        whole = f.read("SRV.00/CH.000")
        np.testing.assert_array_equal(f.read("SRV.00/CH.000:0").values, whole.values)
        for name in ("SRV.00/CH.000:1", "NO.SUCH", "SRV.00/CH.000:x"):
            with pytest.raises(KeyError) as e:
                f.read(name)
            assert isinstance(e.value, hesk.Error)
        assert f.info("SRV.00/CH.000")["events"] == SHAPE["events"]


def test_read_channel_concatenates_files_in_order(daqgen):
    a = daqgen(2009, True, events=4, servers=1, channels=1, samples=3)
    b = daqgen(2024, False, events=3, servers=1, channels=1, samples=3)
    c = daqgen(2010, False, events=2, servers=1, channels=1, samples=2)
    both = hesk.read_channel([a, b], "SRV.00/CH.000")
    assert both.number.tolist() == [1000, 1001, 1002, 1003, 1000, 1001, 1002]
    assert both.values.shape == (7, 3)
    assert both.values[5].tolist() == [1, 2, 3]
    # Files with other sample counts give one row per event all the same.
    ragged = hesk.read_channel([b, c], "SRV.00/CH.000")
    assert ragged.values.dtype == object
    assert [len(r) for r in ragged.values] == [3, 3, 3, 2, 2]
    assert hesk.read_channel(c, "SRV.00/CH.000").values.shape == (2, 2)
    with pytest.raises(KeyError):
        hesk.read_channel([a, b], "SRV.00/CH.001")


def test_files_without_some_tables(daqgen):
    full = hesk.DaqFile(daqgen(2010, True, **SHAPE))
    no_index = hesk.DaqFile(daqgen(2010, True, omit="eit", **SHAPE))
    assert len(no_index) == len(full)
    assert np.array_equal(no_index.events, full.events)
    np.testing.assert_array_equal(no_index.read("SRV.01/CH.002").values,
                                  full.read("SRV.01/CH.002").values)
    no_pointers = hesk.DaqFile(daqgen(2024, False, omit="ecpt", **SHAPE))
    with pytest.raises(hesk.Error) as e:
        no_pointers.read("SRV.00/CH.000")
    assert e.value.code == -6
    mixed = hesk.DaqFile(daqgen(2009, False, types="NORMAL,HEART_BEAT", **SHAPE))
    assert mixed.events["type"].tolist() == [1, 0] * 6


def copy_of(path, tmp_path, name="copy.raw"):
    out = tmp_path / name
    shutil.copyfile(path, out)
    return str(out)


@pytest.mark.parametrize(
    "damage,expected",
    [
        ("missing", hesk.FileMissingError),
        ("empty", hesk.Error),
        ("text", hesk.Error),
        ("directory", hesk.Error),
        ("half", hesk.Error),
        ("no_trailer", hesk.Error),
        ("frt_offset", hesk.Error),
    ],
)
def test_bad_and_truncated_files_raise(daqgen, tmp_path, damage, expected):
    path = copy_of(daqgen(2010, False, **SHAPE), tmp_path)
    size = os.path.getsize(path)
    if damage == "missing":
        os.remove(path)
    elif damage == "empty":
        open(path, "w").close()
    elif damage == "text":
        with open(path, "w") as f:
            f.write("not a DAQ file\n" * 100)
    elif damage == "directory":
        path = str(tmp_path)
    elif damage == "half":
        os.truncate(path, size // 2)
    elif damage == "no_trailer":
        os.truncate(path, size - 4)
    elif damage == "frt_offset":  # the trailer points outside the file
        with open(path, "r+b") as f:
            f.seek(size - 8)
            f.write(struct.pack(">I", size + 4096))
    with pytest.raises(expected) as e:
        hesk.DaqFile(path)
    assert isinstance(e.value.code, int) and e.value.message


def sub_block_at(path, name):
    """Offset of the first sub-block head named `name` (2010 layout)."""
    with open(path, "rb") as f:
        data = f.read()
    return data.index(name.encode() + b"\0")


@pytest.mark.parametrize(
    "word,value,text",
    [
        (264, 0x7FFFFF00, "does not fit"),  # ldata far beyond the file
        (264, 100, "does not fit"),  # ldata shorter than the head
        (260, 0x40000000, "compressed"),  # the compressed-payload flag
        (256, 13, "no samples"),  # an image type in the head
        (268 + 8, 0x7FFFFFF, "do not fit"),  # ndata beyond the block
    ],
)
def test_damaged_blocks_raise(daqgen, tmp_path, word, value, text):
    path = copy_of(daqgen(2010, False, **SHAPE), tmp_path)
    at = sub_block_at(path, "SRV.00/CH.001")
    with open(path, "r+b") as f:
        f.seek(at + word)
        f.write(struct.pack("=i", value))
    with hesk.DaqFile(path) as f:
        with pytest.raises(hesk.Error, match=text):
            f.read("SRV.00/CH.001")
        assert len(f.read("SRV.00/CH.000")) == SHAPE["events"]  # the others still read


def test_shrinking_file_raises_and_arrays_stay_valid(daqgen, tmp_path):
    path = copy_of(daqgen(2024, True, **SHAPE), tmp_path)
    f = hesk.DaqFile(path)
    before = f.read("SRV.00/CH.000")
    kept = before.values.copy()
    os.truncate(path, os.path.getsize(path) // 3)
    for call in (lambda: f.read("SRV.00/CH.000"), lambda: f.event(0), lambda: f.dump(1),
                 lambda: f.events):
        with pytest.raises(hesk.Error, match="shrank") as e:
            call()
        assert e.value.code == -8
    f.close()
    os.remove(path)
    np.testing.assert_array_equal(before.values, kept)
    assert before.values.base is not None  # owned through the capsule, not the mapping


def test_file_cut_short_while_it_is_read(daqgen, tmp_path):
    """Reads racing a truncation either finish or raise; never a crash."""
    big = daqgen(2010, False, events=300, servers=2, channels=3, samples=16384)
    outcomes = set()
    for attempt in range(6):
        path = copy_of(big, tmp_path, "cut%d.raw" % attempt)
        f = hesk.DaqFile(path)
        cut = threading.Timer(0.002 * attempt, os.truncate, (path, os.path.getsize(path) // 5))
        cut.start()
        try:
            for name in f.channels * 3:
                f.read(name)
            outcomes.add("read")
        except hesk.Error as e:
            assert e.code == -8 and "shrank" in e.message
            outcomes.add("refused")
        cut.join()
        with pytest.raises(hesk.Error):
            f.read(f.channels[0])
        f.close()
    assert "refused" in outcomes


def test_closed_file_and_context_manager(daqgen):
    with hesk.DaqFile(daqgen(2010, False, **SHAPE)) as f:
        assert not f.closed
        values = f.read("SRV.00/CH.000").values
    assert f.closed and "closed" in repr(f)
    with pytest.raises(ValueError):
        f.read("SRV.00/CH.000")
    assert values[3, 0] == 3.0


def test_threads_read_one_file_at_once(daqgen):
    path = daqgen(2010, True, events=200, servers=2, channels=3, samples=64)
    f = hesk.DaqFile(path)
    want = f.read("SRV.01/CH.001").values
    results, errors = [], []

    def work():
        try:
            for _ in range(10):
                results.append(f.read("SRV.01/CH.001").values)
        except Exception as e:  # reported below
            errors.append(e)

    threads = [threading.Thread(target=work) for _ in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert not errors and len(results) == 40
    assert all(np.array_equal(r, want) for r in results)


def test_names_that_are_not_utf8(daqgen, tmp_path):
    path = copy_of(daqgen(2010, True, **SHAPE), tmp_path)
    with open(path, "rb") as f:
        data = f.read()
    with open(path, "wb") as f:
        f.write(data.replace(b"SRV.00/CH.001", b"SRV.00/\xffH.001"))
    with hesk.DaqFile(path) as f:
        name = f.channels[1]
        assert name == "SRV.00/\udcffH.001"
        assert f.read(name).values.shape == (SHAPE["events"], SHAPE["samples"])
        assert f.read(b"SRV.00/\xffH.001").name == b"SRV.00/\xffH.001"
        assert "SRV.00/\\xffH.001" in f.dump(0)
        with pytest.raises(KeyError, match=r"\\xffH.002"):
            f.read("SRV.00/\udcffH.002")
