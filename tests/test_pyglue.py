"""The shared glue, exercised through a tiny test-only module."""
import importlib
import inspect
import json
import subprocess
import sys

import pytest

from corvane._testing import _pyglue_probe as probe


class TestClassesWithNativeMethods:
    def test_methods_bind_self_and_keep_keyword_names(self):
        c = probe.Counter(start=5)
        assert c.add(step=2) == 7
        assert c.count == 7
        assert c.__dict__ == {"count": 7}  # an ordinary instance dictionary
        assert probe.Counter.add(c, 1) == 8  # unbound use, like a Python function
        assert probe.Counter.__doc__ == "Counts calls."
        assert probe.Counter.__module__ == "corvane._testing._pyglue_probe"
        assert probe.Counter.add.__name__ == "add"
        assert probe.Counter.add.__qualname__ == "Counter.add"
        assert list(inspect.signature(probe.Counter.add).parameters) == ["self", "step"]

    def test_wrong_argument_count_is_a_type_error(self):
        with pytest.raises(TypeError):
            probe.Counter().add()
        with pytest.raises(TypeError):
            probe.Counter().add(1, 2)

    def test_python_subclass_overrides_a_native_method(self):
        class Sub(probe.Counter):
            def add(self, step):
                return super().add(step * 10)

        s = Sub(1)
        assert s.add(2) == 21
        assert s.name() == "Sub"  # the native method sees the subclass instance
        assert isinstance(s, probe.Counter)

    def test_mixed_by_multiple_inheritance(self):
        class Greeter:
            def __init__(self):
                self.greeting = "hi"

            def greet(self):
                return f"{self.greeting} {self.count}"

        class Events:  # as a COM binding builds its sink class: (its class, user class)
            pass

        class Both(Events, probe.Counter, Greeter):
            def __init__(self):
                probe.Counter.__init__(self, 3)
                Greeter.__init__(self)

        b = Both()
        assert b.greet() == "hi 3"
        assert b.add(1) == 4
        assert [k.__name__ for k in Both.__mro__] == ["Both", "Events", "Counter", "Greeter", "object"]

    def test_static_function_and_property(self):
        assert probe.Counter.twice(4) == 8
        assert probe.Counter(2).twice(value=5) == 10
        c = probe.Counter(3)
        assert c.doubled == 6
        c.doubled = 10
        assert c.count == 5
        assert isinstance(inspect.getattr_static(probe.Counter, "doubled"), property)


class TestExactTypeCheck:
    @pytest.mark.parametrize("value, got", [("5", "str"), (5.0, "float"), (True, "bool"), (None, "NoneType")])
    def test_message(self, value, got):
        with pytest.raises(TypeError) as err:
            probe.Counter(value)
        assert str(err.value) == f"Argument 'start' has incorrect type (expected int, got {got})"

    def test_subclass_of_the_expected_type_is_refused(self):
        class MyInt(int):
            pass

        with pytest.raises(TypeError, match=r"expected int, got MyInt\)$"):
            probe.Counter(MyInt(1))

    def test_setter_check_leaves_value(self):
        c = probe.Counter(4)
        with pytest.raises(TypeError, match="Argument 'val' has incorrect type"):
            c.doubled = "8"
        assert c.count == 4


def test_reimport_runs_initialisation_afresh():
    first = sys.modules.pop(probe.__name__)
    try:
        second = importlib.import_module(probe.__name__)
        assert second is not first
        assert second.Counter is not first.Counter
        assert second.init_count == 1
        assert second.Counter(1).add(1) == 2 and first.Counter(1).add(1) == 2
    finally:
        sys.modules[probe.__name__] = first


class TestRecordCopy:
    """The copy must equal what dataclasses.replace gives, in result and in refusals."""

    def records(self):
        import dataclasses
        from dataclasses import InitVar, dataclass, field
        from typing import ClassVar

        @dataclass(frozen=True)
        class Tick:
            price: float
            size: int = 0
            seen: list = field(default_factory=list, compare=False)
            derived: float = field(init=False, default=0.0)
            scale: InitVar[int] = 1
            kind: ClassVar[str] = "tick"

            def __post_init__(self, scale):
                object.__setattr__(self, "derived", self.price * scale)

        @dataclass
        class Needs:
            a: int
            factor: InitVar[int]

            def __post_init__(self, factor):
                self.a *= factor

        return dataclasses, Tick, Needs

    def test_copy_matches_replace(self):
        dataclasses, Tick, _ = self.records()
        copy = probe.make_copier(Tick)
        original = Tick(2.0, 3, scale=5)
        for changes in ({}, {"size": 7}, {"price": 1.5, "scale": 4}, {"seen": [1]}):
            got = copy(original, **changes)
            want = dataclasses.replace(original, **changes)
            assert type(got) is Tick
            assert got == want and got.derived == want.derived and got.seen is want.seen
        with pytest.raises(dataclasses.FrozenInstanceError):
            copy(original).price = 9  # still frozen

    def test_refusals_match_replace(self):
        dataclasses, Tick, Needs = self.records()
        copy_tick, copy_needs = probe.make_copier(Tick), probe.make_copier(Needs)
        cases = [(copy_tick, Tick(1.0), {"derived": 2.0}),  # init=False field
                 (copy_tick, Tick(1.0), {"nope": 1}),       # unknown name
                 (copy_needs, Needs(1, 2), {})]             # InitVar without default
        for copy, record, changes in cases:
            with pytest.raises(Exception) as ours:
                copy(record, **changes)
            with pytest.raises(Exception) as theirs:
                dataclasses.replace(record, **changes)
            assert type(ours.value) is type(theirs.value)
            assert str(ours.value).split("(")[0] == str(theirs.value).split("(")[0]
        assert copy_needs(Needs(1, 2), factor=3).a == 6

    def test_plain_and_hand_written_records_copy_as_replace_does(self):
        import dataclasses

        @dataclasses.dataclass(frozen=True)
        class Plain:  # copied without calling the class: the result must be the same
            a: int
            b: list = dataclasses.field(default_factory=list)

        @dataclasses.dataclass
        class Counted:  # its own __init__ must still run for every copy
            a: int
            calls = 0

            def __init__(self, a):
                type(self).calls += 1
                self.a = a

        plain = Plain(1, [2])
        got = probe.make_copier(Plain)(plain, a=5)
        assert type(got) is Plain and got == Plain(5, [2]) and got.b is plain.b
        with pytest.raises(dataclasses.FrozenInstanceError):
            got.a = 0
        with pytest.raises(TypeError):
            probe.make_copier(Plain)(plain, c=1)
        assert probe.make_copier(Counted)(Counted(1), a=2).a == 2 and Counted.calls == 2

    def test_record_of_another_class_is_copied_as_replace_does(self):
        dataclasses, Tick, _ = self.records()

        @dataclasses.dataclass(frozen=True)
        class Special(Tick):
            tag: str = "x"

        copy = probe.make_copier(Tick)
        got = copy(Special(1.0, tag="y"), size=2)
        assert type(got) is Special and got.tag == "y" and got.size == 2


    def test_every_way_of_calling_matches_replace(self):
        import dataclasses
        from dataclasses import InitVar, dataclass, field

        @dataclass(frozen=True)
        class Plain:  # nothing but the generated __init__
            a: int
            b: float = 0.0

        @dataclass
        class Ignored:  # an InitVar with no __post_init__ is never stored
            a: int
            unused: InitVar[int] = 7

        @dataclass(frozen=True, slots=True)
        class Slotted:  # fields held in slots, not in an instance dict
            a: int
            b: list = field(default_factory=list)

        @dataclass(kw_only=True)
        class KeywordOnly:
            a: int
            b: int = 2

        @dataclass
        class Mixed:
            a: int
            b: int = field(default=0, kw_only=True)
            c: int = 3

        @dataclass
        class Reordered:  # its own __init__ takes the fields in another order
            a: int
            b: int

            def __init__(self, b, a):
                self.a, self.b = a, b * 10

        @dataclass
        class PositionalOnly:  # replace() passes keywords, which this __init__ refuses
            a: int

            def __init__(self, a, /):
                self.a = a

        cases = [(Plain(1, 2.0), {"b": 5.0}), (Ignored(1), {"a": 2}),
                 (Ignored(1), {"unused": 3}), (KeywordOnly(a=1), {"b": 9}),
                 (Mixed(1, b=2), {"c": 4}), (Mixed(1, b=2), {"b": 8}),
                 (Reordered(1, 2), {"a": 5}), (Slotted(1, [2]), {"a": 3})]
        copier = probe.make_copier(Plain)  # one copier, any record class
        for record, changes in cases:
            got, want = copier(record, **changes), dataclasses.replace(record, **changes)
            assert type(got) is type(want) and got == want
            assert getattr(got, "__dict__", None) == getattr(want, "__dict__", None)
        with pytest.raises(TypeError):
            dataclasses.replace(PositionalOnly(1), a=2)
        with pytest.raises(TypeError):
            copier(PositionalOnly(1), a=2)

    def test_a_class_changed_after_its_first_copy_is_copied_as_it_now_is(self):
        import dataclasses

        @dataclasses.dataclass(frozen=True)
        class Record:
            a: int
            b: int = 0

        copy = probe.make_copier(Record)
        assert copy(Record(1), b=2) == Record(1, 2)

        seen = []
        generated = Record.__init__

        def counting_init(self, a, b=0):
            seen.append((a, b))
            generated(self, a, b)

        Record.__init__ = counting_init  # a replaced __init__ must run
        assert copy(Record(1), b=3) == Record(1, 3) and seen[-2:] == [(1, 3), (1, 3)]
        del Record.__init__
        Record.__init__ = generated

        def post_init(self):
            object.__setattr__(self, "b", self.b + 100)

        # Added after decoration, the generated __init__ does not call it: nor may the copy.
        Record.__post_init__ = post_init
        assert copy(Record(1), a=5).b == dataclasses.replace(Record(1), a=5).b == 0
        del Record.__post_init__

        # Fields declared anew (as a re-decorated class would): the new field is copied too.
        Record.__annotations__["c"] = int
        Record.c = 4
        del Record.__init__, Record.__repr__, Record.__eq__, Record.__hash__
        del Record.__setattr__, Record.__delattr__
        dataclasses.dataclass(frozen=True)(Record)
        got = copy(Record(1, 2, 3), a=9)
        assert (got.a, got.b, got.c) == (9, 2, 3)

    def test_a_base_or_code_changed_after_the_first_copy_is_seen(self):
        import dataclasses

        @dataclasses.dataclass(frozen=True)
        class Base:
            a: int
            b: int = 0

        class Sub(Base):  # takes Base's __init__
            pass

        copy = probe.make_copier(Base)
        assert copy(Sub(1), b=2) == Sub(1, 2)
        generated, seen = Base.__init__, []

        def counting_init(self, a, b=0):
            seen.append((a, b))
            generated(self, a, b)

        def negating_init(self, a, b=0):  # the same parameters and closure, another body
            seen.append(None)
            generated(self, a, -b)

        Base.__init__ = counting_init  # changes what Sub calls, not Sub itself
        assert copy(Sub(1), b=3) == Sub(1, 3) and seen[-1] == (1, 3)
        counting_init.__code__ = negating_init.__code__  # nor does this change a class
        assert copy(Sub(1), b=5).b == dataclasses.replace(Sub(1), b=5).b == -5
        Base.__init__ = generated
        assert copy(Sub(1), b=4) == Sub(1, 4)
        assert copy(Base(1), b=4) == Base(1, 4)  # Base's own records are assembled

        def closing_over(__dataclass_builtins_object__):  # the generated one's closure
            def __init__(self, a, b=0):
                __dataclass_builtins_object__.__setattr__(self, "a", a)
                __dataclass_builtins_object__.__setattr__(self, "b", b * 10)
            return __init__

        generated.__code__ = closing_over(object).__code__  # no longer the generated body
        assert copy(Base(1), b=6).b == dataclasses.replace(Base(1), b=6).b == 60

    def test_an_init_compiled_from_text_is_called_as_replace_calls_it(self):
        # exec, python -c and code-generating decorators all compile from "<string>": only
        # the __init__ dataclasses itself writes may be left uncalled.
        import dataclasses
        from typing import ClassVar

        source = ("def __init__(self, a, b=0):\n"
                  "    type(self).calls.append((a, b))\n"
                  "    self.a, self.b = a, b\n")
        namespace = {}
        exec(source, namespace)

        @dataclasses.dataclass
        class Logged:
            a: int
            b: int = 0
            calls: ClassVar[list] = []

        Logged.__init__ = namespace["__init__"]
        copy = probe.make_copier(Logged)
        for _ in range(2):
            Logged.calls.clear()
            got = copy(Logged(1, 2), b=3)
            assert (got.a, got.b) == (1, 3) and Logged.calls == [(1, 2), (1, 3)]

        # A generated __init__ with work of its own (a default factory) is called too.
        @dataclasses.dataclass(frozen=True)
        class Factory:
            a: int
            b: list = dataclasses.field(default_factory=list)

        odd = Factory(1, dataclasses._HAS_DEFAULT_FACTORY)  # the factory's own marker
        got, want = copy(odd, a=2), dataclasses.replace(odd, a=2)
        assert got == want and got.b == []

    def test_a_field_changed_in_place_after_the_first_copy_is_seen(self):
        import copy as copying
        import dataclasses

        @dataclasses.dataclass
        class Flip:
            a: int
            b: int = 5

        def both(record, **changes):
            try:
                want = ("copy", dataclasses.replace(record, **changes).__dict__)
            except Exception as error:
                want = ("raised", type(error))
            try:
                got = ("copy", copy(record, **changes).__dict__)
            except Exception as error:
                got = ("raised", type(error))
            return got, want

        copy = probe.make_copier(Flip)
        assert copy(Flip(1, 2), a=3) == Flip(3, 2)  # the class worked out
        dataclasses.fields(Flip)[1].init = False  # replace() no longer passes b
        for changes in ({}, {"a": 4}, {"b": 7}):
            got, want = both(Flip(1, 2), **changes)
            assert got == want, changes
        dataclasses.fields(Flip)[1].init = True
        assert copy(Flip(1, 2), a=3) == Flip(3, 2)
        # A field replaced in the mapping by another (same count of fields).
        replaced = copying.copy(Flip.__dataclass_fields__["b"])
        replaced.init = False
        Flip.__dataclass_fields__["b"] = replaced
        got, want = both(Flip(1, 2), a=6)
        assert got == want == ("copy", {"a": 6, "b": 5})

    def test_keywords_reach_init_in_replaces_order(self):
        import dataclasses

        @dataclasses.dataclass
        class Ordered:
            a: int
            b: int = 0
            c: int = 0

            def __init__(self, **values):  # sees the order it was given the keywords in
                self.order = list(values)
                self.a, self.b, self.c = values["a"], values["b"], values["c"]

        copy = probe.make_copier(Ordered)
        record = Ordered(a=1, b=2, c=3)
        for changes in ({}, {"c": 9}, {"c": 9, "a": 8}):
            assert copy(record, **changes).order == dataclasses.replace(record, **changes).order

    def test_many_classes_through_one_copier(self):
        import dataclasses

        classes = [dataclasses.make_dataclass(f"R{i}", [("a", int), ("b", int)], frozen=True)
                   for i in range(7)]
        copy = probe.make_copier(classes[0])
        for _ in range(3):  # more classes than the copier keeps worked out
            for i, cls in enumerate(classes):
                got = copy(cls(i, 0), b=i + 1)
                assert type(got) is cls and (got.a, got.b) == (i, i + 1)

    def test_copy_survives_a_post_init_that_copies_other_classes(self):
        # The copy's own plan may be dropped while its __post_init__ runs: run in a child
        # process, since a plan freed under a running copy would crash the interpreter.
        code = """
import dataclasses
from corvane._testing import _pyglue_probe as probe
others = [dataclasses.make_dataclass(f"O{i}", [("a", int)]) for i in range(8)]
copy = probe.make_copier(others[0])

@dataclasses.dataclass
class Outer:
    a: int
    b: int = 0

    def __post_init__(self):
        for cls in others:
            copy(cls(1), a=2)

for _ in range(20):
    got = copy(Outer(1), b=5)
assert (got.a, got.b) == (1, 5), got
print("ok")
"""
        child = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                               timeout=60)
        assert child.returncode == 0 and child.stdout.strip() == "ok", child.stderr


class TestKeyHashedOnceForLookUpAndStore:
    def test_plain_dict_hashes_the_key_once_and_fails_as_the_dict_does(self):
        class Key:
            hashed = 0

            def __hash__(self):
                Key.hashed += 1
                return 7

        key = Key()
        records = {key: 1, "other": 2}
        Key.hashed = 0
        probe.refile(records, key, lambda old: old + 10)
        assert Key.hashed == 1 and records == {key: 11, "other": 2}
        with pytest.raises(KeyError) as raised:
            probe.refile(records, ("a", 1), lambda old: old)
        assert raised.value.args == (("a", 1),)  # a tuple key stays one argument
        with pytest.raises(TypeError, match="unhashable"):
            probe.refile(records, ["a"], lambda old: old)
        assert records == {key: 11, "other": 2}

    def test_a_dict_changed_between_look_up_and_store_ends_as_plain_python_leaves_it(self):
        # What runs between the look-up and the store (a record's copy) may change the dict:
        # the store with the hash kept must leave it as `m[k] = change(m[k])` does.
        class Colliding:  # equal to no other key, hashed like the key under test
            def __init__(self, tag):
                self.tag = tag

            def __hash__(self):
                return hash("key")

        def drop_and_grow(records):
            def change(old):
                del records["key"]
                records.update({n: n for n in range(100)})  # the dict is resized
                return old + 1
            return change

        def clear(records):
            def change(old):
                records.clear()
                return old + 1
            return change

        def collide(records):
            def change(old):
                records.update({Colliding(n): n for n in range(8)})
                return old + 1
            return change

        for making in (drop_and_grow, clear, collide):
            ours, plain = {"key": 1, "other": 2}, {"key": 1, "other": 2}
            probe.refile(ours, "key", making(ours))
            plain["key"] = making(plain)(plain["key"])
            def shape(records):  # the colliding keys are distinct objects in each dict
                return [(k if isinstance(k, (str, int)) else "colliding", v)
                        for k, v in records.items()]
            assert shape(ours) == shape(plain) and ours["key"] == 2

    def test_other_mappings_index_as_they_do(self):
        class Defaulting(dict):
            def __missing__(self, key):
                return 0

            def __setitem__(self, key, value):
                super().__setitem__(key, value * 2)

        counts = Defaulting()
        probe.refile(counts, "x", lambda old: old + 1)
        assert counts == {"x": 2}

        class ByEquality:  # keys need not be hashable here
            def __init__(self):
                self.items = [(["k"], 1)]

            def __getitem__(self, key):
                return next(v for k, v in self.items if k == key)

            def __setitem__(self, key, value):
                self.items = [(k, value if k == key else v) for k, v in self.items]

        listed = ByEquality()
        probe.refile(listed, ["k"], lambda old: old + 1)
        assert listed.items == [(["k"], 2)]


class TestTimesAndMembers:
    def test_cqg_time_becomes_naive_whole_seconds(self):
        from datetime import datetime, timezone
        aware = datetime(2026, 3, 9, 14, 5, 7, 987654, tzinfo=timezone.utc)
        got = probe.whole_seconds(aware)
        assert got == datetime(2026, 3, 9, 14, 5, 7) and got.tzinfo is None  # wall clock kept
        with pytest.raises(AttributeError):
            probe.whole_seconds("2026-03-09")

    def test_member_access_failures_are_python_exceptions(self):
        class Flaky:
            @property
            def Code(self):
                raise OSError("server went away")

            def Balance(self, index):
                return [10.0, 20.0][index]

        obj = Flaky()
        with pytest.raises(OSError, match="server went away"):
            probe.read_member(obj, "Code")
        with pytest.raises(AttributeError):
            probe.call_member(obj, "Missing", 0)
        with pytest.raises(IndexError):
            probe.call_member(obj, "Balance", 5)
        assert probe.call_member(obj, "Balance", 1) == 20.0
        probe.write_member(obj, "Extra", 3)
        assert obj.Extra == 3

    def test_member_names_from_reused_buffers_stay_apart(self):
        # Names handed over as C text are cached; a caller's buffer holding another name at
        # the same address must still find the member it names now.
        class Record:
            alpha, beta = 1, 2

        for i in range(2000):
            name = "".join(["alpha", "beta"][i % 2])  # a new str each time
            assert probe.read_member(Record, name) == (1 if i % 2 == 0 else 2)

    def test_an_interned_name_finds_what_getattr_finds(self):
        # Keys the instance dict holds that are not plain str are compared by their own
        # rules, for the interned name as for any other.
        class Stubborn(str):  # hashed as its text, equal to nothing
            __hash__ = str.__hash__

            def __eq__(self, other):
                return False

        class Loose(str):  # hashed as its text, equal to its text
            __hash__ = str.__hash__

        class Holder:
            pass

        holder = Holder()
        holder.__dict__[Stubborn("alpha")] = 1
        holder.__dict__[Loose("beta")] = 2
        with pytest.raises(AttributeError):
            getattr(holder, "alpha")
        with pytest.raises(AttributeError):
            probe.read_member(holder, "alpha")
        assert probe.read_member(holder, "beta") == getattr(holder, "beta") == 2

    def test_equals_uses_the_values_own_comparison(self):
        class Never:
            def __eq__(self, other):
                return False

        class Broken:
            def __eq__(self, other):
                raise ValueError("no")

        n = Never()
        assert not probe.equals(n, n)  # no identity shortcut, as `==` in Python
        assert probe.equals(1, 1.0)
        with pytest.raises(ValueError):
            probe.equals(Broken(), 1)


class TestModuleNames:
    def test_imports_bind_like_import_statements(self):
        import os.path
        import types
        import xml.dom
        target = types.ModuleType("scratch")
        probe.import_into(target)
        assert target.xml is sys.modules["xml"] and target.xml.dom is xml.dom
        assert target.join is os.path.join and target.sep == os.path.sep
        partial = types.ModuleType("scratch2")
        with pytest.raises(ImportError, match="cannot import name 'no_such_name' from 'posixpath'|"
                                               "cannot import name 'no_such_name' from 'ntpath'"):
            probe.import_missing_into(partial)

    def test_globals_are_read_when_used(self):
        import types
        mod = types.ModuleType("scratch")
        mod.TIMEOUT = 10
        assert probe.global_value(mod, "TIMEOUT") == 10
        mod.TIMEOUT = 0.1
        assert probe.global_value(mod, "TIMEOUT") == 0.1
        assert probe.global_value(mod, "print") is print  # builtins behind the globals
        with pytest.raises(NameError, match="name 'missing' is not defined"):
            probe.global_value(mod, "missing")


class TestLockAndExceptions:
    def test_lock_guard_waits_without_the_gil_and_releases_on_error(self):
        import threading
        lock = threading.Lock()
        entered = threading.Event()
        lock.acquire()
        worker = threading.Thread(target=probe.with_lock, args=(lock, entered.set), daemon=True)
        worker.start()
        # The worker now waits for the lock; this thread must still run Python to free it.
        assert not entered.wait(0.05)
        lock.release()
        worker.join(30)
        assert entered.is_set() and not lock.locked()

        with pytest.raises(KeyError):
            probe.with_lock(lock, lambda: {}["x"])
        assert not lock.locked()

    def test_exception_taken_and_raised_again_is_the_same_object(self, capsys):
        def fail():
            raise ValueError("boom")

        taken = probe.take_raised(fail)
        assert isinstance(taken, ValueError) and taken.__traceback__ is not None
        with pytest.raises(ValueError) as again:
            probe.raise_again(taken)
        assert again.value is taken
        probe.print_exception(taken)
        err = capsys.readouterr().err
        assert "Traceback" in err and "in fail" in err and err.rstrip().endswith("ValueError: boom")


class TestSignaturesAndDocumentation:
    @pytest.mark.parametrize("member, expected", [
        ("__init__", "(self, start=0)"),
        ("add", "(self, step)"),
        ("name", "(self)"),
        ("collect", "(self, *values, label='none', **options)"),
        ("scale", "(self, factor, *, offset=0)"),
        ("twice", "(value)"),
    ])
    def test_parameters_as_annotated(self, member, expected):
        assert str(inspect.signature(getattr(probe.Counter, member))) == expected

    def test_signatures_match_what_calls_accept(self):
        # The reported kinds must be the ones nanobind enforces.
        c = probe.Counter(2)
        assert probe.Counter.add(self=c, step=1) == 3
        assert c.collect(1, 2, label="x", z=3) == ((1, 2), "x", {"z": 3})
        with pytest.raises(TypeError):
            c.scale(2, 1)  # offset is keyword-only
        assert c.scale(2, offset=1) == 7
        inspect.signature(c.scale).bind(2, offset=1)

    def test_bound_method_class_and_property(self):
        c = probe.Counter()
        assert str(inspect.signature(c.add)) == "(step)"
        assert c.add.__self__ is c
        assert str(inspect.signature(probe.Counter)) == "(start=0)"
        prop = inspect.getattr_static(probe.Counter, "doubled")
        assert str(inspect.signature(prop.fget)) == "(self)"
        assert str(inspect.signature(prop.fset)) == "(self, val)"

    def test_doc_is_the_text_alone(self):
        assert probe.Counter.add.__doc__ == "Adds `step` to the count and returns the new count."
        assert probe.Counter.twice.__doc__ == "Twice the value."
        assert probe.Counter.name.__doc__ is None
        assert probe.build_bad_class.__doc__ == "Builds a class that repeats a name, as `how` says."

    def test_help_shows_the_signature_once(self):
        import pydoc
        text = pydoc.render_doc(probe.Counter.add, renderer=pydoc.plaintext)
        assert "add(self, step)" in text
        assert text.count("step)") == 1

    def test_module_function(self):
        assert str(inspect.signature(probe.build_bad_class)) == "(how)"
        assert probe.build_bad_class.__module__ == probe.__name__
        assert inspect.isroutine(probe.build_bad_class)

        class Holder:  # a module function never binds, as a builtin function does not
            f = probe.twice_defined

        assert Holder().f() is None


# Each mistake, and what building it must raise. Run in a child process: a mistake the
# builder does not catch can abort the interpreter.
BAD_CLASSES = {
    "method twice": "class 'Bad' defines 'run' twice",
    "method over attribute":
        "class 'Bad' cannot define 'run': the name is taken by an attribute of type 'int'",
    "attribute over method": "class 'Bad' defines 'run' twice",
    "property over method": "class 'Bad' defines 'run' twice",
    "static over method": "class 'Bad' defines 'run' twice",
    "field twice": "class 'Bad' defines 'run' twice (already a field)",
    "method over field": "class 'Bad' defines 'run' twice (already a field)",
    "method over class doc":
        "class 'Bad' cannot define '__doc__': the name is taken by an attribute of type 'NoneType'",
    "module function twice":
        "module 'corvane._testing._pyglue_probe' defines 'twice_defined' twice",
}

_CHILD = """
import json, sys
from corvane._testing import _pyglue_probe as probe
outcomes = {}
for how in json.loads(sys.argv[1]):
    try:
        probe.build_bad_class(how)
        outcomes[how] = None
    except Exception as error:
        outcomes[how] = [type(error).__name__, str(error)]
print(json.dumps(outcomes))
"""


def test_builder_refuses_a_name_defined_twice():
    child = subprocess.run([sys.executable, "-c", _CHILD, json.dumps(list(BAD_CLASSES))],
                           capture_output=True, text=True, timeout=30)
    assert child.returncode == 0, child.stderr
    outcomes = json.loads(child.stdout)
    assert outcomes == {how: ["TypeError", message] for how, message in BAD_CLASSES.items()}
