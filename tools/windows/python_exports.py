"""The names python311.dll exports, as CPython 3.11's headers declare them, and the names a
built module imports.

python311.dll exports exactly what its headers mark PyAPI_FUNC / PyAPI_DATA (the core is
built with those marks as __declspec(dllexport)); an extension module may import only those.
The headers, preprocessed for 64-bit Windows with our pyconfig.h, carry every such name as a
declaration with __declspec(dllimport): functions as `dllimport T name(...)`, data as
`extern dllimport T name`. The list becomes a .def file, from which dlltool makes the import
library the modules link against.

What the list cannot know: a name declared in the headers but missing from the DLL (a stale
declaration) passes here and fails only when Windows loads the module; names the DLL exports
that no public header declares (the internal headers') are refused here although the DLL
has them, which is what we want: a module must not use them.
"""
from __future__ import annotations

import re

# mingw spells __declspec(dllimport) as a GCC attribute.
DLLIMPORT = re.compile(r"__declspec\s*\(\s*dllimport\s*\)|__attribute__\s*\(\(\s*dllimport\s*\)\)")
IDENTIFIER = re.compile(r"[A-Za-z_]\w*")
FUNCTION_POINTER_NAME = re.compile(r"^[^(]*\(\s*\*\s*([A-Za-z_]\w*)\s*\)")
KEYWORDS = {"const", "volatile", "struct", "unsigned", "signed", "char", "int", "long",
            "short", "void", "double", "float", "extern"}


def strip_attributes(text: str) -> str:
    """The text without any `__attribute__((...))`, nested parentheses included."""
    out, index = [], 0
    while True:
        start = text.find("__attribute__", index)
        if start < 0:
            out.append(text[index:])
            return "".join(out)
        out.append(text[index:start])
        opening = text.find("(", start)
        depth, position = 0, opening
        while position < len(text):
            depth += {"(": 1, ")": -1}.get(text[position], 0)
            position += 1
            if depth == 0:
                break
        index = position


LINE_MARKER = re.compile(r'^# \d+ "([^"]*)"')


def lines_from(preprocessed: str, header_folder: str) -> str:
    """The lines of preprocessor output (with its line markers) that came from the headers
    in header_folder: the C runtime's headers declare dllimport names of their own."""
    kept, inside = [], False
    for line in preprocessed.splitlines():
        marker = LINE_MARKER.match(line)
        if marker:
            inside = marker.group(1).startswith(header_folder)
        elif inside:
            kept.append(line)
    return "\n".join(kept)


def declared_exports(preprocessed: str) -> dict[str, bool]:
    """Every name declared for import from python311.dll in preprocessed header text, mapped
    to whether it is data (True) or a function (False)."""
    names: dict[str, bool] = {}
    text = re.sub(r"\s+", " ", preprocessed)
    # A declaration never holds a body, so it lies between two of ; { }.
    for statement in re.split(r"[;{}]", text):
        marker = DLLIMPORT.search(statement)
        if not marker:
            continue
        declaration = strip_attributes(DLLIMPORT.sub(" ", statement[marker.end():])).strip()
        pointer = FUNCTION_POINTER_NAME.search(declaration)
        if pointer:
            # `extern T (*name)(...)`: data that points to a function (PyOS_InputHook).
            names[pointer.group(1)] = True
            continue
        # A parameter list makes it a function, even where the headers mark one as data
        # (Py_GETENV); otherwise `extern T name` or `extern T name[N]` is data.
        is_function = "(" in declaration
        head = declaration.split("(" if is_function else "[", 1)[0]
        identifiers = [word for word in IDENTIFIER.findall(head) if word not in KEYWORDS]
        if not identifiers:
            raise ValueError(f"cannot read the name declared in: {statement.strip()}")
        names[identifiers[-1]] = not is_function
    return names


def def_file(names: dict[str, bool], dll: str = "python311.dll") -> str:
    lines = [f"LIBRARY {dll}", "EXPORTS"]
    lines += [f"    {name}{' DATA' if is_data else ''}" for name, is_data in sorted(names.items())]
    return "\n".join(lines) + "\n"


def pe_imports(objdump_private_headers: str) -> dict[str, set[str]]:
    """The names a PE file imports, by DLL (lower-case), from `objdump -p`."""
    imports: dict[str, set[str]] = {}
    current = None
    for line in objdump_private_headers.splitlines():
        dll = re.match(r"\s*DLL Name:\s*(\S+)", line)
        if dll:
            current = imports.setdefault(dll.group(1).lower(), set())
            continue
        entry = re.match(r"\s*[0-9a-f]+\s+\d+\s+(\S+)\s*$", line)
        if current is not None and entry:
            current.add(entry.group(1))
        elif not line.strip() or line.startswith("The "):
            current = None if line.startswith("The ") else current
    return imports


def pe_exports(objdump_private_headers: str) -> set[str]:
    """The names a PE file exports, from `objdump -p`."""
    return set(re.findall(r"^\s*\[\s*\d+\]\s+(\S+)\s*$", objdump_private_headers, re.MULTILINE))
