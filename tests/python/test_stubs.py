"""The type stubs against the running module: the same classes, members, parameter names and
defaults, so that the two cannot drift apart."""

import ast
import inspect
import pathlib

import pytest

import _vormek
import vormek
import vormek.batch
from vormek import _batch

STUB = pathlib.Path(vormek.__file__).with_name("_vormek.pyi")
BATCH_STUB = STUB.with_name("_batch.pyi")
# dunders the stubs spell out for type checkers (equality, hashing, composition), not members to compare
TYPING_ONLY = {"__init__", "__eq__", "__ne__", "__hash__", "__mul__"}
CLASS_METHOD = type(vars(dict)["fromkeys"])  # how a C class method sits in its type's dict


def _stub_classes(stub=STUB):
    tree = ast.parse(stub.read_text())
    return {node.name: node for node in tree.body if isinstance(node, ast.ClassDef)}


def _stub_members(node):
    """name -> ("property" | "method" | "classmethod", its FunctionDef)."""
    members = {}
    for item in node.body:
        if isinstance(item, ast.FunctionDef) and item.name not in TYPING_ONLY and (
                not item.name.startswith("_") or item.name in ("__enter__", "__exit__")):
            decorators = {d.id for d in item.decorator_list if isinstance(d, ast.Name)}
            kind = "property" if "property" in decorators else "classmethod" if "classmethod" in decorators else "method"
            members[item.name] = (kind, item)
    return members


def _runtime_members(cls):
    members = {}
    for name, value in vars(cls).items():
        if name.startswith("_") and name not in ("__enter__", "__exit__"):
            continue
        kind = ("property" if inspect.isdatadescriptor(value) else
                "classmethod" if isinstance(value, CLASS_METHOD) else "method")
        members[name] = kind
    return members


def _stub_parameters(function):
    """(name, default) of every parameter after self or cls, keyword-only ones included; default
    `...` is Ellipsis."""
    args = function.args
    names = [a.arg for a in args.args][1:]
    defaults = [None] * (len(names) - len(args.defaults)) + [ast.literal_eval(d) for d in args.defaults]
    missing = object()
    keyword_only = [(a.arg, missing if d is None else ast.literal_eval(d))
                    for a, d in zip(args.kwonlyargs, args.kw_defaults)]
    return [(n, d if i >= len(names) - len(args.defaults) else missing)
            for i, (n, d) in enumerate(zip(names, defaults))] + keyword_only, missing


def _runtime_parameters(callable_, missing):
    parameters = list(inspect.signature(callable_).parameters.values())
    if parameters and parameters[0].kind is inspect.Parameter.POSITIONAL_ONLY:
        parameters = parameters[1:]  # $self / $cls
    return [(p.name, missing if p.default is inspect.Parameter.empty else p.default) for p in parameters]


def test_the_stubs_name_every_exported_class():
    assert set(_stub_classes()) == set(_vormek.__all__)
    assert vormek.__all__ == _vormek.__all__
    for name in _vormek.__all__:
        assert getattr(vormek, name) is getattr(_vormek, name)
    assert set(_stub_classes(BATCH_STUB)) == set(_batch.__all__) == set(vormek.batch.__all__)


@pytest.mark.parametrize("module, stub, name",
                         [(_vormek, STUB, n) for n in _vormek.__all__ if not n.endswith("Error")] +
                         [(_batch, BATCH_STUB, n) for n in _batch.__all__])
def test_members_and_signatures_match_the_runtime(module, stub, name):
    cls, node = getattr(module, name), _stub_classes(stub)[name]
    stub = _stub_members(node)
    assert {member: kind for member, (kind, _) in stub.items()} == _runtime_members(cls)

    init = next(item for item in node.body if isinstance(item, ast.FunctionDef) and item.name == "__init__")
    expected, missing = _stub_parameters(init)
    assert _runtime_parameters(cls, missing) == expected
    for member, (kind, function) in stub.items():
        if kind != "property":
            expected, missing = _stub_parameters(function)
            assert _runtime_parameters(getattr(cls, member), missing) == expected, member


def test_exception_classes_keep_their_bases():
    classes = _stub_classes()
    for name in ("VormekError", "ModelError", "SolverError", "PanicError"):
        (base,) = classes[name].bases
        assert getattr(_vormek, name).__bases__ == (getattr(_vormek, base.id, None) or RuntimeError,)
