"""NativeState: the persistent state vector, its methods and its zero-copy buffer."""

import gc
import math
import sys

import numpy as np
import pytest

import orvane_native as on
from helpers import random_state, random_unitary, to_complex, to_flat

RNG = np.random.default_rng(7)
X = [0, 0, 1, 0, 1, 0, 0, 0]
H = [2 ** -0.5, 0, 2 ** -0.5, 0, 2 ** -0.5, 0, -(2 ** -0.5), 0]


def fresh(n):
    s = on.NativeState(n)
    s.set_zero_state()
    return s


def test_fresh_buffer_is_zero_until_initialised():
    s = on.NativeState(2)
    assert s.amplitudes() == [0.0] * 8
    s.set_zero_state()
    assert s.amplitudes() == [1.0] + [0.0] * 7


def test_set_amplitudes_zero_tail_and_extra_ignored():
    s = on.NativeState(1)
    s.set_amplitudes([0.5])
    assert s.amplitudes() == [0.5, 0, 0, 0]
    s.set_amplitudes([1, 2, 3, 4, 5, 6])
    assert s.amplitudes() == [1, 2, 3, 4]


def test_reset_after_gates():
    s = fresh(3)
    s.apply_gate(H, [0])
    s.apply_gate(X, [2])
    s.reset()
    assert s.amplitudes() == [1.0] + [0.0] * 15


@pytest.mark.parametrize("n", [1, 3, 5])
def test_step_by_step_matches_stateless_function(n):
    s = fresh(n)
    flat = s.amplitudes()
    for _ in range(12):
        k = int(RNG.integers(1, min(n, 3) + 1))
        targets = [int(t) for t in RNG.choice(n, size=k, replace=False)]
        gate = to_flat(random_unitary(2 ** k, RNG))
        s.apply_gate(gate, targets)
        flat = on.apply_gate(flat, gate, n, targets)
        assert s.amplitudes() == flat  # the same kernels, bit for bit


def test_measure_documented_examples():
    s = on.NativeState(1)
    r = 2 ** -0.5
    s.set_amplitudes([r, 0, r, 0])
    assert s.measure([0], 0.99) == 1
    assert s.amplitudes() == [0, 0, 1, 0]
    s.set_amplitudes([r, 0, r, 0])
    assert s.measure([0], 0.2) == 0
    assert s.amplitudes() == [1, 0, 0, 0]
    s.set_amplitudes([r, 0, r, 0])
    assert s.measure([0], 1.0) == 1


def test_measure_matches_stateless_chain():
    n, targets = 4, [2, 0]
    psi = to_flat(random_state(n, RNG))
    for u in [0.0, 0.3, 0.61, 0.999]:
        s = on.NativeState(n)
        s.set_amplitudes(psi)
        probs = on.state_probabilities(psi, targets, n)
        outcome = on.sample_outcome(probs, u)
        assert s.probabilities(targets) == probs
        assert s.measure(targets, u) == outcome
        assert s.amplitudes() == on.collapse_state(psi, targets, outcome, n)


def test_zero_qubit_state():
    s = on.NativeState(0)
    assert repr(s) == "NativeState(state: buffer(2), num_qubits: 0)"
    s.set_zero_state()
    s.apply_gate([9.0], [4])  # num_qubits <= 0: nothing happens, nothing is checked
    assert s.amplitudes() == [1.0, 0.0]


def test_view_sees_every_gate_without_copy():
    s = fresh(2)
    view = np.frombuffer(s, dtype=np.complex128)
    s.apply_gate(H, [0])
    np.testing.assert_allclose(view, [2 ** -0.5, 0, 2 ** -0.5, 0])
    s.apply_gate(X, [1])
    np.testing.assert_allclose(view, [0, 2 ** -0.5, 0, 2 ** -0.5])
    s.measure([1], 0.5)
    np.testing.assert_allclose(view, [0, 2 ** -0.5, 0, 2 ** -0.5])
    s.reset()
    assert view.tolist() == [1, 0, 0, 0]


def test_memoryview_properties_and_writes():
    s = on.NativeState(2)
    mv = memoryview(s)
    assert (mv.format, mv.itemsize, mv.ndim, mv.shape, mv.nbytes, mv.readonly) == ("d", 8, 1, (8,), 64, False)
    s.set_zero_state()
    assert mv.tolist() == [1.0] + [0.0] * 7
    one = on.NativeState(1)
    w = memoryview(one)
    w[0] = 0.0
    w[2] = 1.0
    assert one.amplitudes() == [0.0, 0.0, 1.0, 0.0]
    mv.release()
    w.release()


def test_view_keeps_object_alive():
    s = fresh(3)
    s.apply_gate(X, [0])
    view = np.frombuffer(s, dtype=np.complex128)
    ref = sys.getrefcount(s)
    del s
    gc.collect()
    assert view[4] == 1.0  # storage still alive and readable
    view[4] = 0.5
    assert view.base is not None
    owner = view.base.obj if isinstance(view.base, memoryview) else view.base
    assert isinstance(owner, on.NativeState)
    assert owner.amplitudes()[8] == 0.5
    assert ref >= 2


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda s: s.apply_gate(X, [3]), "target out of range: 3 (num_qubits 3)"),
        (lambda s: s.apply_gate(X * 4, [0, 0]), "duplicate target: 0"),
        (lambda s: s.apply_gate(X[:7], [1]), "array.get: index out of range (i,a.len):7, 7"),
        (lambda s: s.apply_gate([0.0] * 31, [1, 2]), "array.get: index out of range (i,a.len):31, 31"),
        (lambda s: s.probabilities([5]), "target out of range: 5 (num_qubits 3)"),
        (lambda s: s.measure([1, 1], 0.5), "duplicate target: 1"),
        (lambda s: s.measure([-1], 0.5), "target out of range: -1 (num_qubits 3)"),
    ],
)
def test_rejections_leave_buffer_unchanged(call, message):
    s = on.NativeState(3)
    s.set_amplitudes(to_flat(random_state(3, RNG)))
    before = bytes(memoryview(s))
    with pytest.raises(RuntimeError) as info:
        call(s)
    assert str(info.value) == "panic in Kelvo code: " + message
    assert bytes(memoryview(s)) == before


@pytest.mark.parametrize("new_n", [5, 1, -1, 2**40])
def test_reassigned_num_qubits_is_rejected_by_methods_that_use_it(new_n):
    s = fresh(2)
    s.num_qubits = new_n
    assert repr(s) == f"NativeState(state: buffer(8), num_qubits: {new_n})"
    before = s.amplitudes()
    for call in (lambda: s.apply_gate(X, [0]), lambda: s.probabilities([0]), lambda: s.measure([0], 0.1)):
        with pytest.raises(RuntimeError, match="does not match num_qubits"):
            call()
    assert s.amplitudes() == before
    s.reset()  # methods that do not use num_qubits keep working on the buffer
    assert s.amplitudes() == [1.0] + [0.0] * 7


@pytest.mark.parametrize("n, exc, message", [
    (-1, RuntimeError, "panic in Kelvo code: num_qubits must not be negative: -1"),
    (62, MemoryError, "panic in Kelvo code: memory allocation failure"),
    (61, MemoryError, "panic in Kelvo code: memory allocation failure"),
    (60, MemoryError, "panic in Kelvo code: memory allocation failure"),
    (45, MemoryError, "panic in Kelvo code: memory allocation failure"),
    (2**62, MemoryError, "panic in Kelvo code: memory allocation failure"),
])
def test_constructor_rejections(n, exc, message):
    with pytest.raises(exc) as info:
        on.NativeState(n)
    assert type(info.value) is exc and str(info.value) == message
