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
"""

from __future__ import annotations

import array
import ctypes
import hashlib

from fuzz_values import Generator, GrowingList, ShrinkingList, base_items

ALLOWED = (TypeError, OverflowError, RuntimeError, MemoryError)
PANIC_PREFIX = "panic in Kelvo code: "
ALLOCATION_FAILURE = PANIC_PREFIX + "memory allocation failure"
SELF_CHANGING = (ShrinkingList, GrowingList)


class CheckFailure(Exception):
    """A broken guarantee, described for the report."""


def materialise(v):
    return v.make() if isinstance(v, Generator) else v


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
        if len(now) != len(items) or any(a is not b for a, b in zip(now, items)):
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


class PlanRunner:
    """Runs plans against one imported module."""

    def __init__(self, module, entries):
        self.module = module
        self.readers = {}
        for e in entries:
            if e.kind == "method" and not e.params and e.result.startswith("Sequence"):
                self.readers.setdefault(e.owner, []).append(e.attr)

    def run(self, plan: dict):
        """Returns (outcome of the target step, fingerprint); raises CheckFailure."""
        obj = None
        view = None
        view_where = None
        target_outcome = None
        fingerprint = []
        try:
            for i, step in enumerate(plan["steps"]):
                where = f"step {i} ({step['op']} {step.get('name') or step.get('cls') or step.get('attr') or ''})"
                op = step["op"]
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
                if exc is not None:
                    check_exception(exc, where)
                    if before is not None and object_snapshot(obj, readers) != before:
                        raise CheckFailure(f"{where}: the object changed although the call was rejected ({exc!r})")
                elif op == "new":
                    if type(result) is not getattr(self.module, step["cls"]):
                        raise CheckFailure(f"{where}: constructor returned {type(result).__name__}")
                    obj = result
                elif op in ("call", "method") and not result_ok(result, step["result"]):
                    shown = repr(result)[:200]
                    raise CheckFailure(f"{where}: result {shown} is not of the kind {step['result']}")
                check_args_unchanged(snap, where)
                if view is not None and buffer_address(obj) != view_where:
                    raise CheckFailure(f"{where}: the exported buffer moved or changed size under a live view")
                fingerprint.append(f"{type(exc).__name__}: {exc}" if exc is not None else digest(result))
                if step.get("target"):
                    target_outcome = outcome_of(result, exc)
                if op == "new" and exc is not None:
                    break  # nothing left to call methods on
                del result, exc
            if obj is not None and plan["steps"][0].get("target") is not True:
                # the object a method plan worked on (constructor plans may build
                # large objects: their reading would dominate the run)
                fingerprint.append(digest(object_snapshot(obj, self.readers.get(type(obj).__name__, []))))
        finally:
            if view is not None:
                view.release()
        return target_outcome or "skipped", tuple(fingerprint)
