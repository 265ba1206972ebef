"""Prints the package's declared dependencies, one a line, for `pip install -r`.

`python tools/requirements.py` gives the run-time ones; `python tools/requirements.py test`
adds the named extras. The Makefile installs them before building corvane itself without
build isolation, so that only corvane's own build skips isolation.
"""
import pathlib
import sys
import tomllib

project = tomllib.loads(
    (pathlib.Path(__file__).resolve().parent.parent / "pyproject.toml").read_text())["project"]
lines = list(project["dependencies"])
for extra in sys.argv[1:]:
    lines += project["optional-dependencies"][extra]
print("\n".join(lines))
