# make demo: build and install into .venv, then run the demo.
# make test: the same install with the test extras, then the whole test suite.
# make sanitize: the whole test suite against a build with AddressSanitizer and
#   UndefinedBehaviorSanitizer, in a venv and build folder of its own.
# make bench: every benchmark in bench/, one table of figures against their targets.
# make windows-check: the five modules cross-compiled and linked for Windows x64 (mingw-w64,
#   installed with apt-get when missing), and the portability lint.
# Each of demo, test, bench and sanitize installs corvane and corvane-emulator (emulator/).
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

.PHONY: demo test install install-test corvane-wheel clean sanitize sanitize-install bench soak \
	windows-check

$(VENV)/.tools: Makefile pyproject.toml
	$(PYTHON) -m venv $(VENV)
	$(PIP) install -q $(BUILD_TOOLS)
	touch $@

# Third-party dependencies are installed the ordinary way, with build isolation, so that a
# package published only as a source archive (tornado, pinned by python-telegram-bot 13)
# builds with the requirements it declares itself. Only corvane is built without isolation.
# (After the build tools: two pip processes must not install into one venv at once, and
# both sides need `packaging`.)
$(VENV)/requirements.txt: $(VENV)/.tools pyproject.toml tools/requirements.py
	$(VPY) tools/requirements.py > $@

$(VENV)/requirements-test.txt: $(VENV)/.tools pyproject.toml tools/requirements.py
	$(VPY) tools/requirements.py test > $@

# pip would byte-compile every file it installs, the test suites of numpy, pandas and
# matplotlib included: half of the dependencies' install time. Only the packages' own code
# is compiled here, which is all that is ever imported.
define install_requirements
$(PIP) install -q --no-compile -r $(1)
$(VPY) -m compileall -q -x 'site-packages/.+/tests?/' $(VENV)/lib > /dev/null
endef

$(VENV)/.deps: $(VENV)/requirements.txt
	$(call install_requirements,$<)
	touch $@

$(VENV)/.deps-test: $(VENV)/requirements-test.txt
	$(call install_requirements,$<)
	touch $@

# corvane's own wheels need only the build tools, so they are compiled while pip fetches the
# dependencies (a fresh machine spends most of its set-up time in these two). The product and
# the emulator are two wheels of one CMake build folder: the second reuses the glue the first
# compiled.
WHEEL_DIR := $(VENV)/wheel
BUILD_WHEEL := $(PIP) wheel -q --no-build-isolation --no-deps -w $(WHEEL_DIR)

# TEST_MODULES=OFF leaves out the modules only the test suite loads.
TEST_MODULES ?= ON

corvane-wheel: $(VENV)/.tools
	rm -rf $(WHEEL_DIR)
	$(BUILD_WHEEL) -C cmake.define.CORVANE_TEST_MODULES=$(TEST_MODULES) .
	$(BUILD_WHEEL) -C cmake.define.CORVANE_TEST_MODULES=$(TEST_MODULES) ./emulator

# The emulator after the product: a venv made before the two were split holds a corvane that
# owns the emulator's files, and replacing it removes them.
define install_wheels
$(PIP) install -q --no-deps --force-reinstall $(WHEEL_DIR)/corvane-*.whl
$(PIP) install -q --no-deps --force-reinstall $(WHEEL_DIR)/corvane_emulator-*.whl
endef

install:
	$(MAKE) -j2 $(VENV)/.deps corvane-wheel TEST_MODULES=OFF
	$(install_wheels)

install-test:
	$(MAKE) -j2 $(VENV)/.deps-test corvane-wheel TEST_MODULES=ON
	$(install_wheels)

demo: install
	$(VENV)/bin/corvane-demo

test: install-test
	$(VPY) -m pytest -q

bench: install
	$(VPY) bench/report.py

# ---- sanitizer build ----------------------------------------------------------------------
# The interpreter is not instrumented, so the runtime of the compiler that builds our modules
# is preloaded into it (gcc ships it as libasan; a clang build would name its own runtime).
# Python's own allocator is switched off so that every allocation passes through the
# sanitizer, and leaks of the interpreter itself are suppressed by tools/sanitize/lsan.supp.
SAN_VENV := .venv-sanitize
SAN_VPY  := $(SAN_VENV)/bin/python
SAN_PIP  := $(SAN_VPY) -m pip --disable-pip-version-check
SAN_RUNTIME = $(shell $(CXX) -print-file-name=libasan.so)
# The C++ runtime is preloaded beside it: the sanitizer must find it at start-up to intercept
# C++ exceptions, and the interpreter itself does not link it.
SAN_CXX_RUNTIME = $(shell $(CXX) -print-file-name=libstdc++.so)
# Reports go to files, one a process: a fault inside the test process would otherwise be
# written into pytest's captured output and lost with the process.
SAN_REPORTS := build/sanitize/reports
# intercept_tls_get_addr=0: the runtime's record of a thread's dynamic TLS blocks guesses their
# bounds from the bytes before the block when it starts 16 bytes into a page, which on this glibc
# is the sanitizer's own chunk header; the leak check then scans a range near address zero and
# its tracer dies ("Tracer caught signal 11", now and then at a process's exit, once in CI).
# Every other block it records with size 0, so the record scans nothing; the blocks are
# heap chunks, which the leak check reaches through the thread's DTV like any other.
# tests/test_sanitizer_run.py places a block there on purpose.
SAN_ENV = LD_PRELOAD="$(SAN_RUNTIME) $(SAN_CXX_RUNTIME)" PYTHONMALLOC=malloc CORVANE_SANITIZE=1 \
	ASAN_OPTIONS=detect_leaks=1:intercept_tls_get_addr=0:log_path=$(CURDIR)/$(SAN_REPORTS)/asan \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tools/sanitize/lsan.supp:print_suppressions=0 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:log_path=$(CURDIR)/$(SAN_REPORTS)/ubsan

$(SAN_VENV)/.tools: Makefile pyproject.toml
	@test -f "$(SAN_RUNTIME)" || { echo "make sanitize needs the AddressSanitizer runtime" \
	  "(libasan, installed with gcc)"; exit 1; }
	$(PYTHON) -m venv $(SAN_VENV)
	$(SAN_PIP) install -q $(BUILD_TOOLS)
	touch $@

$(SAN_VENV)/.deps-test: $(SAN_VENV)/.tools pyproject.toml tools/requirements.py
	$(SAN_VPY) tools/requirements.py test > $(SAN_VENV)/requirements-test.txt
	$(SAN_PIP) install -q -r $(SAN_VENV)/requirements-test.txt
	touch $@

# The emulator's build folder is named from emulator/, where its build runs.
SAN_BUILD = -C cmake.build-type=RelWithDebInfo -C cmake.define.CORVANE_SANITIZE=ON \
	-C cmake.define.CORVANE_TEST_MODULES=ON

sanitize-install: $(SAN_VENV)/.deps-test
	$(SAN_PIP) install -q --no-build-isolation --no-deps -C build-dir=build/sanitize \
	  $(SAN_BUILD) .
	$(SAN_PIP) install -q --no-build-isolation --no-deps -C build-dir=../build/sanitize \
	  $(SAN_BUILD) ./emulator

sanitize: sanitize-install
	rm -rf $(SAN_REPORTS) && mkdir -p $(SAN_REPORTS)
	$(SAN_ENV) $(SAN_VPY) -m pytest -q -p no:cacheprovider; status=$$?; \
	if [ -n "$$(ls $(SAN_REPORTS))" ]; then \
	  cat $(SAN_REPORTS)/*; echo "make sanitize: sanitizer reports above"; exit 1; fi; \
	exit $$status

# ---- Windows cross-build -----------------------------------------------------------------
# tools/windows/cross_check.py says what it checks; its compiler comes from apt-get (as root).
windows-check: $(VENV)/.tools
	$(VPY) tools/windows/cross_check.py

clean:
	rm -rf $(VENV) $(SAN_VENV) build

# make soak: a long session watched for memory growth (ten minutes; SOAK_SECONDS to change).
soak: install
	$(VPY) bench/session_soak.py
