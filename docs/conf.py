# The TAVOX documentation: Markdown pages (MyST), the furo theme, the Python
# reference from the module's numpydoc docstrings. scripts/docs.sh builds it
# from a staging copy that also holds the generated pages and pictures.
import os

project = "TAVOX"
author = "The TAVOX developers"
copyright = "the TAVOX developers"
release = os.environ.get("TAVOX_VERSION", "")
version = release

extensions = [
    "myst_parser",
    "sphinx.ext.autodoc",
    "numpydoc",
]
source_suffix = {".md": "markdown"}
root_doc = "index"
exclude_patterns = ["_build", "reference/CMakeLists.txt", "CHANGELOG.md", "README.md"]
myst_heading_anchors = 4
myst_enable_extensions = ["deflist"]

# Options keep their two hyphens and quotes stay as typed.
smartquotes = False

html_theme = "furo"
html_title = "TAVOX " + release
html_static_path = []

autodoc_default_options = {"members": True, "undoc-members": False}
autodoc_typehints = "none"
numpydoc_show_class_members = False
numpydoc_validation_checks = set()
suppress_warnings = ["myst.header"]

# Classes of the standard library and numpy that signatures name; without
# network access there is no inventory to link them to.
nitpick_ignore = [("py:class", name) for name in ("os.PathLike", "numpy.ndarray", "numpy.dtype")]


def _keep_plain_docstrings(app, what, name, obj, options, lines):
    """Shows a docstring without numpydoc sections as written (a literal block
    after its first paragraph), so that its layout is kept and not misread."""
    if any(set(line.strip()) == {"-"} for line in lines) or not lines:
        return
    try:
        first_blank = lines.index("")
    except ValueError:
        return
    body = lines[first_blank + 1:]
    if not any(line.strip() for line in body):
        return
    lines[first_blank:] = ["", "::", ""] + ["    " + line for line in body]


def setup(app):
    app.connect("autodoc-process-docstring", _keep_plain_docstrings, priority=400)
