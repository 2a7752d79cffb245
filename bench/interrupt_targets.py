"""Ctrl-C latency of the long calls: each call is started N times and
interrupted at a different point of its run (from a tenth to four fifths of
its uninterrupted time, or of 0.6 s for a longer call); the figure is the time
from the signal to the KeyboardInterrupt caught in Python, median and worst,
and every interrupted call must have left its object byte for byte as it was.

    python bench/interrupt_targets.py [--trials 9] [--only NAME ...]
    python bench/run.py --targets          # the same rows among the other targets

The signal is SIGALRM from a kernel timer (setitimer), handled by Python's
own SIGINT handler (signal.default_int_handler), so that it raises
KeyboardInterrupt exactly as Ctrl-C does. The calls hold the interpreter
lock, so no Python thread could send it, and a timer in the kernel fires on
time where another process would add its own start-up and scheduling delay
to the figure.
"""

from __future__ import annotations

import argparse
import random
import signal
import statistics
import sys
import time
from collections.abc import Callable

import orvane_native as on

TARGET = 0.2  # seconds, the worst of the trials


def _flat(values) -> list[float]:
    out = []
    for z in values:
        out += [z.real, z.imag]
    return out


def _random_flat(count: int, scale: float, rng: random.Random) -> list[float]:
    return [(rng.random() - 0.5) * scale for _ in range(count)]


# Each maker returns (object or None, call): the object is what an
# interrupted call must leave unchanged.
def gate_state():
    s = on.NativeState(20)
    s.reset()
    gate = [2.0**-10, 0.0] * 4**9  # dense: every entry significant
    return s, lambda: s.apply_gate(gate, list(range(10, 19)))


def gate_list():
    state = [1.0, 0.0] + [0.0] * (2 * 2**20 - 2)
    gate = [2.0**-10, 0.0] * 4**9
    return None, lambda: on.apply_gate(state, gate, 20, list(range(10, 19)))


def measure_state():
    s = on.NativeState(20)
    s.set_amplitudes([2**-10, 0.0] * 2**20)
    return s, lambda: s.measure(list(range(20)), 0.3)  # the outcome index costs 20 steps per amplitude


def _density(n: int):
    d = on.NativeDensity(n)
    d.set_from_amplitudes([2 ** (-n / 2), 0.0] * 2**n)  # every entry non-zero
    return d


def channel_one_target():
    d = _density(11)
    ops = _random_flat(400 * 8, 0.1, random.Random(1))
    return d, lambda: d.apply_channel(ops, 400, [5])


def channel_general():
    d = _density(11)
    ops = _random_flat(8 * 2 * 256 * 256, 1 / 64, random.Random(2))
    return d, lambda: d.apply_channel(ops, 8, [0, 1, 2, 3, 5, 6, 7, 8])


def channel_diagonal():
    d = _density(12)
    ops = [0.0] * (2 * 2 * 16)
    for i, (a, b) in enumerate(((0.9, 0.9), (0.3, -0.3))):  # phase damping on two qubits
        for r in range(4):
            ops[i * 32 + 2 * (r * 4 + r)] = a if r in (0, 3) else b
    return d, lambda: d.apply_channel(ops, 2, [2, 9])


def channel_permutation():
    d = _density(12)
    cnot = [1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0]
    return d, lambda: d.apply_channel(cnot, 1, [2, 9])


def pauli():
    m = _random_flat(2 * 512 * 512, 1.0, random.Random(3))
    return None, lambda: on.pauli_expansion(m, 9)


def simultaneous_diag():
    n, rng = 200, random.Random(4)
    h = [[0.0] * n for _ in range(n)]
    for i in range(n):
        for j in range(i + 1):
            h[i][j] = h[j][i] = rng.random() - 0.5
    eye = [1.0 if i == j else 0.0 for i in range(n) for j in range(n)]
    return None, lambda: on.simultaneous_diag(eye, [x for row in h for x in row], n)


def jacobi_nan():
    n, rng = 200, random.Random(5)
    m = [[0.0] * n for _ in range(n)]
    for i in range(n):
        for j in range(i + 1):
            m[i][j] = m[j][i] = rng.random() - 0.5
    m[3][5] = m[5][3] = float("nan")  # never converges: every sweep runs
    return None, lambda: on.jacobi_eig([x for row in m for x in row], n)


def clifford_run():
    n = 4000
    circuit = [0, 0, 0] + [x for q in range(n - 1) for x in (6, q, q + 1)]
    circuit += [x for q in range(n) for x in (9, q, 0)]
    return None, lambda: on.clifford_run(circuit, n, [], 3000, 1)


CALLS: dict[str, tuple[str, Callable]] = {
    "state_gate": ("NativeState.apply_gate, dense gate on 9 of 20 qubits", gate_state),
    "list_gate": ("apply_gate, the same on a list of 2^21 floats", gate_list),
    "state_measure": ("NativeState.measure, all 20 qubits", measure_state),
    "channel_1q": ("NativeDensity.apply_channel, 400 one-qubit operators, 11 qubits", channel_one_target),
    "channel_general": ("NativeDensity.apply_channel, 8 operators on 8 of 11 qubits", channel_general),
    "channel_diagonal": ("NativeDensity.apply_channel, diagonal operators on 2 of 12 qubits", channel_diagonal),
    "channel_permutation": ("NativeDensity.apply_channel, CNOT as a channel, 12 qubits", channel_permutation),
    "pauli": ("pauli_expansion, 9 qubits", pauli),
    "simultaneous_diag": ("simultaneous_diag, n = 200, degenerate", simultaneous_diag),
    "jacobi_nan": ("jacobi_eig, n = 200, a NaN entry", jacobi_nan),
    "clifford_run": ("clifford_run, 4000 qubits, 3000 repetitions", clifford_run),
}


def _snapshot(obj) -> bytes | None:
    return bytes(memoryview(obj)) if obj is not None else None


CAP = 1.0  # seconds: a longer call is interrupted there the first time, not run to its end


def measure(make: Callable, trials: int) -> tuple[float, list[float]]:
    """(uninterrupted time of the call, or CAP when longer; latencies of
    `trials` interrupts). Raises when an interrupted call changed its object
    or a call ended before its signal."""
    obj, call = make()
    old = signal.signal(signal.SIGALRM, signal.default_int_handler)
    latencies = []
    try:
        # The shortest of two uninterrupted runs (the first also maps the
        # memory that later calls reuse), up to CAP.
        quiet = CAP
        for _ in range(2):
            start = time.perf_counter()
            signal.setitimer(signal.ITIMER_REAL, CAP)
            try:
                call()
                signal.setitimer(signal.ITIMER_REAL, 0)
                quiet = min(quiet, time.perf_counter() - start)
                obj, call = make()  # the call changed it
            except KeyboardInterrupt:
                pass  # longer than CAP this time; the object is as it was
        before = _snapshot(obj)
        for i in range(trials):
            frac = 0.1 + 0.7 * i / max(1, trials - 1)
            delay = frac * min(quiet, 0.6)
            for _ in range(4):  # a call that ended first (a quieter moment) is retried sooner
                t0 = time.perf_counter()
                signal.setitimer(signal.ITIMER_REAL, delay)
                try:
                    call()
                except KeyboardInterrupt:
                    arrived = time.perf_counter()
                    break
                signal.setitimer(signal.ITIMER_REAL, 0)
                obj, call = make()
                before = _snapshot(obj)
                delay /= 2
            else:
                raise RuntimeError(f"the call ended before its signal ({delay:.3f} s in)")
            latencies.append(arrived - (t0 + delay))
            if obj is not None and _snapshot(obj) != before:
                raise RuntimeError(f"an interrupted call changed its object ({delay:.3f} s in)")
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, old)
    return quiet, latencies


def interrupt_rows(trials: int, row_type, measured_type) -> list:
    """Rows for bench/targets.py: one per long call."""
    rows = []
    for key, (label, make) in CALLS.items():
        workload = f"Ctrl-C during {label}"
        measure_text = (f"signal to KeyboardInterrupt, {trials} interrupts (spread: best to worst; "
                        f"our time: the call uninterrupted, {CAP:g} s meaning at least that)")
        try:
            quiet, lat = measure(make, trials)
        except RuntimeError as exc:
            rows.append(row_type(workload, measure_text, f"worst < {TARGET} s", lambda _: False, error=str(exc)))
            continue
        worst = max(lat)
        rows.append(row_type(workload, measure_text, f"worst < {TARGET} s", lambda _, w=worst: w < TARGET,
                             measured_type(lat, quiet, float("nan")), seconds=True))
        print(f"  measured interrupt {key}", file=sys.stderr, flush=True)
    return rows


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--trials", type=int, default=9, help="interrupts per call")
    parser.add_argument("--only", nargs="*", choices=sorted(CALLS), help="these calls only")
    args = parser.parse_args()
    # A slow answer is a figure, not a failure: the status is 1 only when an
    # interrupted call changed its object or a call ended before its signal.
    print("| call | uninterrupted | latency, median | latency, worst | interrupts | "
          f"worst under {TARGET:g} s |")
    print("|---|---|---|---|---|---|")
    failed, worst_all, calls = 0, 0.0, 0
    for key, (label, make) in CALLS.items():
        if args.only and key not in args.only:
            continue
        try:
            quiet, lat = measure(make, args.trials)
        except RuntimeError as exc:
            print(f"| {label} | - | - | - | - | failed: {exc} |", flush=True)
            failed += 1
            continue
        worst = max(lat)
        worst_all, calls = max(worst_all, worst), calls + 1
        length = f"> {CAP:g} s" if quiet >= CAP else f"{quiet * 1000:.0f} ms"
        print(f"| {label} | {length} | {statistics.median(lat) * 1000:.1f} ms | "
              f"{worst * 1000:.1f} ms | {len(lat)} | {'yes' if worst < TARGET else 'no'} |", flush=True)
    print(f"interrupts: {calls} calls, {args.trials} interrupts each, every object unchanged; "
          f"worst {worst_all * 1000:.1f} ms; {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
