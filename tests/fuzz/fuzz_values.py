"""Hostile argument types and the rendering of any fuzz value as Python code.

Every value the fuzzer passes can be written back as source text
(`to_code`), so a failing call is reported as a script that rebuilds it
exactly. The classes below are what a hostile caller may pass where the
module expects numbers or sequences.
"""

from __future__ import annotations

import array
import math


class IntSub(int):
    def __repr__(self):
        return f"IntSub({int(self)})"


class FloatSub(float):
    def __repr__(self):
        return f"FloatSub({float_code(float(self))})"


class ListSub(list):
    """A faithful list subclass."""


class TupleSub(tuple):
    """A faithful tuple subclass."""


class LyingList(list):
    """A list whose __len__ claims `claim` elements, whatever it holds."""

    def __init__(self, items, claim):
        super().__init__(items)
        self.claim = claim

    def __len__(self):
        return self.claim


class LyingTuple(tuple):
    def __new__(cls, items, claim):
        obj = super().__new__(cls, items)
        obj.claim = claim
        return obj

    def __len__(self):
        return self.claim


class ShrinkingList(list):
    """A list that empties itself while its length is being asked for."""

    def __len__(self):
        n = list.__len__(self)
        self.clear()
        return n


class GrowingList(list):
    """A list that appends `extra` copies of its last item when its length is asked for."""

    def __init__(self, items, extra):
        super().__init__(items)
        self.extra = extra

    def __len__(self):
        n = list.__len__(self)
        if n:
            self.extend([list.__getitem__(self, n - 1)] * self.extra)
        return n


class Opaque:
    """An object with every numeric conversion hook; none may be used."""

    def __index__(self):
        return 1

    def __int__(self):
        return 1

    def __float__(self):
        return 1.0

    def __len__(self):
        return 1

    def __iter__(self):
        return iter([1.0])

    def __repr__(self):
        return "Opaque()"


def float_code(x: float) -> str:
    if math.isnan(x):
        return "float('nan')" if math.copysign(1.0, x) > 0 else "-float('nan')"
    if math.isinf(x):
        return "float('inf')" if x > 0 else "float('-inf')"
    return repr(x)


def base_items(seq) -> list:
    """The real items of a list or tuple (subclass), whatever its __len__ says."""
    base = list if isinstance(seq, list) else tuple
    return list(base.__iter__(seq))


def to_code(v) -> str:
    """Python source text that rebuilds `v` (with this module's names in scope)."""
    t = type(v)
    if v is None or t is bool or t is str or t is bytes or t is complex:
        return repr(v)
    if t is int:
        return repr(v)
    if t is float:
        return float_code(v)
    if t in (IntSub, FloatSub, Opaque):
        return repr(v)
    if t is list:
        return "[" + ", ".join(map(to_code, v)) + "]"
    if t is tuple:
        inner = ", ".join(map(to_code, v))
        return "(" + inner + ("," if len(v) == 1 else "") + ")"
    if t in (ListSub, TupleSub):
        return f"{t.__name__}({to_code(base_items(v))})"
    if t in (LyingList, LyingTuple):
        return f"{t.__name__}({to_code(base_items(v))}, {v.claim})"
    if t is ShrinkingList:
        return f"ShrinkingList({to_code(base_items(v))})"
    if t is GrowingList:
        return f"GrowingList({to_code(base_items(v))}, {v.extra})"
    if t is range:
        return repr(v)
    if t is array.array:
        return f"array.array({v.typecode!r}, {to_code(v.tolist())})"
    if t is dict:
        return "{" + ", ".join(f"{to_code(k)}: {to_code(x)}" for k, x in v.items()) + "}"
    if t is set:
        return "{" + ", ".join(map(to_code, v)) + "}" if v else "set()"
    if t is memoryview:
        return f"memoryview({bytes(v)!r})"
    if t is object:
        return "object()"
    if t is Generator:
        return repr(v)
    raise TypeError(f"no code for {t.__name__}")


class Generator:
    """A lazily built generator (kept as its items so that it can be written back)."""

    def __init__(self, items):
        self.items = items

    def make(self):
        return (x for x in self.items)

    def __repr__(self):
        return f"Generator({to_code(self.items)}).make()"


PRELUDE = "import array\nfrom fuzz_values import *\n"
