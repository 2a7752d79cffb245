"""Density-matrix simulation against independent numpy math.

Matrices follow the module's layout: flat interleaved complex, row-major, and
qubit 0 is the most significant bit of a row or column index.
"""

import math

import numpy as np
import pytest

import orvane_native as on
from expect_error import PREFIX, panics
from helpers import embed, matrix, random_unitary, to_complex, to_flat

RNG = np.random.default_rng(4041)

I2 = np.eye(2)
X = np.array([[0, 1], [1, 0]], dtype=complex)
Y = np.array([[0, -1j], [1j, 0]])
Z = np.diag([1.0, -1.0]).astype(complex)
CNOT = np.eye(4)[[0, 1, 3, 2]]
SWAP = np.eye(4)[[0, 2, 1, 3]]
TOFFOLI = np.eye(8)[[0, 1, 2, 3, 4, 5, 7, 6]]


def random_rho(n):
    dim = 2 ** n
    a = RNG.normal(size=(dim, dim)) + 1j * RNG.normal(size=(dim, dim))
    rho = a @ a.conj().T
    return rho / np.trace(rho).real


def random_kraus(m, d):
    """A random channel: m blocks of a random isometry (sum K^dagger K = I)."""
    v = random_unitary(m * d, RNG)[:, :d]
    return [v[i * d:(i + 1) * d] for i in range(m)]


def flat_ops(ops):
    return [x for k in ops for x in to_flat(k)]


def channel_np(rho, ops, targets, n):
    out = np.zeros_like(rho)
    for k in ops:
        full = embed(k, targets, n)
        out += full @ rho @ full.conj().T
    return out


def outcome_of(index, targets, n):
    o = 0
    for t in targets:
        o = (o << 1) | ((index >> (n - 1 - t)) & 1)
    return o


# ---- sandwich and channel ----------------------------------------------------------


@pytest.mark.parametrize("dim", [1, 2, 3, 4, 7])
def test_sandwich_matches_numpy(dim):
    a = RNG.normal(size=(dim, dim)) + 1j * RNG.normal(size=(dim, dim))
    u = RNG.normal(size=(dim, dim)) + 1j * RNG.normal(size=(dim, dim))
    got = matrix(on.sandwich(to_flat(a), to_flat(u), dim), dim)
    np.testing.assert_allclose(got, u @ a @ u.conj().T, atol=1e-12)


def test_sandwich_degenerate_and_short_inputs():
    assert on.sandwich([], [], 0) == []
    assert on.sandwich([1.0], [2.0], -2) == []
    ident = to_flat(I2)
    # u = I reads row 0 of a (floats 0..3), then row 1 from float 4.
    panics("array.get: index out of range (i,a.len):5, 5", on.sandwich, [1, 2, 3, 4, 5], ident, 2)
    panics("array.get: index out of range (i,a.len):7, 7", on.sandwich, to_flat(X), ident[:7], 2)
    # Exactly zero entries of u skip their row of a.
    assert on.sandwich([1, 2, 3, 4], to_flat([[0, 0], [1, 0]]), 2) == [0, 0, 0, 0, 0, 0, 1, 2]


@pytest.mark.parametrize("dim, m", [(1, 1), (2, 3), (4, 2), (8, 1)])
def test_channel_matches_numpy(dim, m):
    rho = RNG.normal(size=(dim, dim)) + 1j * RNG.normal(size=(dim, dim))
    ops = [RNG.normal(size=(dim, dim)) + 1j * RNG.normal(size=(dim, dim)) for _ in range(m)]
    got = matrix(on.channel(to_flat(rho), flat_ops(ops), m, dim), dim)
    np.testing.assert_allclose(got, sum(k @ rho @ k.conj().T for k in ops), atol=1e-11)


def test_channel_failures_and_empty_sums():
    rho = to_flat(I2)
    assert on.channel(rho, [], 0, 2) == [0.0] * 8
    assert on.channel(rho, to_flat(X), -1, 2) == [0.0] * 8
    panics("array.slice: slice bounds out of range (16 >= 8)", on.channel, rho, to_flat(X), 2, 2)
    # X reads row 1 of rho (floats 4..7) before the second slice is taken.
    panics("array.get: index out of range (i,a.len):4, 3", on.channel, [1, 0, 0], to_flat(X), 2, 2)
    panics("array.slice: slice bounds out of range (16 >= 8)", on.channel, [1, 0, 0], [0.0] * 8, 2, 2)


def test_stateless_functions_leave_arguments_alone():
    rho, ops = to_flat(random_rho(1)), flat_ops([X, Y])
    rho_copy, ops_copy = list(rho), list(ops)
    on.channel(rho, ops, 2, 2)
    on.sandwich(rho, ops[:8], 2)
    on.density_collapse(rho, [0], 1, 1)
    assert rho == rho_copy and ops == ops_copy


# ---- probabilities, collapse, conversion --------------------------------------------


@pytest.mark.parametrize("n, targets", [(1, [0]), (2, [1, 0]), (3, [2]), (3, [0, 2]), (3, [2, 1, 0]), (2, [])])
def test_density_probabilities_match_numpy(n, targets):
    rho = random_rho(n)
    expected = np.zeros(2 ** len(targets))
    for j, p in enumerate(np.diag(rho).real):
        expected[outcome_of(j, targets, n)] += p
    got = on.density_probabilities(to_flat(rho), targets, n)
    np.testing.assert_allclose(got, expected, atol=1e-14)


@pytest.mark.parametrize("n, targets", [(1, [0]), (2, [1, 0]), (3, [2]), (3, [0, 2]), (3, [2, 1, 0])])
def test_density_collapse_matches_projector(n, targets):
    rho = random_rho(n)
    for outcome in range(2 ** len(targets)):
        local = np.zeros((2 ** len(targets),) * 2)
        local[outcome, outcome] = 1
        p = embed(local, targets, n)
        expected = p @ rho @ p / np.trace(p @ rho).real
        got = matrix(on.density_collapse(to_flat(rho), targets, outcome, n), 2 ** n)
        np.testing.assert_allclose(got, expected, atol=1e-13)


def test_density_measurement_worked_examples():
    plus = [0.5, 0] * 4
    assert on.density_probabilities(plus, [0], 1) == [0.5, 0.5]
    assert on.density_collapse(plus, [0], 1, 1) == [0, 0, 0, 0, 0, 0, 1, 0]
    assert on.density_collapse(plus, [0], 5, 1) == [0.0] * 8
    ket01 = to_flat(np.diag([0, 1, 0, 0]))
    assert on.density_probabilities(ket01, [1, 0], 2) == [0, 0, 1, 0]
    # Not normalised, not clipped: the real diagonal as it is.
    assert on.density_probabilities(to_flat([[-0.25 + 3j, 9], [9, 1.25]]), [0], 1) == [-0.25, 1.25]
    # No targets: outcome 0 renormalises by the trace, any other is empty.
    rho = 3 * random_rho(2)
    np.testing.assert_allclose(matrix(on.density_collapse(to_flat(rho), [], 0, 2), 4), rho / 3, atol=1e-14)
    assert on.density_collapse(to_flat(rho), [], 1, 2) == [0.0] * 32


def test_state_to_density():
    assert on.state_to_density([0, 1]) == [1, 0]
    assert on.state_to_density([1, 0, 0, 1]) == [1, 0, 0, -1, 0, 1, 1, 0]
    assert on.state_to_density([2, 1, 7]) == [5, 0]
    assert on.state_to_density([]) == []
    psi = RNG.normal(size=5) + 1j * RNG.normal(size=5)
    np.testing.assert_allclose(matrix(on.state_to_density(to_flat(psi)), 5), np.outer(psi, psi.conj()), atol=1e-14)


@pytest.mark.parametrize(
    "fn, args, message",
    [
        (on.density_probabilities, ([0.0] * 8, [1], 1), "target out of range: 1 (num_qubits 1)"),
        (on.density_probabilities, ([0.0] * 32, [0, 0], 2), "duplicate target: 0"),
        (on.density_probabilities, ([0.0] * 31, [0], 2), "rho too short for 2 qubits: 31 floats"),
        (on.density_collapse, ([0.0] * 8, [-1], 0, 1), "target out of range: -1 (num_qubits 1)"),
        (on.density_collapse, ([0.0] * 8, [0], 0, 2), "rho too short for 2 qubits: 8 floats"),
        (on.density_collapse, ([0.0] * 8, [0], 0, 40), "rho too short for 40 qubits: 8 floats"),
    ],
)
def test_density_measurement_rejections(fn, args, message):
    panics(message, fn, *args)


# ---- NativeDensity.apply_channel on every path ----------------------------------------

p, g = 0.3, 0.4
CHANNELS = {
    "bit_flip": (3, [1], [math.sqrt(p) * I2, math.sqrt(1 - p) * X]),
    "amplitude_damping": (3, [2], [np.diag([1, math.sqrt(1 - g)]), np.array([[0, math.sqrt(g)], [0, 0]])]),
    "depolarizing": (2, [0], [math.sqrt(1 - 3 * p / 4) * I2] + [math.sqrt(p / 4) * m for m in (X, Y, Z)]),
    "dephasing_two_targets": (3, [2, 0], [math.sqrt(1 - p) * np.eye(4), math.sqrt(p) * np.kron(Z, Z)]),
    "phase_damping_two_targets": (3, [0, 1], [np.diag([1, 1, 1, math.sqrt(1 - g)]), np.diag([0, 0, 0, math.sqrt(g)])]),
    "random_1q": (3, [0], random_kraus(3, 2)),
    "random_2q": (3, [2, 0], random_kraus(3, 4)),
    "random_2q_adjacent": (2, [0, 1], random_kraus(2, 4)),
    "random_3q": (4, [3, 0, 2], random_kraus(2, 8)),
    "x": (2, [1], [X]),
    "minus_x": (2, [1], [-X]),
    "cnot": (2, [0, 1], [CNOT]),
    "cnot_reversed": (3, [2, 1], [CNOT]),
    "swap": (3, [0, 2], [SWAP]),
    "toffoli": (4, [1, 3, 0], [TOFFOLI]),
    "half_cnot": (2, [0, 1], [math.sqrt(0.5) * CNOT, math.sqrt(0.5) * np.eye(4)]),
}


def load(rho, n):
    """A NativeDensity holding rho, written through its buffer."""
    d = on.NativeDensity(n)
    np.asarray(memoryview(d)).view(np.complex128)[:] = rho.ravel()
    return d


@pytest.mark.parametrize("name", sorted(CHANNELS))
def test_apply_channel_matches_numpy(name):
    n, targets, ops = CHANNELS[name]
    rho = random_rho(n)
    d = load(rho, n)
    view = np.frombuffer(d, dtype=np.complex128)
    d.apply_channel(flat_ops(ops), len(ops), targets)
    expected = channel_np(rho, ops, targets, n)
    np.testing.assert_allclose(matrix(d.density_matrix(), 2 ** n), expected, atol=1e-13)
    np.testing.assert_allclose(view.reshape(2 ** n, 2 ** n), expected, atol=1e-13)
    # The stateless full-size channel with the operators embedded agrees.
    full = flat_ops([embed(k, targets, n) for k in ops])
    np.testing.assert_allclose(
        matrix(on.channel(to_flat(rho), full, len(ops), 2 ** n), 2 ** n), expected, atol=1e-13)


def test_permutation_channels_move_entries_exactly():
    rho = random_rho(3)
    d = load(rho, 3)
    d.apply_channel(to_flat(TOFFOLI), 1, [2, 0, 1])
    full = embed(TOFFOLI, [2, 0, 1], 3)
    assert np.array_equal(to_complex(d.density_matrix()), (full @ rho @ full.T).ravel())


def test_native_density_worked_examples():
    d = on.NativeDensity(1)
    assert d.density_matrix() == [0.0] * 8
    d.set_zero_state()
    assert d.density_matrix() == [1, 0, 0, 0, 0, 0, 0, 0]
    d.apply_channel(to_flat(X), 1, [0])
    assert d.density_matrix() == [0, 0, 0, 0, 0, 0, 1, 0]
    s = 1 / math.sqrt(2)
    d.set_from_amplitudes([s, 0, s, 0])
    assert d.probabilities([0]) == pytest.approx([0.5, 0.5])
    assert d.measure([0], 0.7) == 1
    assert d.density_matrix() == pytest.approx([0, 0, 0, 0, 0, 0, 1, 0], abs=1e-15)
    # 32 floats as two operators are 2 x 2: a full bit flip mixes |1><1| evenly.
    d.apply_channel(flat_ops([s * I2, s * X]), 2, [0])
    assert d.density_matrix() == pytest.approx([0.5, 0, 0, 0, 0, 0, 0.5, 0], abs=1e-15)
    d.reset()
    assert d.density_matrix() == [1, 0, 0, 0, 0, 0, 0, 0]


def test_apply_channel_no_op_cases():
    d = on.NativeDensity(2)
    d.set_from_amplitudes(to_flat([0.6, 0, 0.8j, 0]))
    before = d.density_matrix()
    d.apply_channel([], 3, [])
    d.apply_channel([], -3, [])
    assert d.density_matrix() == before
    zero = on.NativeDensity(0)
    zero.set_zero_state()
    zero.apply_channel(to_flat(X), 1, [0])
    assert zero.density_matrix() == [1.0, 0.0]


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda d: d.apply_channel(to_flat(X), 0, [0]), "division by zero"),
        (lambda d: d.apply_channel([], 0, []), "division by zero"),
        (lambda d: d.apply_channel(to_flat(X), -1, [0]), "negative num_operators: -1"),
        (lambda d: d.apply_channel(to_flat(CNOT), 1, [0]), "operator dimension 4 does not match 1 target(s): need 2"),
        (lambda d: d.apply_channel(to_flat(X), 1, [0, 1]), "operator dimension 2 does not match 2 target(s): need 4"),
        (lambda d: d.apply_channel(to_flat(X)[:7], 1, [0]),
         "operators too short: 7 floats for 1 operator(s) of dimension 2"),
        (lambda d: d.apply_channel(to_flat(X), 1, [1, 1]), "duplicate target: 1"),
        (lambda d: d.apply_channel(to_flat(X), 1, [2]), "target out of range: 2 (num_qubits 2)"),
        (lambda d: d.set_from_amplitudes([1.0] * 6), "set_from_amplitudes needs 8 floats for 2 qubits, got 6"),
        (lambda d: d.set_from_amplitudes([1.0] * 9), "set_from_amplitudes needs 8 floats for 2 qubits, got 9"),
        (lambda d: d.probabilities([-1]), "target out of range: -1 (num_qubits 2)"),
        (lambda d: d.measure([0, 0], 0.5), "duplicate target: 0"),
    ],
)
def test_native_density_rejections_leave_rho_unchanged(call, message):
    d = load(random_rho(2), 2)
    before = bytes(memoryview(d))
    with pytest.raises(RuntimeError) as info:
        call(d)
    assert str(info.value) == PREFIX + message
    assert bytes(memoryview(d)) == before


def test_buffer_must_match_num_qubits():
    d = on.NativeDensity(1)
    d.set_zero_state()
    before = bytes(memoryview(d))
    d.num_qubits = 2
    message = "density buffer of 8 floats does not match num_qubits 2"
    for call in (lambda: d.apply_channel(to_flat(X), 1, [0]), lambda: d.probabilities([0]),
                 lambda: d.measure([0], 0.1), lambda: d.set_from_amplitudes([1.0] * 8)):
        with pytest.raises(RuntimeError) as info:
            call()
        assert str(info.value) == PREFIX + message
        assert bytes(memoryview(d)) == before
    # Methods that only use the buffer keep working on it as it is.
    assert d.density_matrix() == [1, 0, 0, 0, 0, 0, 0, 0]


def test_native_density_sizes():
    with pytest.raises(RuntimeError) as info:
        on.NativeDensity(-1)
    assert str(info.value) == PREFIX + "num_qubits must not be negative: -1"
    for n in (30, 31, 64):
        with pytest.raises(MemoryError) as info:
            on.NativeDensity(n)
        assert str(info.value) == PREFIX + "memory allocation failure"
