"""The shared glue, exercised through a tiny test-only module."""
import importlib
import inspect
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
        assert "step" in probe.Counter.add.__doc__

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
