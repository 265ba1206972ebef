"""Writes the CELSinkBase section of ComBridge.pyi from the table of CQGCEL's events,
src/corvane/gateways/cqg/wrapper/combridge/cel_sink_events.def, which the C++ builds the
sink base from. Run it after changing the table: `python tools/sink_stub.py`. The
bridge's tests fail while the stub is not what this writes.
"""
import pathlib
import re

ROOT = pathlib.Path(__file__).resolve().parents[1]
WRAPPER = ROOT / "src" / "corvane" / "gateways" / "cqg" / "wrapper"
TABLE = WRAPPER / "combridge" / "cel_sink_events.def"
STUB = WRAPPER / "ComBridge.pyi"

# The section's bounds in the stub: the class line, and the first line after its handlers.
SECTION_START = "class CELSinkBase:\n"
SECTION_END = "\nclass SinkInternal(CELSinkBase):\n"
DOCSTRING = '    """Every handler accepts its CQGCEL event and does nothing."""\n'

_ROW = re.compile(r"^CEL_SINK_EVENT(\d)\((.*)\)$")
_NAME = re.compile(r'^"([A-Za-z_][A-Za-z0-9_]*)"$')


def read_events(table=TABLE):
    """The table's rows as (handler name, [parameter names]), in order. A row that is not
    CEL_SINK_EVENT<n>("name", "param"...) with n parameters raises ValueError."""
    events = []
    for number, line in enumerate(table.read_text().splitlines(), 1):
        if not line.strip() or line.startswith("//"):
            continue
        row = _ROW.match(line)
        names = [_NAME.match(part.strip()) for part in row.group(2).split(",")] if row else []
        if not row or not all(names) or len(names) != int(row.group(1)) + 1:
            raise ValueError(f"{table.name}:{number}: not an event row: {line!r}")
        name, *params = (found.group(1) for found in names)
        events.append((name, params))
    return events


def section(events):
    """The stub's CELSinkBase class for `events`."""
    lines = [SECTION_START, DOCSTRING]
    for name, params in events:
        arguments = "".join(f", {param}: Any" for param in params)
        lines.append(f"    def {name}(self{arguments}) -> None: ...\n")
    return "".join(lines)


def with_section(stub_text, events):
    """`stub_text` with its CELSinkBase section replaced by the one written for `events`."""
    start = stub_text.index(SECTION_START)
    end = stub_text.index(SECTION_END, start)
    return stub_text[:start] + section(events) + stub_text[end:]


def main():
    STUB.write_text(with_section(STUB.read_text(), read_events()))


if __name__ == "__main__":
    main()
