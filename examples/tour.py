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
outcome = on.sample_outcome(on.state_probabilities(state, [0, 1], 2), 0.7)
print("  a draw u = 0.7 picks outcome", outcome, "and the state collapses to:")
show_state(on.collapse_state(state, [0, 1], outcome, 2), 2)
