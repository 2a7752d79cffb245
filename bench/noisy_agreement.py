"""Statistical agreement of clifford_sample_noisy with stim on the two
memory experiments of the noisy-sampling targets: detection-event rates
(every detector) and the logical error rate, from 10^6 shots each (our
records in chunks of 10^5 with seeds 1, 2, ..., turned into detection events
by stim's own measurement-to-detection converter), against stim's detector
sampler. Prints each rate pair's largest distance in standard deviations of
the difference; exits 1 when one exceeds 4.

    python bench/noisy_agreement.py [--shots 1000000]
"""

from __future__ import annotations

import argparse
import math
import sys

import numpy as np

import noisy_circuits as N
import orvane_native as on

CHUNK = 100_000


def our_events(circuit, shots: int):
    instructions, n, probabilities = N.stim_to_stream(circuit)
    m = circuit.num_measurements
    converter = circuit.compile_m2d_converter()
    det = np.zeros(circuit.num_detectors, dtype=np.int64)
    obs = 0
    for chunk in range(shots // CHUNK):
        record = np.array(on.clifford_sample_noisy(instructions, n, [], CHUNK, chunk + 1, probabilities),
                          dtype=np.bool_).reshape(CHUNK, m)
        d, o = converter.convert(measurements=record, separate_observables=True)
        det += d.sum(axis=0)
        obs += int(o[:, 0].sum())
    return det, obs


def stim_events(circuit, shots: int):
    d, o = circuit.compile_detector_sampler(seed=7).sample(shots, separate_observables=True)
    return d.sum(axis=0).astype(np.int64), int(o[:, 0].sum())


def z_scores(a, b, shots: int) -> np.ndarray:
    pa, pb = np.asarray(a) / shots, np.asarray(b) / shots
    var = (pa * (1 - pa) + pb * (1 - pb)) / shots
    return np.abs(pa - pb) / np.sqrt(np.maximum(var, 1.0 / shots ** 2))


def agreement(shots: int) -> list[dict]:
    out = []
    for name, circuit in (("d=5 repetition code, 5 rounds, bit flips 0.05", N.repetition_code()),
                          ("d=5 rotated surface code, 5 rounds, depolarizing 0.001", N.surface_code())):
        ours_det, ours_obs = our_events(circuit, shots)
        stim_det, stim_obs = stim_events(circuit, shots)
        zd = z_scores(ours_det, stim_det, shots)
        zo = float(z_scores([ours_obs], [stim_obs], shots)[0])
        out.append({"circuit": name, "detectors": len(zd),
                    "mean_detection_rate": (float(ours_det.mean() / shots), float(stim_det.mean() / shots)),
                    "worst_detector_sigma": float(zd.max()),
                    "logical_rate": (ours_obs / shots, stim_obs / shots), "logical_sigma": zo})
    return out


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--shots", type=int, default=1_000_000)
    args = parser.parse_args()
    ok = True
    for r in agreement(args.shots):
        print(f"{r['circuit']}: {r['detectors']} detectors, mean detection rate ours "
              f"{r['mean_detection_rate'][0]:.5f} stim {r['mean_detection_rate'][1]:.5f}, worst detector "
              f"{r['worst_detector_sigma']:.2f} sigma; logical error rate ours {r['logical_rate'][0]:.5f} "
              f"stim {r['logical_rate'][1]:.5f} ({r['logical_sigma']:.2f} sigma)")
        ok = ok and r["worst_detector_sigma"] <= 4 and r["logical_sigma"] <= 4 and math.isfinite(r["logical_sigma"])
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
