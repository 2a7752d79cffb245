"""The benchmark workloads and, for each, how every implementation runs it.

A case names its sizes and a set of implementations. An implementation is
a setup function `setup(size)` that builds its inputs (outside the timing)
and returns a `Timed`: the operation to time, and optionally a baseline
operation whose time is subtracted (for peers that can only be driven a
whole circuit at a time, see `aer_per_op`). Inputs come from fixed seeds, so
every implementation of a case sees the same circuit, gate, channel or
matrix.

Qubit order: this module numbers qubits from the most significant bit of a
basis index; qulacs and qiskit number them from the least significant. With
the same amplitude array, our qubit q is their qubit n-1-q, and a matrix's
targets are listed least significant first for them, most significant first
for us. `check.py` verifies on small sizes that every peer computes exactly
what this module computes.
"""

from __future__ import annotations

import dataclasses
import math
import random
from collections.abc import Callable
from typing import Any

import numpy as np

import orvane_native as on
from clifford_streams import MEASURE, ONE_QUBIT, TWO_QUBIT, stim_circuit

# ---------------------------------------------------------------------------
# Plumbing


@dataclasses.dataclass
class Timed:
    op: Callable[[], Any]
    # For peers timed by difference: time per operation is
    # (time(op) - time(baseline)) / per_op.
    baseline: Callable[[], Any] | None = None
    per_op: int = 1


@dataclasses.dataclass
class Impl:
    label: str
    setup: Callable[[int], Timed]
    max_size: int | None = None  # larger sizes are skipped (too slow to be useful)
    quick_max_size: int | None = None
    requires: str | None = None  # module that must import, else the peer is skipped


@dataclasses.dataclass
class Case:
    name: str
    title: str
    size_label: str
    sizes: list[int]
    quick_sizes: list[int]
    impls: dict[str, Impl]
    note: str = ""


def interleave(z: np.ndarray) -> list[float]:
    z = np.ascontiguousarray(z, dtype=np.complex128)
    return z.view(np.float64).ravel().tolist()


def random_unitary(dim: int, rng: np.random.Generator) -> np.ndarray:
    z = rng.normal(size=(dim, dim)) + 1j * rng.normal(size=(dim, dim))
    q, r = np.linalg.qr(z)
    return q * (np.diag(r) / np.abs(np.diag(r)))


def random_kraus(dim: int, count: int, rng: np.random.Generator) -> list[np.ndarray]:
    """`count` Kraus operators of a random channel: blocks of a random isometry."""
    z = rng.normal(size=(count * dim, dim)) + 1j * rng.normal(size=(count * dim, dim))
    q, _ = np.linalg.qr(z)
    return [q[i * dim:(i + 1) * dim] for i in range(count)]


def depolarizing(p: float) -> list[np.ndarray]:
    paulis = [np.eye(2), np.array([[0, 1], [1, 0]]), np.array([[0, -1j], [1j, 0]]), np.diag([1.0, -1.0])]
    weights = [math.sqrt(1 - 3 * p / 4)] + [math.sqrt(p / 4)] * 3
    return [w * np.asarray(m, dtype=complex) for w, m in zip(weights, paulis)]


def reversed_targets(targets: list[int], n: int) -> list[int]:
    """Our targets (targets[0] = most significant bit of the operator's
    index) as little-endian qubit numbers in the order that qiskit and
    qulacs expect for a matrix: first listed = least significant bit."""
    return [n - 1 - t for t in reversed(targets)]


# ---------------------------------------------------------------------------
# Clifford circuits



def clifford_layers(n: int, layers: int, rng: random.Random) -> list[int]:
    """`layers` layers, each a random one-qubit Clifford (H, S, S_DAG, X, Y,
    Z) on every qubit and a random two-qubit gate (CNOT, CZ, SWAP) on n/2
    random disjoint pairs, as instruction triples."""
    out: list[int] = []
    for _ in range(layers):
        for q in range(n):
            out += [ONE_QUBIT[rng.randrange(len(ONE_QUBIT))], q, 0]
        order = list(range(n))
        rng.shuffle(order)
        for i in range(0, n - 1, 2):
            out += [rng.choice(TWO_QUBIT), order[i], order[i + 1]]
    return out


def sampling_circuit() -> list[int]:
    """The clifford_run workload: 50 qubits, two blocks of five random
    layers each followed by a measurement of every qubit (100 measurements,
    750 gates)."""
    rng = random.Random(2024)
    out: list[int] = []
    for _ in range(2):
        out += clifford_layers(50, 5, rng)
        for q in range(50):
            out += [MEASURE, q, 0]
    return out


def tableau_circuit(n: int) -> list[int]:
    return clifford_layers(n, 5, random.Random(1000 + n))


def triples(instructions: list[int]) -> list[tuple[int, int, int]]:
    return [tuple(instructions[i:i + 3]) for i in range(0, len(instructions) - 2, 3)]


def run_orvane(shots: int) -> Timed:
    instructions = sampling_circuit()
    return Timed(lambda: on.clifford_run(instructions, 50, [], shots, 7))


def run_object_loop(shots: int) -> Timed:
    """The same circuit one instruction at a time from Python, rebuilding
    the state per repetition: the path a caller without clifford_run takes."""
    steps = triples(sampling_circuit())
    draw = random.Random(7).random

    def op():
        t = on.NativeTableau(50)
        record = []
        for _ in range(shots):
            t.reset()
            for code, a, b in steps:
                if code == MEASURE:
                    record.append(t.measure(a, draw()))
                else:
                    t.apply(code, a, b)
        return record

    return Timed(op)


def run_stim_sampler(shots: int) -> Timed:
    sampler = stim_circuit(sampling_circuit()).compile_sampler(seed=7)
    sampler.sample(1)  # the reference sample is computed at the first call
    return Timed(lambda: sampler.sample(shots))


def run_stim_sampler_list(shots: int) -> Timed:
    # The same records as Python lists, as clifford_run returns them.
    sampler = stim_circuit(sampling_circuit()).compile_sampler(seed=7)
    sampler.sample(1)
    return Timed(lambda: sampler.sample(shots).tolist())


def run_stim_tableau(shots: int) -> Timed:
    import stim

    circuit = stim_circuit(sampling_circuit())

    def op():
        records = []
        for s in range(shots):
            sim = stim.TableauSimulator(seed=s)
            sim.do(circuit)
            records.append(sim.current_measurement_record())
        return records

    return Timed(op)


def tableau_orvane(n: int) -> Timed:
    instructions = tableau_circuit(n)
    return Timed(lambda: on.clifford_tableau(instructions, n))


def tableau_object(n: int) -> Timed:
    steps = triples(tableau_circuit(n))

    def op():
        t = on.NativeTableau(n)
        for code, a, b in steps:
            t.apply(code, a, b)
        return t.stabilizer_tableau()

    return Timed(op)


def tableau_stim(n: int) -> Timed:
    import stim

    circuit = stim_circuit(tableau_circuit(n))

    def op():
        sim = stim.TableauSimulator()
        sim.do(circuit)
        return sim.current_inverse_tableau().to_numpy()

    return Timed(op)


# ---------------------------------------------------------------------------
# State vectors


def gate_targets(n: int, k: int) -> list[int]:
    """A one-qubit gate on the middle qubit; a two-qubit gate on two
    non-neighbouring qubits in the middle of the register."""
    return [n // 2] if k == 1 else [n // 2 - 2, n // 2 + 1]


def gate_matrix(k: int) -> np.ndarray:
    return random_unitary(2 ** k, np.random.default_rng(10 + k))


def state_orvane(k: int):
    def setup(n: int) -> Timed:
        state = on.NativeState(n)
        state.reset()
        gate, targets = interleave(gate_matrix(k)), gate_targets(n, k)
        return Timed(lambda: state.apply_gate(gate, targets))

    return setup


def state_orvane_lists(k: int):
    def setup(n: int) -> Timed:
        state = [0.0] * (2 << n)
        state[0] = 1.0
        gate, targets = interleave(gate_matrix(k)), gate_targets(n, k)
        return Timed(lambda: on.apply_gate(state, gate, n, targets))

    return setup


def state_qulacs(k: int):
    def setup(n: int) -> Timed:
        from qulacs import QuantumState
        from qulacs.gate import DenseMatrix

        state = QuantumState(n)
        gate = DenseMatrix(reversed_targets(gate_targets(n, k), n), gate_matrix(k))
        return Timed(lambda: gate.update_quantum_state(state))

    return setup


def aer_per_op(n: int, method: str, add_op, count: int) -> Timed:
    """Aer runs whole circuits. Time per operation = (time of a circuit of
    1 + count operations - time of a circuit of 1 operation) / count, which
    removes the circuit set-up and the allocation of the state; `count` grows
    for small states so that the operations outweigh the set-up. Fusion and
    truncation are off so that every operation really runs on all n qubits."""
    from qiskit import QuantumCircuit
    from qiskit_aer import AerSimulator

    sim = AerSimulator(method=method, max_parallel_threads=1, fusion_enable=False, enable_truncation=False)

    def circuit(ops: int):
        qc = QuantumCircuit(n)
        for _ in range(ops):
            add_op(qc)
        return qc

    long, short = circuit(1 + count), circuit(1)
    return Timed(lambda: sim.run(long).result(), baseline=lambda: sim.run(short).result(), per_op=count)


def state_aer(k: int):
    def setup(n: int) -> Timed:
        from qiskit.circuit.library import UnitaryGate

        gate = UnitaryGate(gate_matrix(k))
        qargs = reversed_targets(gate_targets(n, k), n)
        return aer_per_op(n, "statevector", lambda qc: qc.append(gate, qargs), max(8, 2 ** (22 - n)))

    return setup


def copy_ceiling(elements: Callable[[int], int]):
    """The memory-bandwidth ceiling: copying an array of complex numbers of
    the state's size (a gate reads and writes every amplitude once)."""

    def setup(n: int) -> Timed:
        src = np.ones(elements(n), dtype=np.complex128)
        dst = np.empty_like(src)
        dst.fill(0)  # touch every page now, not inside the timing
        return Timed(lambda: np.copyto(dst, src))

    return setup


# ---------------------------------------------------------------------------
# Density matrices


def channel_ops(k: int) -> list[np.ndarray]:
    """One-qubit: depolarizing, p = 0.1. Two-qubit: a random channel of
    four Kraus operators (the general path)."""
    return depolarizing(0.1) if k == 1 else random_kraus(4, 4, np.random.default_rng(20))


def channel_targets(n: int, k: int) -> list[int]:
    return [n // 2] if k == 1 else [n // 2 - 2, n // 2 + 1]


def density_orvane(k: int):
    def setup(n: int) -> Timed:
        rho = on.NativeDensity(n)
        rho.reset()
        ops = channel_ops(k)
        flat = [x for m in ops for x in interleave(m)]
        targets = channel_targets(n, k)
        return Timed(lambda: rho.apply_channel(flat, len(ops), targets))

    return setup


def density_qulacs(k: int):
    def setup(n: int) -> Timed:
        from qulacs import DensityMatrix
        from qulacs.gate import CPTP, DenseMatrix

        rho = DensityMatrix(n)
        targets = reversed_targets(channel_targets(n, k), n)
        gate = CPTP([DenseMatrix(targets, m) for m in channel_ops(k)])
        return Timed(lambda: gate.update_quantum_state(rho))

    return setup


def density_aer(k: int):
    def setup(n: int) -> Timed:
        from qiskit.quantum_info import Kraus

        channel = Kraus(channel_ops(k))
        qargs = reversed_targets(channel_targets(n, k), n)
        return aer_per_op(n, "density_matrix", lambda qc: qc.append(channel, qargs), max(8, 4 ** (10 - n)))

    return setup


# ---------------------------------------------------------------------------
# Matrix toolkit, per call, inputs and results as Python lists


def random_matrix_flat(dim: int, seed: int) -> list[float]:
    rng = np.random.default_rng(seed)
    return interleave(rng.normal(size=(dim, dim)) + 1j * rng.normal(size=(dim, dim)))


def as_matrix(flat: list[float], dim: int) -> np.ndarray:
    return np.array(flat, dtype=np.float64).view(np.complex128).reshape(dim, dim)


def numpy_kron_factor(flat: list[float]) -> list[float]:
    """g, A, B with M = g (A kron B) and det A = det B = 1, from the largest
    entry of M (the usual method; the module's own algorithm is its own)."""
    t = as_matrix(flat, 4).reshape(2, 2, 2, 2)  # t[i, k, j, l] = M[2i+k, 2j+l]
    i, k, j, l = np.unravel_index(np.argmax(np.abs(t)), t.shape)
    a = t[:, k, :, l]
    b = t[i, :, j, :]
    a = a / np.sqrt(np.linalg.det(a))
    b = b / np.sqrt(np.linalg.det(b))
    g = t[i, k, j, l] / (a[i, j] * b[k, l])
    return [g.real, g.imag] + interleave(a) + interleave(b)


MATRIX_OPS = {
    "matrix_det": (
        lambda a, b, d: on.matrix_det(a, d),
        lambda a, b, d: (lambda z: [z.real, z.imag])(np.linalg.det(as_matrix(a, d))),
    ),
    "matrix_inverse": (
        lambda a, b, d: on.matrix_inverse(a, d),
        lambda a, b, d: interleave(np.linalg.inv(as_matrix(a, d))),
    ),
    "kron": (
        lambda a, b, d: on.kron(a, d, b, d),
        lambda a, b, d: interleave(np.kron(as_matrix(a, d), as_matrix(b, d))),
    ),
    "matmul": (
        lambda a, b, d: on.matmul(a, b, d),
        lambda a, b, d: interleave(as_matrix(a, d) @ as_matrix(b, d)),
    ),
    "kron_factor": (
        lambda a, b, d: on.kron_factor(a),
        lambda a, b, d: numpy_kron_factor(a),
    ),
}


def matrix_inputs(name: str, dim: int) -> tuple[list[float], list[float]]:
    if name == "kron_factor":
        return on.kron(random_matrix_flat(2, 1), 2, random_matrix_flat(2, 2), 2), []
    return random_matrix_flat(dim, 3), random_matrix_flat(dim, 4)


def matrix_impl(name: str, which: int):
    def setup(dim: int) -> Timed:
        fn = MATRIX_OPS[name][which]
        a, b = matrix_inputs(name, dim)
        return Timed(lambda: fn(a, b, dim))

    return setup


# ---------------------------------------------------------------------------
# Per-call overhead: a two-outcome sample_outcome


PROBS = [0.3, 0.7]


def sample_orvane(_: int) -> Timed:
    return Timed(lambda: on.sample_outcome(PROBS, 0.5))


def sample_python(_: int) -> Timed:
    def pick(probabilities: list[float], u: float) -> int:
        total = 0.0
        for i, p in enumerate(probabilities):
            total += p
            if u < total:
                return i
        return len(probabilities) - 1

    return Timed(lambda: pick(PROBS, 0.5))


def sample_numpy(_: int) -> Timed:
    def pick(probabilities: list[float], u: float) -> int:
        cumulative = np.cumsum(probabilities)
        return min(int(np.searchsorted(cumulative, u, side="right")), len(probabilities) - 1)

    return Timed(lambda: pick(PROBS, 0.5))


# ---------------------------------------------------------------------------
# The table of cases

ORVANE = "orvane_native"


def cases() -> dict[str, Case]:
    out = [
        Case("clifford_run", "Clifford sampling: 50 qubits, 750 gates, 100 measurements", "shots",
             [1000, 10000, 100000], [1000, 10000], {
                 ORVANE: Impl("orvane clifford_run", run_orvane),
                 "stim_sampler": Impl("stim compile_sampler().sample", run_stim_sampler, requires="stim"),
                 "stim_sampler_list": Impl("stim compile_sampler().sample().tolist()", run_stim_sampler_list,
                                           requires="stim"),
                 "stim_tableau": Impl("stim TableauSimulator per shot", run_stim_tableau, requires="stim",
                                      quick_max_size=1000),
                 "object_loop": Impl("orvane NativeTableau per instruction (Python loop)", run_object_loop,
                                     max_size=10000, quick_max_size=1000),
             },
             note="clifford_run simulates the circuit once symbolically, replays its signs per shot and "
                  "returns a list of ints; stim's sampler is compiled once (not timed) and returns a numpy "
                  "array (also shown converted to lists). The two loop rows re-simulate per shot from Python."),
        Case("clifford_tableau", "Tableau after a random Clifford circuit (5 layers, 7.5 n gates)", "qubits",
             [100, 200, 500, 1000], [100, 300], {
                 ORVANE: Impl("orvane clifford_tableau", tableau_orvane),
                 "stim_tableau": Impl("stim TableauSimulator + to_numpy", tableau_stim, requires="stim"),
                 "object_loop": Impl("orvane NativeTableau per instruction (Python loop)", tableau_object,
                                     max_size=500, quick_max_size=100),
             },
             note="clifford_tableau returns the flattened (2n+1)^2 tableau as a Python list of ints; stim "
                  "returns bit-packed numpy arrays."),
    ]
    for k in (1, 2):
        out.append(Case(
            f"state_gate_{k}q", f"NativeState.apply_gate, random dense {k}-qubit gate", "qubits",
            [16, 18, 20, 22, 24, 26], [16, 20, 24], {
                ORVANE: Impl("orvane NativeState.apply_gate", state_orvane(k)),
                "qulacs": Impl("qulacs DenseMatrix (1 thread)", state_qulacs(k), requires="qulacs"),
                "aer": Impl("qiskit-aer statevector (1 thread)", state_aer(k), requires="qiskit_aer",
                            quick_max_size=16),
                "lists": Impl("orvane apply_gate on lists", state_orvane_lists(k), max_size=20,
                              quick_max_size=16),
                "copy": Impl("numpy copy of the state (bandwidth ceiling)", copy_ceiling(lambda n: 2 ** n)),
            },
            note="Time per gate on a state already in memory. qiskit-aer is timed by difference of two "
                 "circuits (see bench/README.md)."))
    for k in (1, 2):
        out.append(Case(
            f"density_channel_{k}q",
            "NativeDensity.apply_channel, " + ("1-qubit depolarizing (4 Kraus operators)" if k == 1
                                               else "random 2-qubit channel (4 Kraus operators)"),
            "qubits", [6, 8, 10, 12], [6, 8, 10], {
                ORVANE: Impl("orvane NativeDensity.apply_channel", density_orvane(k)),
                "qulacs": Impl("qulacs CPTP on DensityMatrix (1 thread)", density_qulacs(k), requires="qulacs"),
                "aer": Impl("qiskit-aer density_matrix (1 thread)", density_aer(k), requires="qiskit_aer",
                            quick_max_size=6),
                "copy": Impl("numpy copy of rho (bandwidth ceiling)", copy_ceiling(lambda n: 4 ** n)),
            }))
    for name in MATRIX_OPS:
        sizes = [4] if name == "kron_factor" else [2, 4]
        out.append(Case(
            name, f"{name} per call, Python lists in and out", "dim", sizes, sizes, {
                ORVANE: Impl(f"orvane {name}", matrix_impl(name, 0)),
                "numpy": Impl("numpy (array from list, op, .tolist())", matrix_impl(name, 1), requires="numpy"),
            },
            note="kron multiplies two dim x dim matrices." if name == "kron" else ""))
    out.append(Case(
        "sample_outcome", "sample_outcome([0.3, 0.7], u): per-call overhead", "outcomes", [2], [2], {
            ORVANE: Impl("orvane sample_outcome", sample_orvane),
            "python": Impl("pure Python loop", sample_python),
            "numpy": Impl("numpy cumsum + searchsorted", sample_numpy),
        }))
    return {c.name: c for c in out}
