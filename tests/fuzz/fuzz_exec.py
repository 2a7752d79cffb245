"""Runs a call plan and checks every step against the module's guarantees.

- Only TypeError, OverflowError, RuntimeError and MemoryError come out; a
  RuntimeError (and a MemoryError raised by a computation) carries the
  "panic in Kelvo code: " prefix.
- A success returns the kind its signature names: a new list of float, a
  new list of int, an int, None or a str; a constructor returns an instance
  of exactly the class asked for.
- Arguments are never changed: every list or tuple holds the same objects
  afterwards.
- A rejected method call or attribute assignment leaves the object as it
  was: its repr, its exported buffer and whatever its reading methods return.
- An exported buffer never moves or changes length while a view is held.
- An instance whose construction failed (reached through a finaliser that
  runs on it, and resurrected) has no storage: its methods reject it or
  return empty results, and its exported buffer is empty.
- A call interrupted by a signal handler that raises ends with the handler's
  own exception, and when the native call itself ended that way (not a
  signal that arrived after it returned) the object and the arguments are
  as they were. A handler's exception is never lost.
"""

from __future__ import annotations

import array
import ctypes
import functools
import hashlib
import io
import operator
import sys

from fuzz_values import GrowingList, Interrupted, ShrinkingList, alarm, base_items, failing_subclass, lazy

ALLOWED = (TypeError, OverflowError, RuntimeError, MemoryError)
PANIC_PREFIX = "panic in Kelvo code: "
ALLOCATION_FAILURE = PANIC_PREFIX + "memory allocation failure"
SELF_CHANGING = (ShrinkingList, GrowingList)


class CheckFailure(Exception):
    """A broken guarantee, described for the report."""


def materialise(v):
    return lazy(v)


def arg_snapshot(values) -> list:
    """(value, [items]) for the lists and tuples among `values`."""
    out = []
    for v in values:
        if isinstance(v, (list, tuple)) and not isinstance(v, SELF_CHANGING):
            out.append((v, base_items(v)))
    return out


def check_args_unchanged(snapshot, where: str):
    for seq, items in snapshot:
        now = base_items(seq)
        if len(now) != len(items) or not all(map(operator.is_, now, items)):
            raise CheckFailure(f"{where}: an argument was changed by the call")


def result_ok(value, kind: str) -> bool:
    if kind == "None":
        return value is None
    if kind == "int":
        return type(value) is int
    if kind == "str":
        return type(value) is str
    if kind == "Sequence[float]":
        return type(value) is list and all(type(x) is float for x in value)
    if kind == "Sequence[int]":
        return type(value) is list and all(type(x) is int for x in value)
    return True


def buffer_address(obj):
    """(address, length in bytes) of an object's exported buffer, or None."""
    try:
        view = memoryview(obj)
    except TypeError:
        return None
    with view:
        if view.nbytes == 0:
            return (0, 0)
        arr = (ctypes.c_char * view.nbytes).from_buffer(view)
        where = (ctypes.addressof(arr), view.nbytes)
        del arr
    return where


def object_snapshot(obj, readers) -> tuple:
    """Everything observable about `obj` without changing it."""
    parts = [repr(obj)]
    try:
        view = memoryview(obj)
        parts.append(view.tobytes())
        view.release()
    except TypeError:
        pass
    for name in readers:
        try:
            parts.append(digest(getattr(obj, name)()))
        except ALLOWED as e:
            parts.append(f"{type(e).__name__}: {e}")
    return tuple(parts)


def digest(value) -> str:
    """A short exact fingerprint of a result (NaN payloads and signed zeros included)."""
    h = hashlib.sha1()
    try:
        h.update(b"f" + array.array("d", value).tobytes())
    except (TypeError, OverflowError):
        h.update(repr(value).encode())
    return h.hexdigest()


def check_exception(e: BaseException, where: str):
    if type(e) not in ALLOWED:
        raise CheckFailure(f"{where}: {type(e).__name__} is not an allowed exception: {e!r}")
    text = str(e)
    if type(e) is RuntimeError and not text.startswith(PANIC_PREFIX):
        raise CheckFailure(f"{where}: RuntimeError without the panic prefix: {text!r}")
    if type(e) is MemoryError and text not in ("", ALLOCATION_FAILURE):
        raise CheckFailure(f"{where}: unexpected MemoryError text {text!r}")


def outcome_of(result=None, exc=None) -> str:
    return "ok" if exc is None else type(exc).__name__


def native_call_raised(events: str, name: str) -> bool:
    """Whether the profile log of a call shows the native function `name`
    ending with an exception (rather than returning)."""
    marks = (f"function {name}>", f"method {name} of ")
    return any(line.split("\t")[1:2] == ["c_exception"] and any(m in line for m in marks)
               for line in events.splitlines())


def interrupted_call(call, seconds: float, name: str):
    """Makes `call()` with SIGALRM due after `seconds`. Returns (result,
    exception, the handler's exception or None, whether the native function
    itself raised). The profile hook that tells where the call ended is a
    C function (print into a StringIO), so no Python code of this process
    runs inside the native call but the signal handler."""
    events = io.StringIO()
    hook = functools.partial(print, sep="\t", file=events)
    result, exc = None, None
    timer = alarm(seconds)
    try:
        with timer:
            sys.setprofile(hook)
            try:
                result = call()
            finally:
                sys.setprofile(None)
    except BaseException as e:  # noqa: BLE001 - every exception is checked
        exc = e
    return result, exc, timer.raised, native_call_raised(events.getvalue(), name)


def check_storageless_outcome(name: str, out, kind: str, where: str):
    """A call on an instance without storage: an allowed exception, or an
    empty result of the promised kind."""
    if isinstance(out, BaseException):
        check_exception(out, where)
    elif name == "memoryview":
        if out != 0:
            raise CheckFailure(f"{where}: a record without storage exports {out} bytes")
    elif not result_ok(out, kind):
        raise CheckFailure(f"{where}: result {repr(out)[:200]} is not of the kind {kind}")
    elif isinstance(out, list) and out:
        raise CheckFailure(f"{where}: a record without storage returned {len(out)} values: {repr(out)[:200]}")


class PlanRunner:
    """Runs plans against one imported module."""

    def __init__(self, module, entries):
        self.module = module
        self.readers = {}
        self.results = {}
        for e in entries:
            if e.kind == "method":
                self.results[(e.owner, e.attr)] = e.result
            if e.kind == "method" and not e.params and e.result.startswith("Sequence"):
                self.readers.setdefault(e.owner, []).append(e.attr)

    def half_made(self, step: dict, where: str):
        """Runs a "halfmade" step: returns (the resurrected instance or None,
        the constructor's exception, fingerprint parts)."""
        cls = getattr(self.module, step["cls"])
        log, kept = [], []
        sub = failing_subclass(cls, step["calls"], step["resurrect"], log, kept)
        try:
            made = sub(step["n"])
        except BaseException as e:  # noqa: BLE001 - every exception is checked
            exc = e
        else:
            del made
            raise CheckFailure(f"{where}: {step['cls']}({step['n']}) was built")
        check_exception(exc, where)
        parts = [f"{type(exc).__name__}: {exc}"]
        for name, out in log:
            kind = "None" if name == "num_qubits=" else self.results.get((step["cls"], name), "")
            check_storageless_outcome(name, out, kind, f"{where}, finaliser call {name}")
            parts.append(f"{name}: {type(out).__name__}: {out}" if isinstance(out, BaseException) else
                         f"{name}: {digest(out)}")
        if step["resurrect"] and len(kept) != 1 and log:
            raise CheckFailure(f"{where}: the finaliser ran but the instance was not resurrected once")
        return (kept[0] if kept else None), exc, parts

    def run(self, plan: dict):
        """Returns (outcome of the target step, fingerprint); raises CheckFailure."""
        obj = None
        storageless = False
        view = None
        view_where = None
        target_outcome = None
        fingerprint = []
        timed = plan.get("timed", False)
        try:
            for i, step in enumerate(plan["steps"]):
                where = f"step {i} ({step['op']} {step.get('name') or step.get('cls') or step.get('attr') or ''})"
                op = step["op"]
                if op == "halfmade":
                    obj, exc, parts = self.half_made(step, where)
                    storageless = True
                    fingerprint += parts
                    if step.get("target"):
                        target_outcome = outcome_of(None, exc)
                    if obj is None:
                        break  # nothing left to call methods on
                    continue
                if op == "view":
                    if obj is not None:
                        view = memoryview(obj)
                        view_where = buffer_address(obj)
                    continue
                if op == "poke":
                    if view is not None and len(view):
                        view[step["index"] % len(view)] = step["value"]
                    continue
                readers = self.readers.get(type(obj).__name__, []) if obj is not None else []
                before = object_snapshot(obj, readers) if obj is not None and op in ("method", "setattr") else None
                args = [materialise(a) for a in step.get("args", [])]
                kwargs = {k: materialise(v) for k, v in step.get("kwargs", {}).items()}
                snap = arg_snapshot(args + list(kwargs.values()))
                result, exc = None, None
                fired, native_raised = None, None
                if step.get("alarm"):
                    fn = getattr(self.module if op == "call" else obj, step["name"])
                    result, exc, fired, native_raised = interrupted_call(
                        lambda: fn(*args, **kwargs), step["alarm"], step["name"])
                else:
                    try:
                        if op == "call":
                            result = getattr(self.module, step["name"])(*args, **kwargs)
                        elif op == "new":
                            cls = getattr(self.module, step["cls"])
                            result = cls(*args, **kwargs)
                        elif op == "method":
                            result = getattr(obj, step["name"])(*args, **kwargs)
                        elif op == "setattr":
                            setattr(obj, step["attr"], step["value"])
                    except BaseException as e:  # noqa: BLE001 - every exception is checked
                        exc = e
                outcome = outcome_of(result, exc)
                if step.get("alarm"):
                    outcome = self.check_interrupted(result, exc, fired, native_raised, where)
                    # after a signal that came once the call had returned, the
                    # object holds what the call did
                    if not native_raised:
                        before = None
                elif exc is not None:
                    check_exception(exc, where)
                if exc is not None:
                    if before is not None and object_snapshot(obj, readers) != before:
                        raise CheckFailure(f"{where}: the object changed although the call was rejected ({exc!r})")
                elif op == "new":
                    if type(result) is not getattr(self.module, step["cls"]):
                        raise CheckFailure(f"{where}: constructor returned {type(result).__name__}")
                    obj = result
                elif op in ("call", "method") and not result_ok(result, step["result"]):
                    shown = repr(result)[:200]
                    raise CheckFailure(f"{where}: result {shown} is not of the kind {step['result']}")
                if storageless and op in ("method", "setattr"):
                    kind = step.get("result", "None")
                    check_storageless_outcome(step.get("name", ""), exc if exc is not None else result, kind, where)
                    if buffer_address(obj) not in (None, (0, 0)):
                        raise CheckFailure(f"{where}: a record without storage exports a non-empty buffer")
                check_args_unchanged(snap, where)
                if view is not None and buffer_address(obj) != view_where:
                    raise CheckFailure(f"{where}: the exported buffer moved or changed size under a live view")
                if step.get("alarm"):
                    fingerprint.append("timed")  # where the signal lands is not reproducible
                else:
                    fingerprint.append(f"{type(exc).__name__}: {exc}" if exc is not None else digest(result))
                if step.get("target"):
                    target_outcome = outcome
                if op == "new" and exc is not None:
                    break  # nothing left to call methods on
                del result, exc
            if obj is not None and plan["steps"][0].get("target") is not True and not timed:
                # the object a method plan worked on (constructor plans may build
                # large objects: their reading would dominate the run)
                fingerprint.append(digest(object_snapshot(obj, self.readers.get(type(obj).__name__, []))))
        finally:
            if view is not None:
                view.release()
        return target_outcome or "skipped", tuple(fingerprint)

    @staticmethod
    def check_interrupted(result, exc, fired, native_raised: bool, where: str) -> str:
        """Checks the end of a call made under SIGALRM; returns its outcome:
        "interrupted" when the handler's exception came out of the native call
        itself, else what the call did (the signal came before or after it)."""
        if fired is not None and exc is None:
            raise CheckFailure(f"{where}: the signal handler raised {fired!r} but the call returned {repr(result)[:100]}")
        if exc is None:
            return "ok"
        if fired is not None and exc is fired:
            if native_raised and exc.__context__ is None:
                return "interrupted"
            if exc.__context__ is not None:  # a rejection, then the signal
                check_exception(exc.__context__, where)
                return type(exc.__context__).__name__
            return "ok"  # the signal came before the call started, or after it returned
        if type(exc) is Interrupted:
            raise CheckFailure(f"{where}: an Interrupted that is not the handler's own came out: {exc!r}")
        check_exception(exc, where)
        if fired is not None:
            raise CheckFailure(f"{where}: the handler's {fired!r} was lost; the call raised {exc!r}")
        return type(exc).__name__
