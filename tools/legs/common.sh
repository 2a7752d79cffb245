# Shared by ./dev and the release legs in tools/legs/: the virtual
# environment, the module build and the tools the legs install on demand.
# Sourced, never run; the caller's working directory is the checkout root.
VENV=${ORVANE_VENV:-.venv}
PY="$VENV/bin/python"
JOBS=${CMAKE_BUILD_PARALLEL_LEVEL:-2}
export CMAKE_BUILD_PARALLEL_LEVEL=$JOBS

ensure_venv() {
  if [ ! -x "$PY" ]; then
    python3 -m venv "$VENV"
    "$PY" -m pip install -q --upgrade pip
  fi
}

# The module alone, rebuilt in place: the build backend lives in the venv
# (no isolated build environment per call) and CMake keeps its build folder,
# so an unchanged tree costs seconds and a one-file change one compile.
install_module() {
  ensure_venv
  if ! "$PY" -c "import scikit_build_core, cmake, ninja" 2>/dev/null; then
    "$PY" -m pip install -q "scikit-build-core>=0.10" cmake ninja
  fi
  "$PY" -m pip install -q --no-deps --no-build-isolation . -C cmake.define.ORVANE_WERROR=ON
}

# The module plus what the tests need. The dependencies are installed again
# only when pyproject.toml changes (a stamp in the venv remembers its hash).
build_module() {
  install_module
  local stamp="$VENV/.orvane-test-deps" want
  want=$(sha256sum pyproject.toml | cut -c1-16)
  if [ "$(cat "$stamp" 2>/dev/null)" != "$want" ]; then
    "$PY" -m pip install -q --no-build-isolation ".[test,distributed]" -C cmake.define.ORVANE_WERROR=ON
    echo "$want" >"$stamp"
  fi
}

# The module with its test dependencies, built only when .venv lacks them
# (the legs reuse .venv's dependencies for their own builds of the module).
ensure_test_venv() {
  if [ ! -x "$PY" ] || ! "$PY" -c "import pytest, numpy" 2>/dev/null; then
    build_module
  fi
}

# A Debian package's command, installed when missing (as root only).
ensure_debian() {
  local probe=$1 package=$2
  if [ ! -e "$probe" ] && ! command -v "$probe" >/dev/null; then
    if [ "$(id -u)" = 0 ]; then
      apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$package" >/dev/null
    else
      echo "$probe is missing: install the Debian package $package" >&2
      exit 1
    fi
  fi
}

ensure_gtest() { ensure_debian /usr/include/gtest/gtest.h libgtest-dev; }
ensure_clang() { ensure_debian clang++ clang; }

# CMake's generator for the native tests: Ninja when it is on PATH.
cmake_generator() {
  command -v ninja >/dev/null && echo "-G Ninja" || true
}

# A Python interpreter of version $1 (e.g. 3.13): pyenv's newest release of
# it when pyenv has one, else python$1 on PATH; it must run and report $1.
find_python() {
  local want=$1 py="" root v
  if command -v pyenv >/dev/null; then
    root=$(pyenv root)
    v=$(pyenv latest "$want" 2>/dev/null || true)
    if [ -z "$v" ]; then
      v=$(ls "$root/versions" 2>/dev/null | grep -E "^${want//./\\.}\.[0-9]+$" | sort -V | tail -n 1 || true)
    fi
    [ -n "$v" ] && py="$root/versions/$v/bin/python$want"
  fi
  [ -n "$py" ] && [ -x "$py" ] || py=$(command -v "python$want" || true)
  if [ -z "$py" ] || [ "$("$py" -c 'import sys; print("%d.%d" % sys.version_info[:2])' 2>/dev/null)" != "$want" ]; then
    echo "no Python $want found (pyenv install $want, or put python$want on PATH)" >&2
    exit 1
  fi
  echo "$py"
}
