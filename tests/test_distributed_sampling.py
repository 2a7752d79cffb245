"""The Dask examples on a local cluster of two worker processes: the sharded
sampling campaign (examples/distributed_sampling.py) gathers the record that
the same shards give when run one after another in this process, and the
noise sweep (examples/distributed_sweep.py) the table of the sweep run here,
which matches a numpy simulation of the same channels."""

import hashlib
import importlib.util
import pathlib
import sys

import numpy as np
import pytest

import orvane_native as on
from clifford_codes import GATES, MEASURE
from helpers import embed

try:
    import dask.distributed  # noqa: F401
except ImportError as missing:  # the test extra brings Dask; say so if it is missing anyway
    raise ImportError(f"{missing}: these tests need Dask, pip install '.[test]'") from None

EXAMPLES = pathlib.Path(__file__).resolve().parent.parent / "examples"


def load_example(name="distributed_sampling"):
    """The example as a module that is not registered under its name, as the
    tasks' functions then travel to the workers by value (the workers cannot
    import examples/)."""
    if str(EXAMPLES) not in sys.path:
        sys.path.append(str(EXAMPLES))  # the sweep takes its cluster helpers from its sibling
    found = importlib.util.spec_from_file_location(name, EXAMPLES / f"{name}.py")
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
        stream += [GATES[int(rng.integers(len(GATES)))], a, b]
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


@pytest.mark.parametrize("args, qubits, shots, shards, seed", [
    (["--qubits", "9", "--shots", "2000", "--shards", "3", "--seed", "77"], 9, 2000, 3, 77),
    ([], 20, 100_000, 8, 2024),  # the defaults, where tasks returning lists took minutes
])
def test_command_line_on_an_existing_scheduler(example, client, capsys, args, qubits, shots, shards, seed):
    """main() with --scheduler uses the running cluster (and leaves it
    running); its record digest is that of the shards run here, and the
    shards come back in the compact form, one byte per outcome."""
    assert example.main(args + ["--scheduler", client.scheduler.address]) == 0
    out = capsys.readouterr().out
    circuit = example.ghz_circuit(qubits)
    expected = expected_record(example.shard_plan(shots, shards, seed), circuit, qubits, [])
    assert f"record sha256: {hashlib.sha256(bytes(expected)).hexdigest()}" in out
    assert "every shot all zeros or all ones: True" in out
    assert "same record in one process: True" in out
    assert "cluster of 2 workers: " in out and "one process: " in out
    assert len(client.scheduler_info()["workers"]) == 2
    parts = client.gather(example.submit_shards(client, circuit, qubits, [], shots, shards, seed))
    assert all(type(part) is bytes for part in parts)
    assert b"".join(parts) == bytes(expected)


def numpy_noisy_ghz(n, p):
    """The sweep's circuit by dense matrices: each Kraus operator embedded in
    the full register (helpers.embed), rho -> sum_k K rho K^dagger."""
    paulis = [np.eye(2), np.array([[0, 1], [1, 0]]), np.array([[0, -1j], [1j, 0]]), np.diag([1, -1])]
    noise = [w ** 0.5 * m for w, m in zip([1 - 0.75 * p, p / 4, p / 4, p / 4], paulis)]
    h = np.array([[1, 1], [1, -1]]) / 2 ** 0.5
    cnot = np.eye(4)[[0, 1, 3, 2]]

    def channel(rho, ops, targets):
        full = [embed(k, targets, n) for k in ops]
        return sum(k @ rho @ k.conj().T for k in full)

    rho = np.zeros((2 ** n, 2 ** n), complex)
    rho[0, 0] = 1
    rho = channel(channel(rho, [h], [0]), noise, [0])
    for q in range(1, n):
        rho = channel(channel(channel(rho, [cnot], [q - 1, q]), noise, [q - 1]), noise, [q])
    ghz = np.zeros(2 ** n)
    ghz[[0, -1]] = 2 ** -0.5
    return [p, rho[0, 0].real, rho[-1, -1].real, (ghz @ rho @ ghz).real, np.trace(rho @ rho).real]


def test_noise_sweep_on_the_cluster_equals_the_sweep_here(client, capsys):
    sweep = load_example("distributed_sweep")
    ps = sweep.strengths(5, 0.3)
    table = sweep.sweep_on_cluster(client, 3, ps)
    assert table == sweep.sweep_in_process(3, ps)
    assert np.allclose(table, [numpy_noisy_ghz(3, p) for p in ps], atol=1e-12)
    assert table[0][1:] == pytest.approx((0.5, 0.5, 1.0, 1.0))
    assert all(a[3] > b[3] for a, b in zip(table, table[1:]))  # fidelity falls as the noise grows
    assert sweep.main(["--scheduler", client.scheduler.address]) == 0  # the default sweep
    out = capsys.readouterr().out
    assert "same table in one process: True" in out and "cluster of 2 workers: " in out
    assert len(out.splitlines()) == 16 + 4


def test_shard_seeds_are_distinct_and_spread():
    example = load_example()
    seeds = example.shard_seeds(1, 5000)
    assert len(set(seeds)) == 5000
    # Neighbouring campaign seeds do not give overlapping shard seeds.
    assert not set(seeds) & set(example.shard_seeds(2, 5000))
    with pytest.raises(ValueError):
        example.shard_seeds(1, 0)
