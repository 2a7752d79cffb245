"""The fuzz harness: its view of the surface, its reproducers, its fault
detection (on a stand-in module with known faults), and a short run over
the real module."""

import json
import os
import subprocess
import sys

import pytest

import orvane_native as on

FUZZ = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fuzz")
sys.path.insert(0, FUZZ)

import fuzz_surface  # noqa: E402
import fuzz_values  # noqa: E402
from fuzz_plan import build_plan, plan_code  # noqa: E402

SURFACE = fuzz_surface.discover(on)
RUN = os.path.join(FUZZ, "fuzz_run.py")


def test_every_public_callable_is_an_entry_point():
    assert SURFACE.unparsed == [], "functions without a signature docstring escape the fuzzer"
    assert fuzz_surface.table_mismatches(SURFACE) == []
    names = {e.name for e in SURFACE.entries}
    public = [n for n in dir(on) if not n.startswith("_")]
    for n in public:
        obj = getattr(on, n)
        if isinstance(obj, type):
            assert n in names and f"{n}.num_qubits=" in names
            for m in fuzz_surface.public_methods(obj):
                assert f"{n}.{m}" in names
        else:
            assert n in names


def test_method_table_detects_a_missing_method():
    class Extra(on.NativeState):
        def extra_method(self):
            return None

    surface = fuzz_surface.Surface("x", classes={"NativeState": Extra})
    assert fuzz_surface.table_mismatches(surface)[0] == "NativeState.extra_method is not in METHOD_SIGNATURES"


@pytest.mark.parametrize(
    "text, expected",
    [
        ("kron(a: Sequence[float], a_dim: int, b: Sequence[float], b_dim: int) -> Sequence[float]",
         ("kron", (("a", "Sequence[float]"), ("a_dim", "int"), ("b", "Sequence[float]"), ("b_dim", "int")),
          "Sequence[float]")),
        ("version() -> str", ("version", (), "str")),
        ("measure(targets: Sequence[int], u: float) -> int", ("measure", (("targets", "Sequence[int]"), ("u", "float")), "int")),
        ("NativeState is the state vector", None),
        ("f(x: complex) -> int", None),
        ("f(x) -> int", None),
    ],
)
def test_signature_parsing(text, expected):
    sig = fuzz_surface.parse_signature(text)
    assert (None if sig is None else (sig.name, sig.params, sig.result)) == expected


def _arguments(plan):
    for step in plan["steps"]:
        yield from step.get("args", [])
        yield from step.get("kwargs", {}).values()
        if "value" in step:
            yield step["value"]


def test_plans_are_reproducible_and_render_as_code_that_rebuilds_them():
    namespace = {}
    exec(fuzz_values.PRELUDE, namespace)
    rendered = 0
    for entry in SURFACE.entries:
        for index in range(25):
            plan = build_plan(SURFACE.entries, entry, 5, index)
            again = build_plan(SURFACE.entries, entry, 5, index)
            assert plan_code(plan, "m") == plan_code(again, "m")
            for value in _arguments(plan):
                code = fuzz_values.to_code(value)
                source = code
                if type(value) in (fuzz_values.Generator, fuzz_values.Made):  # built at call time
                    assert code.endswith(".make()")
                    source = code[: -len(".make()")]
                rebuilt = eval(source, namespace)
                assert type(rebuilt) is type(value)
                assert fuzz_values.to_code(rebuilt) == code
                rendered += 1
    assert rendered > 1000


def test_hostile_values_are_produced():
    kinds = set()
    for entry in SURFACE.entries:
        for index in range(60):
            for value in _arguments(build_plan(SURFACE.entries, entry, 3, index)):
                kinds.add(type(value).__name__)
    for expected in ("LyingList", "LyingTuple", "ListSub", "TupleSub", "IntSub", "FloatSub", "bool", "NoneType",
                     "str", "range", "tuple", "ShrinkingList", "GrowingList", "Opaque"):
        assert expected in kinds


def test_special_plans_are_produced_and_render():
    """Interrupted calls and failed constructions reach every entry point they
    apply to, and their reproducers are scripts that compile."""
    import random

    import fuzz_plan

    def seq_params(entry):
        return any(k.startswith("Sequence") for _, k in entry.params) and entry.name not in fuzz_plan.QUADRATIC_ENTRIES

    kinds = {}
    for entry in SURFACE.entries:
        wanted = {(entry.name, "finaliser")} if entry.kind != "function" else set()
        if entry.kind in ("function", "method") and seq_params(entry):
            wanted.add((entry.name, "interrupt"))
        for index in range(1500):
            if wanted <= kinds.keys():
                break
            # (only the plans that the first draw makes special are built)
            x = random.Random(fuzz_plan.call_seed(1, "special/" + entry.name, index)).random()
            if x >= fuzz_plan.INTERRUPT_SHARE + fuzz_plan.FINALISER_SHARE[entry.kind]:
                continue
            if (entry.name, "interrupt" if x < fuzz_plan.INTERRUPT_SHARE else "finaliser") in kinds:
                continue
            plan = build_plan(SURFACE.entries, entry, 1, index)
            kind = "interrupt" if plan.get("timed") else "finaliser" if plan["steps"][0]["op"] == "halfmade" else None
            if kind and (entry.name, kind) not in kinds:
                kinds[entry.name, kind] = plan
                compile(fuzz_values.PRELUDE + plan_code(plan, "m"), "repro", "exec")
        assert wanted <= kinds.keys(), wanted - kinds.keys()
    code = plan_code(kinds["NativeDensity.apply_channel", "interrupt"], "m")
    assert "with alarm(" in code and "    result = obj.apply_channel(Made(" in code
    assert "failing_subclass(m.NativeState" in plan_code(kinds["NativeState", "finaliser"], "m")


def test_interrupt_and_finaliser_checks_catch_faults():
    """The checks of interrupted calls and of records without storage, on
    stand-ins: a native call that the signal ends (time.sleep), handlers'
    exceptions swallowed or replaced, results from a record without storage."""
    import time

    from fuzz_exec import CheckFailure, PlanRunner, check_storageless_outcome, interrupted_call

    def swallowing():
        try:
            time.sleep(5)
        except fuzz_values.Interrupted:
            return [1.0]

    def replacing():
        try:
            time.sleep(5)
        except fuzz_values.Interrupted:
            raise RuntimeError("panic in Kelvo code: stopped") from None

    for _ in range(3):  # (the signal might come before the sleep starts: then again)
        result, exc, fired, native = interrupted_call(lambda: time.sleep(5), 0.001, "sleep")
        if native:
            break
    assert exc is fired and native
    assert PlanRunner.check_interrupted(result, exc, fired, native, "here") == "interrupted"
    for fault, message in ((swallowing, "returned"), (replacing, "was lost")):
        result, exc, fired, native = interrupted_call(fault, 0.001, "swallowing")
        with pytest.raises(CheckFailure, match=message):
            PlanRunner.check_interrupted(result, exc, fired, native, "here")
    check_storageless_outcome("amplitudes", [], "Sequence[float]", "here")
    check_storageless_outcome("measure", RuntimeError("panic in Kelvo code: x"), "int", "here")
    for name, out, kind in (("amplitudes", [0.0, 0.0], "Sequence[float]"), ("memoryview", 16, ""),
                            ("measure", ValueError("x"), "int")):
        with pytest.raises(CheckFailure):
            check_storageless_outcome(name, out, kind, "here")


def _run(tmp_path, *args, timeout=300):
    out = tmp_path / "out"
    proc = subprocess.run([sys.executable, RUN, "--out", str(out), "--quiet", *args],
                          capture_output=True, text=True, timeout=timeout, cwd=FUZZ)
    with open(out / "summary.json") as f:
        return proc, json.load(f)


def test_harness_reports_each_kind_of_fault(tmp_path):
    proc, summary = _run(tmp_path, "--module", "fuzz_fake_target", "--calls", "3", "--timeout", "2",
                         "--recheck-every", "1")
    assert proc.returncode == 1
    by_entry = {}
    for f in summary["findings"]:
        by_entry.setdefault(f["entry"], set()).add(f["kind"])
        assert os.path.exists(f["reproducer"])
    assert by_entry.get("crash") == {"crash"}
    assert by_entry.get("hang") == {"hang"}
    assert by_entry.get("stray_exception") == {"failure"}
    assert by_entry.get("wrong_kind") == {"failure"}
    assert by_entry.get("mutator") == {"failure"}
    assert "fine" not in by_entry
    assert summary["per_entry"]["fine"].get("ok", 0) + summary["per_entry"]["fine"].get("TypeError", 0) == 3
    messages = [f["message"] for f in summary["findings"] if f["entry"] == "stray_exception"]
    assert "ValueError is not an allowed exception" in messages[0]


def test_crash_reproducer_replays_the_crash(tmp_path):
    proc, summary = _run(tmp_path, "--module", "fuzz_fake_target", "--only", "^crash$", "--calls", "8",
                         "--max-crashes", "1")
    crash = next(f for f in summary["findings"] if f["kind"] == "crash")
    with open(crash["reproducer"]) as f:
        text = f.read()
    assert "m.crash(" in text and "<- the call under test" in text
    replay = subprocess.run([sys.executable, crash["reproducer"]], capture_output=True, timeout=60, cwd=FUZZ)
    assert replay.returncode == -9


def test_short_run_over_the_module(tmp_path):
    proc, summary = _run(tmp_path, "--calls", "12", "--seed", "11")
    assert summary["entry_points"] == len(SURFACE.entries)
    assert summary["calls"] == 12 * len(SURFACE.entries)
    report = [f"{f['kind']} {f['entry']} #{f['index']}: {f['message']} ({f['reproducer']})"
              for f in summary["findings"]]
    assert summary["findings"] == [], "\n".join(report)
    assert proc.returncode == 0, proc.stdout[-3000:]
