"""The machining program through the module: read only, in machining order, and the same
workingsteps, tools and moves as `varnholt-cli scene --format json` gives."""
import json
import os
import subprocess

import pytest

import varnholt

SOURCE = os.environ.get("VARNHOLT_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
BUILD = os.environ.get("VARNHOLT_BUILD_DIR", os.path.join(SOURCE, "build"))
SAMPLES = [os.path.join(SOURCE, "samples", n) for n in sorted(os.listdir(os.path.join(SOURCE, "samples")))
           if n.endswith(".stp")]


def scene_json(path):
    cli = os.path.join(BUILD, "cli", "varnholt-cli")
    assert os.path.exists(cli), "the command line is built beside the module"
    done = subprocess.run([cli, "scene", path, "--format", "json"], check=True, capture_output=True)
    return json.loads(done.stdout)


@pytest.mark.parametrize("path", SAMPLES, ids=os.path.basename)
def test_the_program_is_the_scene_of_the_command_line(path):
    program = varnholt.open(path).program()
    steps = [s for setup in scene_json(path)["setups"] for s in setup["workingsteps"]]
    assert len(program.workingsteps) == len(steps) > 0
    for step, want in zip(program.workingsteps, steps):
        assert step.instance.id == want["instance"]
        assert step.its_id == want["its_id"]
        for part in ("feature", "operation"):
            mine = getattr(step, part)
            if want[part] is None:
                assert mine is None
            else:
                assert (mine.instance.id, mine.type) == (want[part]["instance"], want[part]["type"])
        if want["tool"] is None:
            assert step.tool is None
        else:
            assert step.tool.instance.id == want["tool"]["instance"]
            assert step.tool.diameter == want["tool"]["diameter"]
            assert step.tool.teeth == want["tool"]["teeth"]
            assert step.tool.corner_radius == want["tool"].get("corner_radius")
            assert step.tool.hand in (None, "right", "left", "neutral")
        assert step.spindle == want["spindle"]
        assert list(step.moves) == want["moves"]
        assert step.reason == want.get("reason")
        cutting = [m["feed"] for m in want["moves"] if m["kind"] in ("feed", "arc") and m["feed"] is not None]
        assert step.feed == (cutting[0] if cutting else None)


def test_the_program_is_read_only():
    program = varnholt.open(SAMPLES[0]).program(units="shop")
    assert program.units == "shop"
    step = program.workingsteps[0]
    for target, name in ((program, "workingsteps"), (step, "its_id"), (step, "feed")):
        with pytest.raises(AttributeError):
            setattr(target, name, None)
        with pytest.raises(AttributeError):
            delattr(target, name)
    with pytest.raises(TypeError):
        program.workingsteps[0] = None
    with pytest.raises(ValueError):
        varnholt.open(SAMPLES[0]).program(units="imperial")
