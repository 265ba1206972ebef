"""The system modules' functions and methods report to inspect (and so to help()) the
parameters their stubs declare, and their documentation without a signature line. The stub
is the one written list of the parameters: what this test expects is read from it."""
import ast
import importlib
import inspect
import pathlib

import pytest

from system_modules import BOT_MODULE, SYSTEM_MODULES, assert_real_signatures

COMBRIDGE = "corvane.gateways.cqg.wrapper.ComBridge"
DB = "corvane.plugins.sqlite3.db"

# The bot's module connects at import; its own tests check its signatures.
WITHOUT_THE_BOT = [m for m in SYSTEM_MODULES if m != BOT_MODULE]


def stub_signatures(module):
    """{qualified name: parameters as inspect writes them} for every function and method the
    module's installed stub declares, its annotations left out."""
    stub = pathlib.Path(module.__file__).with_name(module.__name__.rpartition(".")[2] + ".pyi")
    found = {}

    def visit(body, prefix):
        for node in body:
            if isinstance(node, ast.ClassDef):
                visit(node.body, f"{prefix}{node.name}.")
            elif isinstance(node, ast.FunctionDef):
                found[prefix + node.name] = str(_parameters_of(node.args))

    visit(ast.parse(stub.read_text(encoding="utf-8"), str(stub)).body, "")
    return found


def _parameters_of(arguments):
    # A default elided as `...` stays Ellipsis and so differs from any real default: a stub
    # of these modules spells its defaults out.
    P = inspect.Parameter
    positional = [(a, P.POSITIONAL_ONLY) for a in arguments.posonlyargs] + [
        (a, P.POSITIONAL_OR_KEYWORD) for a in arguments.args]
    defaults = [P.empty] * (len(positional) - len(arguments.defaults)) + [
        ast.literal_eval(d) for d in arguments.defaults]
    parameters = [P(a.arg, kind, default=default)
                  for (a, kind), default in zip(positional, defaults)]
    if arguments.vararg:
        parameters.append(P(arguments.vararg.arg, P.VAR_POSITIONAL))
    parameters += [P(a.arg, P.KEYWORD_ONLY,
                     default=P.empty if d is None else ast.literal_eval(d))
                   for a, d in zip(arguments.kwonlyargs, arguments.kw_defaults)]
    if arguments.kwarg:
        parameters.append(P(arguments.kwarg.arg, P.VAR_KEYWORD))
    return inspect.Signature(parameters)


def runtime_signature(module, qualified):
    value = module
    for part in qualified.split("."):
        value = getattr(value, part)
    signature = inspect.signature(value)
    return str(signature.replace(
        parameters=[p.replace(annotation=p.empty) for p in signature.parameters.values()],
        return_annotation=signature.empty))


@pytest.mark.parametrize("module_name", WITHOUT_THE_BOT)
def test_parameters_as_the_stub_declares_them(module_name):
    module = importlib.import_module(module_name)
    expected = stub_signatures(module)
    assert expected
    got = {name: runtime_signature(module, name) for name in expected}
    assert got == expected


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
