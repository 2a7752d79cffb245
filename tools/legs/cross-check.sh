#!/usr/bin/env bash
# macOS and Windows, checked from Linux: every translation unit of the
# module compiled with zig's Clang for aarch64-macos, x86_64-macos and
# x86_64-windows-gnu (warnings are errors), the module's files against the
# target's own pyconfig.h (tools/cross/). These binaries cannot run here,
# so no wheel is made for them.
#   tools/legs/cross-check.sh           compile only (what CI runs)
#   tools/legs/cross-check.sh --link    also link the module for each target
#                (macOS: -undefined dynamic_lookup; Windows: against an import
#                library of python3.dll). The first link for a target has zig
#                build its C++ runtime for it: many minutes, then cached.
set -euo pipefail
cd "$(dirname "$0")/../.."
. tools/legs/common.sh

ensure_venv
"$PY" -m pip install -q "ziglang==0.15.2"
zig=$("$PY" -c 'import os, ziglang; print(os.path.join(os.path.dirname(ziglang.__file__), "zig"))')
"$PY" tools/cross_compile.py --zig "$zig" "$@"
