#!/usr/bin/env bash
# Builds the wheel (wheel.sh), installs it into fresh virtual environments of
# Python 3.11 and 3.13 (pyenv's) and runs the tour and the Python tests
# against each installed copy, from outside the checkout so that the
# installed copy is the one imported (checked).
set -euo pipefail
cd "$(dirname "$0")/../.."
. tools/legs/common.sh

test_wheel_with() {
  local want=$1 py venv wheel root=$PWD
  py=$(find_python "$want")
  venv="$root/build/wheel-venv-$want"
  wheel=$(ls "$root"/dist/*_x86_64.whl)
  rm -rf "$venv"
  "$py" -m venv "$venv"
  "$venv/bin/python" -m pip install -q --upgrade pip
  "$venv/bin/python" -m pip install -q "$wheel[test,distributed]"
  local work
  work=$(mktemp -d)
  (
    cd "$work"
    "$venv/bin/python" - "$venv" <<'PYEOF'
import os, sys, sysconfig, orvane_native
site = os.path.realpath(sysconfig.get_paths()["platlib"])
where = os.path.realpath(orvane_native.__file__)
assert where.startswith(site + os.sep), f"imported {where}, not the wheel installed in {site}"
print(f"wheel-test: Python {sys.version.split()[0]} imports {where}")
PYEOF
    "$venv/bin/python" "$root/examples/tour.py" >/dev/null
    echo "wheel-test: the tour ran"
    "$venv/bin/python" -m pytest -p no:cacheprovider -c "$root/pyproject.toml" --rootdir "$root" -q "$root/tests"
  )
  rm -rf "$work"
}

find_python 3.11 >/dev/null
find_python 3.13 >/dev/null
tools/legs/wheel.sh
test_wheel_with 3.11
test_wheel_with 3.13
