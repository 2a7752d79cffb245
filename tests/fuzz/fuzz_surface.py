"""The Python surface of a module, discovered at run time.

Module functions carry their exact signature as their docstring, for example
"kron(a: Sequence[float], a_dim: int, b: Sequence[float], b_dim: int) -> Sequence[float]",
so every function found by dir() becomes an entry point with typed
parameters. Methods carry prose docstrings, so their signatures come from
the module's surface table (src/orvane_native/module/surface.def, the same
rows the wrappers are built from), read into METHOD_SIGNATURES below; a test
checks that this table and dir() of each class agree, so a method added to a
class cannot escape the fuzzer unnoticed.
"""

from __future__ import annotations

import os
import re
import sys
from dataclasses import dataclass, field

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import surface_table  # noqa: E402

KINDS = ("int", "float", "Sequence[int]", "Sequence[float]")
RESULTS = KINDS + ("None", "str")

# Signatures of the methods of the persistent classes, in the same format as
# the module functions' docstrings, as the surface table declares them.
METHOD_SIGNATURES = {c.name: [m.signature for m in c.methods] for c in surface_table.read_table().classes}

# Every class is built as Cls(num_qubits) and has a settable num_qubits.
CONSTRUCTOR_PARAMS = (("num_qubits", "int"),)
ATTRIBUTES = (("num_qubits", "int"),)

_SIGNATURE = re.compile(r"^(?P<name>[A-Za-z_]\w*)\((?P<params>[^()]*)\)\s*->\s*(?P<result>.+)$")


@dataclass(frozen=True)
class Signature:
    name: str
    params: tuple  # ((name, kind), ...)
    result: str


def parse_signature(text: str) -> Signature | None:
    """Reads "name(p: kind, ...) -> result"; None when `text` is not one."""
    if not text:
        return None
    m = _SIGNATURE.match(text.strip())
    if m is None:
        return None
    params = []
    inner = m.group("params").strip()
    if inner:
        for part in inner.split(","):
            pname, sep, kind = part.partition(":")
            pname, kind = pname.strip(), kind.strip()
            if not sep or kind not in KINDS or not pname.isidentifier():
                return None
            params.append((pname, kind))
    result = m.group("result").strip()
    if result not in RESULTS:
        return None
    return Signature(m.group("name"), tuple(params), result)


@dataclass(frozen=True)
class Entry:
    """One Python-callable entry point.

    kind: "function", "constructor", "method" or "setter".
    name: "kron", "NativeState", "NativeState.measure", "NativeState.num_qubits=".
    """

    kind: str
    name: str
    owner: str | None  # class name for constructors, methods and setters
    attr: str  # function, method or attribute name
    params: tuple
    result: str
    fastcall: bool = True  # False for methods without parameters (no-args)
    buffer: bool = False  # whether instances of the owner class export a buffer


@dataclass
class Surface:
    module_name: str
    entries: list = field(default_factory=list)
    classes: dict = field(default_factory=dict)  # name -> type
    unparsed: list = field(default_factory=list)  # public callables without a signature

    def by_name(self) -> dict:
        return {e.name: e for e in self.entries}


def public_methods(cls) -> list:
    """Public callables of a class (the attributes of ATTRIBUTES excluded)."""
    skip = {name for name, _ in ATTRIBUTES}
    return sorted(n for n in dir(cls) if not n.startswith("_") and n not in skip and callable(getattr(cls, n)))


def exports_buffer(cls) -> bool:
    """Whether a small instance of `cls` exports a buffer."""
    try:
        obj = cls(1)
    except Exception:
        return False
    try:
        memoryview(obj).release()
        return True
    except TypeError:
        return False


def discover(module) -> Surface:
    surface = Surface(module.__name__)
    for name in sorted(dir(module)):
        if name.startswith("_"):
            continue
        obj = getattr(module, name)
        if isinstance(obj, type):
            surface.classes[name] = obj
            continue
        if not callable(obj):
            continue
        sig = parse_signature(getattr(obj, "__doc__", None) or "")
        if sig is None or sig.name != name:
            surface.unparsed.append(name)
            continue
        surface.entries.append(Entry("function", name, None, name, sig.params, sig.result))
    for cname, cls in surface.classes.items():
        buf = exports_buffer(cls)
        surface.entries.append(Entry("constructor", cname, cname, cname, CONSTRUCTOR_PARAMS, "object", True, buf))
        for text in METHOD_SIGNATURES.get(cname, []):
            sig = parse_signature(text)
            name = f"{cname}.{sig.name}"
            surface.entries.append(Entry("method", name, cname, sig.name, sig.params, sig.result, bool(sig.params), buf))
        for attr, kind in ATTRIBUTES:
            if hasattr(cls, attr):
                name = f"{cname}.{attr}="
                surface.entries.append(Entry("setter", name, cname, attr, ((attr, kind),), "None", True, buf))
    return surface


def entry_to_json(e: Entry) -> dict:
    return {"kind": e.kind, "name": e.name, "owner": e.owner, "attr": e.attr, "params": [list(p) for p in e.params],
            "result": e.result, "fastcall": e.fastcall, "buffer": e.buffer}


def entry_from_json(d: dict) -> Entry:
    return Entry(d["kind"], d["name"], d["owner"], d["attr"], tuple(tuple(p) for p in d["params"]), d["result"],
                 d["fastcall"], d["buffer"])


def table_mismatches(surface: Surface) -> list:
    """Differences between METHOD_SIGNATURES and the classes found at run time."""
    problems = []
    for cname, cls in surface.classes.items():
        listed = {parse_signature(t).name for t in METHOD_SIGNATURES.get(cname, [])}
        found = set(public_methods(cls))
        for m in sorted(found - listed):
            problems.append(f"{cname}.{m} is not in METHOD_SIGNATURES")
        for m in sorted(listed - found):
            problems.append(f"{cname}.{m} is listed but the class has no such method")
    for cname in METHOD_SIGNATURES:
        if cname not in surface.classes:
            problems.append(f"class {cname} is listed but not in the module")
    return problems
