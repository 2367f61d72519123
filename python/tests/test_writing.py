"""Writing through the module: values set, cleared and appended with the rules of the desktop's
editor and `varnholt-cli edit`, kept parameters and records, and saving as `convert` saves."""
import os
import subprocess
import warnings

import pytest

import varnholt

SOURCE = os.environ.get("VARNHOLT_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
BUILD = os.environ.get("VARNHOLT_BUILD_DIR", os.path.join(SOURCE, "build"))
CLI = os.path.join(BUILD, "cli", "varnholt-cli")
BRACKET = os.path.join(SOURCE, "samples", "bracket_project.stp")
TOOLPATHS = os.path.join(SOURCE, "samples", "toolpath_project.stp")


def cli(*args, env=None):
    return subprocess.run([CLI, *args], capture_output=True, text=True, env=env)


def epoch_env():
    return dict(os.environ, SOURCE_DATE_EPOCH="1700000000")


def open_text(path, text):
    """Writes the file's text to path and opens it."""
    path.write_text(text)
    return varnholt.open(str(path))


def technology(doc):
    return doc.by_type("milling_technology")[0]


def test_simple_values_are_set_by_their_kind():
    doc = varnholt.open(BRACKET)
    t = technology(doc)
    t.feedrate = 12.5
    assert t.feedrate == 12.5 and ",12.5000000000," not in t.raw and t.raw.split("(")[1].startswith("12.5")
    t["feedrate"] = 7  # an int is a real's value too
    assert t.feedrate == 7.0 and isinstance(t.feedrate, float)
    t.feedrate_reference = "ccp"
    assert t.feedrate_reference == "ccp" and ".CCP." in t.raw
    t.inhibit_feedrate_override = True
    assert t.inhibit_feedrate_override is True
    step = doc.by_type("machining_workingstep")[0]
    step.its_id = "Schruppen äöü"
    assert step.its_id == "Schruppen äöü"


@pytest.mark.parametrize("attribute, value", [
    ("feedrate", "fast"),           # not a number
    ("feedrate", float("nan")),
    ("feedrate_reference", "xyz"),  # no such enumeration value
    ("inhibit_feedrate_override", 3.5),
])
def test_a_refused_value_raises_the_editors_message_and_changes_nothing(attribute, value, tmp_path):
    doc = varnholt.open(BRACKET)
    t = technology(doc)
    before = t.raw
    with pytest.raises(ValueError) as refused:
        setattr(t, attribute, value)
    assert t.raw == before
    assert "the value stays as it was" in str(refused.value)
    # The command line refuses the same text with the same words.
    text = value if isinstance(value, str) else ("nan" if value != value else repr(value))
    done = cli("edit", BRACKET, str(tmp_path / "out.stp"), "--set", "#%d.%s=%s" % (t.id, attribute, text))
    assert done.returncode == 1
    assert str(refused.value) in done.stderr


def test_a_float_is_not_taken_for_an_integer():
    doc = varnholt.open(BRACKET)
    holders = [i for i in doc.instances() for a in i.attributes() if type(i[a]) is int]
    assert holders, "a sample with an integer attribute"
    inst = holders[0]
    name = next(a for a in inst.attributes() if type(inst[a]) is int)
    with pytest.raises(ValueError):
        inst[name] = 12.0
    inst[name] = 12
    assert inst[name] == 12


def test_list_elements_are_set_one_by_one_or_all_or_nothing():
    doc = varnholt.open(BRACKET)
    point = doc.by_type("cartesian_point")[0]
    point.coordinates[2] = -7.125
    assert point.coordinates == [point.coordinates[0], point.coordinates[1], -7.125]
    assert doc[point.id].coordinates[2] == -7.125  # the file's value, not a copy's
    point.coordinates[-1] = 1.5
    assert point.coordinates[2] == 1.5
    with pytest.raises(IndexError):
        point.coordinates[3] = 0.0
    point.coordinates = [1, 2.5, 3]
    assert point.coordinates == [1.0, 2.5, 3.0]
    before = point.raw
    with pytest.raises(ValueError):
        point.coordinates = [4.0, 5.0, "x"]  # the first two are taken back
    assert point.raw == before
    with pytest.raises(ValueError):
        point.coordinates = [1.0, 2.0]
    with pytest.raises(TypeError):
        point.coordinates.sort()
    with pytest.raises(TypeError):
        del point.coordinates[0]
    assert point.raw == before


def test_clearing_unsets_and_warns_for_a_mandatory_value():
    doc = varnholt.open(BRACKET)
    t = technology(doc)
    t.cutspeed = 100.0
    del t.cutspeed  # OPTIONAL: no warning
    assert t.cutspeed is None
    with pytest.warns(UserWarning, match="is not OPTIONAL"):
        del t.feedrate_reference
    assert t.feedrate_reference is None
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        t["feedrate"] = None
    assert t.feedrate is None
    with pytest.raises(AttributeError):
        del t.no_such_attribute


def test_references_are_set_to_instances_the_attribute_takes():
    doc = varnholt.open(BRACKET)
    operations = [o for o in doc.instances() if "its_tool" in o.attributes() and o.its_tool is not None]
    operation = operations[0]
    tools = [o.its_tool for o in operations]
    other = next((t for t in tools if t != operation.its_tool), operation.its_tool)
    operation.its_tool = other
    assert operation.its_tool == other
    before = operation.raw
    with pytest.raises(ValueError, match="is not taken here"):
        operation.its_tool = doc.by_type("cartesian_point")[0]
    with pytest.raises(ValueError, match="another document"):
        operation.its_tool = varnholt.open(BRACKET)[other.id]
    assert operation.raw == before


def test_lists_grow_by_append():
    doc = varnholt.open(BRACKET)
    plan = next(i for i in doc.instances() if "its_elements" in i.attributes())
    count = len(plan.its_elements)
    step = plan.its_elements[0]
    plan.its_elements.append(step)
    assert len(plan.its_elements) == count + 1 and plan.its_elements[-1] == step
    with pytest.raises(ValueError):
        plan.its_elements.append(doc.by_type("cartesian_point")[0])
    assert len(plan.its_elements) == count + 1
    # A refused number leaves no element behind it.
    point = doc.by_type("cartesian_point")[0]
    before = point.raw
    with pytest.raises(ValueError):
        point.coordinates.append("x")
    assert point.raw == before and len(point.coordinates) == 3


def test_select_values_keep_the_type_written_with_them():
    doc = varnholt.open(TOOLPATHS)
    curve = next(c for c in doc.by_type("trimmed_curve") if varnholt.typed(c.trim_1[0]))
    assert varnholt.typed(curve.trim_1[0]) == "parameter_value"
    assert varnholt.typed(curve.basis_curve) is None
    assert varnholt.typed(1.5) is None
    value = curve.trim_1[0]
    assert isinstance(value, float)
    curve.trim_1[0] = 300.0
    assert "PARAMETER_VALUE(300." in curve.raw and curve.trim_1[0] == 300.0
    assert varnholt.typed(curve.trim_1[0]) == "parameter_value"


KEPT = """ISO-10303-21;
HEADER;
FILE_DESCRIPTION(('kept'),'2;1');
FILE_NAME('kept.stp','2024-01-01T00:00:00',('a'),('b'),'c','d','e');
FILE_SCHEMA(('COMBINED_SCHEMA'));
ENDSEC;
DATA;
#6=CARTESIAN_POINT('p',(1.,2.,3.));
#7=NO_SUCH_ENTITY(1,'a  b',.X.,#6);
#8=MILLING_TECHNOLOGY(100.,.TCP.,$,'fast',0.1,.F.,.F.,.F.,$);
#9=APPROVAL_STATUS('a','extra',(#6,#7));
ENDSEC;
END-ISO-10303-21;
"""


def test_kept_records_and_parameters_are_shown_as_such_and_replaced_by_an_edit(tmp_path):
    doc = open_text(tmp_path / "kept.stp", KEPT)
    record = doc[7]
    assert record.kept and record.type == "no_such_entity"
    assert record.parameters == ["1", "'a  b'", ".X.", "#6"]
    assert record.raw == "#7=NO_SUCH_ENTITY(1,'a  b',.X.,#6);"
    assert not doc[6].kept and doc[6].parameters == []
    t = doc[8]
    assert t.spindle == varnholt.Kept("'fast'") and isinstance(t.spindle, varnholt.Kept)
    assert t.spindle.text == "'fast'" and repr(t.spindle) == "varnholt.Kept(\"'fast'\")"
    assert doc[9].extra == ["'extra'", "(#6,#7)"]
    # References inside kept text are references all the same.
    assert [(r.id, attribute) for r, attribute, _ in doc.refs(doc[6])] == [(7, "(record)"), (9, "(parameter 3)")]
    t.spindle = -500.0
    assert t.spindle == -500.0


LOGICALS = KEPT.split("DATA;")[0] + """DATA;
#1=CARTESIAN_POINT('a',(0.,0.,0.));
#2=CARTESIAN_POINT('b',(1.,0.,0.));
#3=POLYLINE('p',(#1,#2));
#4=COMPOSITE_CURVE_SEGMENT(.CONTINUOUS.,.T.,#3);
#5=COMPOSITE_CURVE('u',(#4),.U.);
#6=COMPOSITE_CURVE('f',(#4),.F.);
ENDSEC;
END-ISO-10303-21;
"""


def test_a_logicals_unknown_is_read_and_written_back_as_unknown(tmp_path):
    doc = open_text(tmp_path / "logicals.stp", LOGICALS)
    unknown, false = doc[5], doc[6]
    assert unknown.self_intersect is varnholt.Unknown
    assert false.self_intersect is False and doc[4].same_sense is True
    unknown.self_intersect = unknown.self_intersect
    false.self_intersect = varnholt.Unknown
    assert unknown.self_intersect is varnholt.Unknown and false.self_intersect is varnholt.Unknown
    saved = tmp_path / "saved.stp"
    doc.save(str(saved))
    text = saved.read_text()
    assert "#5=COMPOSITE_CURVE('u',(#4),.U.);" in text
    assert "#6=COMPOSITE_CURVE('f',(#4),.U.);" in text
    reopened = varnholt.open(str(saved))
    assert reopened[5].self_intersect is varnholt.Unknown and reopened[6].self_intersect is varnholt.Unknown
    reopened[5].self_intersect = False
    assert reopened[5].self_intersect is False and reopened[5].raw.endswith(",.F.);")


def test_save_writes_what_convert_and_edit_write(tmp_path, monkeypatch):
    # The header names the saved file: both are saved under the same name, in two folders.
    monkeypatch.setenv("SOURCE_DATE_EPOCH", "1700000000")
    (tmp_path / "python").mkdir()
    (tmp_path / "cli").mkdir()
    ours, theirs = tmp_path / "python" / "out.stp", tmp_path / "cli" / "out.stp"
    doc = varnholt.open(BRACKET)
    doc.save(str(ours))
    assert cli("convert", BRACKET, str(theirs), env=epoch_env()).returncode == 0
    assert ours.read_bytes() == theirs.read_bytes()
    t = technology(doc)
    t.feedrate = 33.25
    del t.cutspeed
    doc.save(str(ours))
    done = cli("edit", BRACKET, str(theirs), "--set", "#%d.feedrate=33.25" % t.id,
               "--unset", "#%d.cutspeed" % t.id, env=epoch_env())
    assert done.returncode == 0, done.stderr
    assert ours.read_bytes() == theirs.read_bytes()
    reopened = varnholt.open(str(ours))
    assert reopened[t.id].feedrate == 33.25 and reopened[t.id].cutspeed is None


def test_a_failed_save_raises_and_leaves_the_target(tmp_path):
    doc = varnholt.open(BRACKET)
    target = tmp_path / "folder"
    target.mkdir()
    (target / "inside.txt").write_text("mine")
    with pytest.raises(OSError, match="could not be saved"):
        doc.save(str(target))
    assert (target / "inside.txt").read_text() == "mine"
    with pytest.raises(OSError):
        doc.save(str(tmp_path / "no" / "such" / "folder.stp"))
    assert not (tmp_path / "no").exists()
    doc.close()
    with pytest.raises(varnholt.ClosedError):
        doc.save(str(tmp_path / "x.stp"))
