"""The portability lint finds in C++ sources what MSVC on Windows refuses or reads otherwise,
and leaves alone what only looks like it (comments, strings, long long, SIGINT)."""
import pathlib
import sys
import textwrap

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tools" / "windows"))

import portability_lint  # noqa: E402


def lint_source(tmp_path, code, allowed="", extra_files=()):
    module = tmp_path / "src" / "corvane" / "module"
    module.mkdir(parents=True)
    (tmp_path / "src" / "pyglue").mkdir()
    (module / "module.cpp").write_text(textwrap.dedent(code))
    for name in extra_files:
        (module / name).write_text("// empty\n")
    allowed_file = tmp_path / "long_allowed.txt"
    allowed_file.write_text(allowed)
    return portability_lint.lint(tmp_path, allowed_file)


@pytest.mark.parametrize("code, finding", [
    ("#include <unistd.h>\n", "<unistd.h> is POSIX-only"),
    ("#include <sys/time.h>\n", "<sys/time.h> is POSIX-only"),
    ("#include <netinet/in.h>\n", "<netinet/in.h> is POSIX-only"),
    ("void f() { pthread_mutex_lock(&m); }\n", "pthread_mutex_lock"),
    ("void f() { clock_gettime(CLOCK_MONOTONIC, &t); }\n", "clock_gettime"),
    ("void f() { gettimeofday(&tv, nullptr); }\n", "gettimeofday"),
    ("void f() { int child = fork(); }\n", "processes are POSIX-only"),
    ("void f() { std::signal(SIGTERM, on_term); }\n", "SIGTERM"),
    ("bool same(const char *a, const char *b) { return strcasecmp(a, b) == 0; }\n",
     "strcasecmp"),
    ("bool f(int x) { return __builtin_expect(x, 1); }\n", "__builtin_expect"),
    ("long count = 0;\n", "long is 32 bits on Windows"),
    ("unsigned long mask(unsigned long value);\n", "long is 32 bits on Windows"),
    ('#include "Helper.hpp"\n', "differs in case"),
])
def test_each_windows_trap_is_found(tmp_path, code, finding):
    findings = lint_source(tmp_path, code, extra_files=["helper.hpp"])
    assert any(finding in line for line in findings), findings
    assert all(line.startswith("src/corvane/module/module.cpp:1:") for line in findings)


def test_what_only_looks_like_a_trap_passes(tmp_path):
    code = """\
        #include <cstdint>
        #include <csignal>
        #include "helper.hpp"
        // fork() and pthread_create are fine in a comment, as is a long story.
        /* gettimeofday(&tv, nullptr); SIGTERM */
        const char *text = "strcasecmp(a, b) and SIGHUP in a string, long ago";
        long long total = 0;
        unsigned long long mask = 0;
        long double precise = 0;
        std::int64_t wide = 0;
        void on_interrupt() { std::signal(SIGINT, handler); PyLong_AsLong(value); }
        """
    assert lint_source(tmp_path, code, extra_files=["helper.hpp"]) == []


def test_a_listed_long_passes_and_only_on_its_own_line(tmp_path):
    code = "constexpr long kSmall = 8;\nlong other = 0;\n"
    allowed = "# file | line | reason\nsrc/corvane/module/module.cpp | " \
              "constexpr long kSmall = 8; | a small constant\n"
    findings = lint_source(tmp_path, code, allowed)
    assert len(findings) == 1 and findings[0].startswith("src/corvane/module/module.cpp:2:")


def test_a_listed_line_that_is_gone_is_reported(tmp_path):
    allowed = "src/corvane/module/module.cpp | constexpr long kGone = 8; | a small constant\n"
    findings = lint_source(tmp_path, "constexpr int kGone = 8;\n", allowed)
    assert findings == ["src/corvane/module/module.cpp: no line `constexpr long kGone = 8;` "
                        "any more: remove it from tools/windows/long_allowed.txt"]


def test_file_names_that_differ_only_in_case_clash(tmp_path):
    findings = lint_source(tmp_path, "int x;\n", extra_files=["Quotes.hpp", "quotes.hpp"])
    assert findings == ["src/corvane/module/quotes.hpp: same name as "
                        "src/corvane/module/Quotes.hpp on Windows (case differs)"]


def test_our_own_sources_pass():
    assert portability_lint.lint(ROOT) == []
