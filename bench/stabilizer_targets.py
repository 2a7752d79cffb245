"""Stabilizer performance targets: clifford_run and clifford_tableau against
their step-by-step reference paths and against stim, NativeTableau.apply per
call, and clifford_state_vector on 20 qubits.

    PYTHONPATH=build/<dir> python bench/stabilizer_targets.py --build build/<dir>

The reference paths (the unpacked tableau rebuilt and run per repetition)
are not exposed to Python, nor part of the module: the script compiles
bench/stabilizer_core.cc against the static libraries of the build folder,
the test-support library orvane_stabilizer_reference included (built there
on request when missing), and calls it through ctypes, so both cores are
timed on native arrays in this process. Every figure is the median of
--repeat runs; the records and tableaux of the fast and reference paths are
checked to be identical first.
"""

import argparse
import ctypes
import pathlib
import random
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np
import stim

import orvane_native as on
from clifford_streams import MEASURE, random_gates, stim_circuit

ROOT = pathlib.Path(__file__).resolve().parent.parent


# ---- workloads ----------------------------------------------------------------

def sampling_interleaved(n=50, gates=1000, measurements=100, seed=1):
    """`gates` random gates with `measurements` measurements of random
    qubits at random places among them."""
    rng = random.Random(seed)
    body = random_gates(n, gates, rng)
    triples = [body[i:i + 3] for i in range(0, len(body), 3)]
    for _ in range(measurements):
        triples.insert(rng.randrange(len(triples) + 1), [MEASURE, rng.randrange(n), 0])
    return [v for t in triples for v in t]


def sampling_blocks(n=50, gates=1000, seed=2):
    """Two blocks of gates/2 random gates, each followed by a measurement of
    every qubit (2n measurements)."""
    rng = random.Random(seed)
    out = []
    for _ in range(2):
        out += random_gates(n, gates // 2, rng)
        out += [v for q in range(n) for v in (MEASURE, q, 0)]
    return out


# ---- timing -----------------------------------------------------------------------

def median_time(fn, repeat):
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        fn()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def build_core(build_dir):
    # The reference paths live in the test-support library, which a module
    # build makes only on request.
    libs = [build_dir / f"liborvane_{name}.a" for name in ("stabilizer_reference", "stabilizer", "linalg", "support")]
    if not libs[0].exists() and (build_dir / "CMakeCache.txt").exists():
        subprocess.run(["cmake", "--build", str(build_dir), "--target", "orvane_stabilizer_reference"], check=True)
    for lib in libs:
        if not lib.exists():
            sys.exit(f"{lib} not found: build the stabilizer library in {build_dir} first")
    out = pathlib.Path(tempfile.mkdtemp()) / "stabilizer_core.so"
    subprocess.run(["g++", "-O3", "-std=c++20", "-shared", "-fPIC", f"-I{ROOT / 'src'}",
                    str(ROOT / "bench" / "stabilizer_core.cc"), *map(str, libs), "-o", str(out)], check=True)
    core = ctypes.CDLL(str(out))
    i64p = ctypes.POINTER(ctypes.c_int64)
    core.bench_run.restype = ctypes.c_double
    core.bench_run.argtypes = [i64p, ctypes.c_int64, ctypes.c_int64, ctypes.c_int64, ctypes.c_int64, ctypes.c_int,
                               i64p]
    core.bench_tableau.restype = ctypes.c_double
    core.bench_tableau.argtypes = [i64p, ctypes.c_int64, ctypes.c_int64, ctypes.c_int, i64p]
    return core


def ptr(a):
    return a.ctypes.data_as(ctypes.POINTER(ctypes.c_int64))


def core_run(core, instructions, n, reps, seed, fast):
    ins = np.array(instructions, dtype=np.int64)
    m = sum(1 for i in range(0, len(ins) - 2, 3) if ins[i] == MEASURE)
    out = np.zeros(m * reps, dtype=np.int64)
    t = core.bench_run(ptr(ins), len(ins), n, reps, seed, int(fast), ptr(out))
    return t, out


def core_tableau(core, instructions, n, fast):
    ins = np.array(instructions, dtype=np.int64)
    out = np.zeros((2 * n + 1) ** 2, dtype=np.int64)
    t = core.bench_tableau(ptr(ins), len(ins), n, int(fast), ptr(out))
    return t, out


def row(name, ours, other, what):
    print(f"  {name:<58} {other * 1e3:10.3f} ms   ours {ours * 1e3:9.3f} ms   ratio {other / ours:8.2f}x  ({what})")


# ---- targets ------------------------------------------------------------------------

def target_run(core, args):
    reps = args.shots
    print(f"1. clifford_run, 50 qubits, 1000 gates, {reps} repetitions (ratio = other / ours; "
          "target: reference ratio >= 100, stim ratio >= 0.5)")
    for label, circuit in (("interleaved 100 measurements", sampling_interleaved()),
                           ("two blocks of 500 gates + 50 measurements", sampling_blocks())):
        print(f" {label}:")
        # The same records from both cores, on a few repetitions.
        _, ref = core_run(core, circuit, 50, 50, 7, fast=False)
        _, fast = core_run(core, circuit, 50, 50, 7, fast=True)
        assert np.array_equal(ref, fast), "fast and reference records differ"
        assert on.clifford_run(circuit, 50, [], 50, 7) == ref.tolist()

        # The reference costs the same per repetition: timed on fewer.
        ref_reps = max(1, reps // args.reference_fraction)
        ref_time = statistics.median(core_run(core, circuit, 50, ref_reps, 7, False)[0]
                                     for _ in range(args.repeat)) * reps / ref_reps
        fast_core = statistics.median(core_run(core, circuit, 50, reps, 7, True)[0] for _ in range(args.repeat))
        row("clifford_run_reference core (per-repetition tableau)", fast_core, ref_time,
            f"core vs core, reference timed on {ref_reps} repetitions and scaled")

        ours = median_time(lambda: on.clifford_run(circuit, 50, [], reps, 7), args.repeat)
        row("same reference vs clifford_run from Python (list in/out)", ours, ref_time, "Python call vs core")
        sc = stim_circuit(circuit)
        sampler = sc.compile_sampler(seed=7)
        sampler.sample(1)
        stim_time = median_time(lambda: sampler.sample(reps).tolist(), args.repeat)
        row("stim sampler.sample(shots).tolist(), compiled once", ours, stim_time, "Python call")
        stim_full = median_time(lambda: sc.compile_sampler(seed=7).sample(reps).tolist(), args.repeat)
        row("stim compile_sampler().sample(shots).tolist()", ours, stim_full, "Python call")


def target_tableau(core, args):
    n, gates = 500, 100_000
    print(f"2. clifford_tableau, {n} qubits, {gates} gates (target: reference ratio >= 20, stim ratio >= 0.5)")
    circuit = random_gates(n, gates, random.Random(3))
    _, ref = core_tableau(core, circuit, n, fast=False)
    _, fast = core_tableau(core, circuit, n, fast=True)
    assert np.array_equal(ref, fast), "fast and reference tableaux differ"
    assert on.clifford_tableau(circuit, n) == ref.tolist()

    ref_time = statistics.median(core_tableau(core, circuit, n, False)[0] for _ in range(max(3, args.repeat // 3)))
    fast_core = statistics.median(core_tableau(core, circuit, n, True)[0] for _ in range(args.repeat))
    row("clifford_tableau_reference core (plain per-entry tableau)", fast_core, ref_time, "core vs core")
    ours = median_time(lambda: on.clifford_tableau(circuit, n), args.repeat)
    row("same reference vs clifford_tableau from Python (list in/out)", ours, ref_time, "Python call vs core")

    sc = stim_circuit(circuit)

    def stim_do(read):
        sim = stim.TableauSimulator()
        sim.do(sc)
        return read(sim)

    for label, read in (("stim do + current_inverse_tableau().to_numpy()",
                         lambda s: s.current_inverse_tableau().to_numpy()),
                        ("stim do + current_inverse_tableau().inverse().to_numpy()",
                         lambda s: s.current_inverse_tableau().inverse().to_numpy()),
                        ("stim do + inverse().to_numpy() + .tolist() of the four",
                         lambda s: [a.tolist() for a in s.current_inverse_tableau().inverse().to_numpy()])):
        row(label, ours, median_time(lambda: stim_do(read), args.repeat), "Python call")

    # One call per gate from Python, the same gates on both.
    steps = [circuit[i:i + 3] for i in range(0, 3 * 20_000, 3)]
    t = on.NativeTableau(n)
    ours_calls = [(t.apply, (c, a, b)) for c, a, b in steps]
    sim = stim.TableauSimulator()
    sim.set_num_qubits(n)
    by_code = [sim.h, sim.s, sim.s_dag, sim.x, sim.y, sim.z, sim.cnot, sim.cz, sim.swap]
    stim_calls = [(by_code[c], (a, b) if c >= 6 else (a,)) for c, a, b in steps]

    def loop(calls):
        for f, a in calls:
            f(*a)

    per_ours = median_time(lambda: loop(ours_calls), args.repeat) / len(steps)
    per_stim = median_time(lambda: loop(stim_calls), args.repeat) / len(steps)
    print(f"  NativeTableau.apply per call {per_ours * 1e9:8.1f} ns   TableauSimulator gate call "
          f"{per_stim * 1e9:8.1f} ns   ratio {per_stim / per_ours:6.2f}x  (target >= 0.5)")


def target_state_vector(args):
    n = 20
    print(f"6. clifford_state_vector, {n} qubits (target: under 0.2 s)")
    ghz = [0, 0, 0] + [v for q in range(1, n) for v in (6, q - 1, q)]
    for label, circuit in (("GHZ", ghz), ("random, 400 gates", random_gates(n, 400, random.Random(4)))):
        flat = on.clifford_tableau(circuit, n)
        print(f"  {label:<20} {median_time(lambda: on.clifford_state_vector(flat, n), args.repeat):.3f} s")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", type=pathlib.Path, default=pathlib.Path(on.__file__).parent,
                        help="build folder holding liborvane_*.a (default: the one of the imported module)")
    parser.add_argument("--shots", type=int, default=10_000)
    parser.add_argument("--repeat", type=int, default=9)
    parser.add_argument("--reference-fraction", type=int, default=20,
                        help="time the reference sampler on shots / this many repetitions")
    args = parser.parse_args()
    core = build_core(args.build.resolve())
    print(f"orvane_native from {on.__file__}; stim {stim.__version__}; medians of {args.repeat} runs")
    target_run(core, args)
    target_tableau(core, args)
    target_state_vector(args)


if __name__ == "__main__":
    main()
