"""Noisy sampling targets: clifford_sample_noisy against stim's compiled
sampler on the two memory experiments of bench/noisy_circuits.py, 10^5 shots,
one thread each, both returning the record as a flat Python list of ints.
Our time includes compiling the circuit (every call compiles); stim's sampler
is compiled once, before timing. targets.py calls rows() for its table.
"""

from __future__ import annotations

import numpy as np

import noisy_circuits as N
import orvane_native as on

SHOTS = 100_000


def check_rates(ours: list[int], theirs: list[int], m: int) -> None:
    """Every measurement's rate of 1s agrees within 6 standard deviations."""
    a = np.asarray(ours).reshape(-1, m).mean(axis=0)
    b = np.asarray(theirs).reshape(-1, m).mean(axis=0)
    sigma = np.sqrt(np.maximum(a * (1 - a), 1.0 / SHOTS) / SHOTS * 2)
    worst = float(np.max(np.abs(a - b) / sigma))
    if worst > 6:
        raise AssertionError(f"record rates differ from stim's by {worst:.1f} sigma")


def measure(circuit, rounds: int, sample: float, interleaved, Side):
    instructions, n, probabilities = N.stim_to_stream(circuit)
    m = circuit.num_measurements
    sampler = circuit.compile_sampler(seed=1)

    def ours():
        return on.clifford_sample_noisy(instructions, n, [], SHOTS, 1, probabilities)

    def stim_op():
        return sampler.sample(SHOTS).astype(np.int64).ravel().tolist()

    check_rates(ours(), stim_op(), m)
    return interleaved(Side(ours), Side(stim_op), rounds, sample, peer_over_ours=False)


def rows(rounds: int, sample: float, interleaved, Side, Row) -> list:
    measure_text = "our time / stim compiled sampler time (sample + astype(int64) + flat tolist, 1 thread)"
    rep = measure(N.repetition_code(), rounds, sample, interleaved, Side)
    surf = measure(N.surface_code(), rounds, sample, interleaved, Side)
    return [Row("clifford_sample_noisy, d=5 repetition code, 5 rounds, bit flips p=0.05, 10^5 shots",
                measure_text, "<= 1.0", lambda x: x <= 1.0, rep),
            Row("clifford_sample_noisy, d=5 rotated surface code, 5 rounds, depolarizing p=0.001, 10^5 shots",
                measure_text, "<= 1.0", lambda x: x <= 1.0, surf)]


if __name__ == "__main__":
    import targets as T

    got = rows(5, 0.5, T.interleaved, T.Side, T.Row)
    print(T.table(got, "Noisy sampling targets: medians of 5 interleaved rounds"), end="")
