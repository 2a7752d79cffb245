"""clifford_sample_noisy: every record bit for bit against an independent
model of its definition (stim's tableau simulator run shot by shot with the
drawn Paulis inserted, the draws made by a Python model of the generators),
and the sampled frequencies against exact outcome distributions computed
with numpy density matrices and the channels' Kraus operators."""

import math
import struct

import numpy as np
import pytest
import stim

import orvane_native as on
from helpers import kron_embed
from stim_checks import triples

H, S, SDG, X, Y, Z, CNOT, CZ, SWAP, MEASURE = range(10)
RESET, MEASURE_RESET, X_ERROR, Y_ERROR, Z_ERROR, DEPOLARIZE1, DEPOLARIZE2, NOISE_PROBABILITY = range(10, 18)
TWO_QUBIT = (CNOT, CZ, SWAP)
STIM_CALL = {H: "h", S: "s", SDG: "s_dag", X: "x", Y: "y", Z: "z", CNOT: "cnot", CZ: "cz", SWAP: "swap"}
M64 = 2 ** 64 - 1
INC = 0x2D358DCCAA6C78A5
NOISE_DOMAIN = 0x6A09E667F3BCC908


# ---- the model of the definition -------------------------------------------------

def mix(state):
    """Output of the wyrand step that lands on `state`."""
    p = (state ^ 0x8BB84B93962EACC9) * state
    return ((p >> 64) ^ p) & M64


def seed_state(seed):
    bits = seed & M64
    return (bits & 0xFFFFFFFF) | (((bits >> 16) & 0xFFFFFFFF) << 32)


def plog(x):
    """The portable logarithm: m 2^e with m in [sqrt(1/2), sqrt(2)), the
    atanh series of s = (m - 1) / (m + 1) to s^22 by Horner in s^2."""
    if x == 0.0:
        return -math.inf
    m, e = math.frexp(x)
    if m < 0.70710678118654752440:
        m, e = m * 2.0, e - 1
    f = m - 1.0
    s = f / (2.0 + f)
    s2 = s * s
    poly = 1.0 / 23
    for k in range(10, -1, -1):
        poly = poly * s2 + 1.0 / (2 * k + 1)
    return float(e) * 6.93147180369123816490e-01 + ((2.0 * s) * poly + float(e) * 1.90821492927058770002e-10)


def plog1m(p):
    y = 1.0 - p
    if y == 1.0:
        return -p
    if y == 0.0:
        return -math.inf
    return plog(y) * (-p / (y - 1.0))


def noise_events(ordinal, p, choices, shots, seed):
    """{shot: choice} of one noise location: its generator starts at output
    `ordinal` of a generator in state seed_state ^ NOISE_DOMAIN; per event a
    gap draw (geometric skip over the shots), then for a channel with several
    Paulis a choice draw."""
    state = mix(((seed_state(seed) ^ NOISE_DOMAIN) + (ordinal + 1) * INC) & M64)
    scale = 1.0 / plog1m(p)
    events, last = {}, -1
    while True:
        state = (state + INC) & M64
        u = float((mix(state) >> 11) + 1) * 2.0 ** -53
        gap = plog(u) * scale
        if not gap < shots - last - 1:
            return events
        last = last + 1 + int(gap)
        choice = 0
        if choices:
            state = (state + INC) & M64
            choice = (mix(state) * choices) >> 64
        events[last] = choice


PAULI_OF = {X_ERROR: "x", Y_ERROR: "y", Z_ERROR: "z"}


def model_record(stream, n, mask, shots, seed, probabilities):
    noise = [(i, t) for i, t in enumerate(triples(stream)) if DEPOLARIZE2 >= t[0] >= X_ERROR]
    current, probability_of = None, {}
    for i, (code, a, b) in enumerate(triples(stream)):
        if code == NOISE_PROBABILITY:
            current = a
        elif X_ERROR <= code <= DEPOLARIZE2:
            probability_of[i] = probabilities[current if code == DEPOLARIZE2 else b]
    events = {}
    for ordinal, (i, (code, _, _)) in enumerate(noise):
        p = probability_of[i]
        if p > 0:
            events[i] = noise_events(ordinal, p, {DEPOLARIZE1: 3, DEPOLARIZE2: 15}.get(code, 0), shots, seed)
    draws = sum(1 for t in triples(stream) if t[0] in (MEASURE, RESET, MEASURE_RESET))
    base = seed_state(seed)
    out = []
    for shot in range(shots):
        sim = stim.TableauSimulator()
        sim.set_num_qubits(n)
        d = k = 0
        for i, (code, a, b) in enumerate(triples(stream)):
            if code < MEASURE:
                getattr(sim, STIM_CALL[code])(*((a, b) if code in TWO_QUBIT else (a,)))
            elif code in (MEASURE, RESET, MEASURE_RESET):
                v = mix((base + (shot * draws + d + 1) * INC) & M64)
                d += 1
                z = sim.peek_z(a)
                outcome = int(z == -1) if z != 0 else v >> 63
                if z == 0:
                    sim.postselect_z(a, desired_value=bool(outcome))
                if code != MEASURE and outcome:
                    sim.x(a)
                if code != RESET:
                    out.append(outcome ^ (mask[k] if k < len(mask) else 0))
                    k += 1
            elif i in events and shot in events[i]:
                c = events[i][shot]
                if code in PAULI_OF:
                    getattr(sim, PAULI_OF[code])(a)
                elif code == DEPOLARIZE1:
                    getattr(sim, "xyz"[c])(a)
                elif code == DEPOLARIZE2:
                    pa, pb = (c + 1) >> 2, (c + 1) & 3
                    for q, pauli in ((a, pa), (b, pb)):
                        if pauli:
                            getattr(sim, "_xyz"[pauli])(q)
    return out


def random_noisy_stream(rng, n, length, probabilities):
    stream, has_probability = [], False
    for _ in range(length):
        kinds = [0] * 6 + [1] * 3 + [2] * 2 + [3] * 4
        kind = kinds[rng.integers(len(kinds))]
        a, b = (int(q) for q in rng.choice(n, size=2, replace=False))
        k = int(rng.integers(len(probabilities)))
        if kind == 0:
            code = int(rng.integers(9))
            stream += [code, a, b if code in TWO_QUBIT else 0]
        elif kind == 1:
            stream += [int(rng.choice([MEASURE, RESET, MEASURE_RESET])), a, 0]
        elif kind == 2 or not has_probability:
            stream += [NOISE_PROBABILITY, k, 0, DEPOLARIZE2, a, b]
            has_probability = True
        else:
            stream += [int(rng.integers(X_ERROR, DEPOLARIZE1 + 1)), a, k]
    return stream + [v for q in range(n) for v in (MEASURE, q, 0)]


@pytest.mark.parametrize("case", range(6))
def test_records_follow_the_definition_bit_for_bit(case):
    rng = np.random.default_rng(4100 + case)
    n = 2 + case % 4
    probabilities = [0.0, 0.3, 1.0, float(rng.uniform(0, 0.2)), 1e-300]
    stream = random_noisy_stream(rng, n, 40, probabilities)
    seed = int(rng.integers(-(2 ** 63), 2 ** 63 - 1))
    mask = [1, 0, 2]
    shots = 40
    got = on.clifford_sample_noisy(stream, n, mask, shots, seed, probabilities)
    assert got == model_record(stream, n, mask, shots, seed, probabilities)


# ---- exact distributions ---------------------------------------------------------------

PAULI = [np.eye(2), np.array([[0, 1], [1, 0]]), np.array([[0, -1j], [1j, 0]]), np.diag([1.0, -1.0])]
GATE = {H: np.array([[1, 1], [1, -1]]) / math.sqrt(2), S: np.diag([1, 1j]), SDG: np.diag([1, -1j]),
        X: PAULI[1], Y: PAULI[2], Z: PAULI[3]}


def exact_distribution(stream, n, probabilities):
    """{record tuple: probability}: the density matrix of every record branch
    so far, run through the gates, the Pauli channels as Kraus sums and the
    measurements and resets as projections."""
    branches = {(): np.outer(np.eye(2 ** n)[0], np.eye(2 ** n)[0]).astype(complex)}
    current = None
    for code, a, b in triples(stream):
        new = {}
        for rec, rho in branches.items():
            def op(m, q):
                return kron_embed(m, q, n)

            if code < MEASURE:
                if code in TWO_QUBIT:
                    u = {CNOT: op(np.diag([1, 0]), a) + op(np.diag([0, 1]), a) @ op(PAULI[1], b),
                         CZ: op(np.diag([1, 0]), a) + op(np.diag([0, 1]), a) @ op(PAULI[3], b),
                         SWAP: sum(op(P, a) @ op(P, b) for P in PAULI) / 2}[code]
                else:
                    u = op(GATE[code], a)
                new[rec] = u @ rho @ u.conj().T
            elif code == NOISE_PROBABILITY:
                current = a
                new[rec] = rho
            elif code in (X_ERROR, Y_ERROR, Z_ERROR, DEPOLARIZE1):
                p = probabilities[b]
                paulis = [code - X_ERROR + 1] if code != DEPOLARIZE1 else [1, 2, 3]
                out = (1 - p) * rho
                for i in paulis:
                    out = out + p / len(paulis) * op(PAULI[i], a) @ rho @ op(PAULI[i], a).conj().T
                new[rec] = out
            elif code == DEPOLARIZE2:
                p = probabilities[current]
                out = (1 - p) * rho
                for i in range(1, 16):
                    k = op(PAULI[i >> 2], a) @ op(PAULI[i & 3], b)
                    out = out + p / 15 * k @ rho @ k.conj().T
                new[rec] = out
            else:
                for bit in (0, 1):
                    proj = op(np.diag([1.0 - bit, float(bit)]), a)
                    part = proj @ rho @ proj
                    if np.real(np.trace(part)) < 1e-15:
                        continue
                    if code != MEASURE and bit:
                        part = op(PAULI[1], a) @ part @ op(PAULI[1], a)
                    key = rec + ((bit,) if code != RESET else ())
                    new[key] = new.get(key, 0) + part
        branches = new
    return {rec: float(np.real(np.trace(rho))) for rec, rho in branches.items()}


CIRCUITS = [
    # Bell pair through a depolarize2 channel, then both measured.
    ([H, 0, 0, CNOT, 0, 1, NOISE_PROBABILITY, 0, 0, DEPOLARIZE2, 0, 1, MEASURE, 0, 0, MEASURE, 1, 0], 2, [0.3]),
    # |+> with Z errors of two rates, measured in the X basis; a Y error on |0>.
    ([H, 0, 0, Z_ERROR, 0, 0, Z_ERROR, 0, 1, H, 0, 0, MEASURE, 0, 0, Y_ERROR, 1, 1, MEASURE, 1, 0], 2, [0.1, 0.25]),
    # A reset of one half of a Bell pair leaves the other half random; measure-reset, then again.
    ([H, 0, 0, CNOT, 0, 1, RESET, 0, 0, DEPOLARIZE1, 1, 0, MEASURE_RESET, 1, 0, X_ERROR, 1, 1,
      MEASURE, 1, 0, MEASURE, 0, 0], 2, [0.2, 0.4]),
    # Three-qubit repetition parity checks with bit flips and a reused ancilla.
    ([X_ERROR, 0, 0, X_ERROR, 1, 0, X_ERROR, 2, 0, CNOT, 0, 3, CNOT, 1, 3, MEASURE_RESET, 3, 0,
      CNOT, 1, 3, CNOT, 2, 3, MEASURE_RESET, 3, 0, MEASURE, 0, 0, MEASURE, 1, 0, MEASURE, 2, 0], 4, [0.15]),
]


@pytest.mark.parametrize("stream, n, probabilities", CIRCUITS)
def test_frequencies_match_exact_distributions(stream, n, probabilities):
    exact = exact_distribution(stream, n, probabilities)
    m = len(next(iter(exact)))
    shots = 200_000
    record = np.array(on.clifford_sample_noisy(stream, n, [], shots, 77, probabilities)).reshape(shots, m)
    keys, counts = np.unique(record, axis=0, return_counts=True)
    seen = {tuple(int(v) for v in k): int(c) for k, c in zip(keys, counts)}
    assert set(seen) <= set(exact), "a record the circuit cannot produce"
    for rec, prob in exact.items():
        # Within 5 binomial standard deviations (plus a count for tiny probabilities).
        sigma = math.sqrt(shots * prob * (1 - prob))
        assert abs(seen.get(rec, 0) - shots * prob) <= 5 * sigma + 1, (rec, seen.get(rec, 0), shots * prob)
