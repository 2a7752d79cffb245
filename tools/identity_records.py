#!/usr/bin/env python3
"""Fingerprints of a fixed set of results, to compare two builds bit for bit.

    identity_records.py [--out FILE] [--label L]   compute, print, write JSON
    identity_records.py --compare A B ...          the files side by side;
                                                   exits 1 on any difference

Every input is drawn from `random.Random(seed)` through `random()`,
`uniform()` and `randrange()` only: those are integer and IEEE arithmetic,
identical on every platform, whereas `random.gauss` and anything else that
calls the C maths library can differ in the last bit between x86_64 and
aarch64. Square roots (correctly rounded by IEEE 754) are the only function
used. Each result is hashed (sha256 over float.hex of every float, str of
every int), so two builds agree on a case only when every bit agrees.

The cases cover seeded stabilizer sampling, the tableau, state-vector gates
(sizes that reach the vector kernels), the three persistent objects, Kraus
channels (general, single-qubit, diagonal and permutation operators) and
the linear-algebra functions.
"""

import argparse
import hashlib
import json
import math
import platform
import random
import sys


def fingerprint(value):
    """sha256 of a result: floats by float.hex, ints by str, nested in order."""
    parts = []

    def walk(v):
        if isinstance(v, float):
            parts.append(v.hex())
        elif isinstance(v, bool) or isinstance(v, int):
            parts.append(str(int(v)))
        elif isinstance(v, (list, tuple)):
            parts.append("[")
            for x in v:
                walk(x)
            parts.append("]")
        elif isinstance(v, (bytes, bytearray, memoryview)):
            parts.append(bytes(v).hex())
        else:
            raise TypeError(f"cannot fingerprint {type(v).__name__}")

    walk(value)
    return hashlib.sha256(",".join(parts).encode()).hexdigest()


def complex_list(rng, count):
    return [rng.uniform(-1.0, 1.0) for _ in range(2 * count)]


def unit_state(rng, n):
    amps = complex_list(rng, 2 ** n)
    norm = math.sqrt(sum(x * x for x in amps))
    return [x / norm for x in amps]


def circuit(rng, n, length, with_measurements):
    stream = []
    for _ in range(length):
        code = rng.randrange(10 if with_measurements else 9)
        a = rng.randrange(n)
        b = rng.randrange(n - 1)
        b += b >= a  # two-qubit gates need distinct qubits
        stream += [code, a, b]
    return stream


def householder(rng, n):
    """A real orthogonal n x n matrix, I - 2 v v^T / (v^T v): no maths library."""
    v = [rng.uniform(-1.0, 1.0) for _ in range(n)]
    vv = sum(x * x for x in v)
    return [(1.0 if r == c else 0.0) - 2.0 * v[r] * v[c] / vv for r in range(n) for c in range(n)]


def real_conjugate(q, diag, n):
    """q diag(d) q^T, real row-major."""
    return [sum(q[r * n + k] * diag[k] * q[c * n + k] for k in range(n)) for r in range(n) for c in range(n)]


def diagonal_op(rng, dim):
    op = [0.0] * (2 * dim * dim)
    for i in range(dim):
        op[2 * (i * dim + i)] = rng.uniform(-1.0, 1.0)
        op[2 * (i * dim + i) + 1] = rng.uniform(-1.0, 1.0)
    return op


def permutation_op(rng, dim):
    perm = list(range(dim))
    rng.shuffle(perm)
    op = [0.0] * (2 * dim * dim)
    for c, r in enumerate(perm):
        op[2 * (r * dim + c)] = 1.0
    return op


def records(on):
    """(name, result) pairs, always the same names in the same order."""
    out = []

    def add(name, value):
        out.append((name, value))

    # Seeded stabilizer sampling: small and word-crossing registers.
    for n, length, reps, seed in [(3, 40, 64, 1), (17, 300, 40, 7), (70, 900, 12, 2**40 + 3), (130, 1500, 4, 12345)]:
        rng = random.Random(f"clifford-{n}")
        stream = circuit(rng, n, length, True)
        m = sum(1 for i in range(0, len(stream), 3) if stream[i] == 9)
        mask = [rng.randrange(2) for _ in range(m // 2)]
        add(f"clifford_run n={n}", on.clifford_run(stream, n, mask, reps, seed))
        add(f"clifford_tableau n={n}", on.clifford_tableau(stream, n))
    rng = random.Random("clifford-state")
    stream = circuit(rng, 6, 60, False)
    add("clifford_state_vector n=6", on.clifford_state_vector(on.clifford_tableau(stream, 6), 6))

    tab = on.NativeTableau(40)
    rng = random.Random("tableau")
    outcomes = []
    for i in range(400):
        code = rng.randrange(9)
        a, b = rng.randrange(40), rng.randrange(39)
        tab.apply(code, a, b + (b >= a))
        if i % 7 == 0:
            outcomes.append(tab.measure(rng.randrange(40), rng.random()))
    add("NativeTableau n=40", [outcomes, tab.stabilizer_tableau()])

    # State-vector gates, one to three targets, registers up to 12 qubits.
    for n, k in [(1, 1), (3, 2), (5, 3), (8, 1), (10, 2), (12, 1), (12, 2), (12, 3)]:
        rng = random.Random(f"gate-{n}-{k}")
        state = unit_state(rng, n)
        gate = complex_list(rng, 4 ** k)
        targets = rng.sample(range(n), k)
        add(f"apply_gate n={n} k={k}", on.apply_gate(state, gate, n, targets))

    rng = random.Random("native-state")
    psi = on.NativeState(11)
    psi.set_amplitudes(unit_state(rng, 11))
    draws = []
    for step in range(12):
        k = 1 + step % 3
        psi.apply_gate(complex_list(rng, 4 ** k), rng.sample(range(11), k))
        if step % 4 == 3:
            targets = rng.sample(range(11), 2)
            draws.append(psi.probabilities(targets))
            draws.append(psi.measure(targets, rng.random()))
    add("NativeState n=11", [draws, psi.amplitudes(), memoryview(psi).cast("B")])

    rng = random.Random("native-density")
    rho = on.NativeDensity(6)
    rho.set_from_amplitudes(unit_state(rng, 6))
    draws = []
    kinds = ["general", "diagonal", "permutation"]
    for step in range(12):
        k = 1 + step % 2
        dim = 2 ** k
        kind = kinds[step % 3]
        if kind == "general":
            count = 1 + step % 4
            ops = complex_list(rng, count * dim * dim)
        elif kind == "diagonal":
            count = 2
            ops = diagonal_op(rng, dim) + diagonal_op(rng, dim)
        else:
            count = 1
            ops = permutation_op(rng, dim)
        rho.apply_channel(ops, count, rng.sample(range(6), k))
        if step % 4 == 3:
            targets = rng.sample(range(6), 2)
            draws.append(rho.probabilities(targets))
            draws.append(rho.measure(targets, rng.random()))
    add("NativeDensity n=6", [draws, rho.density_matrix(), memoryview(rho).cast("B")])

    # Dense channels and products, sizes on both sides of the kernels' paths.
    for dim, count in [(2, 1), (2, 3), (4, 2), (8, 4), (16, 2), (32, 1)]:
        rng = random.Random(f"channel-{dim}-{count}")
        rho_in = complex_list(rng, dim * dim)
        ops = complex_list(rng, count * dim * dim)
        add(f"channel dim={dim} ops={count}", on.channel(rho_in, ops, count, dim))
        add(f"sandwich dim={dim}", on.sandwich(rho_in, ops[:2 * dim * dim], dim))
    for dim in [2, 3, 4, 5, 8, 13, 16, 32, 48]:
        rng = random.Random(f"matmul-{dim}")
        a, b = complex_list(rng, dim * dim), complex_list(rng, dim * dim)
        add(f"matmul dim={dim}", on.matmul(a, b, dim))
        add(f"matvec dim={dim}", on.matvec(a, b[:2 * dim], dim))
        add(f"dagger dim={dim}", on.dagger(a, dim))
        add(f"add_scaled dim={dim}", on.add_scaled(a, b, dim, rng.uniform(-2.0, 2.0)))
    for dim in [1, 2, 3, 4, 6, 9]:
        rng = random.Random(f"elimination-{dim}")
        a = complex_list(rng, dim * dim)
        add(f"matrix_det dim={dim}", on.matrix_det(a, dim))
        add(f"matrix_inverse dim={dim}", on.matrix_inverse(a, dim))
    rng = random.Random("kron")
    a, b = complex_list(rng, 4), complex_list(rng, 9)
    add("kron 2x3", on.kron(a, 2, b, 3))
    a, b = complex_list(rng, 4), complex_list(rng, 4)
    add("kron_factor", on.kron_factor(on.kron(a, 2, b, 2)))
    add("solve3", on.solve3([rng.uniform(-1.0, 1.0) for _ in range(9)], [rng.uniform(-1.0, 1.0) for _ in range(3)]))
    for n in [2, 3, 5, 8]:
        rng = random.Random(f"eig-{n}")
        sym = [rng.uniform(-1.0, 1.0) for _ in range(n * n)]
        sym = [sym[r * n + c] + sym[c * n + r] for r in range(n) for c in range(n)]
        add(f"jacobi_eig n={n}", on.jacobi_eig(sym, n))
        q = householder(rng, n)
        re = real_conjugate(q, [rng.uniform(-1.0, 1.0) for _ in range(n)], n)
        im = real_conjugate(q, [rng.uniform(-1.0, 1.0) for _ in range(n)], n)
        add(f"simultaneous_diag n={n}", on.simultaneous_diag(re, im, n))
    for n in [1, 2, 3]:
        rng = random.Random(f"pauli-{n}")
        add(f"pauli_expansion n={n}", on.pauli_expansion(complex_list(rng, 4 ** n), n))
    rng = random.Random("embed")
    add("embed_operator", on.embed_operator(complex_list(rng, 16), 4, [3, 1], 4))

    # State and density helpers.
    for n in [2, 6, 10]:
        rng = random.Random(f"measure-{n}")
        state = unit_state(rng, n)
        targets = rng.sample(range(n), 2)
        probs = on.state_probabilities(state, targets, n)
        outcome = on.sample_outcome(probs, rng.random())
        add(f"state_probabilities n={n}", [probs, outcome])
        add(f"collapse_state n={n}", on.collapse_state(state, targets, outcome, n))
        if n <= 6:
            rho_s = on.state_to_density(state)
            add(f"state_to_density n={n}", rho_s)
            dprobs = on.density_probabilities(rho_s, targets, n)
            add(f"density_probabilities n={n}", dprobs)
            add(f"density_collapse n={n}", on.density_collapse(rho_s, targets, outcome, n))
    rng = random.Random("compare")
    a = complex_list(rng, 9)
    near = [x + rng.uniform(-1e-9, 1e-9) for x in a]
    add("matrix_allclose", [on.matrix_allclose(a, near, 3, 1e-9), on.matrix_allclose(a, near, 3, 1e-10)])
    ident = [1.0 if i % 8 == 0 else 0.0 for i in range(18)]
    add("is_identity_matrix", [on.is_identity_matrix(ident, 3, 0.0), on.is_identity_matrix(a, 3, 1.0)])
    return out


def compute(out_path, label):
    import orvane_native as on

    table = {name: fingerprint(value) for name, value in records(on)}
    doc = {"label": label or platform.machine(), "machine": platform.machine(), "python": platform.python_version(), "module": on.__file__,
           "version": on.version(), "records": table}
    width = max(map(len, table))
    print(f"identity records of {on.__file__} on {doc['machine']} (Python {doc['python']})")
    for name, digest in table.items():
        print(f"  {name:<{width}}  {digest[:16]}")
    print(f"  {len(table)} records")
    if out_path:
        with open(out_path, "w") as f:
            json.dump(doc, f, indent=1)


def compare(paths):
    docs = []
    for p in paths:
        with open(p) as f:
            docs.append(json.load(f))
    names = list(docs[0]["records"])
    for d in docs[1:]:
        names += [n for n in d["records"] if n not in names]
    heads = [d.get("label", d["machine"]) for d in docs]
    width = max(map(len, names))
    print(f"| {'record':<{width}} | " + " | ".join(f"{h:<16}" for h in heads) + " | same |")
    print(f"|{'-' * (width + 2)}|" + "|".join("-" * 18 for _ in heads) + "|------|")
    differ = 0
    for name in names:
        digests = [d["records"].get(name) for d in docs]
        same = None not in digests and len(set(digests)) == 1
        differ += not same
        cells = " | ".join(f"{(x or 'missing')[:16]:<16}" for x in digests)
        print(f"| {name:<{width}} | {cells} | {'yes' if same else 'NO'} |")
    print(f"identity: {len(names) - differ} of {len(names)} records identical across {', '.join(heads)}")
    return 1 if differ else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--out", help="write the fingerprints as JSON here")
    parser.add_argument("--label", help="the build's name in comparisons (default: the machine)")
    parser.add_argument("--compare", nargs="+", metavar="JSON", help="compare fingerprint files written by --out")
    args = parser.parse_args()
    if args.compare:
        if len(args.compare) < 2:
            parser.error("--compare needs two files or more")
        return compare(args.compare)
    compute(args.out, args.label)
    return 0


if __name__ == "__main__":
    sys.exit(main())
