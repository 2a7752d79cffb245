"""Sampling and the persistent tableau at sizes around the 64-row words of
the bit-packed tableau, checked against stim and against an independent
implementation of the seeded generator: every recorded outcome is either
the one stim's state determines or the one the generator's draw gives."""

import math

import numpy as np
import pytest
import stim

import orvane_native as on
from stim_checks import check_tableau_against_stim, rows, triples

from clifford_codes import CNOT, GATES, H, MEASURE, ONE_QUBIT, S, STIM_NAME, TWO_QUBIT, Y

STIM_CALL = {code: name.lower() for code, name in STIM_NAME.items()}  # stim.TableauSimulator's methods
MASK64 = 2 ** 64 - 1


class WyRand:
    """The generator's draws: seed words (seed & 0xffffffff, (seed >> 16) &
    0xffffffff), then per draw state += 0x2d358dccaa6c78a5, the 128-bit
    product of (state ^ 0x8bb84b93962eacc9) and state folded by xor, and the
    top 52 bits times 2^-52."""

    def __init__(self, seed):
        bits = seed & MASK64
        self.state = (bits & 0xFFFFFFFF) | (((bits >> 16) & 0xFFFFFFFF) << 32)

    def f64(self):
        self.state = (self.state + 0x2D358DCCAA6C78A5) & MASK64
        product = (self.state ^ 0x8BB84B93962EACC9) * self.state
        v = ((product >> 64) ^ product) & MASK64
        return (v >> 12) * 2.0 ** -52


def test_generator_model_matches_documented_values():
    g = WyRand(0)
    assert [g.f64() for _ in range(3)] == [0.6026276071910173, 0.0049492963813349, 0.09475907953301865]
    g = WyRand(42)
    assert [g.f64() for _ in range(3)] == [0.7907996467461949, 0.49358594913977183, 0.8044587307910849]


def random_stream(rng, n, gates, measure_every):
    """Random gates with a measurement of a random qubit every few gates, and
    a final pass measuring some qubits twice (the second outcome determined)."""
    stream = []
    for _ in range(gates):
        if rng.integers(measure_every) == 0:
            stream += [MEASURE, int(rng.integers(n)), int(rng.integers(-3, 3))]
            continue
        code = GATES[int(rng.integers(len(GATES) if n > 1 else len(ONE_QUBIT)))]
        a, b = (int(q) for q in rng.choice(n, size=2, replace=n < 2))
        stream += [code, a, b if code in TWO_QUBIT else 0]
    for q in rng.choice(n, size=min(n, 6), replace=False):
        stream += [MEASURE, int(q), 0, MEASURE, int(q), 0]
    return stream


def expected_records(stream, n, mask, reps, seed):
    """Each repetition on a fresh stim simulator: a measurement that stim
    finds determined gives that outcome; a random one takes (u >= 0.5) from
    the generator and stim is postselected on it. One draw per measurement."""
    g = WyRand(seed)
    out = []
    for _ in range(reps):
        sim = stim.TableauSimulator()
        sim.set_num_qubits(n)
        k = 0
        for code, a, b in triples(stream):
            if code != MEASURE:
                getattr(sim, STIM_CALL[code])(*((a, b) if code in TWO_QUBIT else (a,)))
                continue
            u = g.f64()
            z = sim.peek_z(a)
            outcome = int(z == -1) if z != 0 else int(not u < 0.5)
            if z == 0:
                sim.postselect_z(a, desired_value=bool(outcome))
            out.append(outcome ^ (mask[k] if k < len(mask) else 0))
            k += 1
    return out


@pytest.mark.parametrize("n", [1, 3, 63, 64, 65, 127, 129])
def test_clifford_run_follows_stim_and_the_draws(n):
    rng = np.random.default_rng(500 + n)
    stream = random_stream(rng, n, gates=min(6 * n + 30, 300), measure_every=6)
    m = sum(1 for t in triples(stream) if t[0] == MEASURE)
    mask = [int(v) for v in rng.integers(-2, 3, size=m // 2)] + [2 ** 62, -(2 ** 63)]
    seed = int(rng.integers(-(2 ** 63), 2 ** 63 - 1))
    reps = 3
    record = on.clifford_run(stream, n, mask, reps, seed)
    assert record == expected_records(stream, n, mask, reps, seed)
    # Noisy sampling without noise draws exactly as clifford_run does.
    assert on.clifford_sample_noisy(stream, n, mask, reps, seed, [0.0]) == record


@pytest.mark.parametrize("case", range(12))
def test_clifford_run_small_circuits_dense_in_measurements(case):
    # Few qubits and a measurement every couple of gates: row products that
    # add a sign, outcomes fixed by earlier random ones, signs flipped after
    # a measurement.
    rng = np.random.default_rng(70 + case)
    n = 2 + case % 5
    stream = random_stream(rng, n, gates=50, measure_every=3)
    record = on.clifford_run(stream, n, [1, 0, 3], 40, 12345 + case)
    assert record == expected_records(stream, n, [1, 0, 3], 40, 12345 + case)
    assert on.clifford_sample_noisy(stream, n, [1, 0, 3], 40, 12345 + case, []) == record


@pytest.mark.parametrize("n, offset", [(2, 0), (70, 0), (70, 63), (130, 64)])
def test_clifford_run_sign_from_a_row_product(n, offset):
    # Stabilizers XX then YY on qubits q0, q1 (H S H maps Z to -Y and fixes
    # X). Measuring q0 multiplies YY by XX: XX YY = -ZZ, the minus coming from
    # the product's phase alone, so q1 is then q0 xor 1, and after Y on q1
    # it equals q0.
    q0, q1 = offset, offset + 1
    prep = [H, q0, 0, CNOT, q0, q1]
    for q in (q0, q1):
        prep += [H, q, 0, S, q, 0, H, q, 0]
    stream = prep + [MEASURE, q0, 0, MEASURE, q1, 0, Y, q1, 0, MEASURE, q1, 0]
    record = on.clifford_run(stream, n, [], 50, 3)
    assert record == expected_records(stream, n, [], 50, 3)
    assert on.clifford_sample_noisy(stream, n, [], 50, 3, []) == record
    pairs = np.array(record).reshape(-1, 3)
    assert np.all(pairs[:, 1] == pairs[:, 0] ^ 1) and np.all(pairs[:, 2] == pairs[:, 0])
    assert 0 < pairs[:, 0].sum() < 50


@pytest.mark.parametrize("n", [63, 64, 65, 128, 129])
def test_native_tableau_step_by_step_against_stim(n):
    rng = np.random.default_rng(900 + n)
    stream = random_stream(rng, n, gates=4 * n, measure_every=9)
    t = on.NativeTableau(n)
    sim = stim.TableauSimulator()
    sim.set_num_qubits(n)
    draws = [0.5, math.nextafter(0.5, 0), float("nan"), 0.0, 0.75]
    seen = {"random": 0, "determined": 0}
    for i, (code, a, b) in enumerate(triples(stream)):
        if code != MEASURE:
            t.apply(code, a, b)
            getattr(sim, STIM_CALL[code])(*((a, b) if code in TWO_QUBIT else (a,)))
            continue
        u = draws[i % len(draws)]
        z = sim.peek_z(a)
        got = t.measure(a, u)
        if z == 0:
            seen["random"] += 1
            assert got == int(not u < 0.5)
            sim.postselect_z(a, desired_value=bool(got))
        else:
            seen["determined"] += 1
            assert got == int(z == -1)
            # The scratch row holds the product found: (-1)^outcome Z_a.
            x, zs, sign = rows(t.stabilizer_tableau(), n)[2 * n]
            assert x == [0] * n and zs == [int(q == a) for q in range(n)] and sign == got
    assert seen["random"] > 0 and seen["determined"] > 0
    check_tableau_against_stim(t.stabilizer_tableau(), n, sim)
    t.reset()
    assert t.stabilizer_tableau() == on.clifford_tableau([], n)


@pytest.mark.parametrize("n", [63, 64, 65, 129])
def test_clifford_tableau_against_stim_and_the_object(n):
    rng = np.random.default_rng(1300 + n)
    stream = [v for t in triples(random_stream(rng, n, gates=5 * n, measure_every=10 ** 9)) if t[0] != MEASURE
              for v in t]
    flat = on.clifford_tableau(stream, n)
    sim = stim.TableauSimulator()
    sim.set_num_qubits(n)
    obj = on.NativeTableau(n)
    for code, a, b in triples(stream):
        getattr(sim, STIM_CALL[code])(*((a, b) if code in TWO_QUBIT else (a,)))
        obj.apply(code, a, b)
    check_tableau_against_stim(flat, n, sim)
    assert obj.stabilizer_tableau() == flat


def test_native_tableau_reassigned_num_qubits_is_rejected_unchanged():
    t = on.NativeTableau(3)
    t.apply(H, 0, 0)
    t.apply(CNOT, 0, 2)
    before = t.stabilizer_tableau()
    for wrong in (2, 4, 0, -1, 65):
        t.num_qubits = wrong
        message = f"panic in Kelvo code: num_qubits {wrong} does not match the tableau's 3 qubits"
        for call in (t.reset, lambda: t.apply(H, 0, 0), lambda: t.measure(0, 0.2), t.state_vector,
                     t.stabilizer_tableau):
            with pytest.raises(RuntimeError) as info:
                call()
            assert str(info.value) == message
    t.num_qubits = 3
    assert t.stabilizer_tableau() == before
