"""Times one implementation of one case at one size, in a process of its
own, and prints the result as one JSON line. bench/run.py starts one of
these per comparison; by hand:

    python bench/worker.py state_gate_1q qulacs 20 --budget 5
"""

from __future__ import annotations

import argparse
import json
import statistics
import sys
import time

import cases


def samples(op, budget: float, max_samples: int = 25) -> tuple[list[float], int]:
    """Median-ready samples of the time of one call of `op`, in seconds.

    The first call warms up (pages touched, caches filled, lazy set-up done)
    and calibrates: cheap calls are repeated in an inner loop of about 10 ms
    per sample. A call that alone takes longer than the budget (and at least
    1.5 s) is its own single sample. Otherwise at least three samples are
    taken, then more while the budget lasts, up to `max_samples`."""
    start = time.perf_counter()
    op()
    first = time.perf_counter() - start
    if first >= max(budget, 1.5):
        return [first], 1
    inner = max(1, int(0.01 / max(first, 1e-9)))
    out: list[float] = []
    begin = time.perf_counter()
    while len(out) < max_samples:
        t0 = time.perf_counter()
        for _ in range(inner):
            op()
        out.append((time.perf_counter() - t0) / inner)
        if len(out) >= 3 and time.perf_counter() - begin + out[-1] * inner > budget:
            break
    return out, inner


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("case")
    parser.add_argument("impl")
    parser.add_argument("size", type=int)
    parser.add_argument("--budget", type=float, default=5.0, help="seconds to spend sampling (about)")
    args = parser.parse_args()

    impl = cases.cases()[args.case].impls[args.impl]
    timed = impl.setup(args.size)
    main_samples, inner = samples(timed.op, args.budget)
    seconds = statistics.median(main_samples)
    result = {"case": args.case, "impl": args.impl, "size": args.size, "samples": len(main_samples),
              "inner": inner}
    if timed.baseline is not None:
        base_samples, _ = samples(timed.baseline, args.budget)
        seconds = (seconds - statistics.median(base_samples)) / timed.per_op
        result["samples"] = min(len(main_samples), len(base_samples))
    result["seconds"] = seconds
    print(json.dumps(result))
    return 0


if __name__ == "__main__":
    sys.exit(main())
