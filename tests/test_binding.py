"""Argument binding, conversion and the failure table, through real functions."""

import importlib.metadata
import re

import pytest

import orvane_native as on
from expect_error import raises


class IntSub(int):
    pass


class FloatSub(float):
    pass


class ListSub(list):
    pass


class TupleSub(tuple):
    pass


class LongLen(list):
    def __len__(self):
        return super().__len__() + 2


class ShortLen(list):
    def __len__(self):
        return 1


PROBS = [0.5, 0.5]
STATE = [1.0, 0.0, 0.0, 0.0]


@pytest.mark.parametrize(
    "call, exc, message",
    [
        (lambda: on.sample_outcome(PROBS, 0.1, 3), TypeError,
         "sample_outcome() takes at most 2 argument(s) but 3 were given"),
        (lambda: on.sample_outcome(PROBS, 0.1, 3, u=1), TypeError,
         "sample_outcome() takes at most 2 arguments (3 given)"),
        (lambda: on.state_probabilities(STATE, [0], 1, 4, num_qubits=1), TypeError,
         "state_probabilities() takes at most 3 arguments (4 given)"),
        (lambda: on.sample_outcome(PROBS, v=1), TypeError,
         "sample_outcome() got an unexpected keyword argument 'v'"),
        (lambda: on.sample_outcome(PROBS, probabilities=PROBS), TypeError,
         "sample_outcome() got multiple values for argument 'probabilities'"),
        (lambda: on.sample_outcome(u=0.1, U=0.1), TypeError,
         "sample_outcome() got an unexpected keyword argument 'U'"),
        (lambda: on.sample_outcome(PROBS), TypeError,
         "sample_outcome() missing required argument: 'u'"),
        (lambda: on.sample_outcome(probabilities=PROBS), TypeError,
         "sample_outcome() missing required argument: 'u'"),
        (lambda: on.sample_outcome(u=0.3), TypeError,
         "sample_outcome() missing required argument: 'probabilities'"),
        (lambda: on.sample_outcome(), TypeError,
         "sample_outcome() missing required argument: 'probabilities'"),
        (lambda: on.sample_outcome(range(2), 0.1), TypeError,
         "sample_outcome(): probabilities expected a sequence, got range"),
        (lambda: on.sample_outcome(None, 0.1), TypeError,
         "sample_outcome(): probabilities expected a sequence, got NoneType"),
        (lambda: on.sample_outcome(b"ab", 0.1), TypeError,
         "sample_outcome(): probabilities expected a sequence, got bytes"),
        (lambda: on.sample_outcome((x for x in PROBS), 0.1), TypeError,
         "sample_outcome(): probabilities expected a sequence, got generator"),
        (lambda: on.sample_outcome(PROBS, True), TypeError, "u: expected int, got bool"),
        (lambda: on.sample_outcome(PROBS, "x"), TypeError, "u: expected float, got str"),
        (lambda: on.sample_outcome(PROBS, 1j), TypeError, "u: expected float, got complex"),
        (lambda: on.sample_outcome(PROBS, None), TypeError, "u: expected float, got NoneType"),
        # Long type names are cut at 63 bytes, back to a whole UTF-8 character.
        (lambda: on.dagger([0.0, 0.0], type("é" * 40, (), {})()), TypeError,
         "dim: expected int, got " + "é" * 31),
        (lambda: on.dagger([0.0, 0.0], type("x" + "€" * 30, (), {})()), TypeError,
         "dim: expected int, got x" + "€" * 20),
        (lambda: on.dagger([0.0, 0.0], type("n" * 70, (), {})()), TypeError, "dim: expected int, got " + "n" * 63),
        (lambda: on.sample_outcome(PROBS, 2**63), OverflowError, "u: value out of range for int"),
        (lambda: on.sample_outcome([1.0, "x"], 0.1), TypeError, "probabilities: expected float, got str"),
        (lambda: on.sample_outcome([1.0, True], 0.1), TypeError, "probabilities: expected int, got bool"),
        (lambda: on.sample_outcome([1.0, 2**64], 0.1), OverflowError,
         "probabilities: value out of range for int"),
        (lambda: on.state_probabilities(STATE, [0], True), TypeError, "num_qubits: expected int, got bool"),
        (lambda: on.state_probabilities(STATE, [0], 1.0), TypeError, "num_qubits: expected int, got float"),
        (lambda: on.state_probabilities(STATE, [0], 2**63), OverflowError,
         "num_qubits: value out of range for int"),
        (lambda: on.state_probabilities(STATE, [0], -2**63 - 1), OverflowError,
         "num_qubits: value out of range for int"),
        (lambda: on.state_probabilities(STATE, [0.0], 1), TypeError, "targets: expected int, got float"),
        (lambda: on.state_probabilities(STATE, [False], 1), TypeError, "targets: expected int, got bool"),
        (lambda: on.state_probabilities(STATE, (0, 2**70), 1), OverflowError,
         "targets: value out of range for int"),
        (lambda: on.state_probabilities(STATE, {0}, 1), TypeError,
         "state_probabilities(): targets expected a sequence, got set"),
        (lambda: on.sample_outcome(PROBS, 1, 2, 3), TypeError,
         "sample_outcome() takes at most 2 argument(s) but 4 were given"),
    ],
)
def test_failure_table(call, exc, message):
    raises(exc, message, call)


def test_version_is_the_package_version_and_takes_no_arguments():
    # One source for both: the version in pyproject.toml reaches the wheel's
    # metadata and, through the build, the compiled module.
    assert on.version() == importlib.metadata.version("orvane_native")
    assert re.fullmatch(r"\d+\.\d+\.\d+\S*", on.version())
    with pytest.raises(TypeError):
        on.version(1)


def test_first_bad_value_reported_before_missing_later_argument():
    # Positional path: parameter 0 is converted before parameter 1 is found missing.
    raises(TypeError, "sample_outcome(): probabilities expected a sequence, got int", on.sample_outcome, 5)


def test_keyword_missing_reported_before_conversion():
    raises(TypeError, "collapse_state() missing required argument: 'num_qubits'",
           on.collapse_state, state=7, targets=[0], outcome=0)


def test_accepted_kinds_and_keyword_order():
    assert on.sample_outcome(PROBS, 1) == 1  # an int where a float is expected
    assert on.sample_outcome(u=FloatSub(0.25), probabilities=TupleSub((0.5, 0.5))) == 0
    assert on.sample_outcome(ListSub([0.5, 0.5]), 0.75) == 1
    assert on.state_probabilities(num_qubits=IntSub(1), targets=[IntSub(0)], state=STATE) == [1.0, 0.0]
    # tuples mixing ints and floats, ints converted to floats
    assert on.apply_gate((1, 0, 0, 0), (0, 0, 1, 0, 1, 0, 0.0, 0), 1, (0,)) == [0.0, 0.0, 1.0, 0.0]


def test_huge_int_subclass_overflows():
    raises(OverflowError, "num_qubits: value out of range for int",
           on.state_probabilities, STATE, [0], IntSub(2**64))


def test_lying_len_longer():
    raises(TypeError, "probabilities: expected float, got None", on.sample_outcome, LongLen([0.5, 0.5]), 0.1)
    raises(TypeError, "targets: missing argument", on.state_probabilities, STATE, LongLen([0]), 1)


def test_lying_len_shorter_ignores_extra_elements():
    # Only the first element is seen: probabilities [0.2].
    assert on.sample_outcome(ShortLen([0.2, 0.7]), 0.5) == 0
    assert on.state_probabilities(STATE, ShortLen([0, 5]), 1) == [1.0, 0.0]


def test_failures_leave_exactly_one_exception_and_arguments_untouched():
    state = [1.0, 0.0, 0.0, 0.0]
    with pytest.raises(RuntimeError):
        on.apply_gate(state, [0.0] * 8, 1, [3])
    assert state == [1.0, 0.0, 0.0, 0.0]


def test_docstrings_and_names():
    for name in ["apply_gate", "state_probabilities", "collapse_state", "sample_outcome"]:
        fn = getattr(on, name)
        assert fn.__name__ == name
        assert re.fullmatch(name + r"\(.*\) -> \w+(\[\w+\])?", fn.__doc__)
    assert on.version.__doc__ == "version() -> str"
    assert on.__doc__ == "clifford_run runs a Clifford circuit `repetitions` times and returns the"
    assert not hasattr(on, "__version__")
