"""autodoc and the extension modules: the signatures of C methods get the types of the stubs,
their plain-text docstrings are shown as written (the stub's text where the running module
publishes only a signature), and a documented name without a docstring or a public class without
a page is a warning (an error under -W)."""

import ast
import copy
import inspect
import pathlib
import re

from docutils import nodes
from sphinx.util import logging

import _vormek
import vormek
import vormek.batch
from vormek import _batch

logger = logging.getLogger(__name__)

EXTENSIONS = (_vormek, _batch)
STUBS = [pathlib.Path(vormek.__file__).with_name(name) for name in ("_vormek.pyi", "_batch.pyi")]
PUBLIC = [f"vormek.{n}" for n in vormek.__all__] + [f"vormek.batch.{n}" for n in vormek.batch.__all__]
# what reStructuredText would read as markup anywhere in a line, and at the start of a paragraph
# (lists, enumerations, field lists, line blocks, quotes, comments)
INLINE_MARKUP = re.compile(r"([\\`*_|])")
LEADING_MARKUP = re.compile(r"^([-+#:>.(]|\d)")
EXTERNAL = re.compile(r"(builtins|numpy|typing|collections\.abc|os|dask|distributed)\.")


class _Qualify(ast.NodeTransformer):
    """Spells out a stub's private aliases and imported names, so that every type in a
    signature is a full dotted name (numpy.typing.NDArray, not _Array or npt.NDArray)."""

    def __init__(self, tree):
        self.names = {}
        for node in tree.body:
            if isinstance(node, ast.Assign) and isinstance(node.targets[0], ast.Name):
                self.names[node.targets[0].id] = node.value
            elif isinstance(node, ast.ImportFrom):
                # one stub takes the other's classes from its private module; the pages know
                # them by their public name (vormek.Pose)
                module = "vormek" if node.module.startswith("vormek._") else node.module
                for alias in node.names:
                    self.names[alias.asname or alias.name] = ast.parse(f"{module}.{alias.name}", mode="eval").body
            elif isinstance(node, ast.Import):
                for alias in node.names:
                    self.names[alias.asname or alias.name] = ast.parse(alias.name, mode="eval").body

    def visit_Name(self, node):
        if node.id in self.names:
            return self.visit(copy.deepcopy(self.names[node.id]))
        return node


def _stub_signatures():
    """(class name, member name) -> (arguments, return annotation), both as text, for both stubs."""
    signatures = {}
    for stub in STUBS:
        tree = ast.parse(stub.read_text())
        qualify = _Qualify(tree)
        for cls in (node for node in tree.body if isinstance(node, ast.ClassDef)):
            for function in (node for node in cls.body if isinstance(node, ast.FunctionDef)):
                function = qualify.visit(copy.deepcopy(function))
                args = function.args
                # self or cls is implied by the page
                if args.posonlyargs:
                    args.posonlyargs = args.posonlyargs[1:]
                else:
                    args.args = args.args[1:]
                returns = ast.unparse(function.returns) if function.returns is not None else None
                signatures[cls.name, function.name] = (f"({ast.unparse(args)})", returns)
    return signatures


def _from_extension(obj):
    """True for what the extension modules define: their classes, and the methods and properties
    of those (which have no Python source behind them)."""
    if isinstance(obj, type):
        return any(vars(module).get(obj.__name__) is obj for module in EXTENSIONS)
    try:
        inspect.getsourcefile(obj)
    except TypeError:
        return True
    return False


def _signature(app, what, name, obj, options, signature, return_annotation):
    if what not in ("class", "method", "exception") or not _from_extension(obj):
        return None
    *_, owner, member = name.split(".")
    key = (member, "__init__") if what in ("class", "exception") else (owner, member)
    if what == "exception" and key not in app.env.vormek_stubs:
        return None  # exceptions take what any exception takes
    if key not in app.env.vormek_stubs:
        logger.warning("%s is not in the stubs", name, type="vormek", subtype="stub")
        return None
    arguments, returns = app.env.vormek_stubs[key]
    return arguments, None if what == "class" else returns


def _stub_docstrings():
    """(class name, member name, or None for the class itself) -> its stub's docstring, for both
    stubs."""
    texts = {}
    for stub in STUBS:
        for cls in (node for node in ast.parse(stub.read_text()).body if isinstance(node, ast.ClassDef)):
            texts[cls.name, None] = ast.get_docstring(cls)
            for function in (node for node in cls.body if isinstance(node, ast.FunctionDef)):
                texts[cls.name, function.name] = ast.get_docstring(function)
    return texts


def _docstring(app, what, name, obj, options, lines):
    if not any(line.strip() for line in lines) and what != "module" and _from_extension(obj):
        # the classes of _vormek and their first members publish only a text signature at run
        # time; their stubs explain them
        *_, owner, member = name.split(".")
        key = (member, None) if what in ("class", "exception") else (owner, member)
        if text := app.env.vormek_stub_docs.get(key):
            lines[:] = text.splitlines() + [""]
    if not any(line.strip() for line in lines):
        logger.warning("%s has no docstring", name, type="vormek", subtype="docstring")
        return
    if what == "module" or not _from_extension(obj):
        return  # the package's own docstrings are written in reStructuredText
    shown = []
    for line in lines:
        line = INLINE_MARKUP.sub(r"\\\1", line)
        shown.append(LEADING_MARKUP.sub(r"\\\1", line))
    lines[:] = shown


def _external(app, env, node, contnode):
    """Python's, NumPy's and Dask's names stay unlinked (their inventories would have to be
    fetched at build time) and are shown by their last component, as in the stubs."""
    target = node.get("reftarget", "")
    if node.get("refdomain") == "py" and EXTERNAL.match(target) and isinstance(contnode, nodes.Text):
        return nodes.Text(target.rsplit(".", 1)[-1])
    return None


def _every_public_class_has_a_page(app):
    listed = {line.strip() for line in (pathlib.Path(app.srcdir) / "api.rst").read_text().splitlines()}
    for name in PUBLIC:
        if name not in listed:
            logger.warning("%s has no page: add it to docs/api.rst", name, type="vormek", subtype="page")


def _load_stubs(app):
    app.env.vormek_stubs = _stub_signatures()
    app.env.vormek_stub_docs = _stub_docstrings()


def setup(app):
    app.connect("builder-inited", _load_stubs)
    app.connect("builder-inited", _every_public_class_has_a_page)
    app.connect("autodoc-process-signature", _signature)
    app.connect("autodoc-process-docstring", _docstring)
    app.connect("missing-reference", _external)
    return {"parallel_read_safe": True, "parallel_write_safe": True}
