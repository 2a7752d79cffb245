#!/usr/bin/env bash
# The whole pytest suite against the module built with AddressSanitizer and
# UndefinedBehaviorSanitizer; arguments go to pytest. Fails on any report.
set -euo pipefail
cd "$(dirname "$0")/../.."
. tools/legs/common.sh
. tools/legs/sanitized_build.sh
build_sanitized
sanitizer_env
sanitizer_canary
# AddressSanitizer reports go to files, from every process of the run
# (subprocesses of tests included), and any report there fails the run.
# UndefinedBehaviorSanitizer writes to standard error only: pytest runs
# with --capture=sys so that what the native code writes there is shown
# rather than captured (and lost with a process that a report ends).
logs="$PWD/build/sanitizer-reports"
rm -rf "$logs" && mkdir -p "$logs"
export ASAN_OPTIONS="$ASAN_OPTIONS:log_path=$logs/asan"
rc=0
"$PY" -m pytest -p no:cacheprovider --capture=sys "$@" || rc=$?
# (the logs may also hold warnings such as a huge allocation refused,
# which is the MemoryError path; those are not reports)
reports=$(grep -l -E "ERROR: |runtime error|SUMMARY: " "$logs"/* 2>/dev/null || true)
if [ -n "$reports" ]; then
  cat $reports >&2
  echo "sanitize: $(wc -l <<<"$reports") sanitizer report(s), in $logs" >&2
  exit 1
fi
if [ "$rc" = 98 ] || [ "$rc" = 99 ]; then
  echo "sanitize: the test run was ended by a sanitizer report (status $rc, above)" >&2
  exit 1
fi
[ "$rc" = 0 ] && echo "sanitize: no sanitizer report"
exit "$rc"
