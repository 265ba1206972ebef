"""The system modules' functions and methods report to inspect (and so to help()) the
parameters their stubs declare, and their documentation without a signature line. The stub
is the one written list of the parameters: what this test expects is read from it."""
import importlib
import inspect

import pytest

from system_modules import (BOT_MODULE, SYSTEM_MODULES, assert_real_signatures,
                            runtime_signatures, stub_signatures)

COMBRIDGE = "corvane.gateways.cqg.wrapper.ComBridge"
DB = "corvane.plugins.sqlite3.db"

# The bot's module connects at import; its own tests make one and check it the same way.
WITHOUT_THE_BOT = [m for m in SYSTEM_MODULES if m != BOT_MODULE]


@pytest.mark.parametrize("module_name", WITHOUT_THE_BOT)
def test_parameters_as_the_stub_declares_them(module_name):
    module = importlib.import_module(module_name)
    expected = stub_signatures(module)
    assert expected
    assert runtime_signatures(module, expected) == expected


@pytest.mark.parametrize("module_name", WITHOUT_THE_BOT)
def test_every_callable_has_a_signature_and_plain_documentation(module_name):
    assert_real_signatures(importlib.import_module(module_name))


def test_bound_methods_and_classes_leave_self_out():
    from corvane.gateways.cqg.wrapper.ComBridge import ComBridge, SinkInternal

    assert str(inspect.signature(ComBridge)) == "()"
    sink = SinkInternal.__new__(SinkInternal)  # without the constructor's trace line
    assert str(inspect.signature(sink.OnDataError)) == "(cqgError, errorDescription)"
    inspect.signature(sink.Init).bind(eventCELStarted=None, comBridge=None)


def test_documentation_is_the_text_alone():
    db = importlib.import_module(DB)
    combridge = importlib.import_module(COMBRIDGE)
    assert db.DB.insert_records.__doc__ == (
        "Inserts one row: each keyword argument is a column and its value.")
    assert combridge.AssertMessage.__doc__ == "Raises RuntimeError(message) unless the condition holds."
    assert db.DB.close.__doc__ is None
