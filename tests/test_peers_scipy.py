"""Gate and matrix mathematics checked against scipy's own algorithms:
time evolution under a Hamiltonian (scipy.linalg.expm for the gate,
scipy.sparse.linalg.expm_multiply on the whole register, which never forms
the gate), the exact inverse of Hilbert matrices, and eigen-decomposition of
matrices with repeated eigenvalues against scipy.linalg.eigh."""

import numpy as np
import pytest
import scipy.linalg as sla
import scipy.sparse as sp
import scipy.sparse.linalg as spla
from scipy.stats import ortho_group

import orvane_native as on
from helpers import to_complex as cplx, to_flat as flat

PAULI = {
    "I": np.eye(2),
    "X": np.array([[0, 1], [1, 0]], dtype=complex),
    "Y": np.array([[0, -1j], [1j, 0]]),
    "Z": np.diag([1.0, -1.0]).astype(complex),
}


def random_hamiltonian(k, rng, terms=6):
    """A random sum of k-qubit Pauli strings: [(coefficient, "XZ...")]."""
    return [(float(rng.normal()), "".join(rng.choice(list("IXYZ"), size=k))) for _ in range(terms)]


def local_matrix(ham):
    """The k-qubit matrix, first letter on the most significant qubit."""
    out = 0
    for c, s in ham:
        m = np.array([[1.0 + 0j]])
        for letter in s:
            m = np.kron(m, PAULI[letter])
        out = out + c * m
    return out


def register_operator(ham, targets, n):
    """The same Hamiltonian on `targets` of an n-qubit register, as a sparse
    matrix: each string is a Kronecker product over the register, qubit 0
    leftmost (most significant), identity on the other qubits."""
    total = sp.csr_matrix((2**n, 2**n), dtype=complex)
    for c, s in ham:
        letters = ["I"] * n
        for t, letter in zip(targets, s):
            letters[t] = letter
        m = sp.csr_matrix(np.array([[1.0 + 0j]]))
        for letter in letters:
            m = sp.kron(m, sp.csr_matrix(PAULI[letter]), format="csr")
        total = total + c * m
    return total


@pytest.mark.parametrize("n, k, seed", [(1, 1, 1), (3, 1, 2), (3, 2, 3), (4, 3, 4), (5, 2, 5), (6, 3, 6), (7, 4, 7)])
def test_hamiltonian_evolution_matches_expm_multiply(n, k, seed):
    rng = np.random.default_rng(seed)
    psi = rng.normal(size=2**n) + 1j * rng.normal(size=2**n)
    psi /= np.linalg.norm(psi)
    state = on.NativeState(n)
    state.set_amplitudes(flat(psi))
    current = flat(psi)
    expected = psi
    for _ in range(4):
        targets = [int(t) for t in rng.choice(n, size=k, replace=False)]
        ham = random_hamiltonian(k, rng)
        t = float(rng.uniform(0.1, 1.5))
        gate = flat(sla.expm(-1j * t * local_matrix(ham)))
        state.apply_gate(gate, targets)
        current = on.apply_gate(current, gate, n, targets)
        expected = spla.expm_multiply(-1j * t * register_operator(ham, targets, n), expected)
    np.testing.assert_allclose(np.frombuffer(state, dtype=np.complex128), expected, atol=1e-10)
    np.testing.assert_allclose(cplx(current), expected, atol=1e-10)


@pytest.mark.parametrize("n, k, seed", [(2, 1, 8), (3, 2, 9), (4, 2, 10), (5, 3, 11)])
def test_embed_operator_matches_sparse_kronecker_products(n, k, seed):
    rng = np.random.default_rng(seed)
    targets = [int(t) for t in rng.choice(n, size=k, replace=False)]
    ham = random_hamiltonian(k, rng)
    got = cplx(on.embed_operator(flat(local_matrix(ham)), 2**k, targets, n)).reshape(2**n, 2**n)
    np.testing.assert_allclose(got, register_operator(ham, targets, n).toarray(), atol=1e-13)


@pytest.mark.parametrize("n", [2, 3, 4, 5, 6])
def test_inverse_and_determinant_of_hilbert_matrices(n):
    """Hilbert matrices are badly conditioned; scipy knows their exact inverse.
    The error allowed is the condition number times the rounding unit."""
    h = sla.hilbert(n)
    exact = sla.invhilbert(n, exact=True).astype(float)
    budget = np.linalg.cond(h) * np.finfo(float).eps
    inv = cplx(on.matrix_inverse(flat(h), n)).reshape(n, n)
    assert np.max(np.abs(inv - exact)) <= budget * np.max(np.abs(exact))
    assert np.max(np.abs(inv.imag)) == 0.0
    det = complex(*on.matrix_det(flat(h), n))
    assert abs(det * np.linalg.det(exact) - 1) <= budget


@pytest.mark.parametrize("spectrum", [
    [1.0, 1.0, 2.0],
    [3.0, -1.0, 3.0, -1.0],
    [0.0, 0.0, 0.0, 5.0, 5.0],
    [2.0, 2.0, 2.0, 2.0, 2.0, 2.0],
    [-4.0, 1e-9, 0.0, 7.0, 7.0, 7.0, 1.0],
])
def test_jacobi_eigenspaces_of_repeated_eigenvalues_match_eigh(spectrum):
    n = len(spectrum)
    q = ortho_group.rvs(n, random_state=len(spectrum) * 7 + int(sum(spectrum)))
    a = q @ np.diag(spectrum) @ q.T
    out = np.array(on.jacobi_eig(a.ravel().tolist(), n))
    values, z = out[:n], out[n:].reshape(n, n)
    ref_values, ref_vectors = sla.eigh(a)
    np.testing.assert_allclose(np.sort(values), ref_values, atol=1e-9)
    # Eigenvectors of a repeated eigenvalue are only defined as a space: the
    # projectors onto each eigenspace must agree.
    for lam in sorted(set(spectrum)):
        ours = z[:, np.abs(values - lam) < 1e-6]
        theirs = ref_vectors[:, np.abs(ref_values - lam) < 1e-6]
        assert ours.shape == theirs.shape
        np.testing.assert_allclose(ours @ ours.T, theirs @ theirs.T, atol=1e-6)
