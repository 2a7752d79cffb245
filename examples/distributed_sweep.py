"""A noise sweep on a Dask cluster: one density-matrix simulation per noise
strength, gathered into one table.

The circuit prepares an n-qubit GHZ state (H on qubit 0, then a CNOT
chain) on a `NativeDensity`, with a depolarizing channel of strength p on
every qubit a gate touched, after that gate:

    rho -> (1 - 3p/4) rho + p/4 (X rho X + Y rho Y + Z rho Z)

For each p the table gives the probability of all zeros and of all ones,
the fidelity <GHZ|rho|GHZ> with the ideal state and the purity Tr(rho^2).
Each strength is one task: it sends two numbers, builds and runs its own
`NativeDensity` on a worker and returns one row of five floats, so nothing
large crosses the network. The simulation is deterministic, so the table
gathered from the cluster equals the sweep run in one process.

    pip install ".[distributed]"
    python examples/distributed_sweep.py                       # a LocalCluster of worker processes
    python examples/distributed_sweep.py --qubits 10 --points 32 --workers 4
    python examples/distributed_sweep.py --scheduler tcp://host:8786   # an existing cluster
"""

from __future__ import annotations

import argparse
import sys
import time
from collections.abc import Sequence

import orvane_native as on

from distributed_sampling import close_client, local_client

R = 2 ** -0.5
H_GATE = [R, 0, R, 0, R, 0, -R, 0]
CNOT_GATE = [1, 0, 0, 0, 0, 0, 0, 0,  0, 0, 1, 0, 0, 0, 0, 0,
             0, 0, 0, 0, 0, 0, 1, 0,  0, 0, 0, 0, 1, 0, 0, 0]
PAULIS = (
    [1, 0, 0, 0, 0, 0, 1, 0],  # I
    [0, 0, 1, 0, 1, 0, 0, 0],  # X
    [0, 0, 0, -1, 0, 1, 0, 0],  # Y
    [1, 0, 0, 0, 0, 0, -1, 0],  # Z
)
COLUMNS = ("p", "P(0...0)", "P(1...1)", "fidelity", "purity")


def depolarizing(p: float) -> list[float]:
    """The four Kraus operators of the one-qubit depolarizing channel of
    strength p, concatenated (interleaved complex, row-major 2 x 2)."""
    weights = (1 - 0.75 * p, p / 4, p / 4, p / 4)
    return [w ** 0.5 * x for w, pauli in zip(weights, PAULIS) for x in pauli]


def noisy_ghz_row(num_qubits: int, p: float) -> tuple[float, ...]:
    """One row of the table, the task a worker runs: the noisy GHZ
    preparation at strength p on a fresh NativeDensity."""
    noise = depolarizing(p)
    rho = on.NativeDensity(num_qubits)
    rho.reset()
    rho.apply_channel(H_GATE, 1, [0])
    rho.apply_channel(noise, 4, [0])
    for q in range(1, num_qubits):
        rho.apply_channel(CNOT_GATE, 1, [q - 1, q])
        rho.apply_channel(noise, 4, [q - 1])
        rho.apply_channel(noise, 4, [q])
    probabilities = rho.probabilities(list(range(num_qubits)))
    flat = rho.density_matrix()
    dim = 1 << num_qubits
    last = dim - 1
    # Real parts of entries (0, 0), (last, last) and (0, last), which is
    # conjugate to (last, 0): |GHZ> is (|0...0> + |1...1>) / sqrt(2).
    fidelity = 0.5 * (flat[0] + flat[2 * (last * dim + last)] + 2 * flat[2 * last])
    purity = sum(x * x for x in flat)
    return (p, probabilities[0], probabilities[last], fidelity, purity)


def strengths(points: int, top: float) -> list[float]:
    """`points` noise strengths evenly spaced from 0 to `top`."""
    if points < 1:
        raise ValueError(f"points must be at least 1, got {points}")
    return [top * k / max(points - 1, 1) for k in range(points)]


def sweep_in_process(num_qubits: int, ps: Sequence[float]) -> list[tuple[float, ...]]:
    """The table computed here, one strength after another."""
    return [noisy_ghz_row(num_qubits, p) for p in ps]


def sweep_on_cluster(client, num_qubits: int, ps: Sequence[float]) -> list[tuple[float, ...]]:
    """The same table, one task per strength on the cluster of a
    `dask.distributed.Client`, gathered in the order of `ps`."""
    futures = [client.submit(noisy_ghz_row, num_qubits, p, pure=False) for p in ps]
    return [tuple(row) for row in client.gather(futures)]


def render(table: Sequence[tuple[float, ...]]) -> str:
    lines = ["  ".join(f"{c:>10}" for c in COLUMNS)]
    lines += ["  ".join(f"{x:10.6f}" for x in row) for row in table]
    return "\n".join(lines)


def main(argv: Sequence[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--qubits", type=int, default=8, help="qubits of the GHZ circuit (default 8)")
    parser.add_argument("--points", type=int, default=16, help="noise strengths in the sweep (default 16)")
    parser.add_argument("--top", type=float, default=0.2, help="the largest strength p (default 0.2)")
    parser.add_argument("--scheduler", help="address of an existing Dask scheduler (default: a LocalCluster)")
    parser.add_argument("--workers", type=int, default=2, help="worker processes of the LocalCluster (default 2)")
    args = parser.parse_args(argv)

    try:
        from dask.distributed import Client
    except ImportError:
        print("this example needs Dask: pip install \".[distributed]\"", file=sys.stderr)
        return 2

    ps = strengths(args.points, args.top)
    client = Client(args.scheduler) if args.scheduler else local_client(args.workers)
    try:
        workers = len(client.scheduler_info()["workers"])
        start = time.perf_counter()
        table = sweep_on_cluster(client, args.qubits, ps)
        cluster_seconds = time.perf_counter() - start
    finally:
        close_client(client)

    start = time.perf_counter()
    here = sweep_in_process(args.qubits, ps)
    local_seconds = time.perf_counter() - start
    print(f"noisy {args.qubits}-qubit GHZ preparation, depolarizing after every gate, {len(ps)} strengths")
    print(render(table))
    print(f"cluster of {workers} workers: {cluster_seconds:.3f} s; one process: {local_seconds:.3f} s")
    same = table == here
    print(f"same table in one process: {same}")
    return 0 if same else 1


if __name__ == "__main__":
    sys.exit(main())
