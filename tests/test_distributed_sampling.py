"""The sharded sampling example (examples/distributed_sampling.py) on a
local Dask cluster of two worker processes: the gathered record is the one
that the same shards give when run one after another in this process."""

import hashlib
import importlib.util
import pathlib

import numpy as np
import pytest

import orvane_native as on

try:
    import dask.distributed  # noqa: F401
except ImportError as missing:  # ./dev installs the extra; a bare pytest run may not have it
    raise ImportError(f"{missing}: these tests need the distributed extra, pip install '.[distributed]'") from None

EXAMPLE = pathlib.Path(__file__).resolve().parent.parent / "examples" / "distributed_sampling.py"
MEASURE = 9


def load_example():
    found = importlib.util.spec_from_file_location("distributed_sampling", EXAMPLE)
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


def random_circuit(rng, n, gates):
    """Random Clifford gates with measurements in between and at the end."""
    stream = []
    for _ in range(gates):
        if rng.integers(5) == 0:
            stream += [MEASURE, int(rng.integers(n)), 0]
            continue
        a, b = (int(q) for q in rng.choice(n, size=2, replace=False))
        stream += [int(rng.integers(9)), a, b]
    for q in range(n):
        stream += [MEASURE, q, 0]
    return stream


@pytest.fixture(scope="module")
def example():
    return load_example()


@pytest.fixture(scope="module")
def client(example):
    client = example.local_client(2)
    yield client
    example.close_client(client)


def expected_record(plan, circuit, n, mask):
    return [x for reps, seed in plan for x in on.clifford_run(circuit, n, mask, reps, seed)]


@pytest.mark.parametrize("shots, shards, seed", [(3001, 5, -12345), (40, 7, 2 ** 63 - 1), (3, 4, 0)])
def test_cluster_record_equals_the_shards_run_here(example, client, shots, shards, seed):
    assert len(client.scheduler_info()["workers"]) == 2
    rng = np.random.default_rng(shots)
    n = 6
    circuit = random_circuit(rng, n, 60)
    m = circuit[0::3].count(MEASURE)
    mask = [1, 0, 1]
    plan = example.shard_plan(shots, shards, seed)
    record = example.sample_on_cluster(client, circuit, n, mask, shots, shards, seed)
    assert record == expected_record(plan, circuit, n, mask)
    assert record == example.sample_in_process(circuit, n, mask, shots, shards, seed)
    assert len(record) == shots * m
    # The split: every shot once, shard sizes within one of each other; the
    # seeds distinct 48-bit values, a function of the seed's low 48 bits only.
    sizes = [reps for reps, _ in plan]
    seeds = [s for _, s in plan]
    assert sum(sizes) == shots and max(sizes) - min(sizes) <= 1
    assert len(set(seeds)) == shards and all(0 <= s < 2 ** 48 for s in seeds)
    assert example.shard_plan(shots, shards, seed - 2 ** 48) == plan


def test_command_line_on_an_existing_scheduler(example, client, capsys):
    """main() with --scheduler uses the running cluster (and leaves it
    running); its record digest is that of the shards run here."""
    args = ["--qubits", "9", "--shots", "2000", "--shards", "3", "--seed", "77", "--check",
            "--scheduler", client.scheduler.address]
    assert example.main(args) == 0
    out = capsys.readouterr().out
    expected = expected_record(example.shard_plan(2000, 3, 77), example.ghz_circuit(9), 9, [])
    assert f"record sha256: {hashlib.sha256(bytes(expected)).hexdigest()}" in out
    assert "every shot all zeros or all ones: True" in out
    assert "same record in one process: True" in out
    assert len(client.scheduler_info()["workers"]) == 2


def test_shard_seeds_are_distinct_and_spread():
    example = load_example()
    seeds = example.shard_seeds(1, 5000)
    assert len(set(seeds)) == 5000
    # Neighbouring campaign seeds do not give overlapping shard seeds.
    assert not set(seeds) & set(example.shard_seeds(2, 5000))
    with pytest.raises(ValueError):
        example.shard_seeds(1, 0)
