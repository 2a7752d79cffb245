"""The two noisy memory experiments of the noisy-sampling targets, as stim
circuits, and their translation into this module's instruction stream.

stim_to_stream(circuit) returns (instructions, num_qubits, probabilities):
qubits renumbered densely in order of first use, annotations (DETECTOR,
OBSERVABLE_INCLUDE, coordinates, TICK) dropped, and a noisy measurement
M(p) or MR(p) written as X_ERROR(p) before it. That last step samples the
same records only where the measured qubit is reset or not used again after
the measurement, which holds for both circuits here (ancillas are MR, data
qubits are measured last).
"""

from __future__ import annotations

import stim

H, CNOT, MEASURE, RESET, MEASURE_RESET = 0, 6, 9, 10, 11
X_ERROR, Z_ERROR, DEPOLARIZE1, DEPOLARIZE2, NOISE_PROBABILITY = 12, 14, 15, 16, 17
IGNORED = {"DETECTOR", "OBSERVABLE_INCLUDE", "QUBIT_COORDS", "SHIFT_COORDS", "TICK"}


def repetition_code(distance: int = 5, rounds: int = 5, p: float = 0.05) -> stim.Circuit:
    """Bit-flip memory: X_ERROR(p) on every data qubit before each round,
    ancillas measured (with flip probability p) and reset each round, data
    measured with flip probability p at the end."""
    data = [2 * i for i in range(distance)]
    anc = [2 * i + 1 for i in range(distance - 1)]
    c = stim.Circuit()
    c.append("R", data + anc)
    for r in range(rounds):
        c.append("X_ERROR", data, p)
        c.append("CX", [q for i, a in enumerate(anc) for q in (data[i], a)])
        c.append("CX", [q for i, a in enumerate(anc) for q in (data[i + 1], a)])
        c.append("MR", anc, p)
        for i in range(len(anc)):
            rec = [stim.target_rec(-len(anc) + i)]
            if r > 0:
                rec.append(stim.target_rec(-2 * len(anc) + i))
            c.append("DETECTOR", rec)
    c.append("M", data, p)
    for i in range(len(anc)):
        c.append("DETECTOR", [stim.target_rec(-distance + i), stim.target_rec(-distance + i + 1),
                              stim.target_rec(-distance - len(anc) + i)])
    c.append("OBSERVABLE_INCLUDE", [stim.target_rec(-1)], 0)
    return c


def surface_code(distance: int = 5, rounds: int = 5, p: float = 0.001) -> stim.Circuit:
    """Rotated surface-code Z memory with uniform depolarizing noise p."""
    return stim.Circuit.generated("surface_code:rotated_memory_z", distance=distance, rounds=rounds,
                                  after_clifford_depolarization=p, before_round_data_depolarization=p,
                                  before_measure_flip_probability=p, after_reset_flip_probability=p)


def stim_to_stream(circuit: stim.Circuit) -> tuple[list[int], int, list[float]]:
    qubit: dict[int, int] = {}
    probabilities: list[float] = []
    index: dict[float, int] = {}
    out: list[int] = []

    def q(t) -> int:
        return qubit.setdefault(t.value, len(qubit))

    def prob(p: float) -> int:
        if p not in index:
            index[p] = len(probabilities)
            probabilities.append(p)
        return index[p]

    for inst in circuit.flattened():
        name, targets, args = inst.name, inst.targets_copy(), inst.gate_args_copy()
        if name in IGNORED:
            continue
        single = {"H": H, "R": RESET, "M": MEASURE, "MR": MEASURE_RESET}
        if name in single:
            for t in targets:
                a = q(t)
                if name in ("M", "MR") and args and args[0] > 0:
                    out += [X_ERROR, a, prob(args[0])]
                out += [single[name], a, 0]
        elif name in ("CX", "CNOT"):
            for c, t in zip(targets[::2], targets[1::2]):
                out += [CNOT, q(c), q(t)]
        elif name in ("X_ERROR", "Z_ERROR", "DEPOLARIZE1"):
            code = {"X_ERROR": X_ERROR, "Z_ERROR": Z_ERROR, "DEPOLARIZE1": DEPOLARIZE1}[name]
            k = prob(args[0])
            for t in targets:
                out += [code, q(t), k]
        elif name == "DEPOLARIZE2":
            out += [NOISE_PROBABILITY, prob(args[0]), 0]
            for a, b in zip(targets[::2], targets[1::2]):
                out += [DEPOLARIZE2, q(a), q(b)]
        else:
            raise ValueError(f"no translation for {name}")
    return out, len(qubit), probabilities
