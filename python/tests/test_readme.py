"""The README's Python examples run as written, on a file from the file
writer (`path`) and the test archive (`root`). The online monitor loop
runs until it is stopped and is left out."""

import os
import re

import pytest


def readme_blocks():
    path = os.environ.get("HESK_README")
    if not path or not os.path.exists(path):
        pytest.skip("HESK_README is not set (run the tests through ctest)")
    with open(path) as f:
        return re.findall(r"```python\n(.*?)```", f.read(), re.S)


def test_readme_python_examples_run(daqgen, archive, capsys):
    blocks = readme_blocks()
    assert len(blocks) >= 5
    names = {"path": daqgen(2010, False), "root": archive[0]}
    for block in blocks:
        if "hesk.Reader(" in block:
            compile(block, "README.md", "exec")
            continue
        exec(compile(block, "README.md", "exec"), names)
    assert len(names["files"]) == 12 and names["df"].npartitions == 12
    assert "SRV.00/CH.000" in capsys.readouterr().out
