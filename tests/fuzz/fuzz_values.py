"""Hostile argument types and the rendering of any fuzz value as Python code.

Every value the fuzzer passes can be written back as source text
(`to_code`), so a failing call is reported as a script that rebuilds it
exactly. The classes below are what a hostile caller may pass where the
module expects numbers or sequences.
"""

from __future__ import annotations

import array
import math
import random
import signal


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
    if t in (Generator, Made):
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


class Made:
    """A long argument described in a few words and built at call time, so that
    a plan and its reproducer stay short:

    Made("const", count, value)   `count` copies of `value`
    Made("uniform", count, seed)  `count` floats in [-1/16, 1/16)
    Made("sym", n, seed, nan)     a real symmetric n x n matrix (NaN at (3, 5) and (5, 3) if `nan`)
    Made("eye", n)                the real n x n identity
    Made("chain", n, measure[, reps])  Clifford instructions: H on qubit 0 and a CNOT chain over
                                  n qubits (`reps` times, once by default), then (if `measure`)
                                  a measurement of every 4th qubit
    """

    _last_const = [None, None]

    def __init__(self, kind, *params):
        self.kind = kind
        self.params = params

    def make(self) -> list:
        k, p = self.kind, self.params
        if k == "const":
            # the last such list is kept: building a million items each time
            # would dominate the run (the module never changes its arguments,
            # and the harness checks that it does not)
            if Made._last_const[0] != (p, type(p[1])):
                Made._last_const = [(p, type(p[1])), [p[1]] * p[0]]
            return Made._last_const[1]
        if k == "uniform":
            r = random.Random(p[1])
            return [(r.random() - 0.5) / 8 for _ in range(p[0])]
        if k == "sym":
            n, r = p[0], random.Random(p[1])
            m = [[0.0] * n for _ in range(n)]
            for i in range(n):
                for j in range(i + 1):
                    m[i][j] = m[j][i] = r.random() - 0.5
            if p[2] and n > 5:
                m[3][5] = m[5][3] = math.nan
            return [x for row in m for x in row]
        if k == "eye":
            return [1.0 if i == j else 0.0 for i in range(p[0]) for j in range(p[0])]
        if k == "chain":
            n, reps = p[0], p[2] if len(p) > 2 else 1
            out = ([0, 0, 0] + [x for q in range(n - 1) for x in (6, q, q + 1)]) * reps
            return out + ([x for q in range(0, n, 4) for x in (9, q, 0)] if p[1] else [])
        raise ValueError(f"unknown kind {k!r}")

    def __repr__(self):
        return f"Made({', '.join(map(to_code, (self.kind, *self.params)))}).make()"


def lazy(v):
    """The value a plan's argument stands for (Generator and Made are built now)."""
    return v.make() if isinstance(v, (Generator, Made)) else v


# ---- interrupted calls ----------------------------------------------------------------

class Interrupted(Exception):
    """What the SIGALRM handler of an interrupted fuzz call raises."""


class alarm:
    """`with alarm(seconds):` SIGALRM arrives after `seconds`, and its handler
    raises Interrupted, once, if the block is still running. `raised` is the
    exception the handler raised (None if it did not)."""

    def __init__(self, seconds: float):
        self.seconds = seconds
        self.armed = False
        self.raised = None

    def _handler(self, signum, frame):
        if self.armed:
            self.armed = False
            self.raised = Interrupted(f"SIGALRM after {self.seconds * 1000:.2f} ms")
            raise self.raised

    def __enter__(self):
        signal.signal(signal.SIGALRM, self._handler)
        self.armed = True
        signal.setitimer(signal.ITIMER_REAL, self.seconds)
        return self

    def __exit__(self, *exc):
        self.armed = False
        # a signal already delivered finds the handler disarmed; the handler
        # stays installed, so that none can end the process
        signal.setitimer(signal.ITIMER_REAL, 0)
        return False


# ---- failed construction --------------------------------------------------------------

def failing_subclass(cls, calls, resurrect: bool, log: list, kept: list):
    """A subclass of `cls` whose finaliser makes `calls` on its instance (in the
    fuzz plans, one whose construction failed), appending (name, result or
    exception) to `log`, and then resurrects the instance into `kept` if
    `resurrect`. A call is (method name, args, kwargs); the names
    "num_qubits=" (assigns args[0]) and "memoryview" (the view's size in bytes)
    stand for an assignment and a buffer export."""

    def __del__(self):
        for name, args, kwargs in calls:
            try:
                if name == "num_qubits=":
                    self.num_qubits = args[0]
                    out = None
                elif name == "memoryview":
                    with memoryview(self) as view:
                        out = view.nbytes
                else:
                    out = getattr(self, name)(*map(lazy, args), **{k: lazy(v) for k, v in kwargs.items()})
            except BaseException as e:  # noqa: BLE001 - the log is checked afterwards
                out = e
            log.append((name, out))
        if resurrect:
            kept.append(self)

    return type(f"HalfMade{cls.__name__}", (cls,), {"__del__": __del__})


PRELUDE = "import array\nfrom fuzz_values import *\n"
