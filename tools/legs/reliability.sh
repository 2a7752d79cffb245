#!/usr/bin/env bash
# The figures of RELIABILITY.md: each check runs once (through ./dev, so
# exactly as its own command runs it), its output kept in
# build/reliability/<step>.log with its duration, then the block between the
# figure markers of RELIABILITY.md is rewritten from those logs by
# tools/reliability_figures.py. Any failing step stops the update. Not run by CI.
set -euo pipefail
cd "$(dirname "$0")/../.."
. tools/legs/common.sh
. tools/legs/sanitized_build.sh

reliability_step() {
  local step=$1 logs=build/reliability start=$SECONDS
  shift
  echo "reliability: $step ..." >&2
  if ! "$@" >"$logs/$step.log" 2>&1; then
    tail -n 40 "$logs/$step.log" >&2
    echo "reliability: $step failed (log: $logs/$step.log); RELIABILITY.md left unchanged" >&2
    exit 1
  fi
  echo $((SECONDS - start)) >"$logs/$step.seconds"
}

leaks_sanitized() { (sanitizer_env && "$PY" tests/test_leaks.py); }

rm -rf build/reliability && mkdir -p build/reliability
{ git rev-parse --short HEAD && git status --porcelain --untracked-files=no; } >build/reliability/commit 2>/dev/null || true
cp /proc/loadavg build/reliability/loadavg 2>/dev/null || true
reliability_step test "$PWD/dev" test
reliability_step sanitize "$PWD/dev" sanitize
reliability_step fuzz "$PWD/dev" fuzz
reliability_step leaks "$PY" tests/test_leaks.py
reliability_step leaks-sanitized leaks_sanitized
"$PY" tools/reliability_figures.py build/reliability RELIABILITY.md
