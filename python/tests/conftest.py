"""Shared fixtures of the Python tests: DAQ files from hesk-daqgen, an
archive from hesk-py-peer, and a buffer manager (master and writers as peer
processes) on partitions of the test's own names, removed afterwards even
when a test fails.

The build tree's tools are found through HESK_DAQGEN, HESK_PY_PEER and
HESK_SHM_TOOL, which CTest sets.
"""

import os
import subprocess
import time

import pytest

# hesk reads the partition names when a Reader is made; every test of this
# process uses names under this prefix (the C++ tests clean up leftovers of
# dead processes with the same prefix).
PREFIX = "hesk-test.%d.py" % os.getpid()

# Value of sample k of channel c of event e in the files hesk-daqgen writes.
def synthetic_sample(event, channel, k):
    return event + 0.25 * channel + k


def tool(var):
    path = os.environ.get(var)
    if not path or not os.path.exists(path):
        pytest.skip("%s is not set to a built tool (run the tests through ctest)" % var)
    return path


@pytest.fixture(scope="session")
def daqgen(tmp_path_factory):
    """daqgen(generation=2010, swapped=False, **options) -> path of a new file."""
    exe = tool("HESK_DAQGEN")
    folder = tmp_path_factory.mktemp("daq")
    made = {}

    def make(generation=2010, swapped=False, **options):
        key = (generation, swapped) + tuple(sorted(options.items()))
        if key in made:
            return made[key]
        path = folder / ("f%d.raw" % len(made))
        cmd = [exe, "--generation", str(generation), str(path)]
        if swapped:
            cmd.insert(1, "--swapped")
        for name, value in options.items():
            cmd[1:1] = ["--" + name.replace("_", "-"), str(value)]
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
        made[key] = str(path)
        return str(path)

    return make


@pytest.fixture(scope="session")
def archive(tmp_path_factory):
    """A small archive: (root, {(exp, run, writer, file): path})."""
    exe = tool("HESK_PY_PEER")
    root = tmp_path_factory.mktemp("archive")
    out = subprocess.run([exe, "archive", str(root)], check=True, capture_output=True, text=True)
    files = {}
    for line in out.stdout.splitlines():
        exp, run, writer, number, path = line.split()
        files[(exp, int(run), int(writer), int(number))] = path
    return str(root), files


class Peer:
    """A peer process that runs until its standard input is closed."""

    def __init__(self, args):
        self.proc = subprocess.Popen(
            [tool("HESK_PY_PEER")] + args,
            stdin=subprocess.PIPE,
            stdout=subprocess.PIPE,
            stderr=subprocess.STDOUT,
            text=True,
        )
        self.lines = []

    def wait_for(self, prefix, timeout=30):
        """Reads the peer's output up to a line starting with `prefix`."""
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            line = self.proc.stdout.readline()
            if not line:
                break
            self.lines.append(line.rstrip("\n"))
            if line.startswith(prefix):
                return line.strip()
        raise AssertionError(
            "peer %s did not say %r; it said:\n%s"
            % (self.proc.args[1], prefix, "\n".join(self.lines[-20:]))
        )

    def stop(self, timeout=20):
        if self.proc.poll() is None:
            try:
                self.proc.stdin.close()
                self.proc.wait(timeout)
            except (OSError, subprocess.TimeoutExpired):
                self.proc.kill()
                self.proc.wait()
        self.proc.stdout.close()
        return self.proc.returncode


class BufferManager:
    """A master on partitions of this test's own names, and its writers."""

    def __init__(self, tag, layout):
        self.names = ["%s.%s.%s" % (PREFIX, tag, part) for part in ("cl", "ev")]
        self.layout = layout
        self.peers = []
        self.data = []
        os.environ["KOVA_CLI_SHM_NAME"], os.environ["KOVA_EV_SHM_NAME"] = self.names
        self.master = self._start(["master"])
        self.master.wait_for("ready")

    def _start(self, args):
        p = Peer(args + (["--2024"] if self.layout == 2024 else []))
        self.peers.append(p)
        return p

    def writer(self, name, events, interval_us=0, slow=False):
        data = "%s.%s" % (self.names[0][:-3], name)
        self.data.append(data)
        p = self._start(["writer", name, data, str(events), str(interval_us)] + (["--slow"] if slow else []))
        p.wait_for("ready")
        return p

    def close(self):
        codes = [p.stop() for p in reversed(self.peers)]
        shm = os.environ.get("HESK_SHM_TOOL")
        for name in self.names + self.data:
            if shm:
                subprocess.run([shm, "rm", name], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for var in ("KOVA_CLI_SHM_NAME", "KOVA_EV_SHM_NAME"):
            os.environ.pop(var, None)
        return codes


@pytest.fixture(params=[2010, 2024], ids=["layout2010", "layout2024"])
def manager(request):
    """A running master in the 2010 or 2024 layout; removed after the test."""
    tag = request.node.name.replace("[", ".").replace("]", "")[:40]
    bm = BufferManager(tag, request.param)
    yield bm
    bm.close()
