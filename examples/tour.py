"""A short printed tour of orvane_native."""

import math

import orvane_native as on


def section(title):
    print()
    print("==", title)


def show_state(flat, n):
    for i in range(2 ** n):
        re, im = flat[2 * i], flat[2 * i + 1]
        if abs(re) > 1e-12 or abs(im) > 1e-12:
            print(f"  |{i:0{n}b}>  {re:+.4f}{im:+.4f}i")


print("orvane_native", on.version())

section("State vector: H on qubit 0 of |00> (qubit 0 is the most significant bit)")
h = 1 / math.sqrt(2)
H = [h, 0, h, 0, h, 0, -h, 0]
CNOT = [1, 0, 0, 0, 0, 0, 0, 0,
        0, 0, 1, 0, 0, 0, 0, 0,
        0, 0, 0, 0, 0, 0, 1, 0,
        0, 0, 0, 0, 1, 0, 0, 0]
state = on.apply_gate([1, 0, 0, 0, 0, 0, 0, 0], H, 2, [0])
show_state(state, 2)

section("Then CNOT with control 0, target 1: a Bell pair")
state = on.apply_gate(state, CNOT, 2, [0, 1])
show_state(state, 2)
print("  probabilities of qubit 0:", on.state_probabilities(state, [0], 2))
both = on.state_probabilities(state, [0, 1], 2)
print("  measuring both qubits (outcome 2*q0 + q1): probabilities", both)
outcome = on.sample_outcome(both, 0.7)
print("  a draw u = 0.7 picks outcome", outcome, f"(q0 = {outcome >> 1}, q1 = {outcome & 1})",
      "and the state collapses to:")
show_state(on.collapse_state(state, [0, 1], outcome, 2), 2)

section("Stabilizer circuits: a Bell pair sampled 4 times with seed 1")
# Instructions are (code, a, b) triples: 0 = H, 6 = CNOT, 9 = measure.
bell = [0, 0, 0, 6, 0, 1, 9, 0, 0, 9, 1, 0]
record = on.clifford_run(bell, 2, [], 4, 1)
print("  outcomes per repetition:", [record[i:i + 2] for i in range(0, len(record), 2)])
print("  the same seed gives the same record:", record == on.clifford_run(bell, 2, [], 4, 1))
ghz = [0, 0, 0, 6, 0, 1, 6, 1, 2] + [9, 0, 0, 9, 1, 0, 9, 2, 0]
print("  GHZ on 3 qubits, 5 shots:", on.clifford_run(ghz, 3, [], 5, 2026))
tableau = on.clifford_tableau([0, 0, 0, 6, 0, 1], 2)
print("  the Bell state rebuilt from its tableau:")
show_state(on.clifford_state_vector(tableau, 2), 2)

section("One gate at a time: NativeState and a zero-copy view of its buffer")
psi = on.NativeState(3)
psi.set_zero_state()
# A memoryview (or numpy.frombuffer(psi, dtype=complex)) reads the object's
# own memory: no copy, and it follows every step.
view = memoryview(psi)


def amplitudes(v):
    return [complex(round(v[i], 4), round(v[i + 1], 4)) for i in range(0, len(v), 2)]


for gate, targets in [(H, [0]), (CNOT, [0, 1]), (CNOT, [1, 2])]:
    psi.apply_gate(gate, targets)
    print("  after a gate on", targets, "the view shows", amplitudes(view))
print("  measuring qubit 2 with u = 0.2 gives", psi.measure([2], 0.2), "; the view follows:",
      [a.real for a in amplitudes(view)])
view.release()

section("Noise: a density matrix through amplitude damping (gamma = 0.3)")
gamma = 0.3
k0 = [1, 0, 0, 0, 0, 0, math.sqrt(1 - gamma), 0]
k1 = [0, 0, math.sqrt(gamma), 0, 0, 0, 0, 0]
rho = on.NativeDensity(1)
rho.set_from_amplitudes([0, 0, 1, 0])  # |1><1|
rho.apply_channel(k0 + k1, 2, [0])
print("  populations after one step:", [round(p, 4) for p in rho.probabilities([0])])
bit_flip = [math.sqrt(0.9) * x for x in [1, 0, 0, 0, 0, 0, 1, 0]] + [math.sqrt(0.1) * x for x in [0, 0, 1, 0, 1, 0, 0, 0]]
print("  bit flip (p = 0.1) on |0><0| with the stateless channel():",
      [round(x, 4) for x in on.channel([1, 0, 0, 0, 0, 0, 0, 0], bit_flip, 2, 2)[0::2]])

section("Matrix toolkit: factoring a two-qubit operator")
X = [0, 0, 1, 0, 1, 0, 0, 0]
Z = [1, 0, 0, 0, 0, 0, -1, 0]
factors = on.kron_factor(on.kron(X, 2, Z, 2))
g, a, b = factors[:2], factors[2:10], factors[10:]
print("  X kron Z = g * (A kron B) with g =", g, "det A =", on.matrix_det(a, 2), "det B =", on.matrix_det(b, 2))
print("  Pauli expansion of X kron Z: coefficient 1 at index", on.pauli_expansion(on.kron(X, 2, Z, 2), 2)[0::2].index(1.0))
