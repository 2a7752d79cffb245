"""Fuzz worker: runs call plans in this process and reports over stdout.

    python fuzz_worker.py --module orvane_native --list
    python fuzz_worker.py --module orvane_native --seed S < tasks.json

`--list` prints the discovered entry points as JSON. Otherwise the worker
reads [[entry, first_index, count], ...] from standard input and, for each
call, writes "B<TAB>entry<TAB>index" before running it, so that the parent
knows which call was in progress if this process dies or hangs, and
"O<TAB>outcome" after it (preceded by "P<TAB>kind" for a plan of a special
kind: "interrupt" or "finaliser"). Broken guarantees are written as "F<TAB>{json}"
lines; after each task an "R<TAB>{json}" line gives its slowest call.
"""

from __future__ import annotations

import argparse
import importlib
import json
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import fuzz_surface  # noqa: E402
from fuzz_exec import CheckFailure, PlanRunner  # noqa: E402
from fuzz_plan import build_plan  # noqa: E402


def emit(tag: str, text: str) -> None:
    os.write(1, f"{tag}\t{text}\n".encode())


def listing(module) -> dict:
    surface = fuzz_surface.discover(module)
    return {
        "module": module.__name__,
        "entries": [fuzz_surface.entry_to_json(e) for e in surface.entries],
        "unparsed": surface.unparsed,
        "mismatches": fuzz_surface.table_mismatches(surface) if module.__name__ == "orvane_native" else [],
    }


def run_tasks(module, seed: int, tasks: list, recheck_every: int) -> None:
    surface = fuzz_surface.discover(module)
    entries = surface.entries
    by_name = {e.name: e for e in entries}
    runner = PlanRunner(module, entries)
    for name, first, count in tasks:
        entry = by_name[name]
        slowest = (0.0, first)
        for index in range(first, first + count):
            emit("B", f"{name}\t{index}")
            plan = build_plan(entries, entry, seed, index)
            if plan.get("timed"):
                emit("P", "interrupt")
            elif plan["steps"][0]["op"] == "halfmade":
                emit("P", "finaliser")
            start = time.perf_counter()
            try:
                outcome, fingerprint = runner.run(plan)
                # (where a signal lands is a matter of timing: such plans are not repeated)
                if recheck_every and index % recheck_every == 0 and not plan.get("timed"):
                    again = runner.run(build_plan(entries, entry, seed, index))
                    if again != (outcome, fingerprint):
                        raise CheckFailure("the same call gave a different outcome when repeated")
            except CheckFailure as failure:
                outcome = "failure"
                emit("F", json.dumps({"entry": name, "index": index, "message": str(failure)}))
            elapsed = time.perf_counter() - start
            if elapsed > slowest[0]:
                slowest = (elapsed, index)
            emit("O", outcome)
        emit("R", json.dumps({"entry": name, "first": first, "count": count,
                              "slowest_s": round(slowest[0], 4), "slowest_index": slowest[1]}))


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("--module", default="orvane_native")
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--seed", type=int, default=0)
    parser.add_argument("--recheck-every", type=int, default=16)
    opts = parser.parse_args()
    module = importlib.import_module(opts.module)
    if opts.list:
        emit("L", json.dumps(listing(module)))
        return
    run_tasks(module, opts.seed, json.load(sys.stdin), opts.recheck_every)
    emit("D", "done")


if __name__ == "__main__":
    main()
