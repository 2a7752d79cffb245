"""Ctrl-C during long calls: a real SIGINT, sent while the call runs, must end
the call with KeyboardInterrupt, with no result and with the persistent
object unchanged.

The calls hold the interpreter lock throughout, so a Python timer thread
could not run until they return: the signal comes from a timer in a separate
process, which notes the time just before it sends SIGINT. The bound on the
delay is generous: it only catches a call that ignores the signal and runs
on. How soon a call answers is measured, not asserted:
bench/interrupt_targets.py (a row of `python bench/run.py --targets`)."""

import os
import signal
import subprocess
import sys
import time

import numpy as np
import pytest

import orvane_native as on
from helpers import to_flat

RNG = np.random.default_rng(7)
SEND_AFTER = 0.3  # seconds into the call
IGNORED = 3.0  # a call still running this long after the signal ignored it


# Inputs come from plain random draws: a numpy factorisation would leave
# BLAS threads spinning, competing with the call for the processor.
def long_pauli():
    # 11 qubits: the strings side by side in vector lanes take seconds here
    # (9 qubits now end within the 0.3 s before the signal).
    m = RNG.normal(size=(2048, 2048)) + 1j * RNG.normal(size=(2048, 2048))
    flat = to_flat(m)
    return lambda: on.pauli_expansion(flat, 11)


def long_simultaneous_diag():
    # Fully degenerate real part: the whole imaginary part is rediagonalised.
    n = 200
    h = RNG.normal(size=(n, n))
    return lambda: on.simultaneous_diag(np.eye(n).ravel().tolist(), (h + h.T).ravel().tolist(), n)


def long_jacobi_nan():
    n = 200
    m = RNG.normal(size=(n, n))
    m[3, 5] = m[5, 3] = np.nan  # never converges: every sweep runs
    return lambda: on.jacobi_eig((m + m.T).ravel().tolist(), n)


def long_clifford_run():
    # Long in compiling and in sampling, with a record of modest size (its
    # zero-filled allocation cannot be interrupted).
    n = 4000
    circuit = [0, 0, 0] + [x for q in range(n - 1) for x in (6, q, q + 1)]
    circuit += [x for q in range(n) for x in (9, q, 0)]
    return lambda: on.clifford_run(circuit, n, [], 3000, 1)


def long_noisy_sampling():
    # A chain of CNOTs with depolarizing noise after each: long in compiling
    # (every error spreads down the chain) and in sampling.
    n = 2000
    circuit = [0, 0, 0] + [x for q in range(n - 1) for x in (6, q, q + 1, 15, q + 1, 0)]
    circuit += [x for q in range(n) for x in (9, q, 0)]
    return lambda: on.clifford_sample_noisy(circuit, n, [], 500, 1, [0.01])


def long_density_channel():
    # 11 qubits, 8 random operators on 8 targets: the general kernel, in place.
    rho = on.NativeDensity(11)
    rho.reset()
    rho.apply_channel(to_flat(np.array([[0.6, 0.8], [0.8, -0.6]])), 1, [4])
    ops = to_flat((RNG.normal(size=(8 * 256, 256)) + 1j * RNG.normal(size=(8 * 256, 256))) / 128)
    return rho, lambda: rho.apply_channel(ops, 8, [0, 1, 2, 3, 5, 6, 7, 8])


def long_state_gate():
    # A dense gate on 9 of 20 qubits, in place: the general kernel, which polls.
    s = on.NativeState(20)
    s.reset()
    gate = [2.0**-10, 0.0] * 4**9
    return s, lambda: s.apply_gate(gate, list(range(10, 19)))


def long_list_gate():
    state = [1.0, 0.0] + [0.0] * (2 * 2**20 - 2)
    gate = [2.0**-10, 0.0] * 4**9
    return lambda: on.apply_gate(state, gate, 20, list(range(10, 19)))


def long_density_one_target():
    # 400 one-qubit operators on 11 qubits: the one-target kernel, in place.
    rho = on.NativeDensity(11)
    rho.reset()
    rho.apply_channel(to_flat(np.array([[0.6, 0.8], [0.8, -0.6]])), 1, [4])
    ops = (RNG.normal(size=400 * 8) / 8).tolist()
    return rho, lambda: rho.apply_channel(ops, 400, [5])


CASES = {
    "pauli_expansion": lambda: (None, long_pauli()),
    "simultaneous_diag": lambda: (None, long_simultaneous_diag()),
    "jacobi_eig_nan": lambda: (None, long_jacobi_nan()),
    "clifford_run": lambda: (None, long_clifford_run()),
    "clifford_sample_noisy": lambda: (None, long_noisy_sampling()),
    "NativeDensity.apply_channel": long_density_channel,
    "NativeDensity.apply_channel[one target]": long_density_one_target,
    "NativeState.apply_gate": long_state_gate,
    "apply_gate": lambda: (None, long_list_gate()),
}


# Sleeps, prints the time (the clock of time.time()) and sends SIGINT to the
# test process.
KILLER = "import os, signal, sys, time; time.sleep(float(sys.argv[2])); print(time.time(), flush=True); " \
         "os.kill(int(sys.argv[1]), signal.SIGINT)"


@pytest.fixture(autouse=True)
def sigint_raises():
    """SIGINT raises KeyboardInterrupt during each test, also where the
    process started with the signal ignored (a background job of a
    non-interactive shell), as Python then installs no handler of its own."""
    previous = signal.signal(signal.SIGINT, signal.default_int_handler)
    yield
    signal.signal(signal.SIGINT, previous)


@pytest.mark.parametrize("case", sorted(CASES))
def test_sigint_interrupts_long_calls_promptly(case):
    obj, call = CASES[case]()
    before = bytes(memoryview(obj)) if obj is not None else None
    killer = subprocess.Popen([sys.executable, "-c", KILLER, str(os.getpid()), str(SEND_AFTER)],
                              stdout=subprocess.PIPE, text=True)
    try:
        with pytest.raises(KeyboardInterrupt):
            call()
        arrived = time.time()
    finally:
        out, _ = killer.communicate(timeout=30)
    assert out.strip(), "the call ended before the signal was sent"
    sent = float(out)
    assert arrived - sent < IGNORED, f"KeyboardInterrupt came {arrived - sent:.3f} s after SIGINT"
    if obj is not None:
        assert bytes(memoryview(obj)) == before
