"""Sharded Clifford sampling on a Dask cluster.

A `clifford_run` record is a pure function of its arguments, so a large
sampling campaign splits into shards that run anywhere, in any order, and
still give one reproducible record: N shots of one circuit become S shards
of about N/S shots, each with its own seed derived from the campaign's
seed, and the shard records, concatenated in shard order, are the record.

    pip install ".[distributed]"
    python examples/distributed_sampling.py                       # a LocalCluster of worker processes
    python examples/distributed_sampling.py --shots 1000000 --shards 64 --workers 4
    python examples/distributed_sampling.py --scheduler tcp://host:8786   # an existing cluster
    python examples/distributed_sampling.py --cluster-only        # skip the run in one process

The campaign runs on the cluster and then, shard after shard, in this
process; the example prints the shots per second of each and whether the
two records are equal. Starting tasks and moving their results costs a
fraction of a second, so the cluster gains on one process only when a
campaign takes longer than that.

The record depends on the circuit, the shot count, the campaign seed and
the number of shards (which fixes how the shots are split and which seeds
the shards get); not on the cluster, the number of workers or the order in
which shards finish.

Seeds: `clifford_run` uses only the low 48 bits of `seed`, so seeds that
agree there give identical records. Shard seeds are therefore derived in
that 48-bit space: the campaign seed's low 48 bits go through a bijective
mix to a base B, and shard k gets mix(B + k mod 2^48). Within one campaign
the shard seeds are distinct by construction (mix is a bijection and
B + k takes a different value for every k below 2^48); two campaigns share
shard seeds only when their bases fall within a shard count of each other,
about one chance in 2^48 / (2 * shards).

Workers need orvane_native installed (the same wheel as the client) and
Dask's `distributed` package; tasks send only the circuit and the shard's
integers. A task returns its shard's record as bytes, one byte per outcome,
and the client turns the concatenated bytes back into the list of ints that
`clifford_run` returns. Returning the list itself would be correct too, but
Dask moves a long Python list of ints orders of magnitude more slowly than
the same outcomes as bytes: at the default size it costs minutes instead of
a fraction of a second.
"""

from __future__ import annotations

import argparse
import hashlib
import sys
import time
from collections.abc import Sequence

import orvane_native as on

SEED_BITS = 48
SEED_MASK = (1 << SEED_BITS) - 1

H, S, SDG, X, Y, Z, CNOT, CZ, SWAP, MEASURE = range(10)


def mix48(v: int) -> int:
    """A bijection of the 48-bit integers that scatters neighbouring values
    (xor-shift and multiplication by odd constants, both invertible modulo
    2^48)."""
    v &= SEED_MASK
    v ^= v >> 23
    v = (v * 0x9E3779B97F4A7) & SEED_MASK  # odd
    v ^= v >> 24
    v = (v * 0xC2B2AE3D27D5) & SEED_MASK  # odd
    return v ^ (v >> 23)


def shard_seeds(seed: int, shards: int) -> list[int]:
    """The seed of each shard: distinct 48-bit values derived from the
    campaign seed (of which, like clifford_run, only the low 48 bits count)."""
    if not 0 < shards <= SEED_MASK + 1:
        raise ValueError(f"shards must be between 1 and 2^48, got {shards}")
    base = mix48(seed)
    return [mix48((base + k) & SEED_MASK) for k in range(shards)]


def shard_plan(shots: int, shards: int, seed: int) -> list[tuple[int, int]]:
    """(repetitions, seed) of each shard: the shots split as evenly as
    possible, the first `shots % shards` shards taking one more."""
    if shots < 0:
        raise ValueError(f"shots must not be negative, got {shots}")
    per, extra = divmod(shots, shards)
    return [(per + (k < extra), s) for k, s in enumerate(shard_seeds(seed, shards))]


def sample_in_process(instructions: Sequence[int], num_qubits: int, invert_mask: Sequence[int],
                      shots: int, shards: int, seed: int) -> list[int]:
    """The campaign's record computed here, one shard after another."""
    record: list[int] = []
    for repetitions, shard_seed in shard_plan(shots, shards, seed):
        record += on.clifford_run(instructions, num_qubits, invert_mask, repetitions, shard_seed)
    return record


def shard_record(instructions: Sequence[int], num_qubits: int, invert_mask: Sequence[int],
                 repetitions: int, seed: int) -> bytes:
    """One shard's record in its compact form, the task a worker runs: the
    outcomes of `clifford_run` (each 0 or 1) as one byte each."""
    return bytes(on.clifford_run(instructions, num_qubits, invert_mask, repetitions, seed))


def submit_shards(client, instructions: Sequence[int], num_qubits: int, invert_mask: Sequence[int],
                  shots: int, shards: int, seed: int) -> list:
    """One task per shard on the cluster of a `dask.distributed.Client`; the
    futures of their compact records, in shard order."""
    # Each task carries the circuit with it: a circuit is a short list of
    # integers, and sending it with the task needs no broadcast to every worker.
    circuit, mask = list(instructions), list(invert_mask)
    return [client.submit(shard_record, circuit, num_qubits, mask, repetitions, shard_seed, pure=False)
            for repetitions, shard_seed in shard_plan(shots, shards, seed)]


def sample_on_cluster(client, instructions: Sequence[int], num_qubits: int, invert_mask: Sequence[int],
                      shots: int, shards: int, seed: int) -> list[int]:
    """The same record, each shard a task on the cluster, gathered in shard
    order and rebuilt here as a list of ints."""
    futures = submit_shards(client, instructions, num_qubits, invert_mask, shots, shards, seed)
    return list(b"".join(client.gather(futures)))


def local_client(workers: int):
    """A client of a fresh LocalCluster of `workers` single-threaded worker
    processes (the module holds the interpreter lock while it computes, so
    processes, not threads, run shards side by side). Close it with close_client."""
    from dask.distributed import Client, LocalCluster

    cluster = LocalCluster(n_workers=workers, threads_per_worker=1, processes=True, dashboard_address=None)
    return Client(cluster)


def close_client(client) -> None:
    """Closes a client and, if it made one, its local cluster."""
    cluster = client.cluster
    client.close()
    if cluster is not None:
        cluster.close()


def ghz_circuit(num_qubits: int) -> list[int]:
    """H on qubit 0, a CNOT chain, then every qubit measured."""
    stream = [H, 0, 0]
    for q in range(1, num_qubits):
        stream += [CNOT, q - 1, q]
    for q in range(num_qubits):
        stream += [MEASURE, q, 0]
    return stream


def rate(shots: int, seconds: float) -> str:
    return f"{shots / seconds:,.0f} shots/s ({seconds:.3f} s)" if seconds > 0 else "-"


def main(argv: Sequence[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--qubits", type=int, default=20, help="qubits of the GHZ circuit sampled (default 20)")
    parser.add_argument("--shots", type=int, default=100_000, help="shots in all (default 100000)")
    parser.add_argument("--shards", type=int, default=8, help="number of shards (default 8)")
    parser.add_argument("--seed", type=int, default=2024, help="campaign seed (default 2024)")
    parser.add_argument("--scheduler", help="address of an existing Dask scheduler (default: a LocalCluster)")
    parser.add_argument("--workers", type=int, default=2, help="worker processes of the LocalCluster (default 2)")
    parser.add_argument("--cluster-only", action="store_true",
                        help="skip the run in this process (no comparison, no one-process rate)")
    # Older command lines asked for the comparison, which now always runs.
    parser.add_argument("--check", action="store_true", help=argparse.SUPPRESS)
    args = parser.parse_args(argv)

    try:
        from dask.distributed import Client
    except ImportError:
        print("this example needs Dask: pip install \".[distributed]\"", file=sys.stderr)
        return 2

    circuit = ghz_circuit(args.qubits)
    client = Client(args.scheduler) if args.scheduler else local_client(args.workers)
    try:
        workers = len(client.scheduler_info()["workers"])
        start = time.perf_counter()
        record = sample_on_cluster(client, circuit, args.qubits, [], args.shots, args.shards, args.seed)
        cluster_seconds = time.perf_counter() - start
    finally:
        close_client(client)

    m = args.qubits
    ones = sum(record[k * m] for k in range(args.shots))
    agree = all(len(set(record[k * m:(k + 1) * m])) == 1 for k in range(args.shots))
    print(f"{args.shots} shots of a {m}-qubit GHZ state in {args.shards} shards, seed {args.seed}")
    print(f"every shot all zeros or all ones: {agree}; all ones in {ones} shots")
    print(f"record sha256: {hashlib.sha256(bytes(record)).hexdigest()}")
    print(f"cluster of {workers} workers: {rate(args.shots, cluster_seconds)}")
    if args.cluster_only:
        return 0
    start = time.perf_counter()
    here = sample_in_process(circuit, args.qubits, [], args.shots, args.shards, args.seed)
    print(f"one process: {rate(args.shots, time.perf_counter() - start)}")
    same = record == here
    print(f"same record in one process: {same}")
    return 0 if same else 1

if __name__ == "__main__":
    sys.exit(main())
