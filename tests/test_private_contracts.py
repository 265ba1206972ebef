"""The parts of CPython, nanobind, dataclasses and pywin32 that none of them promises to keep
are used in src/pyglue/internals.{hpp,cpp} only, which holds the one interpreter check; a use
anywhere else in the native sources escapes both."""
import pathlib
import re

ROOT = pathlib.Path(__file__).resolve().parents[1]
FENCE = {ROOT / "src" / "pyglue" / "internals.hpp", ROOT / "src" / "pyglue" / "internals.cpp"}

PRIVATE = re.compile(
    r"\b_Py[A-Z]\w*"                      # CPython's private functions and types
    r"|\b(?:tp|ma)_version_tag\b"         # class and dict version tags
    r"|\bPyMemberDescrObject\b"           # a member descriptor's layout
    r"|\b(?:nanobind|nb)::detail::"       # nanobind's internals
    r"|__dataclass_\w+|\b_field_type\b|\b_FIELD_\w+"  # dataclasses' own bookkeeping
    r"|__dicts__"                         # pywin32's list of constants libraries
    r"|\bPY_VERSION_HEX\b")               # the one interpreter check


def native_sources():
    for folder in ("src", "emulator"):
        for path in sorted((ROOT / folder).rglob("*")):
            if path.suffix in {".cpp", ".hpp", ".h"} and path not in FENCE:
                yield path


def code_of(line):
    """The line without its // comment (no source here puts // inside a string literal
    on a line that also uses one of the names above)."""
    return line.split("//", 1)[0]


def test_private_parts_are_used_inside_the_fence_only():
    found = []
    for path in native_sources():
        for number, line in enumerate(path.read_text().splitlines(), 1):
            match = PRIVATE.search(code_of(line))
            if match:
                found.append(f"{path.relative_to(ROOT)}:{number}: {match.group(0)}")
    assert not found, "\n".join(found)

