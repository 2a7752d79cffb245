"""The three classes: construction, repr, identity hashing and equality,
num_qubits, subclassing, method tables and buffer export."""

import gc
import pathlib
import sys
import weakref

import pytest

import orvane_native as on

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "tools"))
import surface_table  # noqa: E402

CLASSES = [on.NativeTableau, on.NativeState, on.NativeDensity]
BUFFERED = [on.NativeState, on.NativeDensity]

DOCS = {
    "NativeTableau": "NativeTableau is a stabilizer state whose tableau lives in `@[ts_buffer]`\n"
    "fields for the object's lifetime, so a circuit can be applied one gate at a\n"
    "time without rebuilding the state.",
    "NativeState": "NativeState is the state vector of a circuit, as a flat interleaved complex\n"
    "buffer (`[re0, im0, re1, im1, ...]`).",
    "NativeDensity": "NativeDensity is the density matrix of a circuit, as a flat interleaved\n"
    "complex buffer of `dim` by `dim` entries.",
}

# The methods of each class as the surface table declares them (the rows the
# method tables are built from): name, signature and docstring, in order.
METHODS = {c.name: c.methods for c in surface_table.read_table().classes}

MEASURE_DOC = "measure samples `targets` with a uniform draw `u` in [0, 1), collapses the\nstate and returns the outcome."


def test_module_holds_the_classes():
    for cls in CLASSES:
        assert getattr(on, cls.__name__) is cls
        assert cls.__module__ == "orvane_native"
        assert cls.__qualname__ == cls.__name__


@pytest.mark.parametrize("cls", CLASSES)
def test_docstrings_and_method_tables(cls):
    assert cls.__doc__ == DOCS[cls.__name__]
    public = sorted(name for name in vars(cls) if not name.startswith("_") and callable(getattr(cls, name)))
    declared = METHODS[cls.__name__]
    assert public == sorted(m.sig.name for m in declared)
    assert [getattr(cls, m.sig.name).__doc__ for m in declared] == [m.doc for m in declared]


def test_shared_docstrings():
    assert on.NativeState.measure.__doc__ == MEASURE_DOC
    assert on.NativeDensity.measure.__doc__ == MEASURE_DOC
    assert on.NativeState.probabilities.__doc__ == on.NativeDensity.probabilities.__doc__
    assert on.NativeDensity.apply_channel.__doc__ == (
        "apply_channel applies the Kraus operators in `operators` (concatenated) to\n"
        "`targets`: `rho -> sum_i K_i rho K_i^dagger`.")


@pytest.mark.parametrize("cls, n, text", [
    (on.NativeState, 2, "NativeState(state: buffer(8), num_qubits: 2)"),
    (on.NativeState, 0, "NativeState(state: buffer(2), num_qubits: 0)"),
    (on.NativeDensity, 1, "NativeDensity(rho: buffer(8), num_qubits: 1)"),
    (on.NativeDensity, 2, "NativeDensity(rho: buffer(32), num_qubits: 2)"),
    (on.NativeTableau, 3, "NativeTableau(num_qubits: 3)"),
])
def test_repr(cls, n, text):
    assert repr(cls(n)) == text


@pytest.mark.parametrize("cls", CLASSES)
def test_constructor_binding(cls):
    name = cls.__name__
    assert repr(cls(num_qubits=1)) == repr(cls(1))
    for args, kwargs, exc, message in [
        ((2, 3), {}, TypeError, f"{name}() takes at most 1 argument (2 given)"),
        ((), {"n": 2}, TypeError, f"{name}() got an unexpected keyword argument 'n'"),
        ((), {}, TypeError, f"{name}() missing required argument: 'num_qubits'"),
        ((1,), {"num_qubits": 1}, TypeError, f"{name}() got multiple values for argument 'num_qubits'"),
        (("2",), {}, TypeError, "num_qubits: expected int, got str"),
        ((True,), {}, TypeError, "num_qubits: expected int, got bool"),
        ((2.0,), {}, TypeError, "num_qubits: expected int, got float"),
        ((2**63,), {}, OverflowError, "num_qubits: value out of range for int"),
        ((-1,), {}, RuntimeError, "panic in Kelvo code: num_qubits must not be negative: -1"),
    ]:
        with pytest.raises(exc) as info:
            cls(*args, **kwargs)
        assert type(info.value) is exc and str(info.value) == message


@pytest.mark.parametrize("cls, n", [(on.NativeState, 62), (on.NativeState, 60), (on.NativeDensity, 31),
                                    (on.NativeDensity, 30), (on.NativeDensity, 25), (on.NativeTableau, 2**31),
                                    (on.NativeTableau, 10**9)])
def test_unallocatable_sizes_are_memory_errors(cls, n):
    with pytest.raises(MemoryError) as info:
        cls(n)
    assert str(info.value) == "panic in Kelvo code: memory allocation failure"


@pytest.mark.parametrize("cls", CLASSES)
def test_identity_hash_and_equality(cls):
    a, b = cls(1), cls(1)
    assert a == a and not (a != a)
    assert a != b and not (a == b)
    assert hash(a) == id(a) >> 4
    assert (a == 1) is False and (a != "x") is True
    for op in ("<", "<=", ">", ">="):
        with pytest.raises(TypeError):
            eval(f"a {op} a")


@pytest.mark.parametrize("cls", CLASSES)
def test_num_qubits_attribute(cls):
    obj = cls(2)
    assert obj.num_qubits == 2
    obj.num_qubits = 5
    assert obj.num_qubits == 5
    assert "num_qubits: 5" in repr(obj)
    for value, exc, message in [("x", TypeError, "value: expected int, got str"),
                                (True, TypeError, "value: expected int, got bool"),
                                (2**64, OverflowError, "value: value out of range for int")]:
        with pytest.raises(exc) as info:
            obj.num_qubits = value
        assert str(info.value) == message
    assert obj.num_qubits == 5  # a failed set keeps the old value
    with pytest.raises(AttributeError) as info:
        del obj.num_qubits
    assert str(info.value) == f"{cls.__name__}.num_qubits cannot be deleted"


@pytest.mark.parametrize("cls", CLASSES)
def test_subclass_from_python(cls):
    class Sub(cls):
        extra = 3

        def twice(self):
            return 2 * self.num_qubits

    s = Sub(num_qubits=2)
    assert isinstance(s, cls) and s.twice() == 4 and s.extra == 3
    assert repr(s).startswith(cls.__name__ + "(")
    s.tag = "attribute dict of the subclass"
    ref = weakref.ref(s)
    del s
    gc.collect()
    assert ref() is None


@pytest.mark.parametrize("cls", CLASSES)
def test_no_argument_methods_refuse_arguments(cls):
    with pytest.raises(TypeError):
        cls(1).reset(1)


@pytest.mark.parametrize("cls", BUFFERED)
def test_zero_qubit_buffer_holds_one_complex_entry(cls):
    obj = cls(0)
    mv = memoryview(obj)
    assert mv.shape == (2,) and mv.tolist() == [0.0, 0.0]
    obj.set_zero_state()
    assert mv.tolist() == [1.0, 0.0]
    mv.release()


@pytest.mark.parametrize("cls", BUFFERED)
@pytest.mark.parametrize("n", [0, 3, 11])
def test_buffer_starts_on_whole_cache_lines(cls, n):
    import numpy as np
    view = np.frombuffer(cls(n), dtype=np.float64)
    assert view.ctypes.data % 128 == 0


def test_memoryview_of_density_and_tableau():
    mv = memoryview(on.NativeDensity(1))
    assert mv.shape == (8,) and mv.format == "d" and not mv.readonly
    with pytest.raises(TypeError):
        memoryview(on.NativeTableau(1))


@pytest.mark.parametrize("cls", BUFFERED)
def test_views_keep_the_object_alive_and_release_cleanly(cls):
    class Traced(cls):  # the base classes take no weak references; a subclass does
        pass

    obj = Traced(2)
    obj.set_zero_state()
    ref_views = [memoryview(obj) for _ in range(3)]
    ref = weakref.ref(obj)
    del obj
    gc.collect()
    assert ref() is not None  # views hold the instance
    assert ref_views[0][0] == 1.0
    for v in ref_views:
        v.release()
    gc.collect()
    assert ref() is None


# An instance whose construction failed can still reach Python code (a
# finaliser, which may resurrect it). Every method must then refuse it or work
# on an empty record; the process must never crash. Run in a subprocess so a
# crash fails the test instead of ending the run.
FAILED_CONSTRUCTION = r"""
import ctypes
import orvane_native as on
CALLS = {
    "NativeTableau": [("reset", ()), ("apply", (0, 0, 0)), ("measure", (0, 0.5)), ("state_vector", ()),
                      ("stabilizer_tableau", ())],
    "NativeState": [("reset", ()), ("set_zero_state", ()), ("amplitudes", ()), ("set_amplitudes", ([1.0],)),
                    ("apply_gate", ([0.0, 0, 1, 0, 1, 0, 0, 0], [0])), ("probabilities", ([],)),
                    ("measure", ([], 0.5))],
    "NativeDensity": [("reset", ()), ("set_zero_state", ()), ("density_matrix", ()),
                      ("set_from_amplitudes", ([1.0, 0.0],)), ("apply_channel", ([1.0, 0, 0, 0, 0, 0, 1, 0], 1, [0])),
                      ("probabilities", ([],)), ("measure", ([], 0.5))],
}
kept, outcomes = [], []

def exercise(obj):
    for name, args in CALLS[type(obj).__bases__[0].__name__]:
        for n in (None, 0, 1):
            if n is not None:
                obj.num_qubits = n
            try:
                outcomes.append((name, getattr(obj, name)(*args)))
            except RuntimeError as e:
                outcomes.append((name, str(e)))
    if type(obj).__bases__[0] is not on.NativeTableau:
        with memoryview(obj) as mv:
            assert mv.tolist() == [] and mv.format == "d"
        # An empty export still points somewhere: consumers may pass it to memcpy.
        assert ctypes.addressof((ctypes.c_double * 0).from_buffer(obj)) != 0
    repr(obj)

for cls in (on.NativeTableau, on.NativeState, on.NativeDensity):
    S = type("S", (cls,), {"__del__": lambda s: (exercise(s), kept.append(s))})
    for n in (-1, 2 ** 62):
        try:
            S(n)
        except (RuntimeError, MemoryError):
            pass
for obj in kept:  # resurrected: later calls too
    exercise(obj)
assert len(kept) == 6, kept
assert all(o is None or isinstance(o, (str, list, int)) for _, o in outcomes)
assert not any(isinstance(o, list) and o for _, o in outcomes), outcomes  # nothing but empty results
print("ok", len(outcomes))
"""


def test_failed_construction_is_safe_in_finalisers():
    import subprocess
    import sys

    proc = subprocess.run([sys.executable, "-c", FAILED_CONSTRUCTION], capture_output=True, text=True, timeout=60)
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout.startswith("ok ")


@pytest.mark.parametrize("cls", BUFFERED)
def test_measure_never_collapses_onto_an_impossible_outcome(cls):
    # X on qubit 1, then |0> rotated by 0.15 on qubit 0, leaves outcomes 0 and
    # 2 of [0, 1] impossible. A draw past the total (rounding, u >= 1, NaN)
    # takes the last possible outcome, 3; one below the range (u < 0) the
    # first, 1. The module's sample_outcome keeps its own rule there: 0.
    import math

    c, s = math.cos(0.15), math.sin(0.15)
    rotation = [c, 0.0, -s, 0.0, s, 0.0, c, 0.0]
    x = [0.0, 0.0, 1.0, 0.0, 1.0, 0.0, 0.0, 0.0]
    for u, expected, sampled in ((0.9999999999999999, 3, 3), (1.0, 3, 3), (5.0, 3, 3), (math.inf, 3, 3),
                                 (math.nan, 3, 3), (-1.0, 1, 0), (-1e-300, 1, 0), (-math.inf, 1, 0)):
        obj = cls(2)
        obj.reset()
        for gate, target in ((x, 1), (rotation, 0)):
            if cls is on.NativeState:
                obj.apply_gate(gate, [target])
            else:
                obj.apply_channel(gate, 1, [target])
        probabilities = obj.probabilities([0, 1])
        assert probabilities[0] == probabilities[2] == 0.0
        outcome = obj.measure([0, 1], u)
        assert probabilities[outcome] > 0 and outcome == expected, u
        assert obj.probabilities([0, 1])[outcome] == pytest.approx(1.0), u
        assert on.sample_outcome(probabilities, u) == sampled, u
