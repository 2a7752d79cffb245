"""Ctrl-C during long calls: a real SIGINT, sent while the call runs, must end
the call with KeyboardInterrupt within 0.2 s, with no result and with the
persistent object unchanged.

The calls hold the interpreter lock throughout, so a Python timer thread
could not run until they return: the signal comes from a timer in a separate
process, which notes the time just before it sends SIGINT."""

import os
import subprocess
import sys
import time

import numpy as np
import pytest

import orvane_native as on
from helpers import to_flat

RNG = np.random.default_rng(7)
SEND_AFTER = 0.3  # seconds into the call
LATENCY = 0.2


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


def long_density_channel():
    # 11 qubits, 8 random operators on 8 targets: the general kernel, in place.
    rho = on.NativeDensity(11)
    rho.reset()
    rho.apply_channel(to_flat(np.array([[0.6, 0.8], [0.8, -0.6]])), 1, [4])
    ops = to_flat((RNG.normal(size=(8 * 256, 256)) + 1j * RNG.normal(size=(8 * 256, 256))) / 128)
    return rho, lambda: rho.apply_channel(ops, 8, [0, 1, 2, 3, 5, 6, 7, 8])


CASES = {
    "pauli_expansion": lambda: (None, long_pauli()),
    "simultaneous_diag": lambda: (None, long_simultaneous_diag()),
    "jacobi_eig_nan": lambda: (None, long_jacobi_nan()),
    "clifford_run": lambda: (None, long_clifford_run()),
    "NativeDensity.apply_channel": long_density_channel,
}


# Sleeps, prints the time (the clock of time.time()) and sends SIGINT to the
# test process.
KILLER = "import os, signal, sys, time; time.sleep(float(sys.argv[2])); print(time.time(), flush=True); " \
         "os.kill(int(sys.argv[1]), signal.SIGINT)"


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
    assert arrived - sent < LATENCY, f"KeyboardInterrupt came {arrived - sent:.3f} s after SIGINT"
    if obj is not None:
        assert bytes(memoryview(obj)) == before
