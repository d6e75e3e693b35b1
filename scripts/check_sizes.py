#!/usr/bin/env python3
"""Lists product functions longer than 60 lines and product files longer than
500 lines (C and C++ under engine/, platform/, plugins/, plugin_api/, ui/,
tools/). A function is counted from its first signature line to its closing
brace; comments and blank lines count as lines."""
import re
import sys
from pathlib import Path

FUNCTION_LIMIT = 60
FILE_LIMIT = 500
PRODUCT_DIRS = ("engine", "platform", "plugins", "plugin_api", "ui", "tools")
SUFFIXES = {".c", ".cc", ".cpp", ".h", ".hpp"}


def blank_out(text):
    """Comments and string/char literals become spaces; newlines stay."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            out.append(" " * (j - i))
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append(re.sub(r"[^\n]", " ", text[i:j]))
            i = j
        elif c == 'R' and text.startswith('R"', i):
            m = re.match(r'R"([^(\s]*)\(', text[i:])
            if not m:
                out.append(c)
                i += 1
                continue
            end = text.find(")" + m.group(1) + '"', i)
            j = n if end < 0 else end + len(m.group(1)) + 2
            out.append(re.sub(r"[^\n]", " ", text[i:j]))
            i = j
        elif c in "\"'":
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            j = min(j + 1, n)
            out.append(" " * (j - i))
            i = j
        else:
            out.append(c)
            i += 1
    return "".join(out)


def functions(text):
    """(name, first line, last line) of every function body in `text`."""
    code = blank_out(text)
    code = re.sub(r"^[ \t]*#.*$", lambda m: " " * len(m.group(0)), code, flags=re.M)
    stack = []  # 'scope' or ('function', name, line)
    start = 0  # where the text before the next brace begins
    found = []
    for i, c in enumerate(code):
        if c in ";":
            if not any(isinstance(s, tuple) for s in stack):
                start = i + 1
        elif c == "{":
            inside = any(isinstance(s, tuple) for s in stack)
            head = code[start:i]
            if inside:
                stack.append("block")
            elif re.search(r"\b(namespace|class|struct|union|enum)\b[^()]*$", head) or re.search(r'extern\s*$', head):
                stack.append("scope")
            elif ")" in head and (not re.search(r"=[^()]*\(", head) or "operator" in head):
                stripped = head.lstrip()
                first = start + (len(head) - len(stripped))
                line = code.count("\n", 0, first) + 1
                name = re.findall(r"([~\w:]+|operator\s*\S+)\s*\(", head)
                stack.append(("function", name[0] if name else "?", line))
            else:
                stack.append("block")
            start = i + 1
        elif c == "}":
            if stack:
                top = stack.pop()
                if isinstance(top, tuple):
                    found.append((top[1], top[2], code.count("\n", 0, i) + 1))
            if not any(isinstance(s, tuple) for s in stack):
                start = i + 1
    return found


def main():
    root = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(".")
    long_functions, long_files = [], []
    for folder in PRODUCT_DIRS:
        for path in sorted((root / folder).rglob("*")):
            if path.suffix not in SUFFIXES or not path.is_file():
                continue
            text = path.read_text(errors="replace")
            lines = text.count("\n")
            rel = path.relative_to(root)
            if lines > FILE_LIMIT:
                long_files.append((lines, str(rel)))
            for name, first, last in functions(text):
                if last - first + 1 > FUNCTION_LIMIT:
                    long_functions.append((last - first + 1, f"{rel}:{first}", name))
    for lines, where, name in sorted(long_functions, reverse=True):
        print(f"function {lines} lines: {where} {name}")
    for lines, where in sorted(long_files, reverse=True):
        print(f"file {lines} lines: {where}")
    return 1 if long_functions or long_files else 0


if __name__ == "__main__":
    sys.exit(main())
