"""The rest of the program through the module: the header, references, searches, the rule
check, the scene, the G-code and the machining time, each as the command line gives it."""
import json
import os
import subprocess

import pytest

import varnholt

SOURCE = os.environ.get("VARNHOLT_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
BRACKET = os.path.join(SOURCE, "samples", "bracket_project.stp")
FEEDS = os.path.join(SOURCE, "tests", "data", "program_feeds.stp")
CLI = os.path.join(os.environ.get("VARNHOLT_BUILD_DIR", os.path.join(SOURCE, "build")), "cli", "varnholt-cli")


def command_line():
    """The command line the module is compared with. Missing, it fails the test: ctest always
    builds it, and a comparison left out would pass without comparing anything."""
    assert os.path.exists(CLI), "%s is missing: build the target varnholt-cli" % CLI
    return CLI


def test_header_references_and_searches():
    doc = varnholt.open(BRACKET)
    header = doc.header
    assert isinstance(header.name, str) and header.name
    assert [s.lower() for s in header.schema_identifiers] == ["combined_schema"]
    step = doc.by_type("machining_workingstep")[0]
    refs = doc.refs(step.its_operation)
    assert (step, "its_operation", 0) in refs
    found = doc.find(type="machining_workingstep", text=step.its_id)
    assert step in found
    assert all(i.type == "machining_workingstep" for i in found)


def test_rule_findings_come_as_the_log_does():
    doc = varnholt.open(FEEDS)
    findings = doc.check_rules()
    assert findings, "the fixture breaks rules"
    for f in findings:
        assert f.severity in ("error", "warning") and f.rule and f.rule in f.text
    assert varnholt.open(BRACKET).check_rules() == []


def test_scene_paths_are_arrays_of_points():
    np = pytest.importorskip("numpy")
    paths = varnholt.open(BRACKET).scene()
    kinds = {p.kind for p in paths}
    assert {"workpiece", "feature", "generated"} <= kinds
    for p in paths:
        assert isinstance(p.points, np.ndarray) and p.points.ndim == 2 and p.points.shape[1] == 3
        assert len(p.points) >= 2


def test_scene_without_numpy_gives_lists_of_tuples(monkeypatch):
    import sys
    with_numpy = varnholt.open(BRACKET).scene()
    monkeypatch.setitem(sys.modules, "numpy", None)  # import numpy now fails
    paths = varnholt.open(BRACKET).scene()
    assert len(paths) == len(with_numpy)
    for p, q in zip(paths, with_numpy):
        assert isinstance(p.points, list) and all(isinstance(t, tuple) and len(t) == 3 for t in p.points)
        assert [list(t) for t in p.points] == [list(r) for r in q.points]


def test_gcode_and_time_are_those_of_the_command_line(tmp_path):
    doc = varnholt.open(BRACKET)
    out = tmp_path / "b.ngc"
    cli = command_line()
    text = doc.gcode()
    assert text.startswith("(Varnholt G-code for LinuxCNC")
    assert "M30\n" in text
    assert doc.gcode(dialect="fanuc").startswith("%\nO0001\n")
    time = doc.machining_time()
    assert time["rapid_feed"] == 5000 and time["total"]["total_seconds"] > 0
    subprocess.run([cli, "gcode", BRACKET, str(out)], check=True, capture_output=True)
    assert out.read_text().split("\n")[1:] == text.split("\n")[1:]  # the first names the file
    done = subprocess.run([cli, "time", BRACKET, "--format", "json"], check=True, capture_output=True)
    assert json.loads(done.stdout) == time
    refused = varnholt.open(FEEDS)
    with pytest.raises(ValueError, match="workingstep #300 'WS no feed'"):
        refused.gcode()
    assert "left out" in refused.gcode(allow_partial=True)
    with pytest.raises(ValueError):
        refused.gcode(dialect="heidenhain")
    assert refused.machining_time(units="shop")["units"] == "shop"


def test_implausible_feeds_are_written_only_when_accepted(tmp_path):
    text = open(FEEDS, encoding="latin-1").read()
    old = "#61=MILLING_TECHNOLOGY(2.5,.TCP.,$,$,$,.F.,.F.,.F.,$);"
    slow = tmp_path / "slow.stp"
    slow.write_text(text.replace(old, "#61=MILLING_TECHNOLOGY(0.01,.TCP.,$,-50.0,$,.F.,.F.,.F.,$);"), encoding="latin-1")
    doc = varnholt.open(str(slow))
    with pytest.raises(ValueError, match="implausible: workingstep #100 'WS feedrate': feed 0.6 mm/min, below 1 mm/min"):
        doc.gcode(allow_partial=True)
    program = doc.gcode(allow_partial=True, accept_implausible=True)
    assert "(implausible, written as given: feed 0.6 mm/min, below 1 mm/min)" in program
    steps = {s["its_id"]: s for s in doc.machining_time()["workingsteps"]}
    assert steps["WS feedrate"]["implausible"] and steps["WS feedrate"]["run"]
    assert steps["WS no feed"]["run"] is False and steps["WS no feed"]["reason"].startswith("left out: ")


def test_diff_and_table_are_those_of_the_command_line(tmp_path):
    import csv
    import io
    import json
    cli = command_line()
    doc = varnholt.open(BRACKET)
    technology = doc.by_type("milling_technology")[0]
    technology.feedrate = 0.5 if technology.feedrate != 0.5 else 0.25
    point = doc.by_type("cartesian_point")[3]
    point.coordinates[1] = 99.5
    edited = tmp_path / "edited.stp"
    doc.save(str(edited))
    differences = varnholt.open(BRACKET).diff(varnholt.open(str(edited)))
    assert sorted(d.attribute for d in differences) == ["coordinates[2]", "feedrate"]
    done = subprocess.run([cli, "diff", BRACKET, str(edited), "--format", "json"], capture_output=True, text=True)
    assert done.returncode == 1
    assert [vars(d) for d in differences] == json.loads(done.stdout)["differences"]
    assert varnholt.open(BRACKET).diff(varnholt.open(BRACKET)) == []
    assert varnholt.open(BRACKET).diff(varnholt.open(str(edited)), tolerance=1000) == []

    rows = varnholt.open(BRACKET).table("machining_workingstep")
    done = subprocess.run([cli, "table", BRACKET, "--type", "machining_workingstep"], capture_output=True, text=True)
    assert rows == list(csv.DictReader(io.StringIO(done.stdout, newline="")))
    assert rows and rows[0]["type"] == "machining_workingstep"
    with pytest.raises(ValueError):
        varnholt.open(BRACKET).table("no_such_entity")
    with pytest.raises(ValueError):
        doc.diff(doc, tolerance=-1)
