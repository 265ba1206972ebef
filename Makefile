# make demo: build and install into .venv, then run the demo.
# make test: the same install with the test extras, then the whole test suite.
PYTHON ?= python3
VENV   := .venv
VPY    := $(VENV)/bin/python
PIP    := $(VPY) -m pip --disable-pip-version-check

# Build tools live in the venv so that our own package is built without isolation
# (faster, and the build folder stays incremental). nanobind's pin is explained in
# pyproject.toml.
BUILD_TOOLS := "scikit-build-core>=0.10" "nanobind==2.15.0" cmake ninja

# Compiles go through ccache when the machine has it; a base folder makes its entries
# hold paths relative to the clone, so a fresh clone reuses what another one compiled.
ifneq ($(shell command -v ccache 2>/dev/null),)
export CMAKE_CXX_COMPILER_LAUNCHER ?= ccache
export CCACHE_BASEDIR ?= $(CURDIR)
endif

.PHONY: demo test install install-test clean

$(VENV)/.tools: Makefile pyproject.toml
	$(PYTHON) -m venv $(VENV)
	$(PIP) install -q $(BUILD_TOOLS)
	touch $@

# Third-party dependencies are installed the ordinary way, with build isolation, so that a
# package published only as a source archive (tornado, pinned by python-telegram-bot 13)
# builds with the requirements it declares itself. Only corvane is built without isolation.
$(VENV)/requirements.txt: $(VENV)/.tools pyproject.toml tools/requirements.py
	$(VPY) tools/requirements.py > $@

$(VENV)/requirements-test.txt: $(VENV)/.tools pyproject.toml tools/requirements.py
	$(VPY) tools/requirements.py test > $@

$(VENV)/.deps: $(VENV)/requirements.txt
	$(PIP) install -q -r $<
	touch $@

$(VENV)/.deps-test: $(VENV)/requirements-test.txt
	$(PIP) install -q -r $<
	touch $@

install: $(VENV)/.deps
	$(PIP) install -q --no-build-isolation --no-deps .

install-test: $(VENV)/.deps-test
	$(PIP) install -q --no-build-isolation --no-deps .

demo: install
	$(VENV)/bin/corvane-demo

test: install-test
	$(VPY) -m pytest -q

clean:
	rm -rf $(VENV) build
