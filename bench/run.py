"""Benchmarks orvane_native side by side with the libraries a user would
otherwise pick, and writes a Markdown table and a PNG plot.

    pip install ".[bench]"
    python bench/run.py            # every size (about 15 minutes on 2 cores)
    python bench/run.py --quick    # fewer sizes, shorter sampling (under 2 minutes)
    python bench/run.py --cases state_gate_1q matrix_det
    python bench/run.py --targets  # the performance targets, as ratios over interleaved rounds

First it checks that every peer computes what this module computes on the
same inputs (bench/check.py). Then each comparison (one case, one
implementation, one size) runs in a fresh process (bench/worker.py), one at
a time, with every library held to one thread. The results go to
<out>/<time>.{json,md,png}, by default bench/results/, which git does not
track; --latest also copies the table and plot to the tracked
bench/RESULTS.md and bench/RESULTS.png that the README quotes. See
bench/README.md for what each workload does.

--targets instead measures the performance targets (bench/targets.py): each
ratio comes from one process holding both implementations, timed in
alternating rounds, and is reported as the median of the per-round ratios
with their spread. The table goes to <out>/<time>-targets.md (--latest: also
to the tracked bench/TARGETS.md).
"""

from __future__ import annotations

import argparse
import datetime
import importlib.metadata
import importlib.util
import json
import os
import pathlib
import platform
import shutil
import subprocess
import sys
import textwrap

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

try:
    import cases as C  # noqa: E402
except ImportError as missing:  # this interpreter lacks the module or a benchmark dependency
    sys.exit(f"bench/run.py needs {missing.name or 'a package that is not installed'}: "
             "run pip install '.[bench]' from the repository root, then try again")

ORVANE = C.ORVANE


def worker_env() -> dict[str, str]:
    env = dict(os.environ)
    # One thread everywhere: the module is single-threaded, so are the peers here.
    for var in ("OMP_NUM_THREADS", "OPENBLAS_NUM_THREADS", "MKL_NUM_THREADS", "QULACS_NUM_THREADS"):
        env[var] = "1"
    # Some machines pin OpenBLAS to an old kernel through these; a current
    # numpy runs its own best kernel without them.
    env.pop("OPENBLAS_CORETYPE", None)
    env.pop("OPENBLAS_L2_SIZE", None)
    return env


def available(module: str | None) -> bool:
    return module is None or importlib.util.find_spec(module) is not None


def version_of(dist: str) -> str:
    try:
        return importlib.metadata.version(dist)
    except importlib.metadata.PackageNotFoundError:
        return "not installed"


def cpu_name() -> str:
    try:
        for line in pathlib.Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or platform.machine()


def fmt_time(seconds: float | None) -> str:
    if seconds is None:
        return "-"
    if seconds <= 0:
        return "~0"
    for unit, scale in (("s", 1.0), ("ms", 1e-3), ("µs", 1e-6), ("ns", 1e-9)):
        if seconds >= scale:
            return f"{seconds / scale:.3g} {unit}"
    return f"{seconds / 1e-9:.3g} ns"


def fmt_ratio(peer: float | None, ours: float | None) -> str:
    if peer is None or ours is None or ours <= 0 or peer <= 0:
        return "-"
    r = peer / ours
    return f"{r:.3g}x" if r >= 0.1 else f"{r:.2g}x"


def run_one(case: str, impl: str, size: int, budget: float) -> dict:
    cmd = [sys.executable, str(HERE / "worker.py"), case, impl, str(size), "--budget", str(budget)]
    proc = subprocess.run(cmd, capture_output=True, text=True, env=worker_env(), timeout=1800)
    if proc.returncode != 0:
        return {"case": case, "impl": impl, "size": size, "error": proc.stderr.strip().splitlines()[-1:]}
    return json.loads(proc.stdout.strip().splitlines()[-1])


def plan(selected: dict[str, C.Case], quick: bool):
    for case in selected.values():
        for size in case.quick_sizes if quick else case.sizes:
            for key, impl in case.impls.items():
                limit = impl.quick_max_size if quick and impl.quick_max_size is not None else impl.max_size
                if limit is not None and size > limit:
                    continue
                if not available(impl.requires):
                    continue
                yield case.name, key, size


def table(results: list[dict], selected: dict[str, C.Case], meta: dict) -> str:
    by = {(r["case"], r["impl"], r["size"]): r.get("seconds") for r in results}
    lines = [
        "# Benchmark results",
        "",
        f"Command: `python bench/run.py{' --quick' if meta['quick'] else ''}`, {meta['date']}.",
        f"Machine: {meta['cpu']}, {meta['cores']} cores; Python {meta['python']}; "
        + ", ".join(f"{k} {v}" for k, v in meta["versions"].items()) + ".",
        "",
        "Median time per operation; each cell is its own process, one thread everywhere, the same inputs "
        "for every column (checked before timing). A ratio is the peer's time divided by orvane_native's: "
        "above 1x orvane_native is faster, below 1x it is slower.",
        "",
        "## Headline (largest size measured for each peer)",
        "",
        "| workload | orvane_native | peer | size | peer time | orvane_native time | ratio |",
        "|---|---|---|---|---|---|---|",
    ]
    for case in selected.values():
        for key, impl in case.impls.items():
            if key == ORVANE:
                continue
            sizes = {r["size"] for r in results if r["case"] == case.name}
            common = [s for s in sizes if by.get((case.name, key, s)) is not None
                      and by.get((case.name, ORVANE, s)) is not None]
            if not common:
                continue
            s = max(common)
            peer, ours = by[(case.name, key, s)], by[(case.name, ORVANE, s)]
            lines.append(f"| {case.name} | {case.impls[ORVANE].label} | {impl.label} | {case.size_label} {s} | "
                         f"{fmt_time(peer)} | {fmt_time(ours)} | {fmt_ratio(peer, ours)} |")
    for case in selected.values():
        sizes = sorted({r["size"] for r in results if r["case"] == case.name})
        if not sizes:
            continue
        impls = [k for k in case.impls if any((case.name, k, s) in by for s in sizes)]
        peers = [k for k in impls if k != ORVANE]
        lines += ["", f"## {case.title} (`{case.name}`)", ""]
        if case.note:
            lines += [case.note, ""]
        header = [case.size_label] + [case.impls[k].label for k in impls] + \
                 [f"{case.impls[k].label} ÷ orvane" for k in peers]
        lines.append("| " + " | ".join(header) + " |")
        lines.append("|" + "---|" * len(header))
        for s in sizes:
            ours = by.get((case.name, ORVANE, s))
            cells = [str(s)] + [fmt_time(by.get((case.name, k, s))) for k in impls] + \
                    [fmt_ratio(by.get((case.name, k, s)), ours) for k in peers]
            lines.append("| " + " | ".join(cells) + " |")
    errors = [r for r in results if "error" in r]
    if errors:
        lines += ["", "## Failed comparisons", ""]
        lines += [f"- {r['case']} / {r['impl']} / {r['size']}: {' '.join(r['error'])}" for r in errors]
    return "\n".join(lines) + "\n"


def plot(results: list[dict], selected: dict[str, C.Case], path: pathlib.Path) -> bool:
    try:
        import matplotlib
    except ImportError:
        print("matplotlib is not installed: no plot", file=sys.stderr)
        return False
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    shown = [c for c in selected.values() if any(r["case"] == c.name and r.get("seconds") for r in results)]
    cols = 3
    rows = (len(shown) + cols - 1) // cols
    fig, axes = plt.subplots(rows, cols, figsize=(5.2 * cols, 3.8 * rows), squeeze=False)
    for ax in axes.ravel()[len(shown):]:
        ax.axis("off")
    for ax, case in zip(axes.ravel(), shown):
        sizes = sorted({r["size"] for r in results if r["case"] == case.name and r.get("seconds", 0) > 0})
        if len(sizes) == 1:
            # one size: a bar per implementation
            bars = [(impl.label, r["seconds"]) for key, impl in case.impls.items() for r in results
                    if r["case"] == case.name and r["impl"] == key and r.get("seconds", 0) > 0]
            ax.barh([textwrap.fill(b[0], 20) for b in bars], [b[1] for b in bars],
                    color=["black" if i == 0 else f"C{i}" for i in range(len(bars))])
            ax.set_xscale("log")
            ax.set_xlabel(f"seconds per operation ({case.size_label} {sizes[0]})")
            ax.tick_params(axis="y", labelsize=7)
            ax.set_title(case.name, fontsize=10)
            ax.grid(True, which="both", axis="x", alpha=0.3)
            continue
        for key, impl in case.impls.items():
            pts = sorted((r["size"], r["seconds"]) for r in results
                         if r["case"] == case.name and r["impl"] == key and r.get("seconds", 0) > 0)
            if pts:
                style = dict(linewidth=2.5, color="black") if key == ORVANE else {}
                ax.plot([p[0] for p in pts], [p[1] for p in pts], marker="o", label=impl.label, **style)
        ax.set_yscale("log")
        if case.size_label == "shots" or case.name == "clifford_tableau":
            ax.set_xscale("log")
        ax.set_xticks(sizes, [str(x) for x in sizes])
        ax.set_title(case.name, fontsize=10)
        ax.set_xlabel(case.size_label)
        ax.set_ylabel("seconds per operation")
        ax.grid(True, which="both", alpha=0.3)
        ax.legend(fontsize=7)
    fig.suptitle("orvane_native and its peers: median time against size (lower is better)")
    fig.tight_layout()
    fig.savefig(path, dpi=72)
    plt.close(fig)
    return True


def run_targets(args) -> int:
    now = datetime.datetime.now()
    args.out.mkdir(parents=True, exist_ok=True)
    stem = args.out / (now.strftime("%Y%m%d-%H%M%S") + "-targets")
    cmd = [sys.executable, str(HERE / "targets.py"), "--rounds", str(args.rounds), "--json",
           str(stem.with_suffix(".json"))]
    if args.every_qubit:
        cmd.append("--every-qubit")
    proc = subprocess.run(cmd, env=worker_env(), text=True, capture_output=True)
    print(proc.stderr, end="", file=sys.stderr)
    if proc.returncode != 0:
        return proc.returncode
    header = (f"Command: `python bench/run.py --targets{' --every-qubit' if args.every_qubit else ''}"
              f"{'' if args.rounds == 9 else f' --rounds {args.rounds}'}`, {now.strftime('%Y-%m-%d %H:%M')}.\n"
              f"Machine: {cpu_name()}, {os.cpu_count()} cores; Python {platform.python_version()}; "
              + ", ".join(f"{d} {version_of(d)}" for d in ("orvane_native", "numpy", "stim", "qulacs", "qiskit-aer"))
              + ".\n\nEvery library on one thread. Each row: one process holding both implementations, "
              f"{args.rounds} rounds alternating which goes first; the figure is the median of the per-round "
              "ratios (or times), the spread their lowest and highest. Times are medians of the rounds.\n")
    md = "# Performance targets\n\n" + header + "\n" + proc.stdout
    stem.with_suffix(".md").write_text(md)
    print(proc.stdout, end="")
    print(f"wrote {stem}.md")
    if args.latest:
        shutil.copyfile(stem.with_suffix(".md"), HERE / "TARGETS.md")
        print(f"latest: {HERE / 'TARGETS.md'}")
    return 0


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--quick", action="store_true", help="fewer sizes and shorter sampling")
    parser.add_argument("--cases", nargs="*", help="run only these cases (default: all)")
    parser.add_argument("--budget", type=float, help="seconds of sampling per comparison "
                                                     "(default 0.6 with --quick, 4 otherwise)")
    parser.add_argument("--out", type=pathlib.Path, default=HERE / "results", metavar="DIR",
                        help="folder for the timestamped table, plot and raw numbers "
                             "(default bench/results/, which git does not track)")
    parser.add_argument("--no-check", action="store_true", help="skip the equivalence check")
    parser.add_argument("--latest", action="store_true",
                        help="also copy the table and plot to the tracked bench/RESULTS.md and bench/RESULTS.png "
                             "(with --targets: to bench/TARGETS.md), the figures the README quotes")
    parser.add_argument("--targets", action="store_true",
                        help="measure the performance targets as ratios over interleaved rounds (bench/targets.py)")
    parser.add_argument("--rounds", type=int, default=9, help="rounds per target (with --targets)")
    parser.add_argument("--every-qubit", action="store_true",
                        help="with --targets: the H row on each of the 24 qubits, not four")
    args = parser.parse_args()
    if args.targets:
        return run_targets(args)

    all_cases = C.cases()
    unknown = set(args.cases or []) - set(all_cases)
    if unknown:
        parser.error(f"unknown cases {sorted(unknown)}; known: {sorted(all_cases)}")
    selected = {k: v for k, v in all_cases.items() if not args.cases or k in args.cases}
    budget = args.budget if args.budget is not None else (0.6 if args.quick else 4.0)

    if not args.no_check:
        print("checking that the peers compute the same results ...", flush=True)
        check = subprocess.run([sys.executable, str(HERE / "check.py")], env=worker_env(), text=True,
                               capture_output=True)
        print(check.stdout, end="")
        if check.returncode != 0:
            print(check.stderr, file=sys.stderr)
            return 1

    missing = sorted({i.requires for c in selected.values() for i in c.impls.values()
                      if not available(i.requires)})
    if missing:
        print(f"not installed, skipped: {', '.join(missing)} (pip install '.[bench]')")

    results = []
    for case, impl, size in plan(selected, args.quick):
        result = run_one(case, impl, size, budget)
        results.append(result)
        shown = fmt_time(result.get("seconds")) if "error" not in result else f"FAILED {result['error']}"
        print(f"  {case:20} {impl:14} {size:>7}  {shown}", flush=True)

    now = datetime.datetime.now()
    meta = {
        "quick": args.quick,
        "date": now.strftime("%Y-%m-%d %H:%M"),
        "cpu": cpu_name(),
        "cores": os.cpu_count(),
        "python": platform.python_version(),
        "versions": {d: version_of(d) for d in ("orvane_native", "numpy", "stim", "qulacs", "qiskit-aer")},
    }
    args.out.mkdir(parents=True, exist_ok=True)
    stem = args.out / now.strftime("%Y%m%d-%H%M%S")
    stem.with_suffix(".json").write_text(json.dumps({"meta": meta, "results": results}, indent=1))
    md = table(results, selected, meta)
    stem.with_suffix(".md").write_text(md)
    have_plot = plot(results, selected, stem.with_suffix(".png"))
    print(f"wrote {stem}.md" + (f" and {stem}.png" if have_plot else ""))
    if args.latest:
        shutil.copyfile(stem.with_suffix(".md"), HERE / "RESULTS.md")
        if have_plot:
            shutil.copyfile(stem.with_suffix(".png"), HERE / "RESULTS.png")
        print(f"latest: {HERE / 'RESULTS.md'}")
    return 1 if any("error" in r for r in results) else 0


if __name__ == "__main__":
    sys.exit(main())
