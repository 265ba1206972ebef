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
