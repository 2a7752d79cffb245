"""The module's Python surface as declared in src/orvane_native/module/surface.def,
read without building or importing the module, and the type stubs generated
from it.

    python tools/surface_table.py           write stubs/orvane_native-stubs/__init__.pyi
    python tools/surface_table.py --check   exit 1 when the checked-in stubs differ

(`./dev stubs` runs the first.) The tests, the fuzzer and the stub generator
all read the surface through read_table(), so a row added to surface.def
reaches each of them.
"""

from __future__ import annotations

import argparse
import pathlib
import re
import sys
from dataclasses import dataclass

ROOT = pathlib.Path(__file__).resolve().parent.parent
TABLE = ROOT / "src" / "orvane_native" / "module" / "surface.def"
STUBS = ROOT / "stubs" / "orvane_native-stubs" / "__init__.pyi"

PARAM_KINDS = ("int", "float", "Sequence[int]", "Sequence[float]")
RESULT_KINDS = PARAM_KINDS + ("None", "str")


@dataclass(frozen=True)
class Signature:
    name: str
    params: tuple  # ((name, kind), ...)
    result: str


@dataclass(frozen=True)
class Function:
    signature: str  # also the function's docstring
    summary: str
    core: str | None  # None for a function built by hand (version)

    @property
    def sig(self) -> Signature:
        return parse_signature(self.signature)


@dataclass(frozen=True)
class Method:
    owner: str
    signature: str
    core: str
    doc: str
    summary: str

    @property
    def sig(self) -> Signature:
        return parse_signature(self.signature)


@dataclass(frozen=True)
class Class:
    name: str
    buffer: bool
    summary: str
    constructor_summary: str
    methods: tuple  # (Method, ...), in table order


@dataclass(frozen=True)
class Table:
    functions: tuple  # (Function, ...), in table order
    classes: tuple  # (Class, ...), in table order

    def function(self, name: str) -> Function:
        return next(f for f in self.functions if f.sig.name == name)

    def cls(self, name: str) -> Class:
        return next(c for c in self.classes if c.name == name)


_SIGNATURE = re.compile(r"^([A-Za-z_]\w*)\(([^()]*)\) -> (.+)$")


def parse_signature(text: str) -> Signature:
    """Reads "name(p: kind, ...) -> result"; ValueError when it is not one."""
    m = _SIGNATURE.match(text)
    if m is None:
        raise ValueError(f"not a signature: {text!r}")
    params = []
    if m.group(2).strip():
        for part in m.group(2).split(","):
            name, sep, kind = (s.strip() for s in part.partition(":"))
            if not sep or not name.isidentifier() or kind not in PARAM_KINDS:
                raise ValueError(f"bad parameter {part.strip()!r} in {text!r}")
            params.append((name, kind))
    if m.group(3) not in RESULT_KINDS:
        raise ValueError(f"bad result kind in {text!r}")
    return Signature(m.group(1), tuple(params), m.group(3))


# ---- reading surface.def ------------------------------------------------------

_TOKEN = re.compile(
    r'(?P<space>\s+)|(?P<comment>//[^\n]*)|(?P<string>"(?:[^"\\\n]|\\.)*")|(?P<word>[A-Za-z_][\w:]*)|(?P<punct>[(),])'
)
_ESCAPES = {"n": "\n", '"': '"', "\\": "\\"}

# Macro name -> parameter names, as documented in surface.def.
_MACROS = {
    "ORVANE_FUNCTION": ("signature", "core", "summary"),
    "ORVANE_NOARGS_FUNCTION": ("signature", "summary"),
    "ORVANE_CLASS": ("cls", "buffer", "summary", "constructor_summary"),
    "ORVANE_METHOD": ("cls", "signature", "core", "doc", "summary"),
}
_WORD_ARGS = {"cls", "core", "buffer"}


def _unescape(literal: str, where: str) -> str:
    def one(m):
        if m.group(1) not in _ESCAPES:
            raise ValueError(f"{where}: unsupported escape \\{m.group(1)}")
        return _ESCAPES[m.group(1)]

    return re.sub(r"\\(.)", one, literal[1:-1])


def _tokens(text: str, path):
    pos = 0
    while pos < len(text):
        m = _TOKEN.match(text, pos)
        if m is None:
            line = text.count("\n", 0, pos) + 1
            raise ValueError(f"{path}:{line}: unexpected text {text[pos:pos + 20]!r}")
        if m.lastgroup not in ("space", "comment"):
            yield m.lastgroup, m.group(), text.count("\n", 0, pos) + 1
        pos = m.end()


def _rows(path):
    """(macro, {parameter: value}, line) for each row of the table."""
    tokens = list(_tokens(path.read_text(), path))
    i = 0
    while i < len(tokens):
        kind, macro, line = tokens[i]
        where = f"{path}:{line}"
        if kind != "word" or macro not in _MACROS:
            raise ValueError(f"{where}: expected a row macro, found {macro!r}")
        if tokens[i + 1][1] != "(":
            raise ValueError(f"{where}: {macro} needs its arguments")
        i += 2
        args = [[]]
        while tokens[i][1] != ")":
            if tokens[i][1] == ",":
                args.append([])
            elif tokens[i][0] in ("string", "word"):
                args[-1].append(tokens[i])
            else:
                raise ValueError(f"{where}: unexpected {tokens[i][1]!r}")
            i += 1
        i += 1
        names = _MACROS[macro]
        if len(args) != len(names):
            raise ValueError(f"{where}: {macro} takes {len(names)} arguments, got {len(args)}")
        values = {}
        for name, parts in zip(names, args):
            if name in _WORD_ARGS:
                if len(parts) != 1 or parts[0][0] != "word":
                    raise ValueError(f"{where}: {macro} argument {name} must be one name")
                values[name] = parts[0][1]
            else:
                if not parts or any(p[0] != "string" for p in parts):
                    raise ValueError(f"{where}: {macro} argument {name} must be string literals")
                values[name] = "".join(_unescape(p[1], where) for p in parts)
        for name in ("summary", "constructor_summary"):
            if name in values and (not values[name].strip() or "\n" in values[name]):
                raise ValueError(f"{where}: {macro} {name} must be one non-empty line")
        yield macro, values, where


def read_table(path=TABLE) -> Table:
    path = pathlib.Path(path)
    functions = []
    classes = {}  # name -> (Class fields, [Method])
    for macro, v, where in _rows(path):
        if macro in ("ORVANE_FUNCTION", "ORVANE_NOARGS_FUNCTION"):
            f = Function(v["signature"], v["summary"], v.get("core"))
            if macro == "ORVANE_NOARGS_FUNCTION" and f.sig.params:
                raise ValueError(f"{where}: ORVANE_NOARGS_FUNCTION has parameters")
            functions.append(f)
        elif macro == "ORVANE_CLASS":
            if v["buffer"] not in ("true", "false"):
                raise ValueError(f"{where}: buffer export must be true or false")
            if v["cls"] in classes:
                raise ValueError(f"{where}: class {v['cls']} declared twice")
            classes[v["cls"]] = (v, [])
        else:
            if v["cls"] not in classes:
                raise ValueError(f"{where}: method of {v['cls']} before its ORVANE_CLASS row")
            m = Method(v["cls"], v["signature"], v["core"], v["doc"], v["summary"])
            parse_signature(m.signature)  # rejects a malformed row here
            classes[v["cls"]][1].append(m)
    names = [f.sig.name for f in functions]
    if len(set(names)) != len(names):
        raise ValueError(f"{path}: a function is declared twice")
    built = []
    for name, (v, methods) in classes.items():
        method_names = [m.sig.name for m in methods]
        if len(set(method_names)) != len(method_names):
            raise ValueError(f"{path}: a method of {name} is declared twice")
        built.append(Class(name, v["buffer"] == "true", v["summary"], v["constructor_summary"], tuple(methods)))
    return Table(tuple(functions), tuple(built))


# ---- the type stubs --------------------------------------------------------------

STUB_HEADER = '''\
"""Type information for the orvane_native extension module.

Every complex array is a flat sequence of floats, real part first
(``[re0, im0, re1, im1, ...]``); a ``dim`` x ``dim`` matrix is row-major.
Qubit 0 is the most significant bit of a basis index.

Generated by `./dev stubs` from src/orvane_native/module/surface.def: edit
the table there, not this file.
"""

from typing import Self

from typing_extensions import disjoint_base
'''


def stub_param(kind: str) -> str:
    """A parameter kind as the stubs spell it: a sequence parameter takes a list
    or a tuple, nothing else."""
    m = re.fullmatch(r"Sequence\[(\w+)\]", kind)
    return f"list[{m.group(1)}] | tuple[{m.group(1)}, ...]" if m else kind


def stub_result(kind: str) -> str:
    """A result kind as the stubs spell it: sequences arrive as new lists."""
    m = re.fullmatch(r"Sequence\[(\w+)\]", kind)
    return f"list[{m.group(1)}]" if m else kind


def _docstring(text: str, indent: str) -> str:
    if '"' in text or "\\" in text:
        raise ValueError(f"a stub docstring cannot hold quotes or backslashes: {text!r}")
    return f'{indent}"""{text}"""\n'


def _def(name: str, params: list, result: str, summary: str, indent: str = "") -> str:
    one_line = f"{indent}def {name}({', '.join(params)}) -> {result}:"
    if len(one_line) <= 100:
        head = one_line + "\n"
    else:
        inner = indent + "    "
        head = f"{indent}def {name}(\n" + "".join(f"{inner}{p},\n" for p in params) + f"{indent}) -> {result}:\n"
    return head + _docstring(summary, indent + "    ")


def _params(sig: Signature) -> list:
    return [f"{n}: {stub_param(k)}" for n, k in sig.params]


def render_stubs(table: Table) -> str:
    out = [STUB_HEADER]
    for f in table.functions:
        sig = f.sig
        out.append("\n" + _def(sig.name, _params(sig), stub_result(sig.result), f.summary))
    for c in table.classes:
        body = [_docstring(c.summary, "    "), "\n", "    num_qubits: int\n",
                _def("__new__", ["cls", "num_qubits: int"], "Self", c.constructor_summary, "    ")]
        if c.buffer:
            body.append(_def("__buffer__", ["self", "flags: int", "/"], "memoryview",
                             "A writable one-dimensional view of the buffer: float64 (format d), "
                             "interleaved complex, qubit 0 the most significant bit.", "    "))
            body.append(_def("__release_buffer__", ["self", "buffer: memoryview", "/"], "None",
                             "Nothing; ends a view made by __buffer__.", "    "))
        for m in c.methods:
            sig = m.sig
            body.append(_def(sig.name, ["self"] + _params(sig), stub_result(sig.result), m.summary, "    "))
        out.append(f"\n@disjoint_base\nclass {c.name}:\n" + "".join(body))
    return "".join(out)


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--check", action="store_true", help="compare with the checked-in stubs, write nothing")
    opts = parser.parse_args(argv)
    text = render_stubs(read_table())
    if opts.check:
        if STUBS.read_text() != text:
            print(f"{STUBS.relative_to(ROOT)} differs from the table: run ./dev stubs", file=sys.stderr)
            return 1
        return 0
    STUBS.write_text(text)
    print(f"wrote {STUBS.relative_to(ROOT)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
