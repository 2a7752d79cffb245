#!/usr/bin/env bash
# GCC for Linux aarch64, checked from here: every source file, the native
# tests included, compiled with Debian's aarch64 cross GCC (warnings are
# errors), the module's files against the build interpreter's portable
# headers. The aarch64 wheel itself is built with zig's Clang (wheel.sh);
# this keeps a `pip install .` with GCC on an aarch64 machine building too.
# (-Wno-psabi: GCC notes a calling-convention change of GCC 10 for pairs of
# doubles, which concerns no interface of ours.)
set -euo pipefail
cd "$(dirname "$0")/../.."
. tools/legs/common.sh
ensure_debian aarch64-linux-gnu-g++ g++-aarch64-linux-gnu
ensure_gtest
include=$(python3 -c 'import sysconfig; print(sysconfig.get_paths()["include"])')
flags=(-std=c++20 -O2 -ffp-contract=off -fno-math-errno -Wall -Wextra -Werror -Wno-psabi -Isrc -fPIC
       -DPy_LIMITED_API=0x030b0000 -DORVANE_VERSION='"0"' -DORVANE_SOURCE_DIR='"."')
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
count=0
for f in src/orvane_native/*/*.cc src/orvane_native/*/reference/*.cc; do
  case $f in
    */module/sanitizer_new.cc) continue ;;  # the sanitized build's allocator only
  esac
  extra=()
  case $f in
    */module/*) extra=(-I"$include") ;;
  esac
  aarch64-linux-gnu-g++ "${flags[@]}" "${extra[@]}" -c "$f" -o "$out/$(basename "$f").o"
  count=$((count + 1))
done
echo "gcc-aarch64: $count files compiled with $(aarch64-linux-gnu-g++ -dumpfullversion) for aarch64"
