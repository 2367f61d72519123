"""The stubs name what the module has: nothing missing, nothing the module lacks."""
import ast
import os

import varnholt

SOURCE = os.environ.get("VARNHOLT_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))


def stub_names():
    tree = ast.parse(open(os.path.join(SOURCE, "python", "varnholt.pyi"), encoding="utf-8").read())
    top, members = set(), {}
    for node in tree.body:
        if isinstance(node, (ast.ClassDef, ast.FunctionDef)):
            top.add(node.name)
        if isinstance(node, ast.ClassDef):
            members[node.name] = {n.name for n in node.body if isinstance(n, ast.FunctionDef)}
        if isinstance(node, (ast.AnnAssign, ast.Assign)):
            targets = [node.target] if isinstance(node, ast.AnnAssign) else node.targets
            top.update(t.id for t in targets if isinstance(t, ast.Name))
    return top, members


def public(kind):
    return {n for n in vars(kind) if not n.startswith("_")} | (
        {"__getitem__", "__len__", "__iter__"} & set(vars(kind)))


def test_the_stubs_and_the_module_name_the_same():
    top, members = stub_names()
    module = {n for n in vars(varnholt) if not n.startswith("_")}
    assert module <= top, module - top
    for cls in ("Instance", "Document"):
        have = public(getattr(varnholt, cls))
        assert have <= members[cls], (cls, have - members[cls])
        assert {n for n in members[cls] if not n.startswith("_")} <= have, cls
