#!/usr/bin/env python3
"""Compile (and optionally link) the module for macOS and Windows with zig.

    cross_compile.py --zig ZIG [--target T ...] [--link] [--jobs N] [--out DIR]

Every translation unit that goes into the module (the core libraries'
sources without their tests and references, and module/) is compiled with
zig's Clang for each target, with the flags of the CMake build (C++20,
Release, -ffp-contract=off, warnings as errors). The module's files include
the build interpreter's portable headers with the target's own pyconfig.h
(tools/cross/pyconfig_<os>.h) in place of the host's.

--link also links the module for each target:
  macOS    a bundle whose interpreter symbols stay undefined
           (-undefined dynamic_lookup), as Python's own build links them;
  Windows  a .pyd against an import library of python3.dll, made by zig's
           dlltool from a .def of the stable-ABI symbols the objects import.
and checks what the result needs: python3.dll and system DLLs only on
Windows, no Python library at all on macOS. zig builds its C++ runtime for
each target the first time it links for it (many minutes, then cached).
"""

import argparse
import concurrent.futures
import os
import re
import shutil
import struct
import subprocess
import sys
import sysconfig
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
SRC = ROOT / "src" / "orvane_native"
CORE = ["support", "linalg", "statevector", "stabilizer", "density"]
TARGETS = ["aarch64-macos", "x86_64-macos", "x86_64-windows-gnu"]

# The flags CMakeLists.txt gives every file in a Release build with
# ORVANE_WERROR=ON (hidden visibility is the module's preset).
FLAGS = ["-std=c++20", "-O3", "-DNDEBUG", "-ffp-contract=off", "-fno-math-errno", "-Wall", "-Wextra", "-Werror",
         "-fvisibility=hidden", "-fvisibility-inlines-hidden"]
# The limited API of CPython 3.11 (module/python.h sets the same value).
MODULE_FLAGS = ["-DPy_LIMITED_API=0x030b0000"]

# DLLs a Windows module may import besides python3.dll: the C runtime and
# the system's own libraries.
WINDOWS_SYSTEM_DLLS = re.compile(r"(kernel32|msvcrt|ucrtbase|api-ms-win-.*|advapi32|ntdll|user32|ws2_32|bcrypt)\.dll",
                                 re.IGNORECASE)
# Stable-ABI data (not functions): the import library must mark these DATA.
PY_DATA = re.compile(r"^(PyExc_\w+|Py\w+_Type|_Py_\w+Struct)$")


def version():
    text = (ROOT / "pyproject.toml").read_text()
    return re.search(r'^version = "([^"]+)"', text, re.M).group(1)


def sources():
    core = []
    for sub in CORE:
        core += sorted(p for p in (SRC / sub).glob("*.cc") if not p.name.endswith("_test.cc"))
    module = sorted((SRC / "module").glob("*.cc"))
    return core, module


def python_headers(target, out):
    """The host's portable CPython headers with the target's pyconfig.h."""
    system = "windows" if "windows" in target else "macos"
    inc = out / "include"
    if inc.exists():
        shutil.rmtree(inc)
    shutil.copytree(sysconfig.get_paths()["include"], inc)
    shutil.copyfile(ROOT / "tools" / "cross" / f"pyconfig_{system}.h", inc / "pyconfig.h")
    return inc


def compile_all(zig, target, out, jobs):
    core, module = sources()
    inc = python_headers(target, out)
    flags = FLAGS + ([] if "windows" in target else ["-fPIC"])
    objs = out / "obj"
    objs.mkdir(parents=True, exist_ok=True)
    jobs_list = []
    for src in core + module:
        rel = src.relative_to(SRC)
        obj = objs / (str(rel).replace(os.sep, "_") + ".o")
        cmd = [zig, "c++", "-target", target, *flags, "-I", str(ROOT / "src")]
        if src in module:
            cmd += MODULE_FLAGS + [f'-DORVANE_VERSION="{version()}"', "-I", str(inc)]
        cmd += ["-c", str(src), "-o", str(obj)]
        jobs_list.append((rel, obj, cmd))

    def run(job):
        rel, obj, cmd = job
        proc = subprocess.run(cmd, capture_output=True, text=True)
        return rel, obj, proc

    failures, built = [], []
    with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
        for rel, obj, proc in pool.map(run, jobs_list):
            if proc.returncode != 0:
                failures.append((rel, proc.stdout + proc.stderr))
            else:
                built.append(obj)
    return len(jobs_list), failures, built


def imported_symbols(objs):
    """The interpreter symbols the Windows objects import (__imp_ references)."""
    names = set()
    for obj in objs:
        out = subprocess.run(["nm", "--undefined-only", str(obj)], capture_output=True, text=True, check=True).stdout
        for line in out.splitlines():
            sym = line.split()[-1]
            if sym.startswith("__imp_"):
                names.add(sym[len("__imp_"):])
    return sorted(n for n in names if n.startswith(("Py", "_Py")))


def link_windows(zig, objs, out):
    symbols = imported_symbols(objs)
    deffile = out / "python3.def"
    deffile.write_text("LIBRARY python3.dll\nEXPORTS\n" +
                       "".join(f"    {s}{' DATA' if PY_DATA.match(s) else ''}\n" for s in symbols))
    implib = out / "libpython3.dll.a"
    subprocess.run([zig, "dlltool", "-m", "i386:x86-64", "-D", "python3.dll", "-d", str(deffile), "-l", str(implib)],
                   check=True)
    target = out / "orvane_native.pyd"
    proc = subprocess.run([zig, "c++", "-target", "x86_64-windows-gnu", "-shared", "-O3", *map(str, objs),
                           str(implib), "-o", str(target)], capture_output=True, text=True)
    if proc.returncode != 0:
        return None, proc.stdout + proc.stderr
    dump = subprocess.run(["objdump", "-p", str(target)], capture_output=True, text=True, check=True).stdout
    dlls = re.findall(r"DLL Name: (\S+)", dump)
    foreign = [d for d in dlls if d.lower() != "python3.dll" and not WINDOWS_SYSTEM_DLLS.fullmatch(d)]
    table = dump.split("[Ordinal/Name Pointer] Table", 1)[-1].split("\n\n", 1)[0]
    exports = re.findall(r"^\s*\[\s*\d+\]\s+(\S+)$", table, re.M)
    problems = []
    if "python3.dll" not in [d.lower() for d in dlls]:
        problems.append("does not import python3.dll")
    if foreign:
        problems.append(f"imports other DLLs: {', '.join(foreign)}")
    if exports != ["PyInit_orvane_native"]:
        problems.append(f"exports {exports or 'nothing'}, not PyInit_orvane_native alone")
    summary = (f"{target.name}, {target.stat().st_size} bytes, exports {', '.join(exports)}, imports "
               f"{', '.join(dlls)}; {len(symbols)} symbols from python3.dll")
    return summary, "; ".join(problems)


def macho_dylibs(path):
    """The libraries a 64-bit Mach-O file loads (LC_LOAD_DYLIB and kin)."""
    data = path.read_bytes()
    magic, _cpu, _sub, _ftype, ncmds = struct.unpack_from("<IiiII", data, 0)
    if magic != 0xFEEDFACF:
        raise ValueError(f"{path.name} is not a 64-bit Mach-O file")
    off, libs = 32, []
    for _ in range(ncmds):
        cmd, size = struct.unpack_from("<II", data, off)
        if cmd in (0xC, 0x18 | 0x80000000, 0x1F | 0x80000000, 0x23 | 0x80000000):
            name_off = struct.unpack_from("<I", data, off + 8)[0]
            libs.append(data[off + name_off:off + size].split(b"\0", 1)[0].decode())
        off += size
    return libs


def link_macos(zig, target, objs, out):
    result = out / "orvane_native.abi3.so"
    proc = subprocess.run([zig, "c++", "-target", target, "-shared", "-O3", *map(str, objs),
                           "-Wl,-undefined,dynamic_lookup", "-o", str(result)], capture_output=True, text=True)
    if proc.returncode != 0:
        return None, proc.stdout + proc.stderr
    libs = macho_dylibs(result)
    problems = [f"links {lib}" for lib in libs if "python" in lib.lower()]
    if b"_PyInit_orvane_native" not in result.read_bytes():
        problems.append("has no PyInit_orvane_native")
    return f"{result.name}, {result.stat().st_size} bytes, loads {', '.join(libs) or 'nothing'}", "; ".join(problems)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--zig", required=True, help="zig executable")
    parser.add_argument("--target", action="append", choices=TARGETS, help="a target (default: all)")
    parser.add_argument("--link", action="store_true", help="also link the module")
    parser.add_argument("--jobs", type=int, default=int(os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")))
    parser.add_argument("--out", default=str(ROOT / "build" / "cross"))
    args = parser.parse_args()
    failed = False
    for target in args.target or TARGETS:
        out = Path(args.out) / target
        start = time.monotonic()
        total, failures, objs = compile_all(args.zig, target, out, args.jobs)
        for rel, text in failures:
            print(f"cross: {target}: {rel} does not compile:\n{text}", file=sys.stderr)
        print(f"cross: {target}: {total - len(failures)} of {total} translation units compiled "
              f"({time.monotonic() - start:.0f} s)")
        failed |= bool(failures)
        if args.link and not failures:
            start = time.monotonic()
            if "windows" in target:
                summary, problem = link_windows(args.zig, objs, out)
            else:
                summary, problem = link_macos(args.zig, target, objs, out)
            if summary is None:
                print(f"cross: {target}: the link failed:\n{problem}", file=sys.stderr)
                failed = True
                continue
            print(f"cross: {target}: linked {summary} ({time.monotonic() - start:.0f} s)")
            if problem:
                print(f"cross: {target}: {problem}", file=sys.stderr)
                failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
