"""Finds in our C++ sources what builds on Linux, and with mingw, but not with MSVC on Windows.

    python tools/windows/portability_lint.py [root]

mingw ships POSIX headers and calls (unistd.h, pthread.h, clock_gettime, gettimeofday,
strcasecmp) and GCC's builtins, so a cross-compile alone does not catch them; MSVC has none.
Checked here: POSIX-only headers and calls, signals other than SIGINT, GCC extensions, a bare
`long` (32 bits on Windows), and include names whose case would only matter on Windows.

A bare `long` that is meant (it mirrors a CPython declaration, or holds a small constant) is
listed with its reason in long_allowed.txt beside this file, by the file and the line's text.
Prints one line per finding and exits 1 if there is any.
"""
from __future__ import annotations

import pathlib
import re
import sys

SOURCE_SUFFIXES = {".cpp", ".hpp", ".h"}
# The five system modules and their glue; the emulator and the test probe never build on
# Windows.
SOURCE_FOLDERS = ("src",)

POSIX_HEADERS = {
    "unistd.h", "pthread.h", "dlfcn.h", "strings.h", "poll.h", "termios.h", "dirent.h",
    "syslog.h", "sched.h", "semaphore.h", "sys/time.h", "sys/mman.h", "sys/wait.h",
    "sys/socket.h", "sys/select.h", "sys/resource.h", "sys/ioctl.h", "sys/un.h",
    "sys/uio.h", "sys/times.h", "sys/utsname.h",
}
POSIX_HEADER_PREFIXES = ("netinet/", "arpa/")

# (pattern over code with comments and strings removed, what to say)
FORBIDDEN_CODE = [
    (re.compile(r"\bpthread_\w+"), "POSIX threads: use std::thread, std::mutex"),
    (re.compile(r"\bclock_gettime\b"), "clock_gettime is POSIX: use std::chrono"),
    (re.compile(r"\bgettimeofday\b"), "gettimeofday is POSIX: use std::chrono"),
    (re.compile(r"\b(v?fork|execv[pe]?|execl[pe]?|waitpid)\s*\("), "processes are POSIX-only"),
    (re.compile(r"\b(u|nano)sleep\s*\("), "POSIX sleep: use std::this_thread::sleep_for"),
    (re.compile(r"\bstrn?casecmp\b"), "strcasecmp is POSIX: compare case-folded copies"),
    (re.compile(r"\b(sigaction|sigprocmask|raise|kill|alarm)\s*\("), "POSIX signal call"),
    (re.compile(r"\bSIG(?!INT\b)[A-Z]{2,}\b"), "only SIGINT is delivered on Windows"),
    (re.compile(r"\b__builtin_\w+"), "GCC builtin: MSVC has none"),
    (re.compile(r"\b__attribute__\b"), "GCC attribute: MSVC has none"),
    (re.compile(r"\b__int128\b"), "GCC's 128-bit integer: MSVC has none"),
]

BARE_LONG = re.compile(r"\blong\b(?!\s+long\b)(?!\s+double\b)")
LONG_LONG = re.compile(r"\blong\s+long\b")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.MULTILINE)
# Comments and literals, so that only code is searched (a string may say "fork()").
COMMENT_OR_LITERAL = re.compile(
    r'//[^\n]*|/\*.*?\*/|"(?:\\.|[^"\\\n])*"|\'(?:\\.|[^\'\\\n])*\'', re.DOTALL)


def code_only(text: str) -> str:
    """The text with comments and literals blanked, line breaks kept (lines still count)."""
    return COMMENT_OR_LITERAL.sub(lambda m: re.sub(r"[^\n]", " ", m.group()), text)


def allowed_longs(path: pathlib.Path) -> set[tuple[str, str]]:
    """(file, stripped line) pairs from long_allowed.txt: `file | line | reason`."""
    allowed = set()
    if path.exists():
        for entry in path.read_text().splitlines():
            if entry.strip() and not entry.startswith("#"):
                file, line, _reason = (part.strip() for part in entry.split("|", 2))
                allowed.add((file, line))
    return allowed


def check_file(path: pathlib.Path, relative: str, allowed: set[tuple[str, str]],
               include_folders: list[pathlib.Path], used: set[tuple[str, str]]) -> list[str]:
    text = path.read_text(errors="replace")
    lines = text.splitlines()
    code_lines = code_only(text).splitlines()
    findings = []
    for number, code in enumerate(code_lines, start=1):
        where = f"{relative}:{number}"
        for pattern, why in FORBIDDEN_CODE:
            match = pattern.search(code)
            if match:
                findings.append(f"{where}: {match.group()}: {why}")
        listed = (relative, lines[number - 1].strip())
        if listed in allowed:
            used.add(listed)
        if BARE_LONG.search(LONG_LONG.sub("", code)) and listed not in allowed:
            findings.append(f"{where}: long is 32 bits on Windows: use std::int64_t (or long "
                            f"long) where 64 bits are meant, int where 32 do, or list the "
                            f"line in tools/windows/long_allowed.txt with its reason")
    for match in INCLUDE.finditer(text):
        number = text.count("\n", 0, match.start()) + 1
        findings += check_include(match.group(1), match.group(2), path,
                                  f"{relative}:{number}", include_folders)
    return findings


def check_include(delimiter: str, name: str, includer: pathlib.Path, where: str,
                  include_folders: list[pathlib.Path]) -> list[str]:
    if name in POSIX_HEADERS or name.startswith(POSIX_HEADER_PREFIXES):
        return [f"{where}: <{name}> is POSIX-only"]
    if delimiter != '"':
        return []
    # Linux finds a quoted header only by its exact name; Windows by any case. A header
    # found only when case is ignored builds on Windows alone; one that exists twice in
    # different cases cannot be checked out there.
    for folder in [includer.parent, *include_folders]:
        candidate = folder / name
        if candidate.exists():
            return []
        if folder.is_dir() and case_insensitive_match(folder, name):
            return [f"{where}: \"{name}\" differs in case from the file on disk"]
    return []


def case_insensitive_match(folder: pathlib.Path, name: str) -> bool:
    current = folder
    for part in pathlib.PurePosixPath(name).parts:
        entries = {entry.name.lower(): entry for entry in current.iterdir()} \
            if current.is_dir() else {}
        if part.lower() not in entries:
            return False
        current = entries[part.lower()]
    return True


def case_clashes(files: list[pathlib.Path], root: pathlib.Path) -> list[str]:
    seen: dict[str, str] = {}
    findings = []
    for path in files:
        relative = path.relative_to(root).as_posix()
        other = seen.setdefault(relative.lower(), relative)
        if other != relative:
            findings.append(f"{relative}: same name as {other} on Windows (case differs)")
    return findings


def lint(root: pathlib.Path, allowed_file: pathlib.Path | None = None) -> list[str]:
    allowed = allowed_longs(allowed_file or pathlib.Path(__file__).with_name("long_allowed.txt"))
    sources = sorted(path for folder in SOURCE_FOLDERS for path in (root / folder).rglob("*")
                     if path.is_file() and path.suffix in SOURCE_SUFFIXES)
    include_folders = [root / "src" / "pyglue",
                       root / "src" / "corvane" / "gateways" / "cqg" / "wrapper" / "cqgglue"]
    findings = case_clashes(sorted(p for p in (root / "src").rglob("*") if p.is_file()), root)
    used: set[tuple[str, str]] = set()
    for path in sources:
        findings += check_file(path, path.relative_to(root).as_posix(), allowed,
                               include_folders, used)
    # An entry whose line has gone would excuse the same text written anywhere in that file
    # later, without anyone weighing its reason again.
    for file, line in sorted(allowed - used):
        findings.append(f"{file}: no line `{line}` any more: remove it from "
                        f"tools/windows/long_allowed.txt")
    return findings


def main(argv: list[str]) -> int:
    root = pathlib.Path(argv[1] if len(argv) > 1 else pathlib.Path(__file__).parents[2])
    findings = lint(root.resolve())
    for finding in findings:
        print(finding)
    if findings:
        print(f"portability lint: {len(findings)} finding(s) in our sources")
        return 1
    print("portability lint: no POSIX-only or 32-bit-long traps in our sources")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
