#!/usr/bin/env python3
"""message_formats.py OUT SOURCE...: writes every message format of the library's sources as
C++ initialisers {L"format", "file:line"}, so that a test can run each through the formatter.

A message is a call of write_message(sink, FORMAT, ...) or job_message(job, bit, FORMAT, ...).
The format is a string literal or a named constant that the library defines as one (in a source
or header of the folders given). Any other format fails the build: no format may escape the test."""
import os
import re
import sys

CALLS = {"write_message": 1, "job_message": 2}
CALL = re.compile(r"\b(write_message|job_message)\s*\(")
LITERAL = re.compile(r'\s*(L"(?:[^"\\]|\\.)*"\s*)+$', re.S)
CONSTANT = re.compile(r'constexpr\s+(?:const\s+)?wchar_t\s*(?:const\s*)?\*?\s*(k\w+)(?:\[\])?\s*=\s*((?:L"(?:[^"\\]|\\.)*"\s*)+);')


def named_formats(sources):
    """The wide string constants defined in the sources' folders, by name."""
    folders = {os.path.dirname(path) for path in sources}
    found = {}
    for folder in folders:
        for entry in sorted(os.listdir(folder)):
            if entry.endswith((".h", ".cpp")):
                text = open(os.path.join(folder, entry), encoding="utf-8").read()
                found.update((m.group(1), m.group(2).strip()) for m in CONSTANT.finditer(text))
    return found


def split_arguments(text, start):
    """The top-level arguments of the call whose '(' is at text[start - 1], and the end."""
    depth, args, current, i = 0, [], [], start
    while i < len(text):
        c = text[i]
        if c in "\"'":
            j = i + 1
            while text[j] != c:
                j += 2 if text[j] == "\\" else 1
            current.append(text[i:j + 1])
            i = j + 1
            continue
        if c in "([{":
            depth += 1
        elif c in ")]}":
            if depth == 0:
                args.append("".join(current).strip())
                return args, i
            depth -= 1
        elif c == "," and depth == 0:
            args.append("".join(current).strip())
            current = []
            i += 1
            continue
        current.append(c)
        i += 1
    raise SystemExit("message_formats: unbalanced call")


def main():
    out, sources = sys.argv[1], sys.argv[2:]
    lines, failures = [], []
    constants = named_formats(sources)
    for path in sorted(sources):
        text = open(path, encoding="utf-8").read()
        name = os.path.relpath(path, os.path.join(os.path.dirname(__file__), "..", ".."))
        for match in CALL.finditer(text):
            args, _ = split_arguments(text, match.end())
            line = text.count("\n", 0, match.start()) + 1
            index = CALLS[match.group(1)]
            if re.match(r"(const\s+)?\w+\s*\*", args[0]):
                continue  # a declaration or definition
            if len(args) > index and args[index] in constants:
                args[index] = constants[args[index]]
            if len(args) <= index or not LITERAL.match(args[index]):
                failures.append(f"{name}:{line}: the format of {match.group(1)} is not a string literal")
                continue
            lines.append(f'{{{args[index].strip()}, "{name}:{line}"}},')
    if failures or not lines:
        raise SystemExit("\n".join(failures) or "message_formats: no message found")
    with open(out, "w", encoding="utf-8") as f:
        f.write("// Made by tests/support/message_formats.py from the library's sources.\n")
        f.write("\n".join(lines) + "\n")


main()
