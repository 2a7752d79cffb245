"""The performance targets, each measured as a ratio in one process that
holds both implementations, over interleaved rounds.

    python bench/run.py --targets          # runs this with every library on one thread
    python bench/targets.py --rounds 9     # by hand (set OMP_NUM_THREADS=1 first)

A round times this module's operation and the peer's once each (each over an
inner loop long enough to be measured), alternating which goes first from
round to round, so that both see the same machine: a neighbour's load, the
clock and the memory controller change the round, not the comparison. The
ratio of a row is the median of the per-round ratios; the spread is their
lowest and highest value. Every workload is built from fixed seeds and its
results are compared with the peer's before timing.
"""

from __future__ import annotations

import argparse
import dataclasses
import json
import math
import random
import statistics
import sys
import time
from collections.abc import Callable

import numpy as np

import cases as C
from clifford_streams import random_gates
import orvane_native as on
from interrupt_targets import interrupt_rows


@dataclasses.dataclass
class Side:
    """One side of a comparison. The time of one operation is
    (time(op) - time(baseline)) / per_op; a baseline is used for peers
    driven a whole circuit at a time (see cases.aer_per_op)."""

    op: Callable[[], object]
    baseline: Callable[[], object] | None = None
    per_op: int = 1


def clock(fn: Callable[[], object], inner: int) -> float:
    start = time.perf_counter()
    for _ in range(inner):
        fn()
    return (time.perf_counter() - start) / inner


def calibrate(fn: Callable[[], object], sample: float) -> int:
    """Calls per timing of `fn` so that one timing lasts about `sample`
    seconds (at least one call); the calls here also warm up."""
    fn()
    first = clock(fn, 1)
    return max(1, int(sample / max(first, 1e-9)))


class Timer:
    def __init__(self, side: Side, sample: float):
        self.side = side
        self.inner = calibrate(side.op, sample)
        self.inner_base = calibrate(side.baseline, sample) if side.baseline else 0

    def once(self) -> float:
        t = clock(self.side.op, self.inner)
        if self.side.baseline is not None:
            t = (t - clock(self.side.baseline, self.inner_base)) / self.side.per_op
        return t


@dataclasses.dataclass
class Measured:
    ratios: list[float]
    ours: float  # median seconds
    peer: float

    @property
    def median(self) -> float:
        return statistics.median(self.ratios)


def interleaved(ours: Side, peer: Side, rounds: int, sample: float, peer_over_ours: bool) -> Measured:
    """Per-round ratios ours/peer (or peer/ours), ours and the peer timed
    back to back, the first of the two alternating."""
    a, b = Timer(ours, sample), Timer(peer, sample)
    ratios, ta, tb = [], [], []
    for r in range(rounds):
        if r % 2 == 0:
            x = a.once()
            y = b.once()
        else:
            y = b.once()
            x = a.once()
        ta.append(x)
        tb.append(y)
        ratios.append(y / x if peer_over_ours else x / y)
    return Measured(ratios, statistics.median(ta), statistics.median(tb))


def alone(ours: Side, rounds: int, sample: float) -> Measured:
    a = Timer(ours, sample)
    times = [a.once() for _ in range(rounds)]
    return Measured(times, statistics.median(times), math.nan)


# ---------------------------------------------------------------------------
# Workloads


def touched_copy(elements: int) -> Side:
    """numpy copy of `elements` complex numbers, both arrays' pages touched
    before timing: what a pass over memory costs."""
    src = np.full(elements, 1.0 + 0.5j)
    dst = np.empty_like(src)
    dst.fill(0.0)
    return Side(lambda: np.copyto(dst, src))


def state_side(n: int, gate: list[float], targets: list[int]) -> tuple[Side, object]:
    state = on.NativeState(n)
    state.reset()
    # A state with every amplitude non-zero (pages touched, no special values).
    h = [0.7071067811865476, 0.0] * 2 + [0.7071067811865476, 0.0, -0.7071067811865476, 0.0]
    for q in range(n):
        state.apply_gate(h, [q])
    return Side(lambda: state.apply_gate(gate, targets)), state


def gate_2q_far(rounds: int, sample: float) -> Measured:
    n, targets = 24, [3, 17]
    gate = C.interleave(C.random_unitary(4, np.random.default_rng(12)))
    ours, _ = state_side(n, gate, targets)
    return interleaved(ours, touched_copy(2 ** n), rounds, sample, peer_over_ours=True)


PERMUTATION_GATES = {
    # name: (columns, signs) of the 4x4 signed permutation; targets[0] is the
    # high bit of the local index (the CNOT's control).
    "CNOT": ([0, 1, 3, 2], [1.0] * 4),
    "SWAP": ([0, 2, 1, 3], [1.0] * 4),
    "controlled-Z (a dense +-1 diagonal)": ([0, 1, 2, 3], [1.0, 1.0, 1.0, -1.0]),
}
PERMUTATION_TARGETS = ([5, 6], [2, 20])


def swap_floor(rounds: int, sample: float) -> Measured:
    """Z x Z, diag(1, -1, -1, 1), on the second pair of targets: it negates
    in place exactly the amplitudes SWAP there exchanges, so it reads and
    writes the same lines with nothing moved, against the touched copy."""
    gate = C.interleave(np.diag([1.0, -1.0, -1.0, 1.0]).astype(complex))
    ours, _ = state_side(24, gate, PERMUTATION_TARGETS[1])
    return interleaved(ours, touched_copy(2 ** 24), rounds, sample, peer_over_ours=True)


def permutation_rows(rounds: int, sample: float) -> dict[tuple[str, int], Measured]:
    """CNOT, SWAP and CZ on 24 qubits against a touched copy of the state
    (speed as a fraction of the copy's); results checked against numpy."""
    n = 24
    copy = touched_copy(2 ** n)
    out = {}
    for name, (cols, signs) in PERMUTATION_GATES.items():
        m = np.zeros((4, 4), complex)
        for r in range(4):
            m[r, cols[r]] = signs[r]
        gate = C.interleave(m)
        small = on.NativeState(6)
        small.reset()
        for q in range(6):
            small.apply_gate(C.interleave(C.random_unitary(2, np.random.default_rng(q))), [q])
        before = np.array(small.amplitudes()).view(complex).reshape((2,) * 6)
        small.apply_gate(gate, [1, 4])
        want = np.einsum("ABab,iajkbl->iAjkBl", m.reshape(2, 2, 2, 2), before)
        got = np.array(small.amplitudes()).view(complex).reshape((2,) * 6)
        assert np.array_equal(got, want), f"{name} differs from numpy"
        for i, targets in enumerate(PERMUTATION_TARGETS):
            ours, _ = state_side(n, gate, targets)
            out[name, i] = interleaved(ours, copy, rounds, sample, peer_over_ours=True)
    return out


def hadamard_rows(rounds: int, sample: float, qubits: list[int]) -> dict[int, Measured]:
    from qulacs import QuantumState
    from qulacs.gate import H

    n = 24
    s = 0.7071067811865476
    hmat = [s, 0.0, s, 0.0, s, 0.0, -s, 0.0]
    ours, mine = state_side(n, hmat, [0])
    theirs = QuantumState(n)
    theirs.set_Haar_random_state(5)
    # Same gate, same result: checked on a small register first.
    small = on.NativeState(4)
    small.reset()
    ref = QuantumState(4)
    small.apply_gate(hmat, [3])
    H(0).update_quantum_state(ref)
    assert np.allclose(np.array(small.amplitudes()).view(complex), ref.get_vector()), "H differs from qulacs"
    out = {}
    for q in qubits:
        gate_q = H(n - 1 - q)
        out[q] = interleaved(Side(lambda q=q: mine.apply_gate(hmat, [q])),
                             Side(lambda g=gate_q: g.update_quantum_state(theirs)), rounds, sample,
                             peer_over_ours=False)
    return out


def channel_2q(rounds: int, sample: float) -> Measured:
    n = 12
    ours = C.density_orvane(2)(n)
    peer = C.density_aer(2)(n)
    return interleaved(Side(ours.op), Side(peer.op, peer.baseline, peer.per_op), rounds, sample,
                       peer_over_ours=False)


def numpy_pauli_expansion(flat: list[float], n: int) -> list[float]:
    """The Pauli coefficients with numpy, list in and list out: the matrix as
    a tensor with one (row bit, column bit) axis of 4 per qubit, each axis
    contracted with the four Paulis (entry P_d[c][r] / 2), as a 4x4 product
    (faster here than the same contraction by einsum)."""
    basis = np.array([[[1, 0], [0, 1]], [[0, 1], [1, 0]], [[0, -1j], [1j, 0]], [[1, 0], [0, -1]]])
    per_axis = basis.transpose(0, 2, 1).reshape(4, 4) / 2  # [d, (r, c)] = P_d[c][r] / 2
    t = np.array(flat).view(complex).reshape((2,) * (2 * n))
    t = t.transpose([a for q in range(n) for a in (q, n + q)]).reshape((4,) * n)
    for q in range(n):
        t = per_axis @ t.reshape(4 ** q, 4, 4 ** (n - 1 - q))
    return t.reshape(-1).view(float).tolist()


def pauli_rows(rounds: int, sample: float) -> dict[int, Measured]:
    out = {}
    for n in (6, 7):
        dim = 2 ** n
        m = C.random_matrix_flat(dim, 30 + n)
        assert np.allclose(on.pauli_expansion(m, n), numpy_pauli_expansion(m, n), atol=1e-12), "differs from numpy"
        out[n] = interleaved(Side(lambda m=m, n=n: on.pauli_expansion(m, n)),
                             Side(lambda m=m, n=n: numpy_pauli_expansion(m, n)), rounds, sample,
                             peer_over_ours=False)
    return out


def tableau_empty(rounds: int, sample: float) -> Measured:
    n = 1000
    count = (2 * n + 1) ** 2
    # The identity tableau: 2n rows of X and Z bits with a zero sign, then the all-zero scratch row.
    expected = np.eye(2 * n + 1, dtype=np.int64)
    expected[-1, -1] = 0
    assert on.clifford_tableau([], n) == expected.ravel().tolist(), "unexpected empty tableau"
    return interleaved(Side(lambda: on.clifford_tableau([], n)),
                       Side(lambda: np.zeros(count, np.int64).tolist()), rounds, sample, peer_over_ours=False)


def sampling_stim(rounds: int, sample: float) -> Measured:
    """clifford_run against stim's compiled sampler + tolist(): 50 qubits,
    two blocks of 500 random gates each followed by a measurement of every
    qubit (1000 gates, 100 measurements), 10^4 shots."""
    import stim  # noqa: F401  (the peer)

    n, shots = 50, 10_000
    rng = random.Random(11)
    circuit: list[int] = []
    for _ in range(2):
        circuit += random_gates(n, 500, rng)
        for q in range(n):
            circuit += [C.MEASURE, q, 0]
    sampler = C.stim_circuit(circuit).compile_sampler(seed=7)
    theirs = np.array(sampler.sample(shots), dtype=np.int64)
    ours = np.array(on.clifford_run(circuit, n, [], shots, 7)).reshape(shots, 2 * n)
    # The same distribution: determined outcomes equal, the others near 1/2.
    fixed = theirs.min(axis=0) == theirs.max(axis=0)
    assert (ours[:, fixed] == theirs[:, fixed]).all() and (ours.min(axis=0) == ours.max(axis=0)).sum() == fixed.sum()
    assert np.abs(ours[:, ~fixed].mean(axis=0) - 0.5).max() < 0.05, "outcome frequencies differ from stim's"
    return interleaved(Side(lambda: on.clifford_run(circuit, n, [], shots, 7)),
                       Side(lambda: sampler.sample(shots).tolist()), rounds, sample, peer_over_ours=False)


def tableau_stim(rounds: int, sample: float) -> dict[int, Measured]:
    import stim

    out = {}
    for n in (500, 1000):
        circuit = random_gates(n, 100_000, random.Random(3))
        sc = C.stim_circuit(circuit)

        def stim_op(sc=sc):
            sim = stim.TableauSimulator()
            sim.do(sc)
            return [a.tolist() for a in sim.current_inverse_tableau().inverse().to_numpy()]

        out[n] = interleaved(Side(lambda c=circuit, n=n: on.clifford_tableau(c, n)), Side(stim_op), rounds,
                             sample, peer_over_ours=False)
    return out


def small_matrix(name: str, rounds: int, sample: float, conversion_only: bool = False) -> Measured:
    """numpy's time over ours for a 4x4 matmul or kron. With `conversion_only`,
    our side is instead a call that converts as many floats with next to no
    arithmetic: add_scaled of the same lists for matmul (32 floats in twice,
    32 out, one operation each), numpy's own tolist() of the 512-float result
    for kron. Making and releasing the float objects dominates both calls, so
    that ratio is about as far as the operation itself can go."""
    a, b = C.random_matrix_flat(4, 3), C.random_matrix_flat(4, 4)
    x, y = C.as_matrix(a, 4), C.as_matrix(b, 4)
    if name == "matmul":
        ours, peer, least = (lambda: on.matmul(a, b, 4)), (lambda: x @ y), (lambda: on.add_scaled(a, b, 4, 1.0))
        assert np.allclose(np.array(ours()).view(complex).reshape(4, 4), peer())
    else:
        result = np.kron(x, y).view(float).ravel()
        ours, peer, least = (lambda: on.kron(a, 4, b, 4)), (lambda: np.kron(x, y)), result.tolist
        assert np.allclose(np.array(ours()).view(complex).reshape(16, 16), peer())
        assert len(least()) == 512
    return interleaved(Side(least if conversion_only else ours), Side(peer), rounds, sample, peer_over_ours=True)


def kron_against_tolist(rounds: int, sample: float) -> Measured:
    """Our 4x4 kron from lists against numpy's tolist() of the 512 floats of
    its result: the cost of making the result list alone."""
    a, b = C.random_matrix_flat(4, 3), C.random_matrix_flat(4, 4)
    result = np.kron(C.as_matrix(a, 4), C.as_matrix(b, 4)).view(float).ravel()
    assert np.allclose(on.kron(a, 4, b, 4), result)
    return interleaved(Side(lambda: on.kron(a, 4, b, 4)), Side(result.tolist), rounds, sample, peer_over_ours=False)


# ---------------------------------------------------------------------------
# The table


@dataclasses.dataclass
class Row:
    workload: str
    measure: str  # what the number is
    target: str
    passes: Callable[[float], bool]
    result: Measured | None = None
    seconds: bool = False  # the number is a time, not a ratio
    error: str = ""
    info: bool = False  # a figure to read the others by, with no target of its own


def fmt_time(s: float) -> str:
    if not math.isfinite(s):
        return "-"
    for unit, scale in (("s", 1.0), ("ms", 1e-3), ("µs", 1e-6), ("ns", 1e-9)):
        if s >= scale:
            return f"{s / scale:.3g} {unit}"
    return f"{s / 1e-9:.3g} ns"


def fmt_value(x: float, seconds: bool) -> str:
    return fmt_time(x) if seconds else f"{x:.3g}"


def collect(rounds: int, sample: float, only: set[str] | None, every_qubit: bool) -> list[Row]:
    rows: list[Row] = []

    def want(key: str) -> bool:
        return only is None or key in only

    def run(key: str, make: Callable[[], list[Row]]):
        if not want(key):
            return
        try:
            rows.extend(make())
        except Exception as exc:  # a missing peer or a failed check: reported in the table
            rows.append(Row(key, "-", "-", lambda _: False, error=f"{type(exc).__name__}: {exc}"))
        print(f"  measured {key}", file=sys.stderr, flush=True)

    def gate_rows():
        m = gate_2q_far(rounds, sample)
        return [Row("dense 2-qubit gate on qubits [3, 17], 24 qubits", "copy time / our time (speed vs copy)",
                    ">= 0.8", lambda x: x >= 0.8, m)]

    def permutation():
        got = permutation_rows(rounds, sample)
        touched = {"CNOT": "touches half", "SWAP": "touches half",
                   "controlled-Z (a dense +-1 diagonal)": "negates a quarter"}
        rows = [Row(f"{name} on qubits {targets} of 24 ({touched[name]})", "copy time / our time (speed vs copy)",
                    ">= 1.5", lambda x: x >= 1.5, got[name, i])
                for name in PERMUTATION_GATES for i, targets in enumerate(PERMUTATION_TARGETS)]
        rows.append(Row(f"for the SWAP row above: Z x Z on qubits {PERMUTATION_TARGETS[1]} of 24 (negates in place "
                        "the amplitudes SWAP exchanges: the same lines read and written)",
                        "copy time / our time (speed vs copy)", "none", lambda _: True,
                        swap_floor(rounds, sample), info=True))
        return rows

    def h_rows():
        qubits = list(range(24)) if every_qubit else [0, 12, 22, 23]
        got = hadamard_rows(rounds, sample, qubits)
        worst = max(qubits, key=lambda q: got[q].median)
        print("  H per qubit (our time / qulacs time): " +
              ", ".join(f"{q}: {got[q].median:.2f}" for q in qubits), file=sys.stderr)
        out = [Row("H on the last qubit (23, stride 1), 24 qubits", "our time / qulacs time (1 thread)",
                   "<= 1.0", lambda x: x <= 1.0, got[23])]
        which = "0..23" if every_qubit else ", ".join(map(str, qubits))
        out.append(Row(f"H, the slowest of qubits {which} (qubit {worst}), 24 qubits",
                       "our time / qulacs time (1 thread)", "<= 1.0", lambda x: x <= 1.0, got[worst]))
        return out

    def channel_rows():
        m = channel_2q(rounds, sample)
        return [Row("general 2-qubit Kraus channel (4 random operators) on [4, 7], 12 qubits",
                    "our time / qiskit-aer time (1 thread, by difference)", "<= 0.8", lambda x: x <= 0.8, m)]

    def pauli():
        got = pauli_rows(rounds, sample)
        return [Row(f"pauli_expansion of a dense random matrix, {n} qubits, lists in and out",
                    "our time / numpy time (reshape, a 4x4 contraction per qubit; list in and out)", "<= 1.0",
                    lambda x: x <= 1.0, got[n]) for n in (6, 7)]

    def ints():
        return [Row("clifford_tableau([], 1000): 4004001 ints as a list",
                    "our time / numpy.zeros(4004001, int64).tolist() time", "<= 1.1", lambda x: x <= 1.1,
                    tableau_empty(rounds, sample))]

    def tableau():
        got = tableau_stim(max(3, rounds // 2), sample)
        return [Row(f"clifford_tableau, {n} qubits, 10^5 gates",
                    "our time / stim TableauSimulator + inverse().to_numpy() + tolist time", "<= 1.0",
                    lambda x: x <= 1.0, got[n]) for n in (500, 1000)]

    def sampling():
        return [Row("clifford_run, 50 qubits, 1000 gates, 100 measurements, 10^4 shots",
                    "our time / stim compile_sampler().sample + tolist() time", "<= 0.5", lambda x: x <= 0.5,
                    sampling_stim(rounds, sample))]

    def matmul():
        return [Row("matmul 4x4, lists in and out", "numpy a @ b (arrays) time / our time", ">= 1.5",
                    lambda x: x >= 1.5, small_matrix("matmul", rounds, sample)),
                Row("list conversion alone for the row above: add_scaled of the same lists "
                    "(32 floats in, twice; 32 out)",
                    "numpy a @ b (arrays) time / add_scaled time", "none", lambda _: True,
                    small_matrix("matmul", rounds, sample, conversion_only=True), info=True)]

    def kron():
        # Making and releasing the 512 result floats bounds kron from lists, so
        # it is held to numpy's own tolist() of them, measured in the same run.
        return [Row("kron of two 4x4, lists in and out", "numpy kron (arrays) time / our time", "none",
                    lambda _: True, small_matrix("kron", rounds, sample), info=True),
                Row("list conversion alone for the row above: numpy's tolist() of the 512-float result",
                    "numpy kron (arrays) time / numpy tolist() time", "none", lambda _: True,
                    small_matrix("kron", rounds, sample, conversion_only=True), info=True),
                Row("kron of two 4x4 from lists against numpy's tolist() of the same 512 result floats",
                    "our time / numpy tolist() time", "<= 1.2", lambda x: x <= 1.2,
                    kron_against_tolist(rounds, sample))]

    def noisy():
        import noisy_targets
        return noisy_targets.rows(rounds, sample, interleaved, Side, Row)

    run("gate", gate_rows)
    run("permutation", permutation)
    run("h", h_rows)
    run("channel", channel_rows)
    run("pauli", pauli)
    run("ints", ints)
    run("tableau", tableau)
    run("sampling", sampling)
    run("matmul", matmul)
    run("kron", kron)
    run("interrupt", lambda: interrupt_rows(rounds, Row, Measured))
    run("noisy", noisy)
    return rows


def table(rows: list[Row], header: str) -> str:
    lines = [header, "",
             "| workload | measure | median | spread (min–max) | our time | peer time | target | met |",
             "|---|---|---|---|---|---|---|---|"]
    for r in rows:
        if r.error or r.result is None:
            lines.append(f"| {r.workload} | {r.measure} | - | - | - | - | {r.target} | failed: {r.error} |")
            continue
        m = r.result
        lo, hi = min(m.ratios), max(m.ratios)
        lines.append(f"| {r.workload} | {r.measure} | {fmt_value(m.median, r.seconds)} | "
                     f"{fmt_value(lo, r.seconds)}–{fmt_value(hi, r.seconds)} | {fmt_time(m.ours)} | "
                     f"{fmt_time(m.peer)} | {r.target} | {'-' if r.info else 'yes' if r.passes(m.median) else 'no'} |")
    return "\n".join(lines) + "\n"


def as_json(rows: list[Row]) -> list[dict]:
    return [{"workload": r.workload, "measure": r.measure, "target": r.target, "error": r.error,
             "ratios": r.result.ratios if r.result else None,
             "ours": r.result.ours if r.result else None,
             "peer": r.result.peer if r.result and math.isfinite(r.result.peer) else None} for r in rows]


KEYS = ["gate", "permutation", "h", "channel", "pauli", "ints", "tableau", "sampling", "matmul", "kron",
        "interrupt", "noisy"]


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--rounds", type=int, default=9)
    parser.add_argument("--sample", type=float, default=0.2, help="seconds per timing of one side (about)")
    parser.add_argument("--only", nargs="*", choices=KEYS, help="measure these rows only")
    parser.add_argument("--every-qubit", action="store_true", help="H on each of the 24 qubits, not four")
    parser.add_argument("--json", help="also write the per-round figures here")
    args = parser.parse_args()
    rows = collect(args.rounds, args.sample, set(args.only) if args.only else None, args.every_qubit)
    print(table(rows, f"Targets: medians of {args.rounds} interleaved rounds per row"), end="")
    if args.json:
        with open(args.json, "w") as f:
            json.dump(as_json(rows), f, indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main())
