"""The material-removal simulation through the module: simulate() gives what the command line's
simulate --format json gives, stock_mesh() the stock it leaves as NumPy arrays."""
import json
import os
import subprocess

import numpy as np
import pytest

import varnholt

SOURCE = os.environ.get("VARNHOLT_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
FACE = os.path.join(SOURCE, "tests", "data", "simulate_face.stp")
NO_PROJECT = os.path.join(SOURCE, "tests", "data", "scene_no_project.stp")
CLI = os.path.join(os.environ.get("VARNHOLT_BUILD_DIR", os.path.join(SOURCE, "build")), "cli", "varnholt-cli")
THIRD_PASS_END = "(45.0,19.0,-1.0)"


def face_job(tmp_path, depth):
    """The face job with its third pass ending at `depth` (-1 the face's floor, -3 a gouge)."""
    with open(FACE) as f:
        text = f.read()
    assert THIRD_PASS_END in text
    path = tmp_path / "face.stp"
    path.write_text(text.replace(THIRD_PASS_END, "(45.0,19.0,%s)" % depth))
    return str(path)


def test_simulate_is_the_command_lines_json(tmp_path):
    path = face_job(tmp_path, "-3.0")
    assert os.path.exists(CLI), "%s is missing: build the target varnholt-cli" % CLI
    cli = subprocess.run([CLI, "simulate", path, "--format", "json", "--resolution", "0.5"],
                         capture_output=True, text=True, check=True)
    doc = varnholt.open(path)
    result = doc.simulate(resolution=0.5)
    assert result == json.loads(cli.stdout)
    assert result["resolution"] == 0.5
    gouges = [f for f in result["findings"] if f["kind"] == "gouge"]
    assert len(gouges) == 1 and gouges[0]["workingstep"] == 200
    assert 1.5 < gouges[0]["depth"] < 2.5


def test_until_and_refusals(tmp_path):
    path = face_job(tmp_path, "-1.0")
    doc = varnholt.open(path)
    by_label = doc.simulate(resolution=1.0, until="WS1 face")
    assert doc.simulate(resolution=1.0, until=200) == by_label
    assert by_label["findings"] == []
    with pytest.raises(ValueError, match="no workingstep"):
        doc.simulate(resolution=1.0, until="#999")
    for bad in (0.0, -1.0, float("nan"), 1000.0):
        with pytest.raises(ValueError, match="resolution"):
            doc.simulate(resolution=bad)
    with pytest.raises(ValueError, match="no project"):
        varnholt.open(NO_PROJECT).simulate()
    doc.close()
    with pytest.raises(varnholt.ClosedError):
        doc.simulate()


def test_stock_mesh_is_the_stock_left(tmp_path):
    doc = varnholt.open(face_job(tmp_path, "-3.0"))
    with pytest.raises(ValueError, match="simulate"):
        doc.stock_mesh()
    result = doc.simulate(resolution=0.5)
    vertices, triangles = doc.stock_mesh()
    assert vertices.dtype == np.float64 and vertices.ndim == 2 and vertices.shape[1] == 3
    assert np.issubdtype(triangles.dtype, np.integer) and triangles.ndim == 2 and triangles.shape[1] == 3
    assert triangles.min() >= 0 and triangles.max() < len(vertices)
    # Within the 40 x 30 x 10 block (and a cell of the mesher's band).
    assert (vertices.min(axis=0) > -0.6).all() and (vertices.max(axis=0) < [40.6, 30.6, 10.6]).all()
    # Closed: every edge in two triangles, once each way; turned outwards: a positive volume
    # near the stock's volume after the program.
    edges = np.concatenate([triangles[:, [0, 1]], triangles[:, [1, 2]], triangles[:, [2, 0]]])
    forward = {tuple(e) for e in edges.tolist()}
    assert len(forward) == len(edges)
    assert all((b, a) in forward for a, b in forward)
    a, b, c = (vertices[triangles[:, k]] for k in range(3))
    volume = np.einsum("ij,ij->i", a, np.cross(b, c)).sum() / 6
    assert volume == pytest.approx(result["stock"]["volume_after"], rel=0.02)
    # The gouge is in the mesh: below the face's floor (z 9) where the third pass ends.
    near = (np.abs(vertices[:, 0] - 39) < 1) & (np.abs(vertices[:, 1] - 19) < 1)
    assert vertices[near, 2].min() < 8.0
