"""tools/reliability_figures.py, which `./dev reliability` uses: it rewrites
only the marked block of RELIABILITY.md, from the closing lines that the
checks print, and refuses to write when a figure is missing."""

import importlib.util
import pathlib

import pytest

ROOT = pathlib.Path(__file__).resolve().parent.parent
FOUND = importlib.util.spec_from_file_location("reliability_figures", ROOT / "tools" / "reliability_figures.py")
rf = importlib.util.module_from_spec(FOUND)
FOUND.loader.exec_module(rf)

# The closing lines, in the formats that ctest, pytest, ./dev sanitize,
# tests/fuzz/fuzz_run.py and tests/test_leaks.py print.
LOGS = {
    "test.log": "100% tests passed, 0 tests failed out of 5\n...\n"
                "================ 701 passed, 1 skipped, 2 warnings in 95.12s (0:01:35) ================\n",
    "sanitize.log": "701 passed, 1 skipped in 400.50s (0:06:40)\nsanitize: no sanitizer report\n",
    "fuzz.log": "fuzz: module orvane_native, seed 1, 2000 calls per entry point, 2 workers\n"
                "fuzz: seed 1, 53 entry points, 106000 calls in 43.0 s: 0 crashes, 0 hangs, "
                "0 broken guarantees, 0 sanitizer reports\nfuzz: 106000 passed, 0 failed\n",
    "leaks.log": "leaks: 53 entry points, 184 paths, 499100 calls; largest growth after a path: "
                 "2 interpreter blocks, 0 bytes of C heap (mallinfo2)\n",
    "leaks-sanitized.log": "leaks: 53 entry points, 184 paths, 499100 calls; largest growth after a path: "
                           "0 interpreter blocks, 28 bytes of C heap (sanitizer)\n",
    "interrupts.log": "| call | uninterrupted | latency, median | latency, worst | interrupts | worst under 0.2 s |\n"
                      "|---|---|---|---|---|---|\n"
                      "| NativeState.apply_gate, dense gate on 9 of 20 qubits | 812 ms | 2.1 ms | 4.0 ms | 9 | yes |\n"
                      "| clifford_run, 4000 qubits, 3000 repetitions | > 1 s | 3.3 ms | 250.2 ms | 9 | no |\n"
                      "interrupts: 2 calls, 9 interrupts each, every object unchanged; worst 250.2 ms; 0 failed\n",
    "test.seconds": "130\n",
    "commit": "abc1234\n M README.md\n",  # noted by ./dev at the start: the hash, then git status
    "loadavg": "0.52 0.40 0.31 1/234 5678\n",
}


def write_logs(path, logs):
    path.mkdir()
    for name, text in logs.items():
        (path / name).write_text(text)


@pytest.mark.parametrize("broken", [None, "ctest 3.x", "test.log", "sanitize.log", "fuzz.log", "leaks.log",
                                    "interrupts.log"])
def test_only_the_marked_block_changes(tmp_path, broken):
    logs = dict(LOGS)
    if broken == "ctest 3.x":  # not broken: the summary of newer CMake releases
        logs["test.log"] = logs["test.log"].replace(", 0 tests failed out of 5", " out of 5")
        broken = None
    if broken:  # a log without its closing line: nothing is written
        logs[broken] = logs[broken].splitlines()[0][:20] + "\n"
    write_logs(tmp_path / "logs", logs)
    target = tmp_path / "RELIABILITY.md"
    original = (ROOT / "RELIABILITY.md").read_text()
    target.write_text(original)

    status = rf.main([str(tmp_path / "logs"), str(target)])
    text = target.read_text()
    if broken:
        assert status == 1 and text == original
        return
    assert status == 0
    head, rest = original.split(rf.BEGIN)
    tail = rest.split(rf.END)[1]
    assert text.startswith(head) and text.endswith(tail)
    block = text[len(head):len(text) - len(tail)]
    assert "| `./dev test` | 5 native test binaries passed; 701 Python tests passed (2 min 10 s) |" in block
    assert "701 Python tests passed against the sanitized build" in block
    assert "53 entry points, 106,000 calls in 43 s: 0 crashes" in block
    assert "commit abc1234 with uncommitted changes" in block and "(load average 0.52 at the start)" in block
    assert "499,100 calls" in block and "0 blocks and 28 bytes under the sanitizer's own count" in block
    assert "| NativeState.apply_gate, dense gate on 9 of 20 qubits | 812 ms | 2.1 ms | 4.0 ms |" in block
    assert "| clifford_run, 4000 qubits, 3000 repetitions | > 1 s | 3.3 ms | 250.2 ms |" in block
    # Run again on its own output: the same block, nothing else touched.
    assert rf.main([str(tmp_path / "logs"), str(target)]) == 0
    assert target.read_text() == text
