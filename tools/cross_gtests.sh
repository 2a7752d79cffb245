#!/usr/bin/env bash
# Cross-builds the GoogleTest unit tests for another architecture with zig's
# compiler and runs them under qemu-user (Debian's qemu-user package):
#   tools/cross_gtests.sh [ARCH]      ARCH: aarch64 (default)
# The binaries are linked statically against musl, so qemu needs no sysroot.
# GoogleTest is built from Debian's sources (/usr/src/googletest, package
# libgtest-dev) for the same target. Needs zig in the Python environment
# (PY, default .venv/bin/python: pip install ziglang), CMake and Ninja.
set -euo pipefail
cd "$(dirname "$0")/.."
ARCH=${1:-aarch64}
PY=${PY:-.venv/bin/python}
TARGET=$ARCH-linux-musl
OUT=$PWD/build/cross-$ARCH
QEMU=qemu-$ARCH
ZIG=$("$PY" -c 'import os, ziglang; print(os.path.join(os.path.dirname(ziglang.__file__), "zig"))')
command -v "$QEMU" >/dev/null || { echo "$QEMU is missing: install the Debian package qemu-user" >&2; exit 1; }

mkdir -p "$OUT/bin"
printf '#!/bin/sh\nexec "%s" c++ -target %s "$@"\n' "$ZIG" "$TARGET" >"$OUT/bin/c++"
printf '#!/bin/sh\nexec "%s" ar "$@"\n' "$ZIG" >"$OUT/bin/ar"
printf '#!/bin/sh\nexec "%s" ranlib "$@"\n' "$ZIG" >"$OUT/bin/ranlib"
chmod +x "$OUT/bin/"*
cat >"$OUT/toolchain.cmake" <<TOOLCHAIN
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR $ARCH)
set(CMAKE_CXX_COMPILER $OUT/bin/c++)
set(CMAKE_C_COMPILER $OUT/bin/c++)
set(CMAKE_AR $OUT/bin/ar)
set(CMAKE_RANLIB $OUT/bin/ranlib)
set(CMAKE_CROSSCOMPILING_EMULATOR $QEMU)
TOOLCHAIN

generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
if [ ! -f "$OUT/gtest/lib/cmake/GTest/GTestConfig.cmake" ]; then
  cmake -S /usr/src/googletest -B "$OUT/gtest-build" "${generator[@]}" -DCMAKE_TOOLCHAIN_FILE="$OUT/toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON -DCMAKE_INSTALL_PREFIX="$OUT/gtest" >/dev/null
  cmake --build "$OUT/gtest-build" --target install >/dev/null
fi
cmake -S . -B "$OUT/tests" "${generator[@]}" -DCMAKE_TOOLCHAIN_FILE="$OUT/toolchain.cmake" \
  -DGTest_DIR="$OUT/gtest/lib/cmake/GTest" -DORVANE_BUILD_TESTS=ON -DORVANE_BUILD_MODULE=OFF -DORVANE_WERROR=ON >/dev/null
cmake --build "$OUT/tests"
ctest --test-dir "$OUT/tests" --output-on-failure
