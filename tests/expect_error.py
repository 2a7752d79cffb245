"""Checks of the exact exception a rejected call raises, shared by the tests."""

import pytest

PREFIX = "panic in Kelvo code: "


def raises(exc, message, fn, *args, **kwargs):
    """fn(*args, **kwargs) raises exactly `exc` (not a subclass) with text `message`."""
    with pytest.raises(exc) as info:
        fn(*args, **kwargs)
    assert type(info.value) is exc
    assert str(info.value) == message


def panics(message, fn, *args, **kwargs):
    """fn(*args, **kwargs) is rejected by the core: RuntimeError, PREFIX + `message`."""
    raises(RuntimeError, PREFIX + message, fn, *args, **kwargs)
