"""Clifford circuits: clifford_run, clifford_tableau and clifford_state_vector,
checked against stim and against a numpy state-vector simulation."""

import importlib.util
import math
import pathlib
import re

import numpy as np
import pytest
import stim

import orvane_native as on
from clifford_codes import CNOT, CZ, H, MEASURE, ONE_QUBIT, S, SDG, STIM_NAME, SWAP, TWO_QUBIT, X, Y, Z
from expect_error import PREFIX, raises
from helpers import to_complex
from stim_checks import check_tableau_against_stim, rows, triples

ROOT = pathlib.Path(__file__).resolve().parent.parent
SQ = 1 / math.sqrt(2)
MATRIX = {
    H: np.array([[SQ, SQ], [SQ, -SQ]]),
    S: np.diag([1, 1j]),
    SDG: np.diag([1, -1j]),
    X: np.array([[0, 1], [1, 0]]),
    Y: np.array([[0, -1j], [1j, 0]]),
    Z: np.diag([1, -1]),
    CNOT: np.array([[1, 0, 0, 0], [0, 1, 0, 0], [0, 0, 0, 1], [0, 0, 1, 0]]),
    CZ: np.diag([1, 1, 1, -1]),
    SWAP: np.array([[1, 0, 0, 0], [0, 0, 1, 0], [0, 1, 0, 0], [0, 0, 0, 1]]),
}


def random_circuit(rng, n, gates):
    stream = []
    for _ in range(gates):
        code = int(rng.choice(ONE_QUBIT + (TWO_QUBIT if n > 1 else [])))
        a, b = (int(q) for q in rng.choice(n, size=2, replace=n < 2))
        stream += [code, a, b if code in TWO_QUBIT else int(rng.integers(-5, 5))]
    return stream


def numpy_state(stream, n):
    """State vector of the gate stream by tensor contraction; axis q of the
    state tensor is qubit q (qubit 0 the most significant index bit)."""
    psi = np.zeros([2] * n, dtype=complex)
    psi[(0,) * n] = 1
    for code, a, b in triples(stream):
        targets = [a, b] if code in TWO_QUBIT else [a]
        k = len(targets)
        op = MATRIX[code].reshape([2] * (2 * k))
        psi = np.tensordot(op, psi, axes=(list(range(k, 2 * k)), targets))
        psi = np.moveaxis(psi, list(range(k)), targets)
    return psi.reshape(-1)


def stim_simulator(stream, n):
    sim = stim.TableauSimulator()
    sim.set_num_qubits(n)
    for code, a, b in triples(stream):
        getattr(sim, STIM_NAME[code].lower())(*([a, b] if code in TWO_QUBIT else [a]))
    return sim


# ---- worked examples ---------------------------------------------------------

def test_run_worked_examples():
    assert on.clifford_run([0, 0, 0, 9, 0, 0], 1, [], 3, 0) == [1, 0, 0]
    assert on.clifford_run([0, 0, 0, 9, 0, 0], 1, [], 3, 42) == [1, 0, 1]
    bell = [0, 0, 0, 6, 0, 1, 9, 0, 0, 9, 1, 0]
    assert on.clifford_run(bell, 2, [], 4, 1) == [1, 1, 0, 0, 0, 0, 1, 1]
    assert on.clifford_run(bell, 2, [0, 1], 4, 1) == [1, 0, 0, 1, 0, 1, 1, 0]
    assert on.clifford_run(bell, 2, (0, 1, 1, 1), 4, 1) == [1, 0, 0, 1, 0, 1, 1, 0]


@pytest.mark.parametrize("seed", [0, 5, -1, 123456789, 2 ** 40 + 17])
def test_run_seed_uses_low_48_bits_only(seed):
    stream = [0, 0, 0, 0, 1, 0, 0, 2, 0, 9, 0, 0, 9, 1, 0, 9, 2, 0]
    base = on.clifford_run(stream, 3, [], 30, seed)
    assert on.clifford_run(stream, 3, [], 30, seed) == base
    other = (seed + 2 ** 48 + 2 ** 63) % 2 ** 64 - 2 ** 63
    assert on.clifford_run(stream, 3, [], 30, other) == base
    # Any change above bit 47 is invisible; a change to any bit below 48
    # gives another generator state and so (90 random outcomes) another record.
    signed = lambda v: (v + 2 ** 63) % 2 ** 64 - 2 ** 63
    assert on.clifford_run(stream, 3, [], 30, signed(seed ^ (0xFFFF << 48))) == base
    for bit in (0, 15, 16, 31, 32, 47):
        assert on.clifford_run(stream, 3, [], 30, signed(seed ^ (1 << bit))) != base


def test_tableau_and_state_vector_worked_examples():
    bell = on.clifford_tableau([0, 0, 0, 6, 0, 1], 2)
    assert bell == [0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0]
    assert on.clifford_state_vector(bell, 2) == [SQ, 0, 0, 0, 0, 0, SQ, 0]
    assert on.clifford_state_vector(on.clifford_tableau([0, 1, 0, 4, 1, 0], 2), 2) == [SQ, 0, -SQ, 0, 0, 0, 0, 0]
    assert on.clifford_state_vector([0], 0) == [1.0, 0.0]
    assert on.clifford_state_vector([], -3) == []


# ---- against stim ----------------------------------------------------------------

@pytest.mark.parametrize("seed", range(30))
def test_tableau_matches_stim(seed):
    rng = np.random.default_rng(seed)
    n = int(rng.integers(1, 9))
    stream = random_circuit(rng, n, 12 * n)
    flat = on.clifford_tableau(stream, n)
    assert len(flat) == (2 * n + 1) ** 2
    assert all(v in (0, 1) for v in flat)
    sim = stim_simulator(stream, n)
    check_tableau_against_stim(flat, n, sim)
    assert rows(flat, n)[2 * n] == ([0] * n, [0] * n, 0)


def load_file(path):
    found = importlib.util.spec_from_file_location(path.stem, path)
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


def test_restated_codes_agree_with_the_module_table():
    """bench/ and the examples restate the codes so that they run on their
    own; each copy gives the codes of the module's table (which
    clifford_codes reads), and bench's stim names are the same gates."""
    bench = load_file(ROOT / "bench" / "clifford_streams.py")
    codes = (H, S, SDG, X, Y, Z, CNOT, CZ, SWAP, MEASURE)
    assert codes == tuple(range(10))
    assert (bench.H, bench.S, bench.SDG, bench.X, bench.Y, bench.Z, bench.CNOT, bench.CZ, bench.SWAP,
            bench.MEASURE) == codes
    assert (list(bench.ONE_QUBIT), list(bench.TWO_QUBIT)) == (ONE_QUBIT, TWO_QUBIT)
    rng = np.random.default_rng(9)
    for code in ONE_QUBIT + TWO_QUBIT:  # after a random prefix, stim's gate of that name does what ours does
        for _ in range(3):
            stream = random_circuit(rng, 3, 8) + [code, 2, 0]
            sim = stim.TableauSimulator()
            sim.set_num_qubits(3)
            sim.do(bench.stim_circuit(stream))
            check_tableau_against_stim(on.clifford_tableau(stream, 3), 3, sim)
    flip = [X, 1, 0, MEASURE, 1, 0, MEASURE, 0, 0]
    assert bench.stim_circuit(flip).compile_sampler().sample(1).astype(int).tolist() == [
        on.clifford_run(flip, 2, [], 1, 0)]
    sampling = load_file(ROOT / "examples" / "distributed_sampling.py")
    assert (sampling.H, sampling.CNOT, sampling.MEASURE, sampling.SWAP) == (H, CNOT, MEASURE, SWAP)
    typed = load_file(ROOT / "examples" / "typed_example.py")
    assert (typed.INSTR_H, typed.INSTR_CNOT, typed.INSTR_MEASURE) == (H, CNOT, MEASURE)
    for path in (ROOT / "README.md", ROOT / "examples" / "tour.py"):
        spelled = re.findall(r"(\d+) = (H|CNOT|measure)\b", path.read_text())
        assert spelled and all(int(c) == {"H": H, "CNOT": CNOT, "measure": MEASURE}[n] for c, n in spelled)


def test_sign_conventions_explicitly():
    # H S |0> = |+i>: one stabilizer row x = 1, z = 1, sign 0, i.e. +Y.
    assert on.clifford_tableau([0, 0, 0, 1, 0, 0], 1)[3:6] == [1, 1, 0]
    # H Sdg |0> = |-i>: -Y.
    assert on.clifford_tableau([0, 0, 0, 2, 0, 0], 1)[3:6] == [1, 1, 1]
    # X |0> = |1>: -Z; Z H |0> = |->: -X.
    assert on.clifford_tableau([3, 0, 0], 1)[3:6] == [0, 1, 1]
    assert on.clifford_tableau([0, 0, 0, 5, 0, 0], 1)[3:6] == [1, 0, 1]


# ---- measurement statistics -------------------------------------------------------

@pytest.mark.parametrize("seed", range(8))
def test_measurement_statistics_match_exact_probabilities(seed):
    rng = np.random.default_rng(100 + seed)
    n = int(rng.integers(2, 5))
    circuit = random_circuit(rng, n, 10 * n)
    stream = circuit + [v for q in range(n) for v in (MEASURE, q, 0)]
    # Outcome bits read from the left are qubits 0..n-1, as basis indices are.
    probs = np.abs(numpy_state(circuit, n)) ** 2
    # Many seeds, a few repetitions each.
    counts = np.zeros(2 ** n)
    shots = 0
    for s in range(200):
        record = np.array(on.clifford_run(stream, n, [], 20, s * 7919 + seed)).reshape(-1, n)
        for bits in record:
            counts[int("".join(map(str, bits)), 2)] += 1
        shots += len(record)
    freq = counts / shots
    assert np.all(counts[probs < 1e-12] == 0)
    sigma = np.sqrt(probs * (1 - probs) / shots)
    assert np.all(np.abs(freq - probs) <= 5 * sigma + 1e-12)


def test_mid_circuit_measurements():
    # Measure |+>, entangle the result into qubit 1, measure both.
    stream = [H, 0, 0, MEASURE, 0, 0, CNOT, 0, 1, MEASURE, 1, 0, MEASURE, 0, 0]
    record = np.array(on.clifford_run(stream, 2, [], 2000, 9)).reshape(-1, 3)
    assert np.all(record[:, 0] == record[:, 1])
    assert np.all(record[:, 0] == record[:, 2])
    assert abs(record[:, 0].mean() - 0.5) < 5 * math.sqrt(0.25 / 2000)
    # The mask inverts by measurement ordinal.
    masked = np.array(on.clifford_run(stream, 2, [1, 0, 1], 2000, 9)).reshape(-1, 3)
    assert np.array_equal(masked, record ^ np.array([1, 0, 1]))


# ---- state vector ------------------------------------------------------------------

def canonical_phase(psi):
    k = np.flatnonzero(np.abs(psi) > 1e-9)[0]
    return psi * (abs(psi[k]) / psi[k])


@pytest.mark.parametrize("seed", range(25))
def test_state_vector_matches_numpy(seed):
    rng = np.random.default_rng(1000 + seed)
    n = int(rng.integers(1, 8))
    stream = random_circuit(rng, n, 8 * n)
    got = to_complex(on.clifford_state_vector(on.clifford_tableau(stream, n), n))
    want = canonical_phase(numpy_state(stream, n))
    assert np.allclose(got, want, atol=1e-12, rtol=0)
    first = np.flatnonzero(np.abs(got) > 1e-9)[0]
    assert got[first].imag == 0 and got[first].real > 0
    assert np.all(got[:first] == 0)


def test_twenty_qubit_ghz():
    n = 20
    stream = [H, 0, 0] + [v for q in range(1, n) for v in (CNOT, q - 1, q)]
    amps = np.array(on.clifford_state_vector(on.clifford_tableau(stream, n), n))
    assert amps.size == 2 ** (n + 1)
    expected = np.zeros(2 ** (n + 1))
    expected[0] = expected[-2] = SQ
    assert np.array_equal(amps, expected)


def test_state_vector_of_invalid_rows_follows_the_projector_product():
    # Rows +X0 and +Z0 on two qubits anticommute: (I + X0)(I + Z0) restricted to
    # its first non-zero column, normalised.
    flat = [0] * 20
    flat[10] = 1      # row 2: X on qubit 0
    flat[15 + 2] = 1  # row 3: Z on qubit 0
    i2 = np.eye(2)
    m = (np.eye(4) + np.kron(MATRIX[X], i2)) @ (np.eye(4) + np.kron(MATRIX[Z], i2))
    col = m[:, 0] / np.linalg.norm(m[:, 0])
    assert to_complex(on.clifford_state_vector(flat, 2)) == pytest.approx(col)
    # Contradictory rows +Z0, -Z0: no state, all zeros.
    flat = [0] * 20
    flat[12] = flat[17] = flat[19] = 1
    assert on.clifford_state_vector(flat, 2) == [0.0] * 8


# ---- failures -------------------------------------------------------------------------



@pytest.mark.parametrize("fn, args, message", [
    (on.clifford_run, ([9, 0, 0], -1, [], 1, 0), "instruction 0 (code 9): qubit operand a out of range: 0 (num_qubits -1)"),
    # The stream is checked on every call, before any size failure.
    (on.clifford_run, ([0, 5, 0], 1, [], 1, 0), "instruction 0 (code 0): qubit operand a out of range: 5 (num_qubits 1)"),
    (on.clifford_run, ([9, 5, 0], 1, [], 0, 0), "instruction 0 (code 9): qubit operand a out of range: 5 (num_qubits 1)"),
    (on.clifford_run, ([0, 5, 0, 9, 0, 0], 1, [], -1, 0),
     "instruction 0 (code 0): qubit operand a out of range: 5 (num_qubits 1)"),
    (on.clifford_tableau, ([0, -1, 0], 2 ** 40),
     "instruction 0 (code 0): qubit operand a out of range: -1 (num_qubits 1099511627776)"),
    (on.clifford_run, ([9, 0, 0, 9, 0, 0], 1, [], -4, 0), "negative .len:-8"),
    (on.clifford_tableau, ([], -1), "negative .len:-1"),
    (on.clifford_run, ([0, 2, 0, 9, 0, 0], 2, [], 1, 0),
     "instruction 0 (code 0): qubit operand a out of range: 2 (num_qubits 2)"),
    (on.clifford_run, ([9, 0, 0, 6, 1, 1], 2, [], 1, 0),
     "instruction 1 (code 6): qubit operands a and b are the same qubit: 1"),
    (on.clifford_tableau, ([0, 0, 0, 7, 0, -1], 3),
     "instruction 1 (code 7): qubit operand b out of range: -1 (num_qubits 3)"),
    (on.clifford_tableau, ([0, 0, 0, 0, 0, 0, 9, 3, 0], 3),
     "instruction 2 (code 9): qubit operand a out of range: 3 (num_qubits 3)"),
    (on.clifford_state_vector, ([0] * 12, 2), "array.get: index out of range (i,a.len):12, 12"),
    # The noisy sampler refuses unknown codes, bad operands and probabilities
    # before any work, with the stream's message style.
    (lambda *a: on.clifford_sample_noisy(*a, [0.1]), ([0, 0, 0, 18, 0, 0, 9, 0, 0], 1, [], 1, 0),
     "instruction 1 (code 18): unknown instruction code"),
    (lambda *a: on.clifford_sample_noisy(*a, [0.1]), ([-1, 0, 0], 1, [], 1, 0),
     "instruction 0 (code -1): unknown instruction code"),
    (lambda *a: on.clifford_sample_noisy(*a, [0.1]), ([9, 0, 0, 11, 1, 0], 1, [], 1, 0),
     "instruction 1 (code 11): qubit operand a out of range: 1 (num_qubits 1)"),
    (lambda *a: on.clifford_sample_noisy(*a, [0.1]), ([12, 0, 1, 9, 0, 0], 1, [], 1, 0),
     "instruction 0 (code 12): probability index b out of range: 1 (len(probabilities) 1)"),
    (lambda *a: on.clifford_sample_noisy(*a, [0.1]), ([17, -1, 0], 2, [], 1, 0),
     "instruction 0 (code 17): probability index a out of range: -1 (len(probabilities) 1)"),
    (lambda *a: on.clifford_sample_noisy(*a, [0.1]), ([16, 0, 1, 17, 0, 0], 2, [], 1, 0),
     "instruction 0 (code 16): no noise_probability (code 17) before this depolarize2"),
    (lambda *a: on.clifford_sample_noisy(*a, [0.1]), ([17, 0, 0, 16, 1, 1], 2, [], 1, 0),
     "instruction 1 (code 16): qubit operands a and b are the same qubit: 1"),
    (lambda *a: on.clifford_sample_noisy(*a, [0.5, math.nan]), ([15, 0, 1, 9, 0, 0], 1, [], 0, 0),
     "instruction 0 (code 15): probabilities[1] is not in [0, 1]: nan"),
    (lambda *a: on.clifford_sample_noisy(*a, [-0.0, -1e-300]), ([13, 0, 1], 1, [], 1, 0),
     "instruction 0 (code 13): probabilities[1] is not in [0, 1]: -1e-300"),
    (lambda *a: on.clifford_sample_noisy(*a, [0.5, 1.0000000000000002]), ([9, 0, 0], 1, [], 1, 0),
     "probabilities[1] is not in [0, 1]: 1.0000000000000002"),
    (lambda *a: on.clifford_sample_noisy(*a, [math.inf]), ([], 1, [], 1, 0), "probabilities[0] is not in [0, 1]: inf"),
    (lambda *a: on.clifford_sample_noisy(*a, []), ([9, 0, 0, 9, 0, 0], 1, [], -4, 0), "negative .len:-8"),
])
def test_rejections(fn, args, message):
    raises(RuntimeError, PREFIX + message, fn, *args)


@pytest.mark.parametrize("fn, args", [
    (on.clifford_tableau, ([], 2 ** 40)),
    (on.clifford_tableau, ([], 2 ** 63 - 1)),
    (on.clifford_run, ([9, 0, 0], 2 ** 40, [], 1, 0)),
    (on.clifford_run, ([9, 0, 0, 9, 0, 0], 1, [], 2 ** 62, 0)),
    (lambda *a: on.clifford_sample_noisy(*a, []), ([11, 0, 0, 9, 0, 0], 1, [], 2 ** 62, 0)),
    (lambda *a: on.clifford_sample_noisy(*a, []), ([9, 0, 0], 2 ** 40, [], 1, 0)),
    (on.clifford_state_vector, (on.clifford_tableau([], 40), 40)),
    (on.clifford_state_vector, ([0] * (2 * 13 * 27), 13)),
])
def test_huge_sizes_are_memory_errors(fn, args):
    raises(MemoryError, PREFIX + "memory allocation failure", fn, *args)



@pytest.mark.parametrize("n", [3037000499, 2**62, 2**63 - 1])
def test_state_vector_of_unrepresentable_register_is_memory_error(n):
    with pytest.raises(MemoryError):
        on.clifford_state_vector([0] * 9, n)


def test_ignored_codes_never_address_columns():
    t = on.NativeTableau(8)
    before = t.stabilizer_tableau()
    t.apply(-1, -2**62, 4)
    t.apply(42, 2**63 - 1, -(2**63))
    assert t.stabilizer_tableau() == before
    assert on.clifford_tableau([8, 0, 1, -1, -(2**63 - 1), 2], 2) == on.clifford_tableau([8, 0, 1], 2)
