"""corvane installed without the COM platform (neither pywin32 nor corvane-emulator): the CQG
gateway and the demo say how to get one instead of failing on a missing module. Each case
runs in a child interpreter in which the platform's modules cannot be found."""
import subprocess
import sys
import textwrap

import pytest

PLATFORM = ("pythoncom", "pywintypes", "win32event", "win32com")


def run_without(modules, body):
    # A None entry in sys.modules makes both import and find_spec report the module absent.
    hide = "".join(f"sys.modules[{name!r}] = None\n" for name in modules)
    code = "import sys\n" + hide + textwrap.dedent(body)
    return subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                          timeout=60)


@pytest.mark.parametrize("module", ["corvane.gateways.cqg.gateway",
                                    "corvane.gateways.cqg.wrapper.ComBridge",
                                    "corvane.gateways.cqg.wrapper.gatelink"])
@pytest.mark.parametrize("missing", [PLATFORM, ("win32event",)], ids=["none", "one"])
def test_gateway_without_com_platform_names_both_ways(module, missing):
    result = run_without(missing, f"""
        try:
            import {module}
        except ImportError as error:
            print(type(error).__name__, error.name, str(error))
        """)
    assert result.returncode == 0, result.stderr
    kind, name, message = result.stdout.split(" ", 2)
    assert kind == "ImportError" and name == missing[0]
    assert all(module_name in message for module_name in missing)
    assert "pip install pywin32" in message and "pip install ./emulator" in message


def test_finding_the_platform_imports_none_of_it():
    # Importing pythoncom enters a COM apartment: the gateway's check must not do it.
    result = run_without((), """
        import corvane.gateways.cqg.gateway
        print(sorted(name for name in ("pythoncom", "win32event", "win32com", "_cqgemu")
                     if name in sys.modules))
        """)
    assert result.returncode == 0, result.stderr
    assert result.stdout.strip() == "[]"


def test_demo_without_the_emulator_says_how_to_install_it():
    result = run_without(("corvane_emulator",), """
        from corvane.demo.cli import main
        sys.exit(main(["--duration", "1"]))
        """)
    assert result.returncode == 2
    assert "corvane-emulator" in result.stderr and "pip install ./emulator" in result.stderr
    assert "Traceback" not in result.stderr
