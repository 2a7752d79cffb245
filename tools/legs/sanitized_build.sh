# The sanitized module and the environment that runs Python against it;
# sourced by the sanitize, fuzz and reliability legs (after common.sh).

# The same package built by scikit-build-core with the CMake option
# ORVANE_SANITIZE, installed on its own into build/asan-site and put in
# front of .venv's copy through PYTHONPATH (the test dependencies of .venv
# are reused).
build_sanitized() {
  ensure_test_venv
  "$PY" -m pip install -q --no-deps --upgrade --target build/asan-site . \
    -C cmake.define.ORVANE_SANITIZE=ON -C cmake.build-type=RelWithDebInfo -C build-dir=build/asan \
    -C cmake.define.CMAKE_MODULE_LINKER_FLAGS=-Wl,-Bsymbolic-functions
}

# The interpreter is not instrumented, so the sanitizer runtime is preloaded;
# its own leaks are not ours (detect_leaks=0). Any report ends the process
# with status 99 (AddressSanitizer) or 98 (UndefinedBehaviorSanitizer, which
# the build already makes fatal). PYTHONMALLOC=malloc sends the interpreter's
# small objects, and the storage of the persistent objects, through the
# sanitizer's allocator so that their bounds are checked too. Huge
# allocations return NULL (MemoryError) instead of aborting; the extension's
# operator new does the same in this build (module/sanitizer_new.cc), and as
# its blocks may be released by library code, the new/free pairing check is
# off (alloc_dealloc_mismatch=0).
sanitizer_env() {
  LD_PRELOAD="$(g++ -print-file-name=libasan.so):$(g++ -print-file-name=libubsan.so)"
  export LD_PRELOAD
  export ASAN_OPTIONS=detect_leaks=0:halt_on_error=1:exitcode=99:allocator_may_return_null=1:alloc_dealloc_mismatch=0
  export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1:exitcode=98
  export PYTHONMALLOC=malloc
  export PYTHONPATH="$PWD/build/asan-site${PYTHONPATH:+:$PYTHONPATH}"
}

# Fails unless the sanitized module is the one imported and a deliberate
# heap overflow is reported and ends the process: a sanitizer run that could
# not see anything must not pass.
sanitizer_canary() {
  "$PY" -c 'import orvane_native, sys; sys.exit("build/asan-site" not in orvane_native.__file__)' || {
    echo "sanitize: the sanitized module is not the one imported" >&2; exit 1; }
  local rc=0 out
  out=$("$PY" -c 'import ctypes
b = ctypes.create_string_buffer(64)
ctypes.memmove(ctypes.addressof(b), b"x" * 128, 128)' 2>&1) || rc=$?
  if [ "$rc" != 99 ] || ! grep -q "heap-buffer-overflow" <<<"$out"; then
    echo "sanitize: a deliberate overflow was not reported (status $rc)" >&2
    exit 1
  fi
}
