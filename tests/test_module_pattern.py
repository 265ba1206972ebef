"""The system modules written the one way docs/architecture.md describes, as far as the
sources show it: a module file holding the module's table, a scope, and Python reached only
through pyglue's owned-object helpers and raisers.

An accessor (`obj.attr("x")`, `nb::setattr(obj, name, accessor)`) evaluated inside a call
ends the process when its look-up fails, so none may come back into these folders."""
import re
from pathlib import Path

import pytest

SRC = Path(__file__).resolve().parents[1] / "src"

# (module's name, its source folder) of every system module. A module's files are named after
# it in lower case: `ComBridge` is laid out in `combridge_module.cpp` and `combridge_scope.hpp`.
MODULES = [
    ("security", "corvane/core"),
    ("ComBridge", "corvane/gateways/cqg/wrapper/combridge"),
    ("gatelink", "corvane/gateways/cqg/wrapper/gatelink"),
    ("bot", "corvane/plugins/telegram"),
    ("db", "corvane/plugins/sqlite3"),
]

FORBIDDEN = {
    "an unevaluated attribute accessor": re.compile(r"\.attr\("),
    "nb::setattr instead of pyglue::write": re.compile(r"\bnb::setattr\("),
    "an error raised past pyglue/errors.hpp": re.compile(
        r"\bPyErr_(SetString|SetObject|SetNone|Format)\(|\bnb::raise(_from)?\("
    ),
}


def sources(folder):
    yield from sorted((SRC / folder).glob("*.[ch]pp"))


def code_of(path):
    """The file's text without its comments, so a comment may still name what it avoids."""
    text = path.read_text()
    text = re.sub(r"/\*.*?\*/", "", text, flags=re.S)
    return re.sub(r"//[^\n]*", "", text)


@pytest.mark.parametrize("module, folder", MODULES)
def test_module_file_holds_the_entry_and_a_scope_holds_the_state(module, folder):
    entries = [
        (p.name, entry)
        for p in sources(folder)
        for entry in re.findall(r"\bPYGLUE_MODULE\((\w+),", code_of(p))
    ]
    assert entries == [(f"{module.lower()}_module.cpp", module)]
    scope = SRC / folder / f"{module.lower()}_scope.hpp"
    assert re.search(r"\b(struct|class) Scope\b", code_of(scope))


@pytest.mark.parametrize("module, folder", MODULES)
def test_the_module_table_names_functions_and_holds_no_bodies(module, folder):
    table = code_of(SRC / folder / f"{module.lower()}_module.cpp")
    assert not re.search(r"\[[^\]\n]*\]\s*\(", table), "a lambda in the module's table"


@pytest.mark.parametrize("module, folder", MODULES)
def test_python_is_reached_only_through_pyglue(module, folder):
    found = []
    for path in sources(folder):
        for number, line in enumerate(code_of(path).splitlines(), 1):
            for what, pattern in FORBIDDEN.items():
                if pattern.search(line):
                    found.append(f"{path.relative_to(SRC)}:{number}: {what}: {line.strip()}")
    assert found == []
