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
