"""The HTML reference: the user guide is README.md itself, the API pages come from the installed
package's docstrings with the types of its stubs (docs/_ext/vormek_api.py)."""

import importlib.metadata
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).parent / "_ext"))

project = "vormek"
author = "the vormek developers"
copyright = "2026, the vormek developers"
release = importlib.metadata.version("vormek")
version = release

extensions = ["myst_parser", "sphinx.ext.autodoc", "sphinx.ext.autosummary", "vormek_api"]
source_suffix = {".rst": "restructuredtext", ".md": "markdown"}
templates_path = ["_templates"]
exclude_patterns = ["_build"]
# README's headings become link targets, so that the guide's table of contents reaches them
myst_heading_anchors = 3

autosummary_generate = True
# members without a docstring are listed too, so that vormek_api.py can flag them
autodoc_default_options = {"undoc-members": True, "special-members": "__enter__, __exit__"}
autodoc_inherit_docstrings = False
autodoc_member_order = "bysource"
python_use_unqualified_type_names = True

# Every reference must resolve, except those to Python's own names (vormek_api.py leaves the
# dotted names of the standard library, NumPy and Dask unlinked).
nitpicky = True
nitpick_ignore_regex = [
    ("py:.*", r"(int|float|str|bool|bytes|object|tuple|list|dict|type|None)"),
    ("py:.*", r"(BaseException|Exception|RuntimeError|ValueError|TypeError|OverflowError)"),
]

html_theme = "alabaster"
html_theme_options = {"page_width": "min(1400px, 96vw)", "sidebar_width": "220px", "body_max_width": "none"}
html_title = f"vormek {release}"
