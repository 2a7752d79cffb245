"""Independent reference math for the tests (numpy only, no module code)."""

import numpy as np


def to_complex(flat):
    a = np.asarray(flat, dtype=float)
    return a[0::2] + 1j * a[1::2]


def to_flat(z):
    z = np.asarray(z, dtype=complex).ravel()
    out = np.empty(2 * z.size)
    out[0::2] = z.real
    out[1::2] = z.imag
    return out.tolist()


def matrix(flat, dim):
    return to_complex(flat).reshape(dim, dim)


def embed(op, targets, n):
    """Full 2^n x 2^n operator of `op` on `targets`; qubit 0 is the most
    significant bit and targets[0] the most significant bit of op's index."""
    k = len(targets)
    op = np.asarray(op, dtype=complex).reshape([2] * (2 * k))
    rest = [q for q in range(n) if q not in targets]
    full = np.eye(2 ** (n - k), dtype=complex).reshape([2] * (2 * (n - k)))
    big = np.tensordot(op, full, axes=0)  # indices: t_out, t_in, r_out, r_in
    out_axes = list(targets) + rest
    # reorder axes to (q0_out..q{n-1}_out, q0_in..q{n-1}_in)
    src_out = list(range(k)) + [2 * k + i for i in range(n - k)]
    src_in = list(range(k, 2 * k)) + [2 * k + (n - k) + i for i in range(n - k)]
    order_out = [src_out[out_axes.index(q)] for q in range(n)]
    order_in = [src_in[out_axes.index(q)] for q in range(n)]
    return big.transpose(order_out + order_in).reshape(2 ** n, 2 ** n)


def random_unitary(dim, rng):
    z = rng.normal(size=(dim, dim)) + 1j * rng.normal(size=(dim, dim))
    q, r = np.linalg.qr(z)
    return q * (np.diag(r) / np.abs(np.diag(r)))


def random_state(n, rng):
    v = rng.normal(size=2 ** n) + 1j * rng.normal(size=2 ** n)
    return v / np.linalg.norm(v)


def kron_embed(op, target, n):
    """Single-qubit `op` on `target` via np.kron, qubit 0 leftmost."""
    mats = [np.eye(2, dtype=complex)] * n
    mats = list(mats)
    mats[target] = np.asarray(op, dtype=complex)
    out = np.array([[1.0 + 0j]])
    for m in mats:
        out = np.kron(out, m)
    return out
