"""The examples of docs/python.md run, on the samples and on files of other writers."""
import os
import re

import pytest

SOURCE = os.environ.get("VARNHOLT_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
CORPUS = os.path.join(SOURCE, "..", "shared", "corpus")


def examples():
    text = open(os.path.join(SOURCE, "docs", "python.md"), encoding="utf-8").read()
    return re.findall(r"```python\n(.*?)```", text, re.S)


def files():
    found = [os.path.join(SOURCE, "samples", n) for n in sorted(os.listdir(os.path.join(SOURCE, "samples")))
             if n.endswith(".stp")]
    if os.path.isdir(CORPUS):
        found += [os.path.join(CORPUS, n) for n in sorted(os.listdir(CORPUS)) if n != "README.md"]
    return found


def test_the_page_has_examples():
    assert len(examples()) >= 2


@pytest.mark.parametrize("path", files(), ids=os.path.basename)
def test_every_example_runs(path, capsys):
    for code in examples():
        exec(compile(code, "docs/python.md", "exec"), {"SAMPLE": path})
    assert capsys.readouterr().out
