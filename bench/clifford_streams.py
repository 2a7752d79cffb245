"""The instruction codes of a Clifford stream as the benchmarks use them,
stim's name of each, and the random gate streams of the stabilizer
workloads. The codes restate the module's table
(src/orvane_native/stabilizer/instructions.h); tests/test_stabilizer.py
checks this copy against it and the names against stim."""

from __future__ import annotations

import random

H, S, SDG, X, Y, Z, CNOT, CZ, SWAP, MEASURE = range(10)
ONE_QUBIT = (H, S, SDG, X, Y, Z)
TWO_QUBIT = (CNOT, CZ, SWAP)
# stim.Circuit's name of each code, in code order.
STIM_NAMES = ["H", "S", "S_DAG", "X", "Y", "Z", "CX", "CZ", "SWAP", "M"]


def random_gates(n: int, count: int, rng: random.Random) -> list[int]:
    """`count` gates drawn uniformly from the nine gate codes on distinct
    random qubits (b is 0 for a one-qubit gate)."""
    out: list[int] = []
    for _ in range(count):
        code = rng.randrange(len(ONE_QUBIT) + len(TWO_QUBIT))
        a, b = rng.sample(range(n), 2)
        out += [code, a, b if code in TWO_QUBIT else 0]
    return out


def stim_circuit(instructions: list[int]):
    """The same stream as a stim.Circuit."""
    import stim

    lines = []
    for i in range(0, len(instructions) - 2, 3):
        code, a, b = instructions[i:i + 3]
        lines.append(f"{STIM_NAMES[code]} {a} {b}" if code in TWO_QUBIT else f"{STIM_NAMES[code]} {a}")
    return stim.Circuit("\n".join(lines))
