"""Every CQGCEL member the gateway code names is spelt exactly as CQGCEL declares it. Once the
type library is loaded pywin32 looks members up by exact name, so a read in another case fails
there (inside an event handler: silently, one traceback per event) while a case-blind wrapper
answers it. The declared names are the emulator's own list: the one its objects are built
from."""
import pathlib
import re
import sys

import corvane_emulator as emu

GATEWAY = pathlib.Path(__file__).resolve().parents[2] / "src" / "corvane" / "gateways" / "cqg"

# Names of the framework's own objects that differ from a CQGCEL member only in case, with the
# file that uses them: each was read at the place it is used (an Order's price, a Bar's open, a
# handler's parameter name, the bridge's thread name, the events class's close()). Nothing else
# may come this close.
FRAMEWORK_NAMES = {
    ("gateway.py", "code"), ("gateway.py", "orders"), ("gateway.py", "close"),
    ("gateway.py", "order"),
    ("gateway.py", "positions"),
    ("wrapper/combridge/cel_sink_events.def", "symbol"),
    ("wrapper/combridge/cel_sink_events.def", "gwAccountId"),
    ("wrapper/combridge/cel_sink_events.def", "guid"),
    ("wrapper/combridge/com_bridge.cpp", "name"), ("wrapper/combridge/cel_thread.cpp", "close"),
    ("wrapper/gatelink/account.cpp", "positions"), ("wrapper/gatelink/account.cpp", "quantity"),
    ("wrapper/gatelink/gatelink_module.cpp", "symbol"),
    ("wrapper/gatelink/gatelink_module.cpp", "order"),
    ("wrapper/gatelink/gatelink_module.cpp", "status"),
    ("wrapper/gatelink/orders.cpp", "LIMIT"), ("wrapper/gatelink/orders.cpp", "quantity"),
    ("wrapper/gatelink/orders.cpp", "price"), ("wrapper/gatelink/orders.cpp", "status"),
    ("wrapper/gatelink/session.cpp", "positions"),
    ("wrapper/gatelink/timed_bars.cpp", "open"), ("wrapper/gatelink/timed_bars.cpp", "high"),
    ("wrapper/gatelink/timed_bars.cpp", "low"), ("wrapper/gatelink/timed_bars.cpp", "close"),
    ("wrapper/gatelink/timed_bars.cpp", "volume"),
    ("wrapper/gatelink.pyi", "balance"), ("wrapper/gatelink.pyi", "order"),
}

NAME = r"[A-Za-z_][A-Za-z0-9_]*"


def names_used(path):
    """The identifiers a source file names: string literals (how the C++ reads, writes and calls
    members) and, in Python, attribute accesses."""
    text = path.read_text()
    names = re.findall(r'"(%s)"' % NAME, text)
    if path.suffix in (".py", ".pyi"):
        names += re.findall(r"\.(%s)" % NAME, text) + re.findall(r"'(%s)'" % NAME, text)
    return names


def near_misses(declared):
    by_folded = {name.lower(): name for name in declared}
    found = set()
    for path in sorted(GATEWAY.rglob("*")):
        if path.suffix not in (".cpp", ".hpp", ".def", ".py", ".pyi"):
            continue
        where = path.relative_to(GATEWAY).as_posix()
        for name in names_used(path):
            member = by_folded.get(name.lower())
            if member is not None and name != member and (where, name) not in FRAMEWORK_NAMES:
                found.add((where, name, member))
    return found


def test_the_declared_names_tell_every_member_apart_by_more_than_case():
    declared = emu.declared_members()
    assert {"Price", "FullName", "GWAccountID", "CreateOrder", "_NewEnum"} <= set(declared)
    folded = [name.lower() for name in declared]
    assert len(set(folded)) == len(folded) == len(set(declared))


def test_the_gateway_spells_every_member_as_declared():
    assert near_misses(emu.declared_members()) == set()


def test_a_read_in_another_case_would_be_found(tmp_path, monkeypatch):
    # The check itself, on a copy of the quote handler that asks for `price`.
    source = (GATEWAY / "wrapper" / "gatelink" / "quotes.cpp").read_text()
    assert 'kPrice("Price")' in source
    copy = tmp_path / "wrapper" / "gatelink"
    copy.mkdir(parents=True)
    (copy / "quotes.cpp").write_text(source.replace('kPrice("Price")', 'kPrice("price")'))
    monkeypatch.setattr(sys.modules[__name__], "GATEWAY", tmp_path)
    assert near_misses(emu.declared_members()) == {
        ("wrapper/gatelink/quotes.cpp", "price", "Price")}
