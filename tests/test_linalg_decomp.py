"""Eigen-decomposition, elimination and Kronecker factorisation against numpy/scipy."""

import math

import numpy as np
import pytest
from scipy.stats import ortho_group

import orvane_native as on
from expect_error import panics
from helpers import to_complex, to_flat

rng = np.random.default_rng(77)


def rand(*shape):
    return rng.normal(size=shape) + 1j * rng.normal(size=shape)


@pytest.mark.parametrize("n", [1, 2, 3, 6, 10])
def test_jacobi_eigenpairs(n):
    a = rng.normal(size=(n, n))
    a = a + a.T
    out = np.array(on.jacobi_eig(a.ravel().tolist(), n))
    values, z = out[:n], out[n:].reshape(n, n)
    # Sweeps stop once the off-diagonal sum of squares is below 1e-14, so
    # residuals may be as large as 1e-7; eigenvalues are second order.
    np.testing.assert_allclose(a @ z, z * values, atol=1e-7)
    np.testing.assert_allclose(z.T @ z, np.eye(n), atol=1e-13)
    np.testing.assert_allclose(np.sort(values), np.linalg.eigvalsh(a), atol=1e-10)


def test_jacobi_documented_examples():
    assert on.jacobi_eig([5.0], 1) == [5.0, 1.0]
    assert on.jacobi_eig([2.0, 0.0, 0.0, -3.0], 2) == [2.0, -3.0, 1.0, 0.0, 0.0, 1.0]
    c = 1 / math.sqrt(2)
    np.testing.assert_allclose(on.jacobi_eig([0, 1, 1, 0], 2), [-1, 1, c, c, -c, c], atol=1e-15)
    assert on.jacobi_eig([], 0) == []


@pytest.mark.parametrize("real_spectrum, imag_spectrum", [
    ([1, 2, 3, 4], [0.5, -1, 2, 0]),
    ([1, 1, 2, 2], [3, -3, 0.5, 1]),
    ([-2, -2, -2, 0.5, 7], [1, 2, 3, 4, 5]),
    ([0, 0, 0], [1, -1, 2]),
    ([1, 1 + 3e-10, 5, 5, 5, 9], [0, 1, 2, 3, 4, 5]),
])
def test_simultaneous_diag_commuting_pairs(real_spectrum, imag_spectrum):
    n = len(real_spectrum)
    q = ortho_group.rvs(n, random_state=rng)
    a = q @ np.diag(real_spectrum) @ q.T
    b = q @ np.diag(imag_spectrum) @ q.T
    out = np.array(on.simultaneous_diag(a.ravel().tolist(), b.ravel().tolist(), n))
    values, w = out[: 2 * n:2] + 1j * out[1: 2 * n:2], out[2 * n:].reshape(n, n)
    np.testing.assert_allclose(w.T @ w, np.eye(n), atol=1e-12)
    # The Jacobi stopping rule (off-diagonal squares below 1e-14) bounds the
    # accuracy of the vectors at about 1e-7.
    np.testing.assert_allclose(w.T @ a @ w, np.diag(values.real), atol=1e-6)
    np.testing.assert_allclose(w.T @ b @ w, np.diag(values.imag), atol=1e-6)
    # Each vector carries one (real, imag) pair of the common spectrum.
    pairs = np.array(list(zip(real_spectrum, imag_spectrum)), dtype=float)
    for v in values:
        assert np.min(np.abs(pairs[:, 0] - v.real) + np.abs(pairs[:, 1] - v.imag)) < 1e-6


@pytest.mark.parametrize("n", [1, 2, 3, 5, 8])
def test_det_and_inverse_match_numpy(n):
    m = rand(n, n)
    det = on.matrix_det(to_flat(m), n)
    np.testing.assert_allclose(complex(*det), np.linalg.det(m), rtol=1e-11)
    inv = to_complex(on.matrix_inverse(to_flat(m), n)).reshape(n, n)
    np.testing.assert_allclose(inv, np.linalg.inv(m), rtol=1e-9, atol=1e-11)


def test_elimination_documented_results():
    assert on.matrix_det([], 0) == [1.0, 0.0]
    assert on.matrix_inverse([], 0) == []
    assert on.matrix_inverse([7.0], -1) == [0.0, 0.0]
    assert on.matrix_inverse([7.0], -2) == [0.0] * 8
    det = on.matrix_det(to_flat([[0, 1], [1, 0]]), 2)
    assert det == [-1.0, 0.0] and math.copysign(1, det[1]) == -1
    assert on.matrix_det(to_flat(np.eye(2) * 1e-15), 2) == [0.0, 0.0]
    assert on.matrix_inverse(to_flat([[1, 1], [1, 1]]), 2) == []
    assert on.matrix_inverse(to_flat(np.diag([2, 4j])), 2) == to_flat(np.diag([0.5, -0.25j]))


def test_solve3_matches_numpy():
    for _ in range(30):
        m, rhs = rng.normal(size=(3, 3)), rng.normal(size=3)
        got = on.solve3(m.ravel().tolist(), rhs.tolist())
        np.testing.assert_allclose(got, np.linalg.solve(m, rhs), rtol=1e-9, atol=1e-12)
    assert on.solve3([1, 0, 0, 0, 1, 0, 0, 0, 1], [1, 2, 3]) == [1.0, 2.0, 3.0]
    assert not any(math.isfinite(v) for v in on.solve3([0, 1, 2, 0, 3, 4, 0, 5, 7], [1, 2, 3]))


def kron_parts(out):
    g = complex(out[0], out[1])
    a = to_complex(out[2:10]).reshape(2, 2)
    b = to_complex(out[10:18]).reshape(2, 2)
    return g, a, b


def test_kron_factor_reconstructs_random_products():
    for _ in range(40):
        a, b = rand(2, 2), rand(2, 2)
        m = np.kron(a, b)
        g, fa, fb = kron_parts(on.kron_factor(to_flat(m)))
        assert g.real >= 0
        np.testing.assert_allclose(np.linalg.det(fa), 1, atol=1e-10)
        np.testing.assert_allclose(np.linalg.det(fb), 1, atol=1e-10)
        np.testing.assert_allclose(g * np.kron(fa, fb), m, rtol=1e-10, atol=1e-10)


def test_kron_factor_documented_examples():
    g, a, b = kron_parts(on.kron_factor(to_flat(np.eye(4))))
    assert g == 1 and np.array_equal(a, np.eye(2)) and np.array_equal(b, np.eye(2))
    g, a, b = kron_parts(on.kron_factor(to_flat(-np.eye(4))))
    assert g == 1 and np.array_equal(a, np.eye(2)) and np.array_equal(b, -np.eye(2))
    x, z = np.array([[0, 1], [1, 0]]), np.diag([1, -1])
    g, a, b = kron_parts(on.kron_factor(to_flat(np.kron(x, z))))
    np.testing.assert_allclose([g], [1], atol=1e-15)
    np.testing.assert_allclose(a, 1j * x, atol=1e-15)
    np.testing.assert_allclose(b, -1j * z, atol=1e-15)
    zero = on.kron_factor([0.0] * 32)
    assert math.isnan(zero[0]) and math.isnan(zero[1]) and zero[2:] == [0.0] * 16


@pytest.mark.parametrize("call, message", [
    (lambda: on.jacobi_eig([1.0], 2), "array.get: index out of range (i,a.len):1, 1"),
    (lambda: on.jacobi_eig([], -1), "array.set: index out of range (i,a.len):-1, 0"),
    (lambda: on.jacobi_eig([], -2), "array.set: index out of range (i,a.len):-2, 2"),
    (lambda: on.simultaneous_diag([], [], 0), "array.get: index out of range (i,a.len):0, 0"),
    (lambda: on.simultaneous_diag([1, 0, 0, 2], [0, 0, 0], 2), "array.get: index out of range (i,a.len):3, 3"),
    (lambda: on.matrix_det([1, 0, 2, 0, 3, 0], 2), "array.get: index out of range (i,a.len):6, 6"),
    (lambda: on.matrix_inverse([1, 0, 2], 2), "array.get: index out of range (i,a.len):4, 3"),
    (lambda: on.solve3([1.0, 2.0], [1, 2, 3]), "array.get: index out of range (i,a.len):2, 2"),
    (lambda: on.solve3([1.0] * 9, []), "array.get: index out of range (i,a.len):0, 0"),
    (lambda: on.kron_factor([1.0] * 31), "array.get: index out of range (i,a.len):31, 31"),
])
def test_failure_messages(call, message):
    panics(message, call)
