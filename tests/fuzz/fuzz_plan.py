"""Random call plans for one entry point, reproducible from (seed, entry, index).

A plan is a short list of steps run against a fresh module state: for a
module function a single call; for a method a constructor call, a few
prelude steps on the object (other method calls, a live buffer view, writes
through it, a reassigned num_qubits) and then the call under test. Every
value comes from a random.Random seeded with (seed, entry, index), so the
plan, and the reproducer script written from it, is the same on every
machine.

Arguments are mostly well formed, with sizes that agree with each other
(a state of 2^(n+1) floats for n qubits, gates of 2*4^k floats for k
targets), so that calls reach the computations and not only the early
rejections; a share of them is hostile: wrong types, bools, int and float
subclasses, integers beyond 64 bits, NaN and infinities, lists and tuples
whose __len__ lies, containers that are not lists or tuples, wrong argument
counts and keyword names. Parameter names steer the choice of sizes
(INT_HINTS, FLOAT_SEQ_HINTS, INT_SEQ_HINTS); a parameter with an unknown
name still gets generic values.

Sizes are bounded so that no well-formed call needs more than a few hundred
megabytes: qubit counts stay small, and the huge or negative values are
chosen so that a sound implementation rejects them at once (negative, or
so large that the byte count overflows or exceeds any machine's memory).
"""

from __future__ import annotations

import array
import hashlib
import math
import pathlib
import random
import sys
from dataclasses import dataclass

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent))  # tests/, for clifford_codes
from clifford_codes import CODE_COUNT, MEASURE  # noqa: E402

from fuzz_values import (
    FloatSub,
    Generator,
    GrowingList,
    IntSub,
    ListSub,
    LyingList,
    LyingTuple,
    Made,
    Opaque,
    ShrinkingList,
    TupleSub,
    to_code,
)


def call_seed(seed: int, entry: str, index: int) -> int:
    digest = hashlib.sha256(f"{seed}/{entry}/{index}".encode()).digest()
    return int.from_bytes(digest[:8], "little")


# ---- sizes ----------------------------------------------------------------------

# Integers that a sound implementation must reject (or treat as empty) at
# once. Values between about 2^24 and 2^38 are left out on purpose: as a qubit
# count or a repetition count they describe a legitimate but enormous job.
EXTREME_INTS = (
    -1, -2, -3, -7, -64, -(2**31), -(2**32), -(2**62), -(2**63) + 1, -(2**63),
    40, 48, 59, 60, 61, 62, 63, 64, 65, 100, 127, 128, 1000,
    2**31 - 1, 2**31, 2**31 + 1, 2**32 - 1, 2**32, 2**32 + 1, 3037000499, 3037000500,
    2**40, 2**53 + 1, 2**61 + 1, 2**62, 2**63 - 1,
)
# Integers that do not fit 64 bits (OverflowError) and other hostile scalars.
HUGE_INTS = (2**63, -(2**63) - 1, 2**64, 2**64 + 1, -(2**100), 10**30)
SPECIAL_FLOATS = (
    0.0, -0.0, 1.0, -1.0, 0.5, 1e-300, 5e-324, 1e308, -1e308, 1e-9, 1e-10, 1.0000000000000002,
    math.nan, -math.nan, math.inf, -math.inf,
)


@dataclass
class Context:
    """Sizes shared by the arguments of one call."""

    n: int  # qubits
    k: int  # targets
    targets: list
    dim: int  # matrix dimension
    d: int  # 2^k
    num_ops: int
    measurements: int = 0


def make_context(r: random.Random, n: int | None = None) -> Context:
    if n is None:
        x = r.random()
        n = r.randint(0, 4) if x < 0.75 else r.randint(5, 6)
    k = min(n, r.choice((0, 1, 1, 1, 2, 2, 3))) if n > 0 else 0
    targets = r.sample(range(n), k) if n > 0 else []
    d = 2**k
    dim = r.choice((2 ** min(n, 3), d, d, 1, 2, 3, 4, r.randint(0, 9), 8, 16))
    num_ops = r.choice((0, 1, 1, 2, 2, 3, 4))
    return Context(n, k, targets, dim, d, num_ops)


def small_qubits(r: random.Random) -> int:
    x = r.random()
    return r.randint(0, 3) if x < 0.7 else r.randint(4, 6) if x < 0.98 else r.randint(7, 8)


def _normalish(r: random.Random) -> float:
    """A cheap value spread around zero (the distribution hardly matters)."""
    return (r.random() - 0.5) * 4.0


# ---- integers -------------------------------------------------------------------

def _qubit(ctx, r):
    if ctx.n > 0 and r.random() < 0.9:
        return r.randrange(ctx.n)
    return r.choice((ctx.n, ctx.n + 1, -1, 0))


INT_HINTS = {
    "num_qubits": lambda ctx, r: ctx.n if r.random() < 0.9 else r.randint(0, 8),
    "n": lambda ctx, r: ctx.dim if r.random() < 0.8 else r.randint(0, 6),
    "dim": lambda ctx, r: ctx.dim if r.random() < 0.8 else r.choice((ctx.d, 2**ctx.n, r.randint(0, 9))),
    "a_dim": lambda ctx, r: r.choice((ctx.dim, ctx.d, 1, 2, 3, 4)),
    "b_dim": lambda ctx, r: r.choice((ctx.dim, ctx.d, 1, 2, 3, 4)),
    "op_dim": lambda ctx, r: ctx.d if r.random() < 0.8 else r.choice((ctx.dim, 1, 2, 4)),
    "outcome": lambda ctx, r: r.randrange(ctx.d) if r.random() < 0.85 else r.choice((ctx.d, -1, 2**ctx.n)),
    "num_ops": lambda ctx, r: ctx.num_ops,
    "num_operators": lambda ctx, r: ctx.num_ops,
    "repetitions": lambda ctx, r: r.choice((0, 1, 1, 2, 3, 5, 10, r.randint(0, 40), -1)),
    "seed": lambda ctx, r: r.getrandbits(64) - 2**63 if r.random() < 0.7 else r.randint(-5, 100),
    "code": lambda ctx, r: r.randint(0, CODE_COUNT - 1) if r.random() < 0.9 else r.choice((-1, 10, 11, 2**40)),
    "a": _qubit,
    "b": _qubit,
}
# Names for which a huge value is a legitimate enormous job rather than a
# fault: their extremes are drawn only from the far ends.
FAR_EXTREMES_ONLY = {"repetitions"}


def gen_int(name: str, ctx: Context, r: random.Random) -> int:
    if r.random() < 0.88:
        hint = INT_HINTS.get(name)
        return hint(ctx, r) if hint else r.randint(-2, 16)
    pool = EXTREME_INTS
    if name in FAR_EXTREMES_ONLY:
        pool = tuple(v for v in EXTREME_INTS if v < 0 or v >= 2**40)
    return r.choice(pool)


def gen_float(name: str, ctx: Context, r: random.Random) -> float:
    x = r.random()
    if x < 0.7:
        return r.random() if name == "u" else r.choice((_normalish(r), r.random() * 1e-6, 1e-9, 1e-12))
    if x < 0.9:
        return r.choice(SPECIAL_FLOATS)
    return r.choice((r.randint(-3, 3), 0, 1))  # exact ints are floats too


# ---- float sequences ----------------------------------------------------------------

def matrix_values(dim: int, r: random.Random) -> list:
    """2*dim*dim floats of a complex matrix in one of several shapes that the
    kernels treat differently (dense, signed permutation, diagonal, entries
    near the significance thresholds, zero, identity)."""
    style = r.choice(("dense", "dense", "perm", "diag", "tiny", "zero", "identity", "unitary1"))
    out = [0.0] * (2 * dim * dim)
    if style == "dense":
        out = [_normalish(r) for _ in out]
    elif style == "perm" and dim > 0:
        cols = list(range(dim))
        r.shuffle(cols)
        for row, col in enumerate(cols):
            ph = r.choice(((1.0, 0.0), (-1.0, 0.0), (0.0, 1.0), (0.0, -1.0), (1.0, 1e-16)))
            out[2 * (row * dim + col)], out[2 * (row * dim + col) + 1] = ph
    elif style == "diag":
        for i in range(dim):
            out[2 * (i * dim + i)] = _normalish(r)
            out[2 * (i * dim + i) + 1] = r.choice((0.0, _normalish(r), 1e-16))
    elif style == "tiny":
        for i in range(len(out)):
            out[i] = r.choice((0.0, 1e-9, -1e-9, 1.0000001e-9, 9.999999e-10, 1e-15, 1e-16, _normalish(r)))
    elif style == "identity":
        for i in range(dim):
            out[2 * (i * dim + i)] = 1.0
    elif style == "unitary1" and dim > 0:
        # a random unitary [[a, -conj(b)], [b, conj(a)]] on the top 2x2 block, identity elsewhere
        for i in range(dim):
            out[2 * (i * dim + i)] = 1.0
        if dim >= 2:
            v = [_normalish(r) for _ in range(4)]
            norm = math.sqrt(sum(x * x for x in v)) or 1.0
            ar, ai, br, bi = (x / norm for x in v)
            out[0], out[1], out[2], out[3] = ar, ai, -br, bi
            out[2 * dim], out[2 * dim + 1], out[2 * dim + 2], out[2 * dim + 3] = br, bi, ar, -ai
    return out


def vector_values(count: int, r: random.Random, normalised: bool) -> list:
    v = [_normalish(r) for _ in range(count)]
    if normalised and count:
        norm = math.sqrt(sum(x * x for x in v)) or 1.0
        v = [x / norm for x in v]
    return v


def _length_formulas(ctx: Context) -> dict:
    return {
        "vec": 2 * 2**ctx.n,
        "dens": 2 * 4**ctx.n,
        "mat": 2 * ctx.dim * ctx.dim,
        "real": ctx.dim * ctx.dim,
        "gate": 2 * ctx.d * ctx.d,
        "ops": ctx.num_ops * 2 * ctx.d * ctx.d,
        "opsdim": ctx.num_ops * 2 * ctx.dim * ctx.dim,
        "cvec": 2 * ctx.dim,
        "probs": 2**ctx.k,
        "three": 3,
        "nine": 9,
        "four": 32,
    }


# name -> preferred length formulas (a random formula is used otherwise)
FLOAT_SEQ_HINTS = {
    "state": ("vec",),
    "values": ("vec",),
    "vector": ("cvec",),
    "probabilities": ("probs", "vec"),
    "rho": ("dens",),
    "gate": ("gate",),
    "operator": ("gate", "mat"),
    "matrix": ("mat", "real", "nine", "four"),
    "a": ("mat", "vec"),
    "b": ("mat", "vec"),
    "u": ("mat",),
    "real": ("real",),
    "imag": ("real",),
    "ops": ("opsdim", "ops"),
    "operators": ("ops",),
    "rhs": ("three",),
}
# Parameters whose length drives a quadratic result: their random lengths stay short.
QUADRATIC = {"state"}
MATRIX_FORMULAS = {"mat", "gate", "ops", "opsdim", "dens", "four"}


def gen_float_seq(name: str, ctx: Context, r: random.Random) -> list:
    formulas = _length_formulas(ctx)
    x = r.random()
    preferred = FLOAT_SEQ_HINTS.get(name)
    if x < 0.7:
        key = r.choice(preferred) if preferred and r.random() < 0.85 else r.choice(list(formulas))
        length = formulas[key]
        if r.random() < 0.1:
            length = max(0, length + r.choice((-2, -1, 1, 2, 3)))
    else:
        key = None
        y = r.random()
        if y < 0.5:
            length = r.randint(0, 12)
        elif y < 0.7:
            length = 2 * r.randint(0, 40) + 1
        elif y < 0.95:
            length = r.randint(13, 600)
        else:
            length = r.randint(1000, 20000)
    if name in QUADRATIC and length > 1024:
        length, key = r.randint(0, 1024), None
    if key in MATRIX_FORMULAS and length == formulas[key]:
        per = {"mat": ctx.dim, "gate": ctx.d, "dens": 2**ctx.n, "four": 4}.get(key)
        if key in ("ops", "opsdim"):
            dim = ctx.d if key == "ops" else ctx.dim
            values = [v for _ in range(ctx.num_ops) for v in matrix_values(dim, r)]
        else:
            values = matrix_values(per, r)
    elif key == "probs" or name == "probabilities":
        values = [r.random() for _ in range(length)]
    else:
        values = vector_values(length, r, normalised=r.random() < 0.6)
    if values and r.random() < 0.12:
        for _ in range(r.randint(1, 3)):
            values[r.randrange(len(values))] = r.choice(SPECIAL_FLOATS)
    if values and r.random() < 0.05:
        values[r.randrange(len(values))] = r.randint(-3, 3)
    return values


# ---- integer sequences ------------------------------------------------------------------

def gen_targets(ctx: Context, r: random.Random) -> list:
    t = list(ctx.targets)
    x = r.random()
    if x < 0.75:
        return t
    if x < 0.8:
        return r.sample(range(ctx.n), r.randint(0, ctx.n)) if ctx.n else []
    if x < 0.85 and t:
        return t + [r.choice(t)]  # duplicate
    if x < 0.9:
        return t + [r.choice((ctx.n, ctx.n + 5, -1, 64, -(2**63), 2**63 - 1))]
    if x < 0.95:
        return [r.randint(-2, ctx.n + 2) for _ in range(r.randint(0, 20))]
    return list(range(ctx.n))[::-1]


def gen_instructions(ctx: Context, r: random.Random) -> list:
    count = r.randint(0, 12) if r.random() < 0.9 else r.randint(13, 300)
    out = []
    for _ in range(count):
        x = r.random()
        # Codes 10-17 (resets and noise) are read by clifford_sample_noisy
        # and skipped by the others.
        code = r.randint(0, CODE_COUNT - 1) if x < 0.8 else r.randint(10, 17) if x < 0.95 else \
            r.choice((-1, 18, 2**40, -(2**63)))
        if ctx.n > 0 and r.random() < 0.95:
            a = r.randrange(ctx.n)
            b = r.randrange(ctx.n)
            if ctx.n > 1 and b == a and r.random() < 0.9:
                b = (a + 1) % ctx.n
            if 12 <= code <= 15:  # b: an index into probabilities
                b = r.randint(0, 3) if r.random() < 0.9 else r.choice((-1, 2**40))
            elif code == 17:  # a: an index into probabilities
                a = r.randint(0, 3) if r.random() < 0.9 else r.choice((-1, 2**40))
        else:
            a, b = r.choice(EXTREME_INTS + (ctx.n, 0, -1)), r.choice((0, ctx.n, -1))
        out += [code, a, b]
        ctx.measurements += code in (MEASURE, 11)  # 11: measure_reset, noisy sampling only
    if r.random() < 0.1:
        out += [r.randint(0, CODE_COUNT - 1) for _ in range(r.randint(1, 2))]
    return out


def gen_int_seq(name: str, ctx: Context, r: random.Random) -> list:
    if name == "targets":
        return gen_targets(ctx, r)
    if name == "instructions":
        return gen_instructions(ctx, r)
    if name == "invert_mask":
        length = r.randint(0, ctx.measurements + 2)
        return [r.choice((0, 1, 1, 0, 2, -1)) if r.random() < 0.1 else r.randint(0, 1) for _ in range(length)]
    if name == "tableau":
        length = (2 * ctx.n + 1) ** 2
        if r.random() < 0.15:
            length = max(0, length + r.choice((-1, 1, -length, 5)))
        return [r.randint(0, 1) if r.random() < 0.97 else r.choice((2, -1, 2**62)) for _ in range(length)]
    return [r.randint(-2, 16) for _ in range(r.randint(0, 10))]


# ---- hostile transformations --------------------------------------------------------------

WRONG_SCALARS = (None, "3", b"3", 1 + 2j, [], (1,), {}, Opaque(), True, False)


def hostile_scalar(kind: str, r: random.Random):
    x = r.random()
    if x < 0.2:
        return r.choice(HUGE_INTS)
    if x < 0.35:
        return r.choice((True, False))
    if x < 0.5:
        return IntSub(r.choice((0, 1, 2, -1, 2**62, 2**63 - 1)))
    if x < 0.6:
        return FloatSub(r.choice((0.5, math.nan, 1.0)))
    if x < 0.75:
        return 1.5 if kind == "int" else r.choice((2, -3, 2**62))
    return r.choice(WRONG_SCALARS)


def hostile_element(kind: str, r: random.Random):
    pool = [None, "x", True, False, 1 + 2j, Opaque(), [], IntSub(1), FloatSub(0.25), *HUGE_INTS[:3]]
    pool.append(0.5 if kind == "Sequence[int]" else math.nan)
    return r.choice(pool)


def wrong_container(items: list, r: random.Random):
    x = r.randrange(11)
    if x == 0:
        return range(len(items))
    if x == 1:
        return array.array("d", [float(v) if isinstance(v, (int, float)) else 0.0 for v in items[:16]])
    if x == 2:
        return bytes(len(items) % 7)
    if x == 3:
        return {i: v for i, v in enumerate(items[:4])}
    if x == 4:
        return set(range(min(len(items), 4)))
    if x == 5:
        return Generator(items[:16])
    if x == 6:
        return "abc"
    if x == 7:
        return memoryview(b"\0" * 16)
    if x == 8:
        return None
    if x == 9:
        return Opaque()
    return r.choice((1.0, 3, object()))


def claimed_length(real: int, r: random.Random) -> int:
    return r.choice((0, 1, real, real + 1, real + 2, real + 100, max(0, real - 1), real // 2, 2**40, 2**61, 2**62))


def wrap_sequence(items: list, kind: str, r: random.Random):
    """Puts well-formed items in a container; sometimes a hostile one."""
    x = r.random()
    if x < 0.6:
        return items
    if x < 0.8:
        return tuple(items)
    if x < 0.86:
        return r.choice((ListSub, TupleSub))(items)
    if x < 0.9:
        return r.choice((LyingList, LyingTuple))(items, claimed_length(len(items), r))
    if x < 0.92:
        return ShrinkingList(items) if r.random() < 0.5 else GrowingList(items, r.randint(1, 50))
    if x < 0.96 and items:
        items = list(items)
        items[r.randrange(len(items))] = hostile_element(kind, r)
        return items if r.random() < 0.6 else tuple(items)
    return wrong_container(items, r)


# ---- arguments and call shapes ----------------------------------------------------------------

def gen_value(name: str, kind: str, ctx: Context, r: random.Random, hostile: float):
    if kind == "int":
        return hostile_scalar(kind, r) if r.random() < hostile else gen_int(name, ctx, r)
    if kind == "float":
        return hostile_scalar(kind, r) if r.random() < hostile else gen_float(name, ctx, r)
    items = gen_float_seq(name, ctx, r) if kind == "Sequence[float]" else gen_int_seq(name, ctx, r)
    if r.random() < hostile * 3:
        return wrap_sequence(items, kind, r)
    return items if r.random() < 0.8 else tuple(items)


def gen_args(params, ctx: Context, r: random.Random, hostile: float = 0.08):
    """Positional values and keyword values for one call, with a share of
    malformed call shapes."""
    values = [gen_value(name, kind, ctx, r, hostile) for name, kind in params]
    names = [name for name, _ in params]
    args, kwargs = list(values), {}
    x = r.random()
    if x < 0.8:
        pass
    elif x < 0.84:  # trailing parameters by keyword, in random order
        split = r.randint(0, len(values))
        args = values[:split]
        rest = list(zip(names[split:], values[split:]))
        r.shuffle(rest)
        kwargs = dict(rest)
    elif x < 0.87:  # too many positional arguments
        args = values + [0] * r.randint(1, 2)
    elif x < 0.9:  # too many, with keywords
        args = values + [0]
        kwargs = {r.choice(names): 0} if names else {"x": 0}
    elif x < 0.93 and values:  # missing trailing arguments
        args = values[: r.randrange(len(values))]
    elif x < 0.95:  # an unknown keyword (sometimes the empty one, or a case variant)
        kwargs = {r.choice(("x", "", "NUM_QUBITS", "targets_", "self")): 1}
    elif x < 0.97 and values:  # a keyword for a parameter already given
        kwargs = {r.choice(names): values[0]}
    elif values:  # everything by keyword, missing one
        items = list(zip(names, values))
        r.shuffle(items)
        kwargs = dict(items[: r.randint(0, len(items))])
        args = []
    return args, kwargs


# ---- plans ----------------------------------------------------------------------------------------

def new_step(cls: str, n, target: bool = False):
    return {"op": "new", "cls": cls, "args": [n], "kwargs": {}, "target": target}


def method_step(entry, ctx, r, hostile, target=False):
    args, kwargs = gen_args(entry.params, ctx, r, hostile)
    if not entry.fastcall and r.random() < 0.9:
        args, kwargs = [], {}
    return {"op": "method", "name": entry.attr, "args": args, "kwargs": kwargs, "target": target,
            "params": entry.params, "result": entry.result}


def constructor_qubits(r: random.Random):
    x = r.random()
    if x < 0.8:
        return small_qubits(r)
    if x < 0.88:
        return r.randint(9, 12)
    return r.choice(EXTREME_INTS)


def build_plan(entries: list, entry, seed: int, index: int) -> dict:
    """The plan for call `index` of `entry` in a run with `seed`."""
    # A few plans are of the special kinds below; they draw from their own
    # generator, so that the ordinary plans stay what they were.
    special = random.Random(call_seed(seed, "special/" + entry.name, index))
    x = special.random()
    plan = None
    if x < INTERRUPT_SHARE:
        plan = interrupt_plan(entries, entry, seed, index, special)
    elif x < INTERRUPT_SHARE + FINALISER_SHARE[entry.kind]:
        plan = finaliser_plan(entries, entry, special)
    if plan is not None:
        return {"entry": entry.name, "seed": seed, "index": index, **plan}
    return ordinary_plan(entries, entry, seed, index)


def ordinary_plan(entries: list, entry, seed: int, index: int) -> dict:
    r = random.Random(call_seed(seed, entry.name, index))
    steps = []
    if entry.kind == "function":
        ctx = make_context(r)
        args, kwargs = gen_args(entry.params, ctx, r)
        steps.append({"op": "call", "name": entry.attr, "args": args, "kwargs": kwargs, "target": True,
                      "params": entry.params, "result": entry.result})
    elif entry.kind == "constructor":
        n = constructor_qubits(r)
        x = r.random()
        if x < 0.85:
            steps.append(new_step(entry.owner, n, target=True))
        else:
            ctx = make_context(r)
            args, kwargs = gen_args(entry.params, ctx, r, hostile=0.5)
            steps.append({"op": "new", "cls": entry.owner, "args": args, "kwargs": kwargs, "target": True})
        if entry.buffer and r.random() < 0.3:
            steps.append({"op": "view"})
    else:
        n = small_qubits(r)
        ctx = make_context(r, n)
        steps.append(new_step(entry.owner, n))
        methods = [e for e in entries if e.kind == "method" and e.owner == entry.owner]
        viewing = False
        for _ in range(r.choice((0, 0, 1, 1, 2, 3))):
            x = r.random()
            if x < 0.25 and entry.buffer:
                if not viewing or x < 0.15:
                    steps.append({"op": "view"})
                    viewing = True
                else:
                    steps.append({"op": "poke", "index": r.randrange(1 << 20),
                                  "value": r.choice((*SPECIAL_FLOATS, 0.3))})
            elif x < 0.3:
                steps.append({"op": "setattr", "attr": "num_qubits",
                              "value": r.choice((n, n + 1, max(n - 1, 0), 0, -1, 62, 2**40)), "target": False})
            elif methods:
                steps.append(method_step(r.choice(methods), ctx, r, hostile=0.02))
        if entry.kind == "method":
            steps.append(method_step(entry, ctx, r, hostile=0.08, target=True))
        else:  # setter: a new value, then one method call that must cope with it
            value = r.choice((n, n + 1, max(n - 1, 0), 0, -1, 62, 63, 64, 2**40, -(2**63)))
            if r.random() < 0.15:
                value = hostile_scalar("int", r)
            steps.append({"op": "setattr", "attr": entry.attr, "value": value, "target": True})
            if methods:
                steps.append(method_step(r.choice(methods), ctx, r, hostile=0.02))
    return {"entry": entry.name, "seed": seed, "index": index, "steps": steps}


# ---- special plans: interrupted calls and failed construction ----------------------------------

# Shares of the calls of an entry point whose plans are of the special kinds
# (the interrupted ones take milliseconds each, the others microseconds).
INTERRUPT_SHARE = 0.004
FINALISER_SHARE = {"constructor": 0.1, "method": 0.02, "setter": 0.05, "function": 0.0}
# Entry points whose result grows with the square of an argument's length
# (m amplitudes give m x m entries): no million-item arguments for them.
QUADRATIC_ENTRIES = {"state_to_density", "NativeDensity.set_from_amplitudes"}
# Impossible sizes: every class must refuse to be built with them.
FAILING_SIZES = (-1, -2, -64, -(2**63), 2**31, 2**40, 2**62, 2**63 - 1)


def _not_square(count: int) -> int:
    """`count`, or the next odd number of the same residue mod 6 that is not a
    perfect square (an odd length that is 5 mod 6 and not a square fits no
    size formula: no complex array, square matrix, tableau or instruction list)."""
    while math.isqrt(count) ** 2 == count:
        count += 6
    return count


def _long_calls(r: random.Random) -> dict:
    """Steps of a call that runs long in the core (and polls for signals),
    for the entry points that have one."""
    seed = r.getrandbits(32)

    def call(name, *args):
        return [{"op": "call", "name": name, "args": list(args), "kwargs": {}, "target": True}]

    return {
        "jacobi_eig": call("jacobi_eig", Made("sym", 40, seed, True), 40),  # NaN: never converges
        "pauli_expansion": call("pauli_expansion", Made("uniform", 2 * 256 * 256, seed), 8),
        "simultaneous_diag": call("simultaneous_diag", Made("eye", 40), Made("sym", 40, seed, False), 40),
        "clifford_run": call("clifford_run", Made("chain", 1000, True), 1000, [], 20, seed),
        "clifford_sample_noisy": call("clifford_sample_noisy", Made("chain", 1000, True), 1000, [], 20, seed, [0.01]),
        # (the gates, not the result list, must outlast the 1 ms alarm on a fast machine)
        "clifford_tableau": call("clifford_tableau", Made("chain", 400, False, 200), 400),
        # in place: the general channel kernel (17 operators on 4 of 8 qubits)
        # or the one-target kernel (200 operators on 8 qubits)
        "NativeDensity.apply_channel": [
            new_step("NativeDensity", 8),
            {"op": "method", "name": "reset", "args": [], "kwargs": {}, "result": "None"},
            {"op": "method", "name": "apply_channel",
             "args": [Made("uniform", 17 * 2 * 16 * 16, seed), 17, [0, 2, 4, 6]] if seed % 2 else
                     [Made("uniform", 200 * 8, seed), 200, [seed % 8]], "kwargs": {}, "target": True},
        ],
        # a dense gate on 8 of 18 qubits, in place and on a copy
        "NativeState.apply_gate": [
            new_step("NativeState", 18),
            {"op": "method", "name": "reset", "args": [], "kwargs": {}, "result": "None"},
            {"op": "method", "name": "apply_gate", "args": [Made("uniform", 2 * 4**8, seed),
                                                           [1, 3, 5, 7, 9, 11, 13, 15]], "kwargs": {},
             "target": True},
        ],
        "apply_gate": call("apply_gate", Made("uniform", 2 << 18, seed), Made("uniform", 2 * 4**8, seed + 1), 18,
                           [1, 3, 5, 7, 9, 11, 13, 15]),
        "NativeTableau.state_vector": [
            new_step("NativeTableau", 17),
            {"op": "method", "name": "state_vector", "args": [], "kwargs": {}, "target": True},
        ],
    }


def interrupt_plan(entries: list, entry, seed: int, index: int, r: random.Random):
    """A call with SIGALRM set to arrive a few milliseconds in: a call that runs
    long in the core, or a call whose sequence argument has over a million
    items (converting it polls for signals). None for entry points with
    neither."""
    long_calls = _long_calls(r)
    seq_params = [i for i, (_, kind) in enumerate(entry.params)
                  if kind.startswith("Sequence") and entry.name not in QUADRATIC_ENTRIES]
    if entry.name in long_calls and (r.random() < 0.7 or not seq_params):
        steps = long_calls[entry.name]
    elif seq_params and entry.kind in ("function", "method"):
        steps = ordinary_plan(entries, entry, seed, index)["steps"]
        target = steps[-1]
        target["args"], target["kwargs"] = list(target["args"]), {}
        if len(target["args"]) != len(entry.params):  # a well-formed call shape
            ctx = make_context(r)
            target["args"] = [gen_value(name, kind, ctx, r, 0.0) for name, kind in entry.params]
        i = r.choice(seq_params)
        count = _not_square(2**20 + 6 * r.randrange(2**12) + 5)
        fill = 0.5 if entry.params[i][1] == "Sequence[float]" else r.choice((0, 1))
        target["args"][i] = Made("const", count, fill)
    else:
        return None
    target = steps[-1]
    target["params"], target["result"] = entry.params, entry.result
    target["alarm"] = round(r.uniform(0.0002, 0.004), 6)
    return {"steps": steps, "timed": True}


def _finaliser_calls(entries: list, owner: str, ctx, r: random.Random) -> list:
    methods = [e for e in entries if e.kind == "method" and e.owner == owner]
    calls = []
    for _ in range(r.randint(0, 5)):
        x = r.random()
        if x < 0.15:
            calls.append(("num_qubits=", [r.choice((0, 1, 2, ctx.n, 62, -1))], {}))
        elif x < 0.25:
            calls.append(("memoryview", [], {}))
        elif methods:
            step = method_step(r.choice(methods), ctx, r, hostile=0.02)
            calls.append((step["name"], step["args"], step["kwargs"]))
    return calls


def finaliser_plan(entries: list, entry, r: random.Random):
    """An instance of a subclass whose construction fails (an impossible size)
    and whose finaliser calls methods on the half-made instance and sometimes
    resurrects it; later steps work on the resurrected instance."""
    ctx = make_context(r)
    methods = [e for e in entries if e.kind == "method" and e.owner == entry.owner]
    resurrect = entry.kind != "constructor" or r.random() < 0.6
    steps = [{"op": "halfmade", "cls": entry.owner, "n": r.choice(FAILING_SIZES),
              "calls": _finaliser_calls(entries, entry.owner, ctx, r), "resurrect": resurrect,
              "target": entry.kind == "constructor"}]
    for _ in range(r.choice((0, 1, 2)) if resurrect else 0):
        if methods:
            steps.append(method_step(r.choice(methods), ctx, r, hostile=0.02))
    if entry.kind == "method":
        steps.append(method_step(entry, ctx, r, hostile=0.08, target=True))
    elif entry.kind == "setter":
        steps.append({"op": "setattr", "attr": entry.attr, "value": r.choice((0, 1, 2, 62, -1, 2**40)),
                      "target": True})
        if methods:
            steps.append(method_step(r.choice(methods), ctx, r, hostile=0.02))
    return {"steps": steps}


# ---- reproducer text ----------------------------------------------------------------------------------

def _call_code(prefix: str, args, kwargs) -> str:
    parts = [to_code(a) for a in args]
    if all(k.isidentifier() for k in kwargs):
        parts += [f"{k}={to_code(v)}" for k, v in kwargs.items()]
        return f"{prefix}({', '.join(parts)})"
    kw = "{" + ", ".join(f"{k!r}: {to_code(v)}" for k, v in kwargs.items()) + "}"
    return f"{prefix}({', '.join(parts + ['**' + kw])})"


def plan_code(plan: dict, module_name: str) -> str:
    """A script that performs the plan's steps one by one."""
    lines = [f"import {module_name} as m"]
    for step in plan["steps"]:
        op = step["op"]
        mark = "  # <- the call under test" if step.get("target") else ""
        indent = ""
        if step.get("alarm"):
            # where the signal lands depends on timing: a run may finish first
            lines.append(f"with alarm({step['alarm']!r}):  # SIGALRM raising Interrupted, {step['alarm'] * 1000:g} ms in")
            indent = "    "
        if op == "call":
            lines.append(indent + "result = " + _call_code(f"m.{step['name']}", step["args"], step["kwargs"]) + mark)
        elif op == "new":
            lines.append("obj = " + _call_code(f"m.{step['cls']}", step["args"], step["kwargs"]) + mark)
        elif op == "halfmade":
            lines += [
                "log, kept = [], []",
                f"S = failing_subclass(m.{step['cls']}, {to_code(step['calls'])}, {step['resurrect']}, log, kept)",
                "try:",
                f"    S({step['n']}){mark}",
                "except Exception as e:",
                "    print(repr(e))",
                "print(log)",
                "obj = kept[0] if kept else None",
            ]
        elif op == "method":
            lines.append(indent + "result = " + _call_code(f"obj.{step['name']}", step["args"], step["kwargs"]) + mark)
        elif op == "setattr":
            lines.append(f"obj.{step['attr']} = {to_code(step['value'])}" + mark)
        elif op == "view":
            lines.append("view = memoryview(obj)")
        elif op == "poke":
            lines.append(f"if len(view): view[{step['index']} % len(view)] = {to_code(step['value'])}")
    return "\n".join(lines) + "\n"
