"""State-vector gates and measurement against independent numpy math."""

import itertools
import math

import numpy as np
import pytest

import orvane_native as on
from helpers import embed, random_state, random_unitary, to_complex, to_flat

RNG = np.random.default_rng(20261208)


def apply_np(psi, gate, targets, n):
    return embed(gate, targets, n) @ psi


TARGET_LISTS = [
    (1, [0]), (3, [2]), (3, [1]),
    (2, [0, 1]), (2, [1, 0]), (4, [2, 3]), (4, [3, 2]),
    (3, [0, 2]), (4, [3, 0]), (5, [1, 3]),
    (3, [0, 1, 2]), (4, [3, 1, 0]), (5, [4, 0, 2, 1]),
]


@pytest.mark.parametrize("n, targets", TARGET_LISTS)
def test_random_unitary_matches_numpy(n, targets):
    for _ in range(3):
        psi = random_state(n, RNG)
        u = random_unitary(2 ** len(targets), RNG)
        out = on.apply_gate(to_flat(psi), to_flat(u), n, targets)
        np.testing.assert_allclose(to_complex(out), apply_np(psi, u, targets, n), atol=1e-12)


def signed_permutation(d, rng):
    perm = rng.permutation(d)
    m = np.zeros((d, d))
    m[np.arange(d), perm] = rng.choice([-1.0, 1.0], size=d)
    return m


@pytest.mark.parametrize("n, targets", TARGET_LISTS)
def test_signed_permutations_move_amplitudes_exactly(n, targets):
    psi = random_state(n, RNG)
    g = signed_permutation(2 ** len(targets), RNG)
    out = to_complex(on.apply_gate(to_flat(psi), to_flat(g), n, targets))
    expected = apply_np(psi, g, targets, n)
    # A permutation moves amplitudes with no arithmetic: exact equality.
    assert np.array_equal(np.abs(out), np.abs(expected))
    np.testing.assert_allclose(out, expected, atol=0)


def test_documented_examples():
    h = 1 / math.sqrt(2)
    out = on.apply_gate([1, 0] + [0] * 6, [h, 0, h, 0, h, 0, -h, 0], 2, [0])
    assert out == pytest.approx([h, 0, 0, 0, h, 0, 0, 0])
    cnot = to_flat(np.array([[1, 0, 0, 0], [0, 1, 0, 0], [0, 0, 0, 1], [0, 0, 1, 0]]))
    basis = lambda i: to_flat(np.eye(4)[i])
    assert on.apply_gate(basis(2), cnot, 2, [0, 1]) == basis(3)
    assert on.apply_gate(basis(1), cnot, 2, [1, 0]) == basis(3)


def test_near_threshold_entries():
    n, targets = 3, [0, 1]
    psi = random_state(n, RNG)
    base = np.eye(4, dtype=complex)
    # 1e-10 is not significant: dropped on the permutation path (identity).
    g = base.copy()
    g[0, 1] = 1e-10
    out = to_complex(on.apply_gate(to_flat(psi), to_flat(g), n, targets))
    assert np.array_equal(out, psi)
    # 1e-8 is significant: the row fails the test, so the gate is dense.
    g = base.copy()
    g[0, 1] = 1e-8
    out = to_complex(on.apply_gate(to_flat(psi), to_flat(g), n, targets))
    np.testing.assert_allclose(out, apply_np(psi, g, targets, n), atol=1e-15)
    # An imaginary part of 2e-15 fails the reality test: dense, so applied exactly as given.
    g = base * (1 + 2e-15j)
    out = to_complex(on.apply_gate(to_flat(psi), to_flat(g), n, [0, 2]))
    np.testing.assert_allclose(out, apply_np(psi, g, [0, 2], n), atol=1e-15)


SQRT_P, SQRT_G = math.sqrt(0.3), math.sqrt(1 - 0.2)
XX = np.kron([[0, 1], [1, 0]], [[0, 1], [1, 0]])


@pytest.mark.parametrize("gate", [
    0.5 * np.eye(4), SQRT_P * XX, np.diag([1, 1, 1, SQRT_G]), -0.999 * np.eye(4), np.diag([1, 1, 1, 1 + 1e-14]),
    0.5 * np.eye(8), np.diag([1, 1, 1, 1, 1, 1, 1, SQRT_G]),
])
@pytest.mark.parametrize("n, targets", [(3, [1, 2]), (3, [2, 1]), (4, [0, 3]), (4, [3, 1, 0])])
def test_only_unit_entries_take_the_permutation_path(gate, n, targets):
    # A row whose single entry is real but not of magnitude one scales its
    # amplitude: such a gate is applied as the matrix it is.
    if len(gate) != 2 ** len(targets):
        return
    psi = random_state(n, RNG)
    out = to_complex(on.apply_gate(to_flat(psi), to_flat(gate), n, targets))
    np.testing.assert_allclose(out, apply_np(psi, gate, targets, n), rtol=0, atol=1e-15)
    state = on.NativeState(n)
    state.set_amplitudes(to_flat(psi))
    state.apply_gate(to_flat(gate), targets)
    assert state.amplitudes() == to_flat(out)


@pytest.mark.parametrize("n, targets", [(0, [0]), (0, []), (-3, [1]), (2, [])])
def test_noop_cases_return_copy(n, targets):
    state = [0.25, -1.0, 3.0, 0.5, 7.0, 8.0]
    assert on.apply_gate(state, [9.0], n, targets) == state


@pytest.mark.parametrize(
    "state_len, gate, n, targets, message",
    [
        (8, [0.0] * 8, 2, [2], "target out of range: 2 (num_qubits 2)"),
        (8, [0.0] * 8, 2, [-1], "target out of range: -1 (num_qubits 2)"),
        (16, [0.0] * 32, 3, [1, 1], "duplicate target: 1"),
        (16, [0.0] * 128, 3, [0, 2, 0], "duplicate target: 0"),
        (6, [0.0] * 8, 2, [0], "state too short for 2 qubits: 6 floats"),
        (8, [0.0] * 7, 2, [0], "array.get: index out of range (i,a.len):7, 7"),
        (8, [0.0] * 31, 2, [0, 1], "array.get: index out of range (i,a.len):31, 31"),
        (16, [0.0] * 32, 3, [0, 2, 1], "array.get: index out of range (i,a.len):32, 32"),
        (8, [0.0] * 8, 64, [0], "state too short for 64 qubits: 8 floats"),
    ],
)
def test_rejections(state_len, gate, n, targets, message):
    state = [1.0] + [0.0] * (state_len - 1)
    with pytest.raises(RuntimeError) as info:
        on.apply_gate(state, gate, n, targets)
    assert str(info.value) == "panic in Kelvo code: " + message


def test_longer_state_keeps_extra_floats():
    state = [1.0, 0.0, 0.0, 0.0, 9.0, 9.5, 3.0]
    x = [0, 0, 1, 0, 1, 0, 0, 0]
    assert on.apply_gate(state, x, 1, [0]) == [0.0, 0.0, 1.0, 0.0, 9.0, 9.5, 3.0]


# ---- measurement ---------------------------------------------------------------


def probs_np(psi, targets, n):
    p = np.abs(psi.reshape([2] * n)) ** 2
    rest = tuple(q for q in range(n) if q not in targets)
    return np.transpose(p.sum(axis=rest) if rest else p, np.argsort(np.argsort(targets))).ravel()


@pytest.mark.parametrize("n, targets", [(1, [0]), (3, [2, 0]), (4, [1, 3, 0]), (3, [0, 1, 2]), (2, [])])
def test_probabilities_match_numpy(n, targets):
    psi = random_state(n, RNG)
    got = on.state_probabilities(to_flat(psi), targets, n)
    p = np.abs(psi) ** 2
    expected = np.zeros(2 ** len(targets))
    for i, pi in enumerate(p):
        bits = [(i >> (n - 1 - t)) & 1 for t in targets]
        expected[int("".join(map(str, bits)) or "0", 2)] += pi
    np.testing.assert_allclose(got, expected, atol=1e-14)


def test_documented_outcome_numbering():
    s = 1 / math.sqrt(2)
    bell = [s, 0, 0, 0, 0, 0, s, 0]
    assert on.state_probabilities(bell, [0], 2) == pytest.approx([0.5, 0.5])
    assert on.state_probabilities(bell, [1, 0], 2) == pytest.approx([0.5, 0, 0, 0.5])
    ket01 = [0, 0, 1, 0, 0, 0, 0, 0]
    assert on.state_probabilities(ket01, [0, 1], 2) == [0, 1, 0, 0]
    assert on.state_probabilities(ket01, [1, 0], 2) == [0, 0, 1, 0]
    assert on.collapse_state(bell, [0], 1, 2) == [0, 0, 0, 0, 0, 0, 1.0, 0]
    assert on.collapse_state(bell, [0], 2, 2) == [0.0] * 8
    assert on.collapse_state([3.0, 0, 4.0, 0], [], 0, 1) == pytest.approx([0.6, 0, 0.8, 0], abs=1e-15)
    assert on.collapse_state([3.0, 0, 4.0, 0], [], 1, 1) == [0.0] * 4


@pytest.mark.parametrize("n, targets", [(3, [1]), (4, [3, 0]), (3, [2, 1, 0])])
def test_collapse_matches_projector(n, targets):
    psi = random_state(n, RNG)
    for outcome in range(2 ** len(targets)):
        got = to_complex(on.collapse_state(to_flat(psi), targets, outcome, n))
        keep = np.array([
            int("".join(str((i >> (n - 1 - t)) & 1) for t in targets), 2) == outcome for i in range(2 ** n)
        ])
        proj = np.where(keep, psi, 0)
        np.testing.assert_allclose(got, proj / np.linalg.norm(proj), atol=1e-14)


@pytest.mark.parametrize(
    "probs, u, expected",
    [([0.5, 0.5], 0.5, 1), ([0.5, 0.5], 0.4999, 0), ([0.2, 0.3], 0.9, 1), ([], 0.3, -1),
     ([0.0, 1.0], 0.0, 1), ([0.3, 0.7], float("nan"), 1),
     # A walk that runs out picks the last outcome of positive probability,
     # count - 1 only when there is none.
     ([1.0, 0.0, 0.0], 1.0, 0), ([0.3, 0.7, 0.0], float("nan"), 1), ([0.5, 0.25, 0.0, -0.1], 2.0, 1),
     ([0.0, 0.0], 0.5, 1), ([0.0, -1.0], 0.5, 1),
     ([0.25] * 4, 0.5, 2), ([-0.5, 1.0, 1.0], 0.4, 1), ([-0.5, 1.0, 1.0], 0.6, 2)],
)
def test_sample_outcome(probs, u, expected):
    assert on.sample_outcome(probs, u) == expected


@pytest.mark.parametrize(
    "fn, args, message",
    [
        (on.state_probabilities, ([1.0, 0, 0, 0], [1], 1), "target out of range: 1 (num_qubits 1)"),
        (on.state_probabilities, ([1.0, 0, 0, 0, 0, 0, 0, 0], [1, 1], 2), "duplicate target: 1"),
        (on.state_probabilities, ([1.0, 0, 0], [0], 1), "state too short: 3 floats, need 4"),
        (on.collapse_state, ([1.0, 0, 0, 0], [0, -2], 0, 1), "target out of range: -2 (num_qubits 1)"),
        (on.collapse_state, ([1.0, 0], [0], 0, 1), "state too short: 2 floats, need 4"),
        (on.state_probabilities, ([1.0, 0], [0], 0), "target out of range: 0 (num_qubits 0)"),
    ],
)
def test_measurement_rejections(fn, args, message):
    with pytest.raises(RuntimeError) as info:
        fn(*args)
    assert str(info.value) == "panic in Kelvo code: " + message


def test_measurement_degenerate_sizes():
    assert on.state_probabilities([1.0, 0.0], [], 0) == [1.0]
    assert on.state_probabilities([], [], -1) == [0.0]
    assert on.collapse_state([1.0, 0.0], [], 0, 0) == [1.0, 0.0]


# No list holds the 2^(n+1) or 2*4^n floats of such registers, whatever the
# shifted size would wrap to.
@pytest.mark.parametrize("fn, args", [
    (on.state_probabilities, ([1.0, 0.0], [0], 62)),
    (on.collapse_state, ([1.0, 0.0], [0], 0, 62)),
    (on.state_probabilities, ([1.0, 0.0], [0], 61)),
    (on.collapse_state, ([5.0], [], 0, 70)),
    (on.state_probabilities, ([1.0, 0.0], [], 64)),
    (on.apply_gate, ([1.0, 0.0], [1.0, 0, 0, 0, 0, 0, 1.0, 0], 63, [0])),
    (on.density_probabilities, ([1.0, 0.0], [0], 63)),
    (on.density_probabilities, ([1.0, 0.0], [], 64)),
    (on.density_collapse, ([1.0, 0.0], [1], 0, 63)),
    (on.density_probabilities, ([1.0, 0.0], [], 31)),
])
def test_huge_registers_never_read_past_the_state(fn, args):
    with pytest.raises(RuntimeError, match="(state|rho) too short"):
        fn(*args)


def test_register_of_63_qubits_is_rejected_not_wrapped():
    with pytest.raises(RuntimeError, match="state too short for 63 qubits"):
        on.collapse_state([0.28], [1, 0], 0, 63)
