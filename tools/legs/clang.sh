#!/usr/bin/env bash
# The module (build/clang-site) and the native tests (build/clang-cpp) built
# with Clang, warnings as errors; runs the native tests, then every Python
# test against that module (arguments go to pytest). The module is installed
# on its own and put in front of .venv's copy, whose test dependencies are
# reused.
set -euo pipefail
cd "$(dirname "$0")/../.."
. tools/legs/common.sh
ensure_clang
ensure_gtest
ensure_test_venv
cxx=$(command -v clang++)
CXX=$cxx "$PY" -m pip install -q --no-deps --upgrade --target build/clang-site . -C build-dir=build/clang \
  -C cmake.define.CMAKE_CXX_COMPILER="$cxx" -C cmake.define.ORVANE_WERROR=ON
# shellcheck disable=SC2046
cmake -S . -B build/clang-cpp $(cmake_generator) -DCMAKE_CXX_COMPILER="$cxx" -DORVANE_BUILD_TESTS=ON \
  -DORVANE_BUILD_MODULE=OFF -DORVANE_WERROR=ON >/dev/null
cmake --build build/clang-cpp
ctest --test-dir build/clang-cpp --output-on-failure
export PYTHONPATH="$PWD/build/clang-site${PYTHONPATH:+:$PYTHONPATH}"
"$PY" -c 'import orvane_native, sys; sys.exit("build/clang-site" not in orvane_native.__file__)' || {
  echo "clang: the Clang-built module is not the one imported" >&2; exit 1; }
"$PY" -m pytest -p no:cacheprovider "$@"
