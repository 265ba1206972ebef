import dataclasses
import importlib
import sys

import pytest
from hypothesis import given, strategies as st

from corvane.core import security
from corvane.core.constants import Exchange
from corvane.core.security import Commodity, Currency, Futures, Security, Stock

KINDS = [Stock, Currency, Commodity, Futures]


def test_module_is_compiled_extension():
    assert security.__file__.endswith((".so", ".pyd"))
    assert security.dataclass is dataclasses.dataclass
    assert security.Exchange is Exchange


@pytest.mark.parametrize(
    "kind, lot_size, exchange, doc",
    [
        (Stock, 1, Exchange.SEHK, "Cash equity"),
        (Currency, 1000, Exchange.IDEALPRO, "Foreign exchange"),
        (Commodity, 1000, Exchange.IDEALPRO, "Commodity"),
        (Futures, 1000, Exchange.SMART, "Futures"),
    ],
)
def test_kind_defaults(kind, lot_size, exchange, doc):
    s = kind("X", "N")
    assert (s.lot_size, s.exchange, s.expiry_date, s.quote_currency) == (lot_size, exchange, None, "")
    assert kind.__doc__ == doc
    assert issubclass(kind, Security)
    assert [f.name for f in dataclasses.fields(kind)] == [
        "code", "security_name", "lot_size", "exchange", "expiry_date", "quote_currency"]


def test_security_defaults_and_construction():
    s = Security("X", "N")
    assert (s.lot_size, s.exchange, s.expiry_date, s.quote_currency) == (None, None, None, "")
    assert Security.__doc__ == "Base class for different asset types"
    # by position in field order, or by name
    assert Stock("X", "N", 5, Exchange.CME, "2026-12", "USD") == Stock(
        quote_currency="USD", expiry_date="2026-12", exchange=Exchange.CME, lot_size=5,
        security_name="N", code="X")
    with pytest.raises(TypeError):
        Stock("X")
    with pytest.raises(TypeError):
        Security(security_name="N")
    # no field is validated against its declared type
    assert Stock(1, None, "lots").lot_size == "lots"


def test_text_form():
    assert repr(Stock("X", "N")) == (
        "Stock(code='X', security_name='N', lot_size=1, exchange=<Exchange.SEHK: 'SEHK'>, "
        "expiry_date=None, quote_currency='')")
    assert repr(Security("X", "N")).startswith("Security(code='X', security_name='N', lot_size=None")


class TestKindRule:
    def test_equal_fields_equal_and_hash_alike(self):
        assert Stock("X", "N") == Stock("X", "N")
        assert hash(Stock("X", "N")) == hash(Stock("X", "N"))
        assert hash(Stock("X", "N")) == hash(("X", "N", 1, Exchange.SEHK, None, ""))

    @pytest.mark.parametrize("change", [
        {"lot_size": 100}, {"exchange": Exchange.SMART}, {"expiry_date": "2026"},
        {"quote_currency": "HKD"}, {"code": "Y"}, {"security_name": "M"}])
    def test_any_field_difference_is_unequal(self, change):
        changed = Stock(**{"code": "X", "security_name": "N", **change})
        assert Stock("X", "N") != changed
        assert not (Stock("X", "N") == changed)

    def test_different_kinds_unequal_even_when_fields_agree(self):
        assert Stock("X", "N", exchange=Exchange.SMART, lot_size=1000) != Futures("X", "N")
        assert Futures("X", "N") != Stock("X", "N", exchange=Exchange.SMART, lot_size=1000)
        assert Currency("X", "N") != Commodity("X", "N")

    def test_kind_versus_non_security(self):
        assert Stock("X", "N") != "X"
        assert Stock("X", "N") != None  # noqa: E711
        assert (Stock("X", "N") == 1) is False


class TestBaseRule:
    def test_plain_equals_kind_in_both_orders(self):
        plain = Security("X", "N", exchange=Exchange.SEHK)
        for other in (Stock("X", "N"), Stock("X", "N", lot_size=100, quote_currency="HKD")):
            assert plain == other and other == plain
            assert not (plain != other) and not (other != plain)

    def test_code_name_and_exchange_value_decide(self):
        plain = Security("X", "N", exchange=Exchange.SEHK, lot_size=7, expiry_date="E")
        assert plain == Security("X", "N", exchange=Exchange.SEHK)
        assert plain != Security("Y", "N", exchange=Exchange.SEHK)
        assert plain != Security("X", "M", exchange=Exchange.SEHK)
        assert plain != Security("X", "N", exchange=Exchange.SMART)
        assert plain != Futures("X", "N")

    def test_exchange_compared_by_value(self):
        class Venue:
            value = "SEHK"

        assert Security("X", "N", exchange=Exchange.SEHK) == Security("X", "N", exchange=Venue())

    def test_hash_is_text_hash_name_code_value(self):
        s = Security("X", "N", exchange=Exchange.SMART)
        assert hash(s) == hash("N|X|SMART")
        assert hash(Security(5, 6, exchange=Exchange.CME)) == hash("6|5|CME")

    def test_missing_exchange(self):
        with pytest.raises(AttributeError):
            hash(Security("X", "N"))
        with pytest.raises(AttributeError):
            Security("X", "N") == Security("X", "N")  # noqa: B015
        # the comparison stops before the exchange when the code differs
        assert Security("X", "N") != Security("Y", "N")

    def test_comparison_with_foreign_object_is_attribute_error(self):
        with pytest.raises(AttributeError):
            Security("X", "N", exchange=Exchange.SEHK) == "X"  # noqa: B015
        with pytest.raises(AttributeError):
            "X" == Security("X", "N", exchange=Exchange.SEHK)  # noqa: B015
        with pytest.raises(AttributeError):
            Security("X", "N", exchange=Exchange.SEHK) == None  # noqa: B015,E711

    def test_plain_and_kind_do_not_share_hashed_slots(self):
        plain = Security("X", "N", exchange=Exchange.SEHK)
        stock = Stock("X", "N")
        assert plain == stock
        assert hash(plain) != hash(stock)
        assert stock not in {plain: 1}
        assert plain not in {stock}


@given(code=st.text(max_size=8), name=st.text(max_size=8),
       ex1=st.sampled_from(list(Exchange)), ex2=st.sampled_from(list(Exchange)),
       kind=st.sampled_from(KINDS), lot=st.integers())
def test_base_rule_is_symmetric_and_consistent_with_hash(code, name, ex1, ex2, kind, lot):
    a = Security(code, name, exchange=ex1)
    b = Security(code, name, exchange=ex2, lot_size=lot)
    k = kind(code, name, lot, ex2)
    assert (a == b) == (b == a) == (ex1 == ex2)
    assert (a == k) == (k == a) == (ex1 == ex2)
    if a == b:
        assert hash(a) == hash(b)


class TestFrozen:
    @pytest.mark.parametrize("cls", [Security] + KINDS)
    def test_assign_and_delete_fail_and_leave_value(self, cls):
        s = cls("X", "N", 3)
        with pytest.raises(dataclasses.FrozenInstanceError, match="lot_size"):
            s.lot_size = 10
        with pytest.raises(dataclasses.FrozenInstanceError, match="code"):
            del s.code
        assert (s.code, s.lot_size) == ("X", 3)

    def test_post_init_on_kinds_only(self, monkeypatch):
        assert not hasattr(Security, "__post_init__")
        for kind in KINDS:
            assert kind("X", "N").__post_init__() is None
        calls = []
        monkeypatch.setattr(Stock, "__post_init__", lambda self: calls.append(self.code))
        Stock("X", "N")
        assert calls == ["X"]


class TestOrdinaryClasses:
    def test_python_subclass_of_a_kind(self):
        @dataclasses.dataclass(frozen=True)
        class Index(Futures):
            multiplier: int = 50

        idx = Index("X", "N")
        assert (idx.lot_size, idx.exchange, idx.multiplier) == (1000, Exchange.SMART, 50)
        assert idx == Security("X", "N", exchange=Exchange.SMART)
        assert idx != Futures("X", "N")

    def test_mix_with_a_python_class(self):
        class Described:
            def describe(self):
                return f"{self.code}@{self.exchange.value}"

        class Mixed(Described, Stock):
            pass

        m = Mixed("X", "N")
        assert m.describe() == "X@SEHK"
        assert m == Security("X", "N", exchange=Exchange.SEHK)


def test_reimport_runs_initialisation_afresh():
    first = sys.modules.pop("corvane.core.security")
    try:
        second = importlib.import_module("corvane.core.security")
        assert second is not first
        assert second.Stock is not first.Stock
        assert second.Stock("X", "N") == second.Stock("X", "N")
        assert first.Stock("X", "N") != second.Stock("X", "N")  # different kinds now
        assert first.Security("X", "N", exchange=Exchange.SEHK) == second.Stock("X", "N")
    finally:
        sys.modules["corvane.core.security"] = first


def test_failed_import_makes_the_module_fail_to_load(monkeypatch):
    monkeypatch.setitem(sys.modules, "corvane.core.constants", None)
    monkeypatch.delitem(sys.modules, "corvane.core.security")
    with pytest.raises(ModuleNotFoundError, match="corvane.core.constants"):
        importlib.import_module("corvane.core.security")
    monkeypatch.delitem(sys.modules, "corvane.core.security", raising=False)


class TestKindHashWithoutPythonFrames:
    """A kind's hash is computed natively; it must stay the record type's own hash."""

    @given(kind=st.sampled_from(KINDS), code=st.text(max_size=6), lot=st.integers(),
           exchange=st.sampled_from([*Exchange, None, "SMART", 3.5]),
           expiry=st.one_of(st.none(), st.text(max_size=4)))
    def test_same_as_the_record_types_hash(self, kind, code, lot, exchange, expiry):
        s = kind(code, "N", lot, exchange, expiry, "USD")
        assert hash(s) == hash((code, "N", lot, exchange, expiry, "USD"))
        assert hash(s) == kind.__dict__["__hash__"](s)

    def test_fields_hashed_by_their_own_rules(self):
        import enum

        class Venue(enum.Enum):  # an enumeration with its own hash keeps it
            A = "a"

            def __hash__(self):
                return 42

        assert hash(Futures("X", "N", exchange=Venue.A)) == hash(("X", "N", 1000, 42, None, ""))
        with pytest.raises(TypeError, match="unhashable"):
            hash(Futures("X", "N", exchange=["CME"]))

    def test_values_built_to_tell_the_native_hash_from_the_record_types(self):
        # Values a short cut in the native hash could get wrong (enumeration members of
        # every kind, a renamed one, Enum's own hash replaced): both hashes must agree.
        import enum

        class Plain(enum.Enum):
            A = "a"

        class Number(enum.IntEnum):  # int's hash comes first in its order of bases
            A = 5

        class Text(str, enum.Enum):
            A = "a"

        class Permission(enum.Flag):
            R, W = 1, 2

        class Renamed(enum.Enum):
            A = "a"

        Renamed.A._name_ = "B"  # what Enum.__hash__ reads is the member's _name_ now

        class Odd(str):  # equal to its text, hashed otherwise
            def __hash__(self):
                return 11

        class Dated(Futures):  # a field read otherwise than it is stored
            def __getattribute__(self, name):
                return "2027-03" if name == "expiry_date" else super().__getattribute__(name)

        values = [Plain.A, Number.A, Text.A, Permission.R | Permission.W, Renamed.A,
                  Odd("CME"), 2**70, -1, True, (1, "x"), frozenset({1})]
        for exchange in values:
            for record in (Futures("X", "N", exchange=exchange),
                           Dated("X", "N", exchange=exchange)):
                assert hash(record) == Futures.__dict__["__hash__"](record), exchange
        original = enum.Enum.__hash__
        try:
            enum.Enum.__hash__ = lambda self: 3  # every member's hash replaced at its root
            record = Futures("X", "N", exchange=Plain.A)
            assert hash(record) == Futures.__dict__["__hash__"](record) == hash(
                ("X", "N", 1000, 3, None, ""))
        finally:
            enum.Enum.__hash__ = original

    def test_failures_are_the_record_types(self):
        class Failing:
            def __hash__(self):
                raise LookupError("no hash today")

        class Unreadable(Futures):
            def __getattribute__(self, name):
                if name == "code":
                    raise AttributeError("code withheld")
                return super().__getattribute__(name)

        for record in (Futures("X", "N", exchange=Failing()), Unreadable("X", "N")):
            with pytest.raises(Exception) as native:
                hash(record)
            with pytest.raises(Exception) as generated:
                Futures.__dict__["__hash__"](record)
            assert (type(native.value), str(native.value)) == (
                type(generated.value), str(generated.value))

    def test_class_and_subclass_hashes_take_over(self):
        class Pinned(Futures):
            def __hash__(self):
                return 7

        class Plain(Futures):
            pass

        assert hash(Pinned("X", "N")) == 7
        assert hash(Plain("X", "N")) == hash(Futures("X", "N"))
        s = Stock("X", "N")
        own = Stock.__dict__["__hash__"]
        try:
            Stock.__hash__ = lambda self: 5
            assert hash(s) == 5
        finally:
            Stock.__hash__ = own
        assert hash(s) == hash(("X", "N", 1, Exchange.SEHK, None, ""))
