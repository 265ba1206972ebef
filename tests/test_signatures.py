"""The system modules' functions and methods report their parameters to inspect (and so to
help() and type checkers) as callers use them, and their documentation without a
signature line."""
import importlib
import inspect

import pytest

from system_modules import BOT_MODULE, SYSTEM_MODULES, assert_real_signatures

SECURITY = "corvane.core.security"
COMBRIDGE = "corvane.gateways.cqg.wrapper.ComBridge"
DB = "corvane.plugins.sqlite3.db"

EXPECTED = {
    SECURITY: {
        "Security.__eq__": "(self, other)",
        "Security.__hash__": "(self)",
        "Stock.__post_init__": "(self)",
        "Currency.__post_init__": "(self)",
        "Commodity.__post_init__": "(self)",
        "Futures.__post_init__": "(self)",
    },
    COMBRIDGE: {
        "AssertMessage": "(condition, message)",
        "Trace": "(message)",
        "Start": "(sampleClassType, customConfiguration=None)",
        "ComBridge.__init__": "(self)",
        "ComBridge.Init": "(self, sinkType, customAPIConfiguration)",
        "ComBridge.threadedFunction": "(self, sinkType)",
        "ComBridge.pumpMessages": "(self)",
        "ComBridge.apiConfigurationSet": "(self, customAPIConfiguration)",
        "ComBridge.startupCel": "(self)",
        "ComBridge.Shutdown": "(self)",
        "ComBridge.SetError": "(self)",
        "SinkInternal.__init__": "(self)",
        "SinkInternal.Init": "(self, eventCELStarted, comBridge)",
        "SinkInternal.OnCELStarted": "(self)",
        "SinkInternal.OnDataError": "(self, cqgError, errorDescription)",
    },
    DB: {
        "_db_path": "()",
        "DB.__init__": "(self)",
        "DB.close": "(self)",
        "DB.commit": "(self)",
        "DB.execute": "(self, sql, parameters=None)",
        "DB._parse_sql_value": "(self, value)",
        "DB._parse_sql_where_condition": "(self, **kwargs)",
        "DB.delete_table": "(self, table_name)",
        "DB.select_records": "(self, table_name, columns=None, **kwargs)",
        "DB.update_records": "(self, table_name, columns, **kwargs)",
        "DB.insert_records": "(self, table_name, **kwargs)",
        "DB.delete_records": "(self, table_name, **kwargs)",
        "DB.create_balance_table": "(self)",
        "DB.create_position_table": "(self)",
        "DB.create_order_table": "(self)",
        "DB.create_deal_table": "(self)",
    },
}


def _lookup(module, qualified):
    value = module
    for part in qualified.split("."):
        value = getattr(value, part)
    return value


@pytest.mark.parametrize("module_name", list(EXPECTED))
def test_parameters_as_callers_use_them(module_name):
    module = importlib.import_module(module_name)
    got = {name: str(inspect.signature(_lookup(module, name))) for name in EXPECTED[module_name]}
    assert got == EXPECTED[module_name]


@pytest.mark.parametrize("module_name", [m for m in SYSTEM_MODULES if m != BOT_MODULE])
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
