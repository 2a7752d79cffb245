"""Whole random circuits, noisy channels, measurements and two toolkit
functions checked against cirq, a simulator written elsewhere.

Qubit order: here qubit 0 is the most significant bit of a basis index and
targets[0] the most significant bit of a gate's index. cirq orders the
qubits of a state by the qubit_order given (LineQubit 0 first, most
significant) and the rows of cirq.unitary(gate) by the gate's qubits in
order, first qubit most significant: the two conventions coincide, and the
tests pass gates and targets straight across without any reordering.
"""

import cirq
import numpy as np
import pytest

import orvane_native as on
from helpers import to_complex as cplx, to_flat as flat
from helpers import random_unitary


# ---- random circuits ------------------------------------------------------------------------------

def _named_gates(rng):
    angle = rng.uniform(0, 2 * np.pi)
    return [
        (cirq.H, 1), (cirq.X, 1), (cirq.Y, 1), (cirq.Z, 1), (cirq.S, 1), (cirq.T, 1), (cirq.S**-1, 1),
        (cirq.rx(angle), 1), (cirq.ry(angle), 1), (cirq.rz(angle), 1),
        (cirq.PhasedXZGate(x_exponent=rng.uniform(), z_exponent=rng.uniform(), axis_phase_exponent=rng.uniform()), 1),
        (cirq.CNOT, 2), (cirq.CZ, 2), (cirq.SWAP, 2), (cirq.ISWAP, 2), (cirq.CZ**rng.uniform(), 2),
        (cirq.FSimGate(theta=angle, phi=rng.uniform(0, np.pi)), 2), (cirq.XX**rng.uniform(), 2),
        (cirq.CCX, 3), (cirq.CSWAP, 3), (cirq.CCZ, 3),
        (cirq.MatrixGate(random_unitary(2, rng)), 1),
        (cirq.MatrixGate(random_unitary(4, rng)), 2),
        (cirq.MatrixGate(random_unitary(8, rng)), 3),
    ]


def random_circuit(n, depth, rng):
    """[(gate, targets)] with targets drawn in random order (so that reversed
    and non-adjacent target lists occur)."""
    out = []
    for _ in range(depth):
        gates = [(g, k) for g, k in _named_gates(rng) if k <= n]
        gate, k = gates[rng.integers(len(gates))]
        targets = [int(t) for t in rng.choice(n, size=k, replace=False)]
        out.append((gate, targets))
    return out


def cirq_state(n, ops, initial=0):
    q = cirq.LineQubit.range(n)
    circuit = cirq.Circuit(g.on(*[q[t] for t in ts]) for g, ts in ops)
    sim = cirq.Simulator(dtype=np.complex128)
    return sim.simulate(circuit, qubit_order=q, initial_state=initial).final_state_vector


@pytest.mark.parametrize("n, seed", [(1, 1), (2, 2), (3, 3), (4, 4), (5, 5), (6, 6), (7, 7)])
def test_random_circuits_match_cirq(n, seed):
    rng = np.random.default_rng(seed)
    ops = random_circuit(n, 40, rng)
    expected = cirq_state(n, ops)

    state = on.NativeState(n)
    state.set_zero_state()
    view = np.frombuffer(state, dtype=np.complex128)
    flat_state = [1.0, 0.0] + [0.0] * (2 * 2**n - 2)
    for gate, targets in ops:
        u = flat(cirq.unitary(gate))
        state.apply_gate(u, targets)
        flat_state = on.apply_gate(flat_state, u, n, targets)
    np.testing.assert_allclose(view, expected, atol=1e-11)
    np.testing.assert_allclose(cplx(flat_state), expected, atol=1e-11)


@pytest.mark.parametrize("seed", range(4))
def test_measurement_probabilities_and_collapse_match_cirq(seed):
    rng = np.random.default_rng(100 + seed)
    n = 5
    psi = cirq_state(n, random_circuit(n, 30, rng))
    for k in (1, 2, 3):
        targets = [int(t) for t in rng.choice(n, size=k, replace=False)]
        probs = on.state_probabilities(flat(psi), targets, n)
        # cirq's marginal, in the order of `targets` (first target most significant)
        marg = np.abs(psi.reshape([2] * n)) ** 2
        marg = marg.sum(axis=tuple(q for q in range(n) if q not in targets))
        marg = np.moveaxis(marg, [sorted(targets).index(t) for t in targets], range(k)).ravel()
        np.testing.assert_allclose(probs, marg, atol=1e-12)
        bits, collapsed = cirq.measure_state_vector(psi, targets, seed=seed)
        outcome = int("".join(map(str, bits)), 2)
        ours = cplx(on.collapse_state(flat(psi), targets, outcome, n))
        np.testing.assert_allclose(ours, collapsed, atol=1e-11)


# ---- noisy circuits --------------------------------------------------------------------------------

def _channels(rng):
    p = float(rng.uniform(0, 0.3))
    return [
        (cirq.depolarize(p), 1), (cirq.amplitude_damp(p), 1), (cirq.phase_damp(p), 1), (cirq.bit_flip(p), 1),
        (cirq.phase_flip(p), 1), (cirq.asymmetric_depolarize(p / 3, p / 4, p / 5), 1),
        (cirq.generalized_amplitude_damp(float(rng.uniform()), p), 1), (cirq.ResetChannel(), 1),
        (cirq.depolarize(p, n_qubits=2), 2),
    ]


def noisy_circuit(n, depth, rng):
    out = []
    for _ in range(depth):
        if rng.uniform() < 0.5:
            choices = [(c, k) for c, k in _channels(rng) if k <= n]
        else:
            choices = [(g, k) for g, k in _named_gates(rng) if k <= n]
        op, k = choices[rng.integers(len(choices))]
        out.append((op, [int(t) for t in rng.choice(n, size=k, replace=False)]))
    return out


@pytest.mark.parametrize("n, seed", [(1, 11), (2, 12), (3, 13), (4, 14)])
def test_noisy_circuits_match_cirq_density_simulator(n, seed):
    rng = np.random.default_rng(seed)
    ops = noisy_circuit(n, 30, rng)
    q = cirq.LineQubit.range(n)
    circuit = cirq.Circuit(op.on(*[q[t] for t in ts]) for op, ts in ops)
    expected = cirq.DensityMatrixSimulator(dtype=np.complex128).simulate(circuit, qubit_order=q).final_density_matrix

    dens = on.NativeDensity(n)
    dens.set_zero_state()
    dim = 2**n
    rho = flat(np.diag([1.0] + [0.0] * (dim - 1)))
    for op, ts in ops:
        kraus = cirq.kraus(op)
        dens.apply_channel([x for k in kraus for x in flat(k)], len(kraus), ts)
        # the stateless channel takes each operator spread over the whole register
        others = [t for t in range(n) if t not in ts]
        axes = [(ts + others).index(qb) for qb in range(n)]  # register qubit -> local axis
        full = [np.kron(k, np.eye(2 ** len(others))).reshape([2] * (2 * n))
                .transpose(axes + [n + i for i in axes]).reshape(dim, dim) for k in kraus]
        rho = on.channel(rho, [x for k in full for x in flat(k)], len(full), dim)
    got = cplx(dens.density_matrix()).reshape(dim, dim)
    np.testing.assert_allclose(got, expected, atol=1e-11)
    np.testing.assert_allclose(cplx(rho).reshape(dim, dim), expected, atol=1e-11)
    assert abs(np.trace(got) - 1) < 1e-12


@pytest.mark.parametrize("seed", range(3))
def test_density_measurements_match_cirq(seed):
    rng = np.random.default_rng(200 + seed)
    n = 4
    q = cirq.LineQubit.range(n)
    circuit = cirq.Circuit(op.on(*[q[t] for t in ts]) for op, ts in noisy_circuit(n, 25, rng))
    rho = cirq.DensityMatrixSimulator(dtype=np.complex128).simulate(circuit, qubit_order=q).final_density_matrix
    targets = [int(t) for t in rng.choice(n, size=2, replace=False)]
    bits, collapsed = cirq.measure_density_matrix(rho, targets, seed=seed)
    outcome = 2 * int(bits[0]) + int(bits[1])
    probs = on.density_probabilities(flat(rho), targets, n)
    marg = np.real(np.diag(rho)).reshape([2] * n).sum(axis=tuple(x for x in range(n) if x not in targets))
    marg = np.moveaxis(marg, [sorted(targets).index(t) for t in targets], range(2)).ravel()
    np.testing.assert_allclose(probs, marg, atol=1e-12)
    ours = cplx(on.density_collapse(flat(rho), targets, outcome, n)).reshape(2**n, 2**n)
    np.testing.assert_allclose(ours, collapsed, atol=1e-11)
    d = on.NativeDensity(n)
    np.frombuffer(d, dtype=np.complex128)[:] = rho.ravel()
    u = sum(probs[:outcome]) / sum(probs) + 1e-9  # a draw that selects `outcome`
    assert d.measure(targets, u) == outcome
    np.testing.assert_allclose(cplx(d.density_matrix()).reshape(2**n, 2**n), collapsed, atol=1e-11)


# ---- Clifford circuits ----------------------------------------------------------------------------------

CLIFFORD = [(0, cirq.H, 1), (1, cirq.S, 1), (2, cirq.S**-1, 1), (3, cirq.X, 1), (4, cirq.Y, 1), (5, cirq.Z, 1),
            (6, cirq.CNOT, 2), (7, cirq.CZ, 2), (8, cirq.SWAP, 2)]


@pytest.mark.parametrize("n, seed", [(1, 21), (2, 22), (3, 23), (5, 24), (6, 25)])
def test_clifford_state_vectors_match_cirq_up_to_phase(n, seed):
    rng = np.random.default_rng(seed)
    instructions, ops = [], []
    tab = on.NativeTableau(n)
    for _ in range(40):
        code, gate, k = CLIFFORD[rng.integers(len(CLIFFORD) if n > 1 else 6)]
        ts = [int(t) for t in rng.choice(n, size=k, replace=False)]
        a, b = ts[0], ts[-1] if k == 2 else 0
        instructions += [code, a, b]
        tab.apply(code, a, b)
        ops.append((gate, ts))
    expected = cirq_state(n, ops)
    for got in (cplx(on.clifford_state_vector(on.clifford_tableau(instructions, n), n)), cplx(tab.state_vector())):
        overlap = np.vdot(got, expected)
        assert abs(abs(overlap) - 1) < 1e-10
        np.testing.assert_allclose(got * overlap, expected, atol=1e-10)


# ---- toolkit functions with a cirq counterpart ----------------------------------------------------------

@pytest.mark.parametrize("n", [1, 2, 3])
def test_pauli_expansion_matches_cirq(n):
    rng = np.random.default_rng(30 + n)
    m = rng.normal(size=(2**n, 2**n)) + 1j * rng.normal(size=(2**n, 2**n))
    basis = cirq.kron_bases(cirq.PAULI_BASIS, repeat=n)
    expansion = cirq.expand_matrix_in_orthogonal_basis(m, basis)
    got = cplx(on.pauli_expansion(flat(m), n))
    digits = "IXYZ"
    for j, coefficient in enumerate(got):
        # string j: qubit 0 is the most significant base-4 digit, as the
        # first factor of cirq's Kronecker basis
        name = "".join(digits[(j >> (2 * (n - 1 - q))) & 3] for q in range(n))
        assert abs(coefficient - expansion.get(name, 0)) < 1e-12


@pytest.mark.parametrize("seed", range(6))
def test_kron_factor_matches_cirq(seed):
    rng = np.random.default_rng(40 + seed)
    a = random_unitary(2, rng) * rng.uniform(0.5, 2)
    b = rng.normal(size=(2, 2)) + 1j * rng.normal(size=(2, 2))
    m = np.exp(1j * rng.uniform(0, 6)) * np.kron(a, b)
    g_c, a_c, b_c = cirq.kron_factor_4x4_to_2x2s(m)
    out = cplx(on.kron_factor(flat(m)))
    g, fa, fb = out[0], out[1:5].reshape(2, 2), out[5:9].reshape(2, 2)
    # Both sides normalise each factor to determinant 1, so they agree up to
    # one sign per factor, which the global factor absorbs.
    sa = 1 if np.allclose(fa, a_c, atol=1e-10) else -1
    sb = 1 if np.allclose(fb, b_c, atol=1e-10) else -1
    np.testing.assert_allclose(fa, sa * a_c, atol=1e-10)
    np.testing.assert_allclose(fb, sb * b_c, atol=1e-10)
    assert abs(g - sa * sb * g_c) < 1e-10
    assert g.real >= 0
