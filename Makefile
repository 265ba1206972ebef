# make demo: build and install into .venv, then run the demo.
# make test: the same install with the test extras, then the whole test suite.
PYTHON ?= python3
VENV   := .venv
VPY    := $(VENV)/bin/python
PIP    := $(VPY) -m pip --disable-pip-version-check

# Build tools live in the venv so the package is built without isolation (faster,
# and the build folder stays incremental). nanobind's pin is explained in pyproject.toml.
BUILD_TOOLS := "scikit-build-core>=0.10" "nanobind==2.15.0" cmake ninja

.PHONY: demo test install install-test clean

$(VENV)/.tools: Makefile pyproject.toml
	$(PYTHON) -m venv $(VENV)
	$(PIP) install -q $(BUILD_TOOLS)
	touch $@

install: $(VENV)/.tools
	$(PIP) install -q --no-build-isolation .

install-test: $(VENV)/.tools
	$(PIP) install -q --no-build-isolation ".[test]"

demo: install
	$(VPY) examples/demo.py

test: install-test
	$(VPY) -m pytest -q

clean:
	rm -rf $(VENV) build
