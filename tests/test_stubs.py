"""The type stubs (stubs/orvane_native-stubs) against the running module.

The stubs are generated from the surface table
(src/orvane_native/module/surface.def) by tools/surface_table.py; the
checked-in file must be what the generator writes. Three independent checks
keep them from drifting from the module:
- every signature in the stubs is compared with what the binding itself
  accepts, found by probing it (its "missing required argument" and
  "expected int/float/a sequence" messages name each parameter and its kind),
  and with the function docstrings;
- mypy's stubtest compares the stubs with the imported module;
- mypy --strict accepts the typed example and rejects typed misuse.
"""

import ast
import importlib.metadata
import inspect
import os
import pathlib
import pydoc
import re
import subprocess
import sys

import pytest

import orvane_native as on

ROOT = pathlib.Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tools"))
import surface_table  # noqa: E402

STUB = ROOT / "stubs" / "orvane_native-stubs" / "__init__.pyi"
EXAMPLE = ROOT / "examples" / "typed_example.py"

CLASSES = ["NativeTableau", "NativeState", "NativeDensity"]
BUFFERED = {"NativeState", "NativeDensity"}
FUNCTIONS = sorted(
    name for name in dir(on) if not name.startswith("_") and name not in CLASSES
)

# A value that passes conversion for each parameter kind, and the stubs'
# spelling of that kind: the binding takes a list or a tuple and nothing else.
VALID = {"int": 0, "float": 0.0, "Sequence[int]": [], "Sequence[float]": []}
STUB_KIND = {"int": "int", "float": "float", "Sequence[int]": "list[int] | tuple[int, ...]",
             "Sequence[float]": "list[float] | tuple[float, ...]"}


def stub_module():
    return ast.parse(STUB.read_text())


def stub_functions():
    return {n.name: n for n in stub_module().body if isinstance(n, ast.FunctionDef)}


def stub_classes():
    return {n.name: n for n in stub_module().body if isinstance(n, ast.ClassDef)}


def stub_methods(cls_name):
    body = stub_classes()[cls_name].body
    return {n.name: n for n in body if isinstance(n, ast.FunctionDef)}


def stub_params(fn, skip_self):
    args = fn.args
    assert not args.kwonlyargs and args.vararg is None and args.kwarg is None and not args.defaults
    params = args.posonlyargs + args.args
    if skip_self:
        params = params[1:]
    return [(a.arg, ast.unparse(a.annotation)) for a in params]


def probe(call, label):
    """The parameter list of a binding-layer callable as [(name, kind)],
    found from its error messages alone.

    Binding reports the first missing argument by name before converting
    anything; conversion then runs in parameter order and names the first
    argument of the wrong type with the kind it expected."""
    names = []
    while True:
        try:
            call(**{n: None for n in names})
            break
        except TypeError as e:
            m = re.fullmatch(rf"{label}\(\) missing required argument: '(\w+)'", str(e))
            if not m:
                break
            names.append(m.group(1))
        except (RuntimeError, MemoryError):
            break
    kinds = []
    for i, name in enumerate(names):
        args = {n: VALID[k] for n, k in zip(names, kinds)}
        args.update({n: None for n in names[i + 1:]})
        args[name] = "x"
        with pytest.raises(TypeError) as info:
            call(**args)
        msg = str(info.value)
        if msg == f"{name}: expected int, got str":
            kinds.append("int")
        elif msg == f"{name}: expected float, got str":
            kinds.append("float")
        elif msg == f"{label}(): {name} expected a sequence, got str":
            args[name] = ["x"]
            with pytest.raises(TypeError) as info:
                call(**args)
            element = re.fullmatch(rf"{name}: expected (int|float), got str", str(info.value))
            assert element, str(info.value)
            kinds.append(f"Sequence[{element.group(1)}]")
        else:
            pytest.fail(f"unexpected message for {label}({name}=...): {msg}")
    return list(zip(names, kinds))


def result_kind(value):
    if value is None:
        return "None"
    if isinstance(value, list):
        kinds = {type(v).__name__ for v in value}
        assert len(kinds) <= 1, value
        return f"list[{kinds.pop()}]" if kinds else "list"
    return type(value).__name__


def assert_result_matches(stub_return, value):
    got = result_kind(value)
    if got == "list":
        assert stub_return.startswith("list["), stub_return
    else:
        assert got == stub_return


def spelled(params):
    return [(name, STUB_KIND[kind]) for name, kind in params]


def test_stubs_cover_exactly_the_module():
    runtime = {name for name in dir(on) if not name.startswith("_")}
    declared = set(stub_functions()) | set(stub_classes())
    assert declared == runtime
    assert len(FUNCTIONS) == 29 and len(CLASSES) == 3
    table = surface_table.read_table()
    assert {f.sig.name for f in table.functions} | {c.name for c in table.classes} == runtime


def test_checked_in_stubs_are_generated_from_the_table():
    assert STUB.read_text() == surface_table.render_stubs(surface_table.read_table()), "run ./dev stubs"
    result = subprocess.run([sys.executable, str(ROOT / "tools" / "surface_table.py"), "--check"],
                            capture_output=True, text=True, timeout=60)
    assert result.returncode == 0, result.stderr


@pytest.mark.parametrize("name", FUNCTIONS)
def test_function_stub_matches_docstring(name):
    doc = getattr(on, name).__doc__
    assert surface_table.read_table().function(name).signature == doc
    documented = ast.parse(f"def {doc}: ...").body[0]
    stub = stub_functions()[name]
    assert stub_params(stub, skip_self=False) == spelled(stub_params(documented, skip_self=False))
    # The docstrings name the result kind Sequence[...]; it always arrives as a new list.
    doc_return = ast.unparse(documented.returns)
    assert ast.unparse(stub.returns) == re.sub(r"^Sequence\[", "list[", doc_return)


@pytest.mark.parametrize("name", [f for f in FUNCTIONS if f != "version"])
def test_function_stub_matches_binding(name):
    fn = getattr(on, name)
    stub = stub_functions()[name]
    params = probe(fn, name)
    assert spelled(params) == stub_params(stub, skip_self=False)
    try:
        value = fn(**{n: VALID[k] for n, k in params})
    except RuntimeError:
        return  # degenerate arguments rejected by the core: the result kind is the docstring's
    assert_result_matches(ast.unparse(stub.returns), value)


def text_signature_cases():
    """Every entry point of the surface table: the object, the parameter names
    its row declares, whether it is a method, and the __doc__ it keeps (None
    for a class, whose docstring test_classes checks)."""
    table = surface_table.read_table()
    for f in table.functions:
        yield pytest.param(getattr(on, f.sig.name), [p for p, _ in f.sig.params], False, f.signature,
                           id=f.sig.name)
    for c in table.classes:
        cls = getattr(on, c.name)
        yield pytest.param(cls, ["num_qubits"], False, None, id=c.name)
        for m in c.methods:
            yield pytest.param(getattr(cls, m.sig.name), [p for p, _ in m.sig.params], True, m.doc,
                               id=f"{c.name}.{m.sig.name}")


@pytest.mark.parametrize("obj, names, method, doc", list(text_signature_cases()))
def test_text_signatures(obj, names, method, doc):
    """inspect.signature, and so help(), read each entry point's parameters in
    order from its text signature, while __doc__ stays the table's text."""
    if doc is not None:
        assert obj.__doc__ == doc
    assert obj.__text_signature__ == "(" + ", ".join((["$self"] if method else []) + names) + ")"
    params = list(inspect.signature(obj).parameters.values())
    if method:
        assert (params[0].name, params[0].kind) == ("self", inspect.Parameter.POSITIONAL_ONLY)
        params = params[1:]
        bound = getattr(obj.__objclass__(1), obj.__name__)
        assert list(inspect.signature(bound).parameters) == names
    assert [p.name for p in params] == names
    assert all(p.kind is inspect.Parameter.POSITIONAL_OR_KEYWORD for p in params)
    # help() names the parameters, in order, on the entry point's heading
    # line (from 3.13 on it shows there the docstring's own typed signature
    # when the docstring starts with the name, and marks unbound methods).
    text = pydoc.render_doc(obj, renderer=pydoc.plaintext)
    lines = "\n".join(line.lstrip(" |") for line in text.splitlines())
    start = lines.find("\n" + obj.__name__ + "(")
    heading = lines[start:lines.find(")", start) + 1] if start >= 0 else ""  # may wrap over lines
    found = [re.search(rf"\b{name}\b", heading) for name in names]
    assert all(found), heading
    assert [m.start() for m in found] == sorted(m.start() for m in found), heading


def test_version_stub_matches_binding():
    with pytest.raises(TypeError, match="takes no arguments"):
        on.version(1)
    assert_result_matches(ast.unparse(stub_functions()["version"].returns), on.version())


@pytest.mark.parametrize("cls_name", CLASSES)
def test_constructor_stub_matches_binding(cls_name):
    cls = getattr(on, cls_name)
    new = stub_methods(cls_name)["__new__"]
    assert spelled(probe(cls, cls_name)) == stub_params(new, skip_self=True)
    assert ast.unparse(new.returns) == "Self"


def method_cases():
    for cls_name in CLASSES:
        for method in stub_methods(cls_name):
            if not method.startswith("__"):
                yield cls_name, method


@pytest.mark.parametrize("cls_name,method", list(method_cases()))
def test_method_stub_matches_binding(cls_name, method):
    obj = getattr(on, cls_name)(1)
    obj.reset()
    stub = stub_methods(cls_name)[method]
    expected = stub_params(stub, skip_self=True)
    bound = getattr(obj, method)
    if not expected:
        with pytest.raises(TypeError, match="takes no arguments"):
            bound(1)
        value = bound()
    else:
        params = probe(bound, method)
        assert spelled(params) == expected
        try:
            value = bound(**{n: VALID[k] for n, k in params})
        except RuntimeError:
            return  # degenerate arguments rejected by the core
    assert_result_matches(ast.unparse(stub.returns), value)


@pytest.mark.parametrize("cls_name", CLASSES)
def test_class_stub_attributes_and_buffer(cls_name):
    cls = getattr(on, cls_name)
    body = stub_classes()[cls_name].body
    attributes = {n.target.id: ast.unparse(n.annotation) for n in body if isinstance(n, ast.AnnAssign)}
    assert attributes == {"num_qubits": "int"}
    obj = cls(3)
    assert type(obj.num_qubits) is int and obj.num_qubits == 3
    runtime_methods = {n for n, v in vars(cls).items() if not n.startswith("_") and callable(v)}
    assert {m for m in stub_methods(cls_name) if not m.startswith("_")} == runtime_methods
    declares_buffer = "__buffer__" in stub_methods(cls_name)
    assert declares_buffer == (cls_name in BUFFERED)
    if declares_buffer:
        view = memoryview(obj)
        assert (view.format, view.ndim, view.readonly) == ("d", 1, False)
    else:
        with pytest.raises(TypeError):
            memoryview(obj)


# ---------------------------------------------------------------------------
# mypy: stubtest and --strict


def mypy_env(tmp_path):
    """An environment in which mypy finds the stubs of this checkout (ahead
    of any installed copy) and the subprocess imports this same module."""
    stub_dir = tmp_path / "stubs"
    stub_dir.mkdir()
    (stub_dir / "orvane_native.pyi").write_text(STUB.read_text())
    env = dict(os.environ)
    env["MYPYPATH"] = str(stub_dir)
    module_dir = str(pathlib.Path(on.__file__).resolve().parent)
    env["PYTHONPATH"] = os.pathsep.join([module_dir] + [p for p in env.get("PYTHONPATH", "").split(os.pathsep) if p])
    config = tmp_path / "mypy.ini"
    config.write_text(f"[mypy]\ncache_dir = {tmp_path / 'cache'}\n")
    return env, config


def run_mypy(args, env, cwd):
    return subprocess.run([sys.executable, "-m", *args], env=env, cwd=cwd, capture_output=True, text=True,
                          timeout=300)


def test_stubtest(tmp_path):
    pytest.importorskip("mypy")
    env, config = mypy_env(tmp_path)
    allowlist = tmp_path / "allowlist.txt"
    # Before 3.12 the interpreter exposes buffer export through its C slots
    # only; from 3.12 on it adds these two dunders, which the stubs declare so
    # that type checkers treat the objects as buffers on every version.
    if sys.version_info < (3, 12):
        allowlist.write_text("".join(f"orvane_native.{c}.__{w}buffer__\n" for c in sorted(BUFFERED)
                                     for w in ("", "release_")))
    else:
        allowlist.write_text("")
    result = run_mypy(["mypy.stubtest", "orvane_native", "--mypy-config-file", str(config),
                       "--allowlist", str(allowlist)], env, tmp_path)
    assert result.returncode == 0, result.stdout + result.stderr


MISUSE = """\
import numpy as np
import orvane_native as on

on.kron([1.0, 0.0], "1", [1.0, 0.0], 1)
outcome: str = on.sample_outcome([0.5, 0.5], 0.3)
on.NativeTableau(2).apply(0, 0)
memoryview(on.NativeTableau(1))
record: list[str] = on.clifford_run([], 1, [], 1, 0)
on.NativeState(1).apply_gate([1.0], [0.5])
on.state_probabilities([1.0, 0.0], range(3), 3)
on.dagger(np.zeros(2), 1)
on.NativeDensity(1).set_from_amplitudes(np.ones(2))
"""


def test_mypy_strict_accepts_example_and_rejects_misuse(tmp_path):
    pytest.importorskip("mypy")
    env, config = mypy_env(tmp_path)
    misuse = tmp_path / "misuse.py"
    misuse.write_text(MISUSE)
    result = run_mypy(["mypy", "--strict", "--config-file", str(config), "--no-error-summary",
                       "--hide-error-context", str(EXAMPLE), str(misuse)], env, tmp_path)
    lines = [line for line in result.stdout.splitlines() if ": error:" in line]
    assert not [line for line in lines if "typed_example.py" in line], result.stdout
    flagged = sorted({int(line.split(":")[1]) for line in lines if "misuse.py" in line})
    # every line after the imports is an error
    assert flagged == list(range(4, 13)), result.stdout + result.stderr


def test_example_runs():
    result = subprocess.run([sys.executable, str(EXAMPLE)], capture_output=True, text=True, timeout=120,
                            env={**os.environ, "PYTHONPATH": str(pathlib.Path(on.__file__).resolve().parent)})
    assert result.returncode == 0, result.stderr
    assert result.stdout.strip()


def test_installed_wheel_ships_the_stubs():
    try:
        dist = importlib.metadata.distribution("orvane_native")
    except importlib.metadata.PackageNotFoundError:
        pytest.skip("orvane_native is not installed as a distribution")
    module = pathlib.Path(on.__file__).resolve()
    if module.parent != pathlib.Path(dist.locate_file("")).resolve():
        pytest.skip("the imported module is not the installed distribution")
    files = {str(f): f for f in dist.files or []}
    assert "orvane_native-stubs/__init__.pyi" in files
    assert pathlib.Path(dist.locate_file(files["orvane_native-stubs/__init__.pyi"])).read_text() == STUB.read_text()
