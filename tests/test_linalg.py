"""Matrix basics and Pauli expansion, checked against numpy."""

import math

import numpy as np
import pytest

import orvane_native as on
from expect_error import panics
from helpers import to_complex, to_flat

rng = np.random.default_rng(2024)


def rand(*shape):
    return rng.normal(size=shape) + 1j * rng.normal(size=shape)


def mat(flat, dim):
    return to_complex(flat).reshape(dim, dim)


def embed_reference(op, targets, n):
    """op on `targets` via np.kron: op (x) identity acts on the qubit order
    targets + rest; relabel basis indices into the register's order (qubit 0
    most significant)."""
    rest = [q for q in range(n) if q not in targets]
    big = np.kron(op, np.eye(2 ** len(rest)))
    order = list(targets) + rest

    def relabel(g):
        return sum(((g >> (n - 1 - q)) & 1) << (n - 1 - p) for p, q in enumerate(order))

    perm = [relabel(g) for g in range(2 ** n)]
    return big[np.ix_(perm, perm)]


PAULIS = [np.eye(2), np.array([[0, 1], [1, 0]]), np.array([[0, -1j], [1j, 0]]), np.diag([1, -1])]


def pauli_string(j, n):
    out = np.array([[1.0 + 0j]])
    for q in range(n):  # qubit 0 is the most significant base-4 digit
        out = np.kron(out, PAULIS[(j >> (2 * (n - 1 - q))) & 3])
    return out


@pytest.mark.parametrize("a_dim, b_dim", [(1, 1), (2, 2), (2, 3), (4, 2), (1, 5)])
def test_kron_matches_numpy(a_dim, b_dim):
    a, b = rand(a_dim, a_dim), rand(b_dim, b_dim)
    got = mat(on.kron(to_flat(a), a_dim, to_flat(b), b_dim), a_dim * b_dim)
    np.testing.assert_allclose(got, np.kron(a, b), rtol=1e-14, atol=1e-14)


@pytest.mark.parametrize("dim", [1, 2, 4, 7])
def test_matmul_and_matvec_match_numpy(dim):
    a, b, v = rand(dim, dim), rand(dim, dim), rand(dim)
    a[rng.random((dim, dim)) < 0.3] = 0  # exercise the zero-entry skip
    np.testing.assert_allclose(mat(on.matmul(to_flat(a), to_flat(b), dim), dim), a @ b, atol=1e-12)
    np.testing.assert_allclose(to_complex(on.matvec(to_flat(a), to_flat(v), dim)), a @ v, atol=1e-12)


@pytest.mark.parametrize("dim", [1, 3, 5])
def test_dagger_is_exact_and_add_scaled_matches(dim):
    a, b = rand(dim, dim), rand(dim, dim)
    assert np.array_equal(mat(on.dagger(to_flat(a), dim), dim), a.conj().T)
    scale = rng.normal()
    np.testing.assert_allclose(mat(on.add_scaled(to_flat(a), to_flat(b), dim, scale), dim),
                               a + scale * b, rtol=1e-15, atol=1e-15)


@pytest.mark.parametrize("targets, n", [([0], 1), ([0], 3), ([2], 3), ([2, 0], 3), ([1, 3, 0], 4),
                                        ([0, 1, 2], 3), ([], 2), ([4, 1], 5)])
def test_embed_operator_matches_kron(targets, n):
    k = len(targets)
    op = rand(2 ** k, 2 ** k)
    got = mat(on.embed_operator(to_flat(op), 2 ** k, targets, n), 2 ** n)
    assert np.array_equal(got, embed_reference(op, targets, n))


def test_embed_operator_pauli_x_on_each_qubit():
    x = to_flat(PAULIS[1])
    np.testing.assert_array_equal(mat(on.embed_operator(x, 2, [0], 2), 4), np.kron(PAULIS[1], np.eye(2)))
    np.testing.assert_array_equal(mat(on.embed_operator(x, 2, [1], 2), 4), np.kron(np.eye(2), PAULIS[1]))


@pytest.mark.parametrize("args, message", [
    (([0.0] * 8, 2, [2], 2), "target out of range: 2 (num_qubits 2)"),
    (([0.0] * 8, 2, [-1], 3), "target out of range: -1 (num_qubits 3)"),
    (([0.0] * 32, 4, [1, 1], 2), "duplicate target: 1"),
    (([0.0] * 32, 4, [0], 2), "embed_operator: op_dim must be 2^len(targets): op_dim 4, 1 targets"),
    (([0.0] * 8, 2, [0, 1], 2), "embed_operator: op_dim must be 2^len(targets): op_dim 2, 2 targets"),
    (([], 0, [], 2), "embed_operator: op_dim must be 2^len(targets): op_dim 0, 0 targets"),
    (([0.0] * 8, -1, [0], 2), "negative .len:-1"),
    (([0.0] * 8, -3, [0], 64), "negative .len:-3"),
    (([0.0] * 8, 2, [0], 31), "negative .len:-9223372036854775808"),
    (([0.0] * 8, 2, [0], 40), "array.set: index out of range (i,a.len):0, 0"),
    (([0.0] * 3, 2, [0], 1), "array.get: index out of range (i,a.len):4, 3"),
])
def test_embed_operator_failures(args, message):
    panics(message, on.embed_operator, *args)


def test_embed_operator_degenerate_and_oversized_registers():
    assert on.embed_operator([1.0, 0.0], 1, [], 64) == []
    assert on.embed_operator([1.0, 0.0], 1, [], -1) == []
    with pytest.raises(MemoryError, match="^panic in Kelvo code: memory allocation failure$"):
        on.embed_operator([0.0] * 8, 2, [0], 30)


def test_predicates_compare_components_separately():
    atol = 0.25
    eye = np.eye(3, dtype=complex)
    at_tol = eye + atol * (1 + 1j)  # modulus distance above atol, components exactly atol
    assert on.is_identity_matrix(to_flat(at_tol), 3, atol) == 1
    assert on.matrix_allclose(to_flat(at_tol), to_flat(eye), 3, atol) == 1
    over = at_tol.copy()
    over[2, 1] += 1e-15j
    assert on.is_identity_matrix(to_flat(over), 3, atol) == 0
    assert on.matrix_allclose(to_flat(eye), to_flat(over), 3, atol) == 0
    nan = eye.copy()
    nan[0, 1] = complex(math.nan, math.nan)
    assert on.is_identity_matrix(to_flat(nan), 3, 0.0) == 1
    assert on.matrix_allclose(to_flat(nan), to_flat(eye), 3, 0.0) == 1
    assert on.is_identity_matrix(to_flat(eye), 3, -1e-300) == 0
    assert on.matrix_allclose(to_flat(eye), to_flat(eye), 3, -1e-300) == 0
    assert on.is_identity_matrix([], 0, -1.0) == 1 and on.matrix_allclose([], [], -1, -1.0) == 1


@pytest.mark.parametrize("dim", [1, 2, 4])
def test_matrix_allclose_agrees_with_numpy_rule(dim):
    for _ in range(20):
        a = rand(dim, dim)
        b = a + rng.uniform(-1e-3, 1e-3, (dim, dim)) + 1j * rng.uniform(-1e-3, 1e-3, (dim, dim))
        atol = rng.uniform(0, 1.2e-3)
        fa, fb = np.array(to_flat(a)), np.array(to_flat(b))
        assert on.matrix_allclose(to_flat(a), to_flat(b), dim, atol) == int(np.all(np.abs(fa - fb) <= atol))


@pytest.mark.parametrize("n", [0, 1, 2, 3])
def test_pauli_expansion_reconstructs(n):
    m = rand(2 ** n, 2 ** n)
    coeffs = to_complex(on.pauli_expansion(to_flat(m), n))
    assert coeffs.size == 4 ** n
    back = sum(c * pauli_string(j, n) for j, c in enumerate(coeffs))
    np.testing.assert_allclose(back, m, atol=1e-12)
    expect = [np.trace(pauli_string(j, n) @ m) / 2 ** n for j in range(4 ** n)]
    np.testing.assert_allclose(coeffs, expect, atol=1e-12)


def test_pauli_expansion_examples_and_sizes():
    assert on.pauli_expansion(to_flat(np.kron(PAULIS[1], PAULIS[3])), 2) == [
        1.0 if i == 14 else 0.0 for i in range(32)]
    assert on.pauli_expansion(to_flat([[0, 1], [0, 0]]), 1) == [0, 0, 0.5, 0, 0, 0.5, 0, 0]
    for n in (32, 64, -1):
        assert on.pauli_expansion([], n) == []
    panics("negative .len:-9223372036854775808", on.pauli_expansion, [], 31)
    with pytest.raises(MemoryError):
        on.pauli_expansion([], 30)


@pytest.mark.parametrize("call, message", [
    (lambda: on.matmul([1.0] * 7, [1.0] * 8, 2), "array.get: index out of range (i,a.len):7, 7"),
    (lambda: on.matmul([1.0] * 8, [1.0] * 5, 2), "array.get: index out of range (i,a.len):5, 5"),
    (lambda: on.kron([1.0] * 8, 2, [], 1), "array.get: index out of range (i,a.len):0, 0"),
    (lambda: on.dagger([1.0] * 3, 2), "array.get: index out of range (i,a.len):4, 3"),
    (lambda: on.add_scaled([1.0] * 8, [1.0] * 2, 2, 1.0), "array.get: index out of range (i,a.len):2, 2"),
    (lambda: on.matvec([1.0] * 8, [1.0] * 3, 2), "array.get: index out of range (i,a.len):3, 3"),
    (lambda: on.is_identity_matrix([1.0, 0.0, 0.0], 2, 0.1), "array.get: index out of range (i,a.len):3, 3"),
    (lambda: on.pauli_expansion([0.0] * 4, 1), "array.get: index out of range (i,a.len):4, 4"),
])
def test_short_inputs_name_the_first_missing_float(call, message):
    panics(message, call)


def test_degenerate_sizes_give_empty_results():
    assert on.kron([], 0, [], 3) == [] and on.matmul([], [], 0) == [] and on.dagger([], -1) == []
    assert on.add_scaled([], [], 0, 2.0) == [] and on.matvec([], [], -5) == []
    with pytest.raises(MemoryError):
        on.matmul([], [], 2 ** 30)
    with pytest.raises(MemoryError):
        on.kron([1.0, 0.0], 2 ** 32, [1.0, 0.0], 2 ** 32)
