"""The modules whose types ship as stubs, checked against what they offer at run time.

Add a module here when it gets its stub."""

SYSTEM_MODULES = [
    "corvane.core.security",
    "corvane.gateways.cqg.wrapper.ComBridge",
    "corvane.gateways.cqg.wrapper.gatelink",
    "corvane.plugins.telegram.bot",
    "corvane.plugins.sqlite3.db",
]

# The emulator's control module, used by the tests and the demo.
EMULATOR_MODULES = ["corvane_emulator"]

# Importing this one connects to Telegram: it needs a Bot API server and a corvane_config.
BOT_MODULE = "corvane.plugins.telegram.bot"


def public_callables(module):
    """(qualified name, callable) for every function of `module` and every method, static
    function and property accessor of the classes it defines."""
    import inspect

    for name, value in vars(module).items():
        if inspect.isclass(value) and value.__module__ == module.__name__:
            for member, attribute in vars(value).items():
                if isinstance(attribute, property):
                    yield f"{name}.{member}.fget", attribute.fget
                    if attribute.fset is not None:
                        yield f"{name}.{member}.fset", attribute.fset
                elif isinstance(attribute, staticmethod):
                    yield f"{name}.{member}", attribute.__func__
                elif inspect.isroutine(attribute) and getattr(attribute, "__module__", None) == module.__name__:
                    yield f"{name}.{member}", attribute
        elif inspect.isroutine(value) and getattr(value, "__module__", None) == module.__name__:
            yield name, value


def assert_real_signatures(module):
    """Every callable of `module` reports its parameters, and its documentation is the text
    alone, without a signature line in front."""
    import inspect

    found = list(public_callables(module))
    assert found
    for name, function in found:
        inspect.signature(function)  # raises for a callable without one
        doc = function.__doc__
        short_name = name.split(".")[-2 if name.endswith(("fget", "fset")) else -1]
        assert doc is None or not doc.startswith(f"{short_name}("), (name, doc)


def stub_signatures(module):
    """{qualified name: parameters as inspect writes them} for every function and method the
    module's installed stub declares, its annotations left out. A property's accessors are
    named `Class.name.fget` and `Class.name.fset`, as public_callables names them."""
    import ast
    import pathlib

    stub = pathlib.Path(module.__file__).with_name(module.__name__.rpartition(".")[2] + ".pyi")
    found = {}

    def accessor(node):
        for decorator in node.decorator_list:
            if isinstance(decorator, ast.Name) and decorator.id == "property":
                return ".fget"
            if isinstance(decorator, ast.Attribute) and decorator.attr == "setter":
                return ".fset"
        return ""

    def visit(body, prefix):
        for node in body:
            if isinstance(node, ast.ClassDef):
                visit(node.body, f"{prefix}{node.name}.")
            elif isinstance(node, ast.FunctionDef):
                found[prefix + node.name + accessor(node)] = str(_parameters_of(node.args))

    visit(ast.parse(stub.read_text(encoding="utf-8"), str(stub)).body, "")
    return found


def _parameters_of(arguments):
    # A default elided as `...` stays Ellipsis: it stands for a default chosen at run time
    # (the bot's configured chat), and runtime_signatures writes any default there as `...`.
    import ast
    import inspect

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


def runtime_signatures(module, declared):
    """{qualified name: parameters as inspect writes them} of what `module` offers under each
    name of `declared` (stub_signatures' answer), annotations left out. Where the stub elides
    a default, a default there is written as `...` too: a missing one still differs."""
    import inspect
    import re

    found = {}
    for qualified, stub_text in declared.items():
        value = module
        for part in qualified.split("."):
            value = getattr(value, part)
        signature = inspect.signature(value)
        parameters = [p.replace(annotation=p.empty) for p in signature.parameters.values()]
        parameters = [
            p.replace(default=...)
            if p.default is not p.empty and re.search(rf"\b(?<!\.){p.name}=Ellipsis\b", stub_text)
            else p
            for p in parameters]
        found[qualified] = str(signature.replace(parameters=parameters,
                                                 return_annotation=signature.empty))
    return found
