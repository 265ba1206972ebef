"""Checks that the emulator's includes run one way, down its four layers.

    python tools/check_layers.py [emulator folder]

Every C++ file of the emulator sits in one layer folder, and an `#include "..."` may name a
file of its own layer or of a layer listed below for it. An include is resolved as the compiler
resolves it (beside the including file first, then from the emulator's folder); one that names
no emulator file (pyglue's headers, the standard library's) is not the emulator's business.
Within a layer, too, includes run one way: files that include each other round (a header and
its source counting as one) are reported. Prints one line per include against the order, per
C++ file outside the layer folders and per round of files, and exits 1 if there is any.
"""
from __future__ import annotations

import pathlib
import re
import sys

# Each layer and the other layers its files may include.
LAYERS = {
    "market": (),  # plain C++: the market, the order book, the accounts
    "platform": (),  # the emulated COM platform, which knows nothing of CQG's objects
    "cqg": ("platform", "market"),  # the CQGCEL objects
    "world": ("platform", "market", "cqg"),  # the scenario, the clock, the flows, the module
}

SOURCE_SUFFIXES = {".cpp", ".hpp", ".h"}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.MULTILINE)


def layer_of(path: pathlib.Path, root: pathlib.Path) -> str | None:
    relative = path.relative_to(root).parts
    if len(relative) == 2 and relative[0] in LAYERS:
        return relative[0]
    return None


def resolve(name: str, including: pathlib.Path, root: pathlib.Path) -> pathlib.Path | None:
    for base in (including.parent, root):
        candidate = (base / name).resolve()
        if candidate.is_file() and candidate.is_relative_to(root):
            return candidate
    return None


def unit_of(path: pathlib.Path, root: pathlib.Path) -> str:
    """A header and its source are one unit: `cqg/cqgcel` for cqg/cqgcel.hpp and .cpp."""
    return path.relative_to(root).with_suffix("").as_posix()


def rounds(includes: dict[str, set[str]]) -> list[list[str]]:
    """The groups of units that reach one another through their includes."""
    def reached_from(unit):
        seen, waiting = set(), list(includes.get(unit, ()))
        while waiting:
            other = waiting.pop()
            if other not in seen:
                seen.add(other)
                waiting.extend(includes.get(other, ()))
        return seen

    reach = {unit: reached_from(unit) for unit in includes}
    groups = {frozenset({unit} | {other for other in reach[unit] if unit in reach.get(other, ())})
              for unit in includes if unit in reach[unit]}
    return sorted(sorted(group) for group in groups)


def check(root: pathlib.Path) -> list[str]:
    root = root.resolve()
    problems = []
    includes: dict[str, set[str]] = {}
    for path in sorted(root.rglob("*")):
        if path.suffix not in SOURCE_SUFFIXES or not path.is_file():
            continue
        shown = path.relative_to(root)
        layer = layer_of(path, root)
        if layer is None:
            problems.append(f"{shown}: outside the layer folders ({', '.join(LAYERS)})")
            continue
        allowed = {layer, *LAYERS[layer]}
        text = path.read_text(encoding="utf-8")
        for match in INCLUDE.finditer(text):
            target = resolve(match.group(1), path, root)
            if target is None:
                continue
            if unit_of(target, root) != unit_of(path, root):
                includes.setdefault(unit_of(path, root), set()).add(unit_of(target, root))
            target_layer = layer_of(target, root)
            if target_layer not in allowed:
                line = text.count("\n", 0, match.start()) + 1
                problems.append(
                    f"{shown}:{line}: includes {target.relative_to(root)}, but {layer} may "
                    f"include only {', '.join(sorted(allowed))}")
    for group in rounds(includes):
        problems.append(f"{', '.join(group)}: include each other")
    return problems


def main(argv: list[str]) -> int:
    default = pathlib.Path(__file__).resolve().parents[1] / "emulator"
    root = pathlib.Path(argv[1]) if len(argv) > 1 else default
    problems = check(root)
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
