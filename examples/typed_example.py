"""orvane_native from fully typed code: this file passes `mypy --strict`
with the stubs that ship in the wheel (package orvane_native-stubs).

Run it:  python examples/typed_example.py
Check it: mypy --strict examples/typed_example.py
"""

from __future__ import annotations

import math
from collections.abc import Sequence
from typing import TYPE_CHECKING

import orvane_native as on

if TYPE_CHECKING:
    from typing_extensions import Buffer

H = 1.0 / math.sqrt(2.0)
HADAMARD: list[float] = [H, 0.0, H, 0.0, H, 0.0, -H, 0.0]
CNOT: list[float] = [
    1.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0,
    0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 0.0, 0.0,
    0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0,
    0.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0,
]

# Instruction codes of the Clifford stream (triples code, a, b).
INSTR_H, INSTR_CNOT, INSTR_MEASURE = 0, 6, 9


def amplitudes(flat: Sequence[float]) -> list[complex]:
    """Interleaved floats [re0, im0, re1, im1, ...] as complex numbers."""
    return [complex(flat[i], flat[i + 1]) for i in range(0, len(flat), 2)]


def bell_record(shots: int, seed: int) -> list[tuple[int, int]]:
    stream: list[int] = [INSTR_H, 0, 0, INSTR_CNOT, 0, 1, INSTR_MEASURE, 0, 0, INSTR_MEASURE, 1, 0]
    record: list[int] = on.clifford_run(stream, 2, [], shots, seed)
    return [(record[2 * i], record[2 * i + 1]) for i in range(shots)]


def bell_state() -> list[complex]:
    state = on.apply_gate([1.0, 0.0] + [0.0] * 6, HADAMARD, 2, [0])
    return amplitudes(on.apply_gate(state, CNOT, 2, [0, 1]))


def total(buffer: Buffer) -> float:
    """Sum of the floats of any buffer of doubles (NativeState and NativeDensity are buffers)."""
    with memoryview(buffer) as view:
        return math.fsum(view)


def step_by_step() -> tuple[int, list[float]]:
    state = on.NativeState(2)
    state.set_zero_state()
    state.apply_gate(HADAMARD, [0])
    state.apply_gate(CNOT, [0, 1])
    probabilities: list[float] = state.probabilities([0, 1])
    outcome: int = state.measure([0, 1], 0.75)
    return outcome, probabilities


def noisy_qubit(p: float) -> list[float]:
    rho = on.NativeDensity(1)
    rho.set_zero_state()
    flip = [math.sqrt(1.0 - p), 0.0, 0.0, 0.0, 0.0, 0.0, math.sqrt(1.0 - p), 0.0,
            0.0, 0.0, math.sqrt(p), 0.0, math.sqrt(p), 0.0, 0.0, 0.0]
    rho.apply_channel(flip, 2, [0])
    return rho.probabilities([0])


def tableau_ghz(n: int) -> list[int]:
    tableau = on.NativeTableau(n)
    tableau.apply(INSTR_H, 0, 0)
    for q in range(1, n):
        tableau.apply(INSTR_CNOT, 0, q)
    return [tableau.measure(q, 0.9) for q in range(n)]


def factor(
    a: list[float] | tuple[float, ...], b: list[float] | tuple[float, ...]
) -> tuple[complex, list[float], list[float]]:
    """Sequence arguments are lists or tuples: the module converts nothing else
    (a range or an array is refused at run time, and by the type checker)."""
    out = on.kron_factor(on.kron(a, 2, b, 2))
    return complex(out[0], out[1]), out[2:10], out[10:18]


def main() -> None:
    print("orvane_native", on.version())
    print("Bell pair, 5 shots:", bell_record(5, seed=7))
    print("Bell state:", [f"{z.real:+.4f}" for z in bell_state()])
    state = on.NativeState(3)
    state.set_zero_state()
    print("sum of the floats of |000>:", total(state), "(num_qubits", state.num_qubits, ")")
    print("measured a Bell pair with u = 0.75:", step_by_step())
    print("bit flip p = 0.25 on |0>:", noisy_qubit(0.25))
    print("GHZ(4) measured with u = 0.9:", tableau_ghz(4))
    g, _, _ = factor(HADAMARD, [0.0, 0.0, 1.0, 0.0, 1.0, 0.0, 0.0, 0.0])
    print(f"H kron X = g (A kron B) with det A = det B = 1, |g| = {abs(g):.4f}")
    print("identity?", bool(on.is_identity_matrix(on.matmul(HADAMARD, HADAMARD, 2), 2, 1e-12)))


if __name__ == "__main__":
    main()
