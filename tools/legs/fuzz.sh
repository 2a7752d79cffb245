#!/usr/bin/env bash
# The fuzz run of every entry point, against the sanitized build.
#   fuzz.sh [--long] [--seed S] [--calls N]   (options of tests/fuzz/fuzz_run.py)
#   fuzz.sh --plain ...                        the ordinary build in .venv instead
set -euo pipefail
cd "$(dirname "$0")/../.."
. tools/legs/common.sh
. tools/legs/sanitized_build.sh
if [ "${1:-}" = "--plain" ]; then
  shift
  [ -x "$PY" ] || build_module
else
  build_sanitized
  sanitizer_env
  sanitizer_canary
fi
exec "$PY" tests/fuzz/fuzz_run.py "$@"
