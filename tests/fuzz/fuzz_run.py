"""Fuzzes every entry point of the module in worker subprocesses.

    python tests/fuzz/fuzz_run.py                      # 2000 calls per entry point, seed 1
    python tests/fuzz/fuzz_run.py --calls 100000 --seed 7 --jobs 2
    python tests/fuzz/fuzz_run.py --replay kron 1234 --seed 7

Each worker runs a share of the calls; the parent watches their progress
lines. A worker that dies (a crash, a sanitizer report) or stops making
progress for --timeout seconds (a hang) is reported with the call it was
running, a reproducer script is written to --out, and a fresh worker takes
over from the next call. A broken guarantee that does not kill the process
(a disallowed exception, a wrong result kind, a changed argument, an object
changed by a rejected call) is reported the same way. The exit status is 0
only when nothing was found; a summary goes to --out/summary.json.
"""

from __future__ import annotations

import argparse
import collections
import json
import os
import random
import re
import selectors
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import fuzz_surface  # noqa: E402
from fuzz_plan import build_plan, plan_code  # noqa: E402

WORKER = os.path.join(HERE, "fuzz_worker.py")
# exit statuses that the sanitizer options of `./dev` give to a report
SANITIZER_STATUS = (98, 99)
SANITIZER_MARKS = ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:", "SUMMARY: UndefinedBehavior")


def worker_command(opts, *extra):
    return [opts.python, WORKER, "--module", opts.module, *extra]


def list_entries(opts) -> dict:
    proc = subprocess.run(worker_command(opts, "--list"), capture_output=True, text=True, timeout=300)
    for line in proc.stdout.splitlines():
        if line.startswith("L\t"):
            return json.loads(line[2:])
    sys.stderr.write(proc.stderr[-4000:])
    raise SystemExit(f"fuzz: could not list the entry points of {opts.module} (exit status {proc.returncode})")


def reproducer(opts, entries, name: str, index: int) -> str:
    """Writes the reproducer script of one call and returns its path."""
    by_name = {e.name: e for e in entries}
    plan = build_plan(entries, by_name[name], opts.seed, index)
    safe = re.sub(r"[^A-Za-z0-9_.]", "_", name)
    path = os.path.join(opts.out, f"repro-{safe}-{opts.seed}-{index}.py")
    header = (
        f"# Fuzz call {index} of {name}, seed {opts.seed}. Replay with:\n"
        f"#   python {os.path.relpath(__file__)} --module {opts.module} --replay {name} {index} --seed {opts.seed}\n"
        f"import sys\nsys.path.insert(0, {HERE!r})\n"
    )
    from fuzz_values import PRELUDE

    with open(path, "w") as f:
        f.write(header + PRELUDE + plan_code(plan, opts.module))
    return path


class Lane:
    """One worker process at a time, running a batch of tasks."""

    def __init__(self, opts):
        self.opts = opts
        self.proc = None
        self.tasks = []
        self.current = None  # (entry, index) in progress
        self.last_progress = 0.0
        self.buffer = b""
        self.done = False
        self.stderr = None

    def start(self, tasks):
        self.tasks = tasks
        self.current = None
        self.done = False
        self.buffer = b""
        self.stderr = tempfile.TemporaryFile()
        self.proc = subprocess.Popen(
            worker_command(self.opts, "--seed", str(self.opts.seed), "--recheck-every", str(self.opts.recheck_every)),
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=self.stderr, start_new_session=True,
        )
        self.proc.stdin.write(json.dumps(tasks).encode())
        self.proc.stdin.close()
        self.last_progress = time.monotonic()

    def remaining(self):
        """Tasks left after the call in progress (which is not retried)."""
        if self.current is None:
            return list(self.tasks)
        name, index = self.current
        out = []
        seen = False
        for t_name, first, count in self.tasks:
            if seen:
                out.append([t_name, first, count])
            elif t_name == name and first <= index < first + count:
                seen = True
                if index + 1 < first + count:
                    out.append([t_name, index + 1, first + count - index - 1])
        return out

    def stderr_tail(self, limit=40000) -> str:
        self.stderr.seek(0)
        data = self.stderr.read().decode(errors="replace")
        return data[-limit:]

    def kill(self):
        try:
            os.killpg(self.proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        self.proc.wait()


def fuzz(opts) -> int:
    os.makedirs(opts.out, exist_ok=True)
    listing = list_entries(opts)
    entries = [fuzz_surface.entry_from_json(d) for d in listing["entries"]]
    if opts.only:
        entries_run = [e for e in entries if re.search(opts.only, e.name)]
    else:
        entries_run = entries
    problems = [f"surface: {m}" for m in listing["mismatches"]]
    problems += [f"surface: {name} has no signature docstring and is not fuzzed" for name in listing["unparsed"]]

    chunk = max(1, min(opts.chunk, opts.calls))
    queue = collections.deque(
        [e.name, first, min(chunk, opts.calls - first)] for e in entries_run for first in range(0, opts.calls, chunk)
    )
    # a few worker batches per lane keep both cores busy to the end
    batch = max(1, len(queue) // (opts.jobs * 4) or 1)
    counts = {e.name: collections.Counter() for e in entries_run}
    special = collections.Counter()  # plans of the special kinds (interrupt, finaliser)
    slowest = {}
    findings = []
    abandoned = set()
    started = time.monotonic()
    lanes = [Lane(opts) for _ in range(opts.jobs)]
    sel = selectors.DefaultSelector()

    def launch(lane):
        tasks = [queue.popleft() for _ in range(min(batch, len(queue)))]
        if tasks:
            lane.start(tasks)
            sel.register(lane.proc.stdout, selectors.EVENT_READ, lane)
        else:
            lane.proc = None

    def finish(lane, reason=None):
        sel.unregister(lane.proc.stdout)
        if reason is None:
            rc = lane.proc.wait()
            if rc == 0 and lane.done:
                lane.proc.stdout.close()
                return
            reason = f"worker died: exit status {rc}" if rc >= 0 else f"worker died: signal {signal.Signals(-rc).name}"
        lane.proc.stdout.close()
        tail = lane.stderr_tail()
        if lane.current is None:
            findings.append({"kind": "startup", "message": reason, "stderr": tail})
            queue.clear()
            return
        name, index = lane.current
        kind = "hang" if reason.startswith("hang") else "crash"
        sanitizer = any(mark in tail for mark in SANITIZER_MARKS) or lane.proc.returncode in SANITIZER_STATUS
        findings.append({
            "kind": kind, "entry": name, "index": index, "message": reason, "sanitizer": sanitizer,
            "reproducer": reproducer(opts, entries, name, index), "stderr": tail,
        })
        counts[name][kind] += 1
        remaining = lane.remaining()
        if counts[name]["crash"] + counts[name]["hang"] >= opts.max_crashes:
            # one fault usually shows up again and again: leave this entry point
            abandoned.add(name)
            for task in list(queue):
                if task[0] == name:
                    queue.remove(task)
            remaining = [t for t in remaining if t[0] != name]
        for task in reversed(remaining):
            queue.appendleft(task)

    for lane in lanes:
        launch(lane)
    while any(lane.proc is not None for lane in lanes):
        for key, _ in sel.select(timeout=1.0):
            lane = key.data
            data = os.read(lane.proc.stdout.fileno(), 1 << 16)
            if not data:
                finish(lane)
                launch(lane)
                continue
            lane.buffer += data
            *lines, lane.buffer = lane.buffer.split(b"\n")
            for raw in lines:
                tag, _, text = raw.decode().partition("\t")
                if tag == "B":
                    name, index = text.split("\t")
                    lane.current = (name, int(index))
                    lane.last_progress = time.monotonic()
                elif tag == "F":
                    f = json.loads(text)
                    f["kind"] = "failure"
                    f["reproducer"] = reproducer(opts, entries, f["entry"], f["index"])
                    findings.append(f)
                elif tag == "P":
                    special[text] += 1
                elif tag == "O":
                    counts[lane.current[0]][text] += 1
                elif tag == "R":
                    r = json.loads(text)
                    if r["slowest_s"] > slowest.get(r["entry"], (0.0, 0))[0]:
                        slowest[r["entry"]] = (r["slowest_s"], r["slowest_index"])
                elif tag == "D":
                    lane.done = True
        now = time.monotonic()
        for lane in lanes:
            if lane.proc is not None and now - lane.last_progress > opts.timeout:
                lane.kill()
                finish(lane, f"hang: no progress for {opts.timeout:g} s")
                launch(lane)
    elapsed = time.monotonic() - started
    for name in sorted(abandoned):
        problems.append(f"{name}: left after {opts.max_crashes} crashes or hangs; its remaining calls did not run")
    return report(opts, entries_run, counts, slowest, findings, problems, elapsed, special)


def report(opts, entries, counts, slowest, findings, problems, elapsed, special=None) -> int:
    special = special or collections.Counter()
    columns = ("ok", "TypeError", "OverflowError", "RuntimeError", "MemoryError", "interrupted", "failure", "crash",
               "hang")
    width = max(len(e.name) for e in entries) if entries else 10
    total = collections.Counter()
    if not opts.quiet:
        print(f"{'entry point':<{width}} {'calls':>7} " + " ".join(f"{c[:9]:>9}" for c in columns) + "  slowest")
    for e in entries:
        c = counts[e.name]
        calls = sum(c.values())
        total.update(c)
        if not opts.quiet:
            slow = slowest.get(e.name, (0.0, 0))
            print(f"{e.name:<{width}} {calls:>7} " + " ".join(f"{c.get(k, 0):>9}" for k in columns) +
                  f"  {slow[0]:.3f}s (#{slow[1]})")
    calls = sum(total.values())
    crashes = sum(1 for f in findings if f["kind"] in ("crash", "startup"))
    hangs = sum(1 for f in findings if f["kind"] == "hang")
    failures = sum(1 for f in findings if f["kind"] == "failure")
    sanitizer = sum(1 for f in findings if f.get("sanitizer"))
    for f in findings:
        print(f"\n!! {f['kind']}: {f.get('entry', '')} call {f.get('index', '')}: {f['message']}")
        if f.get("reproducer"):
            print(f"   reproducer: {f['reproducer']}")
        if f.get("stderr") and f["kind"] != "failure":
            lines = f["stderr"].splitlines()
            start = next((i for i, ln in enumerate(lines) if any(m in ln for m in SANITIZER_MARKS)), None)
            shown = lines[start:start + 20] if start is not None else lines[-20:]
            print("   stderr:\n" + "\n".join("     " + ln[:300] for ln in shown))
    for p in problems:
        print(f"\n!! {p}")
    print(f"\nfuzz: {special['interrupt']} calls under SIGALRM ({total.get('interrupted', 0)} interrupted inside "
          f"the native call), {special['finaliser']} plans through a finaliser of a failed construction")
    print(f"fuzz: seed {opts.seed}, {len(entries)} entry points, {calls} calls in {elapsed:.1f} s: "
          f"{crashes} crashes, {hangs} hangs, {failures} broken guarantees, {sanitizer} sanitizer reports")
    summary = {
        "module": opts.module, "seed": opts.seed, "calls_per_entry": opts.calls, "entry_points": len(entries),
        "calls": calls, "crashes": crashes, "hangs": hangs, "failures": failures, "sanitizer_reports": sanitizer,
        "seconds": round(elapsed, 1), "sanitized": "libasan" in os.environ.get("LD_PRELOAD", ""),
        "outcomes": {k: total.get(k, 0) for k in columns},
        "interrupt_plans": special["interrupt"], "finaliser_plans": special["finaliser"],
        "per_entry": {e.name: dict(counts[e.name]) for e in entries},
        "findings": [{k: v for k, v in f.items() if k != "stderr"} for f in findings], "problems": problems,
    }
    with open(os.path.join(opts.out, "summary.json"), "w") as f:
        json.dump(summary, f, indent=1)
    bad = len(findings) + len(problems)
    # the closing line in the form test runners use: calls without a finding, and findings
    print(f"fuzz: {max(calls - len(findings), 0)} passed, {bad} failed")
    return 1 if findings or problems or calls == 0 else 0


def replay(opts) -> int:
    os.makedirs(opts.out, exist_ok=True)
    listing = list_entries(opts)
    entries = [fuzz_surface.entry_from_json(d) for d in listing["entries"]]
    name, index = opts.replay
    path = reproducer(opts, entries, name, int(index))
    with open(path) as f:
        text = f.read()
    print(text if len(text) < 20000 else text[:20000] + "\n... (truncated; see the file)")
    print(f"--- running {path}", flush=True)
    return subprocess.call([opts.python, path])


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--module", default="orvane_native")
    parser.add_argument("--calls", type=int, default=None, help="calls per entry point (2000; 100000 with --long)")
    parser.add_argument("--long", action="store_true", help="the long run: 100000 calls per entry point")
    parser.add_argument("--seed", type=int, default=None, help="1 by default; random with --long")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--timeout", type=float, default=60.0, help="seconds without progress that count as a hang")
    parser.add_argument("--only", help="regular expression selecting entry points")
    parser.add_argument("--chunk", type=int, default=250)
    parser.add_argument("--recheck-every", type=int, default=16, help="repeat every Nth call to check determinism")
    parser.add_argument("--max-crashes", type=int, default=5, help="per entry point, before it is left")
    parser.add_argument("--out", default=os.path.join("build", "fuzz"))
    parser.add_argument("--python", default=sys.executable)
    parser.add_argument("--replay", nargs=2, metavar=("ENTRY", "INDEX"))
    parser.add_argument("--quiet", action="store_true")
    opts = parser.parse_args(argv)
    if opts.calls is None:
        opts.calls = 100000 if opts.long else 2000
    if opts.seed is None:
        opts.seed = random.randrange(1, 2**31) if opts.long else 1
    if opts.replay:
        return replay(opts)
    print(f"fuzz: module {opts.module}, seed {opts.seed}, {opts.calls} calls per entry point, {opts.jobs} workers",
          flush=True)
    return fuzz(opts)


if __name__ == "__main__":
    sys.exit(main())
