"""Reading files through the module: opening, the log, instances and their values, and views
that outlive their document."""
import gc
import os
import shutil
import tempfile

import pytest

import varnholt

SOURCE = os.environ.get("VARNHOLT_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
SAMPLES = os.path.join(SOURCE, "samples")
DATA = os.path.join(SOURCE, "tests", "data")


def sample(name):
    return os.path.join(SAMPLES, name)


def test_open_gives_the_project_and_its_instances_in_file_order():
    doc = varnholt.open(sample("bracket_project.stp"))
    project = doc.project
    assert project.type == "project"
    assert project.id > 0
    ids = [i.id for i in doc.instances()]
    assert len(ids) == len(doc) > 100
    assert doc[project.id] == project
    steps = doc.by_type("machining_workingstep")
    assert steps and all("machining_workingstep" in s.types for s in steps)
    # Subtypes are included: a workingstep query finds every machining workingstep.
    assert len(doc.by_type("workingstep")) >= len(steps)
    with pytest.raises(KeyError):
        doc[999999]


def test_values_are_python_values():
    doc = varnholt.open(sample("bracket_project.stp"))
    step = doc.by_type("machining_workingstep")[0]
    assert isinstance(step.its_id, str) and step.its_id == step["its_id"]
    operation = step.its_operation
    assert isinstance(operation, varnholt.Instance)
    technology = operation.its_technology
    feed = technology.feedrate
    assert feed is None or isinstance(feed, float)
    assert technology.feedrate_reference in ("tcp", "ccp")
    assert isinstance(technology.inhibit_feedrate_override, bool)
    point = doc.by_type("cartesian_point")[0]
    coordinates = point.coordinates
    assert isinstance(coordinates, list) and all(isinstance(c, float) for c in coordinates)
    assert "its_id" in step.attributes()
    assert repr(step).startswith("<machining_workingstep #%d '" % step.id)
    with pytest.raises(AttributeError):
        step.no_such_attribute
    with pytest.raises(KeyError):
        step["no_such_attribute"]
    assert step.line > 0
    assert step.raw.startswith("#%d=MACHINING_WORKINGSTEP(" % step.id)


def test_a_file_that_cannot_be_opened_raises_with_the_log():
    folder = tempfile.mkdtemp()
    try:
        bad = os.path.join(folder, "bad.stp")
        with open(bad, "w") as f:
            f.write("this is no exchange file\n")
        with pytest.raises(varnholt.OpenError) as raised:
            varnholt.open(bad)
        assert "could not be opened" in str(raised.value)
        with pytest.raises(varnholt.OpenError):
            varnholt.open(os.path.join(folder, "missing.stp"))
    finally:
        shutil.rmtree(folder)


def test_the_log_holds_the_messages_as_check_gives_them():
    doc = varnholt.open(os.path.join(DATA, "program_feeds.stp"))
    for m in doc.log:
        assert m.severity in ("error", "warning")
        assert isinstance(m.text, str)
    assert isinstance(doc.log_text, str) and doc.log_text


def test_a_view_of_a_closed_document_raises_instead_of_crashing():
    doc = varnholt.open(sample("bracket_project.stp"))
    project = doc.project
    doc.close()
    with pytest.raises(varnholt.ClosedError):
        project.its_id
    with pytest.raises(varnholt.ClosedError):
        len(doc)
    with pytest.raises(varnholt.ClosedError):
        doc.project


def test_a_view_keeps_its_document_open():
    project = varnholt.open(sample("toolpath_project.stp")).project
    gc.collect()
    assert project.type == "project"
    assert "project" in repr(project)


def test_two_documents_at_once():
    a = varnholt.open(sample("bracket_project.stp"))
    b = varnholt.open(sample("milling_project.stp"))
    assert a.project != b.project
    assert a.project.its_id != b.project.its_id
    with a:
        pass
    with pytest.raises(varnholt.ClosedError):
        a.project
    assert b.project.type == "project"


def test_other_threads_run_while_a_file_opens(tmp_path):
    # The open waits on a pipe that only this thread fills: were the interpreter held during the
    # open, neither could go on, and the watchdog ends the run as a failure instead of a hang.
    import faulthandler
    import threading
    pipe = str(tmp_path / "pipe.stp")
    os.mkfifo(pipe)
    outcome = {}

    def read():
        try:
            outcome["doc"] = varnholt.open(pipe)
        except varnholt.OpenError as error:
            outcome["error"] = error

    faulthandler.dump_traceback_later(60, exit=True)
    try:
        reader = threading.Thread(target=read)
        reader.start()
        # Getting past this open proves it: it returns only once the reader holds the pipe.
        feed = open(pipe, "wb")
        # The reader may give up on a file that has no size before all is written.
        try:
            with open(sample("bracket_project.stp"), "rb") as source:
                feed.write(source.read())
        except BrokenPipeError:
            pass
        try:
            feed.close()
        except BrokenPipeError:
            pass

        reader.join()
    finally:
        faulthandler.cancel_dump_traceback_later()
    assert outcome
