"""The examples of docs/python.md run, on the samples and on files of other writers."""
import os
import re

import pytest

SOURCE = os.environ.get("VARNHOLT_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
CORPUS = os.path.join(SOURCE, "..", "shared", "corpus")


def examples():
    text = open(os.path.join(SOURCE, "docs", "python.md"), encoding="utf-8").read()
    return re.findall(r"```python\n(.*?)```", text, re.S)


def run(code, sample, out):
    """An example on another file: its own SAMPLE and OUT lines give way to these."""
    code = re.sub(r"^(SAMPLE|OUT) = .*$", "", code, flags=re.M)
    exec(compile(code, "docs/python.md", "exec"), {"SAMPLE": sample, "OUT": out})


def files():
    found = [os.path.join(SOURCE, "samples", n) for n in sorted(os.listdir(os.path.join(SOURCE, "samples")))
             if n.endswith(".stp")]
    if os.path.isdir(CORPUS):
        found += [os.path.join(CORPUS, n) for n in sorted(os.listdir(CORPUS)) if n != "README.md"]
    return found


def test_the_page_has_examples():
    assert len(examples()) >= 2


def test_every_example_runs_as_written_beside_the_samples(tmp_path, monkeypatch, capsys):
    # As a user runs one: copied into a script in the folder of the samples.
    samples = os.path.join(SOURCE, "samples")
    for name in os.listdir(samples):
        os.symlink(os.path.join(samples, name), tmp_path / name)
    monkeypatch.chdir(tmp_path)
    for n, code in enumerate(examples()):
        script = tmp_path / ("example%d.py" % n)
        script.write_text(code)
        exec(compile(code, str(script), "exec"), {"__name__": "__main__"})
    assert capsys.readouterr().out


@pytest.mark.parametrize("path", files(), ids=os.path.basename)
def test_every_example_runs(path, capsys, tmp_path):
    for code in examples():
        run(code, path, str(tmp_path))
    assert capsys.readouterr().out


def test_the_examples_do_what_they_say(tmp_path):
    import csv
    import varnholt
    sample = os.path.join(SOURCE, "samples", "bracket_project.stp")
    for code in examples():
        run(code, sample, str(tmp_path))
    before, after = varnholt.open(sample), varnholt.open(str(tmp_path / "faster.stp"))
    feeds = [(t.id, t.feedrate) for t in before.by_type("technology") if isinstance(t.feedrate, float)]
    assert feeds
    for number, feed in feeds:
        assert after[number].feedrate == feed * 1.1
    rows = list(csv.reader(open(tmp_path / "toolpaths.csv")))
    moves = [p for p in before.scene() if p.kind in ("toolpath", "generated", "rapid")]
    assert len(rows) == 1 + sum(len(p.points) for p in moves)
    assert float(rows[1][4]) == moves[0].points[0][0]
