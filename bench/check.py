"""Before timing: every peer computes the same thing as this module on the
same inputs, at a small size. The arrays are shared as they are: our qubit q
is bit n-1-q of the index, which is the little-endian libraries' qubit n-1-q. `python bench/check.py` prints one line per
comparison and exits non-zero on a mismatch; bench/run.py runs it first."""

from __future__ import annotations

import importlib.util
import random
import sys

import numpy as np

import cases as C
import orvane_native as on

N = 5  # small, and with gate targets [0, 3] that no bit reversal maps onto themselves


def have(module: str) -> bool:
    return importlib.util.find_spec(module) is not None


def random_state(n: int, seed: int) -> np.ndarray:
    rng = np.random.default_rng(seed)
    v = rng.normal(size=2 ** n) + 1j * rng.normal(size=2 ** n)
    return v / np.linalg.norm(v)


def ours_state(psi: np.ndarray, k: int) -> np.ndarray:
    s = on.NativeState(N)
    s.set_amplitudes(C.interleave(psi))
    s.apply_gate(C.interleave(C.gate_matrix(k)), C.gate_targets(N, k))
    return np.array(s.amplitudes()).view(np.complex128)


def qulacs_state(psi: np.ndarray, k: int) -> np.ndarray:
    from qulacs import QuantumState
    from qulacs.gate import DenseMatrix

    s = QuantumState(N)
    s.load(psi)
    DenseMatrix(C.reversed_targets(C.gate_targets(N, k), N), C.gate_matrix(k)).update_quantum_state(s)
    return s.get_vector()


def aer_state(psi: np.ndarray, k: int) -> np.ndarray:
    from qiskit import QuantumCircuit
    from qiskit.circuit.library import UnitaryGate
    from qiskit_aer import AerSimulator

    qc = QuantumCircuit(N)
    qc.set_statevector(psi)
    qc.append(UnitaryGate(C.gate_matrix(k)), C.reversed_targets(C.gate_targets(N, k), N))
    qc.save_statevector()
    sim = AerSimulator(method="statevector", max_parallel_threads=1, fusion_enable=False)
    return np.asarray(sim.run(qc).result().get_statevector())


def ours_density(rho: np.ndarray, k: int) -> np.ndarray:
    d = on.NativeDensity(N)
    d.reset()
    np.frombuffer(d, dtype=np.complex128)[:] = rho.ravel()
    ops = C.channel_ops(k)
    d.apply_channel([x for m in ops for x in C.interleave(m)], len(ops), C.channel_targets(N, k))
    return np.array(d.density_matrix()).view(np.complex128).reshape(2 ** N, 2 ** N)


def qulacs_density(rho: np.ndarray, k: int) -> np.ndarray:
    from qulacs import DensityMatrix
    from qulacs.gate import CPTP, DenseMatrix

    d = DensityMatrix(N)
    d.load(rho)
    targets = C.reversed_targets(C.channel_targets(N, k), N)
    CPTP([DenseMatrix(targets, m) for m in C.channel_ops(k)]).update_quantum_state(d)
    return d.get_matrix()


def aer_density(rho: np.ndarray, k: int) -> np.ndarray:
    from qiskit import QuantumCircuit
    from qiskit.quantum_info import Kraus
    from qiskit_aer import AerSimulator

    qc = QuantumCircuit(N)
    qc.set_density_matrix(rho)
    qc.append(Kraus(C.channel_ops(k)), C.reversed_targets(C.channel_targets(N, k), N))
    qc.save_density_matrix()
    sim = AerSimulator(method="density_matrix", max_parallel_threads=1, fusion_enable=False)
    return np.asarray(sim.run(qc).result().data()["density_matrix"])


def clifford_states() -> tuple[np.ndarray, np.ndarray]:
    """The state after a random circuit from the benchmark's generator, from
    this module's tableau and from stim's, both with qubit 0 most significant."""
    import stim

    instructions = C.clifford_layers(N, 6, random.Random(3))
    ours = np.array(on.clifford_state_vector(on.clifford_tableau(instructions, N), N)).view(np.complex128)
    sim = stim.TableauSimulator()
    sim.do(C.stim_circuit(instructions))
    return ours, sim.state_vector(endian="big")


def rebuild(factors: list[float]) -> np.ndarray:
    """g (A kron B) from the 18 floats of a Kronecker factorisation."""
    g = complex(factors[0], factors[1])
    return g * np.kron(C.as_matrix(factors[2:10], 2), C.as_matrix(factors[10:18], 2))


def same_up_to_phase(a: np.ndarray, b: np.ndarray) -> bool:
    return bool(np.isclose(abs(np.vdot(a, b)), 1.0, atol=1e-9))


def main() -> int:
    results: list[tuple[str, bool]] = []
    psi = random_state(N, 1)
    rho = np.outer(random_state(N, 2), random_state(N, 2).conj()) * 0.5 + np.diag(np.full(2 ** N, 0.5 / 2 ** N))
    for k in (1, 2):
        ours = ours_state(psi, k)
        if have("qulacs"):
            results.append((f"state {k}q gate: qulacs", np.allclose(ours, qulacs_state(psi, k), atol=1e-12)))
        if have("qiskit_aer"):
            results.append((f"state {k}q gate: qiskit-aer", np.allclose(ours, aer_state(psi, k), atol=1e-12)))
        ours = ours_density(rho, k)
        if have("qulacs"):
            results.append((f"density {k}q channel: qulacs", np.allclose(ours, qulacs_density(rho, k), atol=1e-12)))
        if have("qiskit_aer"):
            results.append((f"density {k}q channel: qiskit-aer", np.allclose(ours, aer_density(rho, k), atol=1e-12)))
    if have("stim"):
        ours, theirs = clifford_states()
        results.append(("Clifford circuit translation: stim", same_up_to_phase(ours, theirs)))
    for name, (mine, numpy_version) in C.MATRIX_OPS.items():
        for dim in ([4] if name == "kron_factor" else [2, 4]):
            a, b = C.matrix_inputs(name, dim)
            x, y = np.array(mine(a, b, dim)), np.array(numpy_version(a, b, dim))
            if name == "kron_factor":
                # the factors are unique only up to phases: compare the products they rebuild
                x, y = rebuild(list(x)), rebuild(list(y))
                assert np.allclose(x, C.as_matrix(a, 4), atol=1e-10)
            results.append((f"{name} {dim}x{dim}: numpy", x.shape == y.shape and np.allclose(x, y, atol=1e-10)))
    for label, ok in results:
        print(f"  {'ok ' if ok else 'FAIL'} {label}")
    return 0 if all(ok for _, ok in results) else 1


if __name__ == "__main__":
    sys.exit(main())
