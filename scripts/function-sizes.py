#!/usr/bin/env python3
"""Lists the longest functions and the largest files of the sources.

A brace-matching scan of the .cpp files, not a parser: comments, strings and
character literals are blanked out, then every brace block whose header looks
like a function's (a parameter list, no control keyword, outside any other
function) counts as one, from its header's first line to its closing brace.
Members defined inside a class body count too; lambdas count as part of the
function that holds them. A constructor that initialises a member with braces
(`: a_{1} {`) is taken for a one-line function.

    scripts/function-sizes.py [-n 15] [--files 10] [ROOT ...]   (default: src)
"""
import argparse
import pathlib
import re
import sys

CONTROL = {"if", "for", "while", "switch", "catch", "do", "else", "try", "return"}
NAME = re.compile(r"(~?[A-Za-z_]\w*(?:::~?[A-Za-z_]\w*)*|operator\s*[^\s(]+)\s*$")


def blank(text: str) -> str:
    """The text with comments and literals turned into blanks, line breaks kept."""
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
        elif c == "R" and text.startswith('R"', i) and not (i and (text[i - 1].isalnum() or text[i - 1] == "_")):
            m = re.match(r'R"([^(\s]*)\(', text[i:])
            if not m:
                out.append(c)
                i += 1
                continue
            close = ")" + m.group(1) + '"'
            j = text.find(close, i + m.end())
            j = n if j < 0 else j + len(close)
            out.append('""' + re.sub(r"[^\n]", " ", text[i + 2 : j]))
            i = j
        elif c in "\"'":
            if c == "'" and i and text[i - 1].isalnum():  # digit separator: 1'000
                out.append(" ")
                i += 1
                continue
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            j = min(j + 1, n)
            out.append(c + " " * (j - i - 2) + c if j - i >= 2 else c)
            i = j
        else:
            out.append(c)
            i += 1
    return "".join(out)


def function_name(header: str):
    """The function's name when the text before a '{' is a function's header."""
    header = re.sub(r"^\s*#.*$", "", header, flags=re.M)  # preprocessor lines
    header = header.strip()
    if not header or "(" not in header or header.startswith(("namespace", "class ", "struct ", "enum", "union")):
        return None
    if re.search(r"\b(class|struct|union|enum)\b[^()]*$", header):
        return None
    # The parameter list is the first top-level (...) group; a constructor's
    # initialiser list and trailing qualifiers follow it.
    depth = 0
    for k, ch in enumerate(header):
        if ch == "(":
            if depth == 0:
                before = header[:k]
                m = NAME.search(before)
                if not m:
                    return None
                name = m.group(1)
                if name.split("::")[-1] in CONTROL or before.rstrip().endswith(("]", "=")):
                    return None
                if re.search(r"=\s*$", before):
                    return None
                return re.sub(r"\s+", "", name) if name.startswith("operator") else name
            depth += 1
        elif ch == ")":
            depth -= 1
    return None


def first_code(header: str) -> int:
    """Where the header's code begins, past blanks and preprocessor lines."""
    at = 0
    for line in header.splitlines(keepends=True):
        code = line.lstrip()
        if code and not code.startswith("#"):
            return at + len(line) - len(code)
        at += len(line)
    return at


def scan(path: pathlib.Path):
    text = blank(path.read_text(encoding="utf-8", errors="replace"))
    found = []
    stack = []  # each open brace: (name, line) of a function, "scope", or None/False
    header_start = 0  # where the text before the next brace begins
    line = 1
    line_at = [0] * (len(text) + 1)
    for i, ch in enumerate(text):
        line_at[i] = line
        if ch == "\n":
            line += 1
    inside = 0  # open braces since the enclosing function's body began
    for i, ch in enumerate(text):
        if ch == "{":
            if inside:
                inside += 1
                stack.append(False)
            else:
                header = text[header_start:i]
                # Only namespaces and class bodies hold functions; the braces of
                # an initialiser do not.
                name = function_name(header) if all(stack) else None
                if name:
                    first = header_start + first_code(header)
                    stack.append((name, line_at[first]))
                    inside = 1
                else:
                    scope = re.search(r"\b(namespace|class|struct|union|enum)\b|extern", header)
                    stack.append("scope" if scope else None)
            header_start = i + 1
        elif ch == "}":
            opened = stack.pop() if stack else None
            if inside:
                inside -= 1
                if inside == 0 and isinstance(opened, tuple):
                    name, first = opened
                    found.append((line_at[i] - first + 1, name, first))
            header_start = i + 1
        elif ch == ";" and not inside:
            header_start = i + 1
        elif ch == ":" and not inside and re.search(r"\b(public|private|protected)\s*$", text[header_start:i]):
            header_start = i + 1
    return found


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("roots", nargs="*", default=["src"])
    parser.add_argument("-n", type=int, default=15, help="functions to list (default 15)")
    parser.add_argument("--files", type=int, default=10, help="files to list (default 10)")
    args = parser.parse_args()

    functions, files = [], []
    for root in map(pathlib.Path, args.roots):
        if not root.exists():
            print(f"function-sizes: no such folder: {root}", file=sys.stderr)
            return 2
        for path in sorted(root.rglob("*")):
            if path.suffix not in (".cpp", ".h") or not path.is_file():
                continue
            lines = path.read_text(encoding="utf-8", errors="replace").count("\n")
            files.append((lines, str(path)))
            if path.suffix == ".cpp":
                functions += [(n, name, f"{path}:{first}") for n, name, first in scan(path)]

    functions.sort(key=lambda f: (-f[0], f[2]))
    files.sort(key=lambda f: (-f[0], f[1]))
    print(f"{'lines':>5}  function  (file:line)")
    for n, name, where in functions[: args.n]:
        print(f"{n:5}  {name}  ({where})")
    print()
    print(f"{'lines':>5}  file")
    for n, path in files[: args.files]:
        print(f"{n:5}  {path}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
