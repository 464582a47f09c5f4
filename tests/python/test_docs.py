"""Every public class, method and property of both extension modules explains itself beyond its
signature, and its stub carries the same text, so help() and an IDE read alike."""

import ast
import inspect
import pathlib

import _vormek
import vormek
from vormek import _batch

STUBS = {_vormek: pathlib.Path(vormek.__file__).with_name("_vormek.pyi"),
         _batch: pathlib.Path(vormek.__file__).with_name("_batch.pyi")}
# slots whose text is CPython's own ("Return self==value.")
INHERITED = {"__init__", "__eq__", "__ne__", "__hash__", "__mul__"}


def test_every_public_member_has_a_docstring_and_its_stub_the_same():
    checked = 0
    for module, stub in STUBS.items():
        classes = {node.name: node for node in ast.parse(stub.read_text()).body if isinstance(node, ast.ClassDef)}
        for name in module.__all__:
            cls, node = getattr(module, name), classes[name]
            assert cls.__doc__ and " ".join(cls.__doc__.split()) == " ".join(ast.get_docstring(node).split()), name
            members = {item.name: item for item in node.body
                       if isinstance(item, ast.FunctionDef) and item.name not in INHERITED
                       and (not item.name.startswith("_") or item.name in ("__enter__", "__exit__"))}
            runtime = {m for m in vars(cls) if not m.startswith("_") or m in ("__enter__", "__exit__")}
            assert set(members) == runtime, name
            for member, item in members.items():
                text = inspect.getattr_static(cls, member).__doc__
                # a text signature alone leaves __doc__ None; the explanation follows it
                assert text and text.strip(), f"{name}.{member}"
                # the stub may wrap the lines differently
                assert " ".join(ast.get_docstring(item).split()) == " ".join(text.split()), f"{name}.{member}"
                checked += 1
    assert checked > 60
