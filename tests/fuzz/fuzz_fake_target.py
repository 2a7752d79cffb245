"""A stand-in module with one fault of each kind, for testing the fuzz harness itself."""

import os
import signal
import time


def fine(n):
    if type(n) is not int:
        raise TypeError("n: expected int")
    return n


def crash(n):
    if type(n) is int:
        os.kill(os.getpid(), signal.SIGKILL)
    raise TypeError("n: expected int")


def hang(n):
    time.sleep(3600)


def stray_exception(n):
    raise ValueError("not one of the allowed exceptions")


def wrong_kind(n):
    return [1, 2]  # ints where floats are promised


def mutator(a):
    if isinstance(a, list):
        a.append(1.0)


fine.__doc__ = "fine(n: int) -> int"
crash.__doc__ = "crash(n: int) -> None"
hang.__doc__ = "hang(n: int) -> None"
stray_exception.__doc__ = "stray_exception(n: int) -> None"
wrong_kind.__doc__ = "wrong_kind(n: int) -> Sequence[float]"
mutator.__doc__ = "mutator(a: Sequence[float]) -> None"
