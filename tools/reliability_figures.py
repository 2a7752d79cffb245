"""Rewrites the figures of RELIABILITY.md from the logs of one run of the
reliability checks (what `./dev reliability` leaves in build/reliability/).

    python tools/reliability_figures.py build/reliability RELIABILITY.md

Only the block between the two marker comments is replaced; the rest of
the file is left exactly as it is. Each figure is read from the closing
lines that the checks print; a log without its line stops the update, so
that a figure is never invented or left stale without notice.
"""

from __future__ import annotations

import datetime
import pathlib
import platform
import re
import subprocess
import sys

BEGIN = "<!-- reliability figures: begin (written by ./dev reliability; edits in between are lost) -->"
END = "<!-- reliability figures: end -->"


class MissingFigure(Exception):
    pass


def last_match(pattern: str, text: str, what: str) -> re.Match:
    matches = list(re.finditer(pattern, text, re.MULTILINE))
    if not matches:
        raise MissingFigure(f"no {what} found (pattern {pattern!r})")
    return matches[-1]


def pytest_passed(text: str, what: str) -> int:
    """The passed count of pytest's closing line ("676 passed in 80.1s",
    with or without the ==== frame and other counts)."""
    m = last_match(r"^=*\s*(?:.*?, )?(\d+) passed\b.* in [\d.]+s", text, f"pytest summary in the {what} log")
    return int(m.group(1))


def ctest_binaries(text: str) -> int:
    # "100% tests passed out of 5", or with older CMake "..., 0 tests failed out of 5"
    m = last_match(r"(\d+)% tests passed(?:, (\d+) tests failed)? out of (\d+)", text, "ctest summary in the test log")
    if m.group(2) not in (None, "0"):
        raise MissingFigure(f"ctest reports {m.group(2)} failed test binaries")
    return int(m.group(3))


def fuzz_figures(text: str) -> dict:
    head = last_match(r"^fuzz: module .*, seed (-?\d+), (\d+) calls per entry point", text, "fuzz settings line")
    tail = last_match(r"^fuzz: seed (-?\d+), (\d+) entry points, (\d+) calls in ([\d.]+) s: (\d+) crashes, "
                      r"(\d+) hangs, (\d+) broken guarantees, (\d+) sanitizer reports", text, "fuzz result line")
    return {"seed": int(head.group(1)), "per_entry": int(head.group(2)), "entries": int(tail.group(2)),
            "calls": int(tail.group(3)), "seconds": float(tail.group(4)), "crashes": int(tail.group(5)),
            "hangs": int(tail.group(6)), "failures": int(tail.group(7)), "reports": int(tail.group(8))}


def leak_figures(text: str, what: str) -> dict:
    m = last_match(r"^leaks: (\d+) entry points, (\d+) paths, (\d+) calls; largest growth after a path: "
                   r"(\d+) interpreter blocks, (\d+) bytes of C heap \((\w+)\)", text, f"leak result line in {what}")
    return {"entries": int(m.group(1)), "paths": int(m.group(2)), "calls": int(m.group(3)),
            "blocks": int(m.group(4)), "bytes": int(m.group(5)), "counter": m.group(6)}


def interrupt_figures(text: str) -> tuple[dict, list[tuple[str, ...]]]:
    """The closing line and the table rows of bench/interrupt_targets.py."""
    m = last_match(r"^interrupts: (\d+) calls, (\d+) interrupts each, every object unchanged; "
                   r"worst ([\d.]+) ms; 0 failed", text, "interrupt result line")
    rows = [tuple(cell.strip() for cell in line.strip().strip("|").split("|"))
            for line in text.splitlines() if re.match(r"^\| .+ \| .+ ms \| .+ ms \| \d+ \| (yes|no) \|$", line)]
    if len(rows) != int(m.group(1)):
        raise MissingFigure(f"the interrupt log has {len(rows)} rows for {m.group(1)} calls")
    return {"calls": int(m.group(1)), "trials": int(m.group(2)), "worst": float(m.group(3))}, rows


def duration(seconds: float) -> str:
    seconds = round(seconds)
    return f"{seconds // 60} min {seconds % 60} s" if seconds >= 60 else f"{seconds} s"


def read(logs: pathlib.Path, name: str) -> str:
    path = logs / name
    if not path.exists():
        raise MissingFigure(f"{path} is missing")
    return path.read_text(errors="replace")


def seconds_of(logs: pathlib.Path, step: str) -> str:
    path = logs / f"{step}.seconds"
    return f" ({duration(float(path.read_text()))})" if path.exists() else ""


def machine() -> str:
    cpu = platform.processor() or platform.machine()
    try:
        for line in pathlib.Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    import os

    return f"{cpu}, {os.cpu_count()} cores, Python {platform.python_version()}"


def commit(logs: pathlib.Path) -> str:
    """The commit the checks ran on, as `./dev reliability` noted it at the
    start (hash, then `git status --porcelain` lines); else the current one."""
    noted = logs / "commit"
    if noted.exists():
        lines = noted.read_text().splitlines()
        if lines and lines[0].strip():
            dirty = any(line.strip() for line in lines[1:])
            return f"commit {lines[0].strip()}" + (" with uncommitted changes" if dirty else "")
    try:
        rev = subprocess.run(["git", "rev-parse", "--short", "HEAD"], capture_output=True, text=True, check=True)
        dirty = subprocess.run(["git", "status", "--porcelain", "--untracked-files=no"], capture_output=True,
                               text=True, check=True).stdout.strip()
    except (OSError, subprocess.CalledProcessError):
        return "an unknown commit"
    return f"commit {rev.stdout.strip()}" + (" with uncommitted changes" if dirty else "")


def render(logs: pathlib.Path, when: str, where: str, what: str) -> str:
    """The Markdown block of figures, markers included."""
    test, sanitize = read(logs, "test.log"), read(logs, "sanitize.log")
    if "sanitize: no sanitizer report" not in sanitize:
        raise MissingFigure("the sanitize log does not end with 'sanitize: no sanitizer report'")
    fuzz = fuzz_figures(read(logs, "fuzz.log"))
    plain, sanitized = leak_figures(read(logs, "leaks.log"), "leaks.log"), None
    if (logs / "leaks-sanitized.log").exists():
        sanitized = leak_figures(read(logs, "leaks-sanitized.log"), "leaks-sanitized.log")
    leak_text = (f"{plain['entries']} entry points, {plain['paths']} paths (success and error), "
                 f"{plain['calls']:,} calls; largest growth after any path: {plain['blocks']} interpreter blocks "
                 f"and {plain['bytes']} bytes of C heap (ordinary build, "
                 f"{'glibc statistics' if plain['counter'] == 'mallinfo2' else plain['counter']})")
    if sanitized:
        leak_text += (f"; {sanitized['blocks']} blocks and {sanitized['bytes']} bytes under the sanitizer's "
                      f"own count")
    rows = [
        ("`./dev test`", f"{ctest_binaries(test)} native test binaries passed; "
                         f"{pytest_passed(test, 'test')} Python tests passed{seconds_of(logs, 'test')}"),
        ("`./dev sanitize`", f"{pytest_passed(sanitize, 'sanitize')} Python tests passed against the sanitized "
                             "build; 0 sanitizer reports; the deliberate overflow was reported (status 99)"
                             f"{seconds_of(logs, 'sanitize')}"),
        (f"`./dev fuzz` (sanitized, seed {fuzz['seed']}, {fuzz['per_entry']} calls per entry point)",
         f"{fuzz['entries']} entry points, {fuzz['calls']:,} calls in {duration(fuzz['seconds'])}: "
         f"{fuzz['crashes']} crashes, {fuzz['hangs']} hangs, {fuzz['failures']} broken guarantees, "
         f"{fuzz['reports']} sanitizer reports"),
        ("`python tests/test_leaks.py`" + (" (ordinary and sanitized builds)" if sanitized else ""),
         leak_text + (seconds_of(logs, "leaks") if not sanitized else "")),
    ]
    load = ""
    if (logs / "loadavg").exists():
        load = f" (load average {(logs / 'loadavg').read_text().split()[0]} at the start)"
    lines = [BEGIN, "", f"Run by `./dev reliability` on {when}, {what}, on {where}{load}.", "",
             "| Check | Figures |", "|---|---|"]
    lines += [f"| {check} | {figures} |" for check, figures in rows]
    if (logs / "interrupts.log").exists():
        summary, calls = interrupt_figures(read(logs, "interrupts.log"))
        lines += ["", f"Ctrl-C latency, measured by `python bench/interrupt_targets.py`{seconds_of(logs, 'interrupts')}: "
                      f"each long call interrupted {summary['trials']} times, from a tenth to four fifths of its "
                      "run; the time from the signal to the KeyboardInterrupt caught in Python; every interrupted "
                      "object was left byte for byte as it was.", "",
                  "| Long call | Uninterrupted | Median | Worst |", "|---|---|---|---|"]
        lines += [f"| {c[0]} | {c[1]} | {c[2]} | {c[3]} |" for c in calls]
    return "\n".join(lines + ["", END])


def replace_block(text: str, block: str) -> str:
    """`text` with the marked block replaced by `block`; everything outside
    the markers is kept byte for byte."""
    if text.count(BEGIN) != 1 or text.count(END) != 1 or text.index(BEGIN) > text.index(END):
        raise MissingFigure("the file needs exactly one pair of figure markers, begin before end")
    start, stop = text.index(BEGIN), text.index(END) + len(END)
    return text[:start] + block + text[stop:]


def main(argv: list[str]) -> int:
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    logs, target = pathlib.Path(argv[0]), pathlib.Path(argv[1])
    when = datetime.date.today().isoformat()
    try:
        block = render(logs, when, machine(), commit(logs))
        target.write_text(replace_block(target.read_text(), block))
    except MissingFigure as e:
        print(f"reliability: {e}; {target} left unchanged", file=sys.stderr)
        return 1
    print(f"reliability: figures of {target} rewritten")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
