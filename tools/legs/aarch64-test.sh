#!/usr/bin/env bash
# The aarch64 wheel run under emulation: tools/legs/wheel.sh aarch64 builds
# it, then qemu-user (Debian's qemu-user, called directly: no binfmt needed)
# runs Debian's arm64 CPython 3.11 from a sysroot under build/aarch64, with
# numpy, pytest and the peers that publish aarch64 wheels installed from
# PyPI's manylinux aarch64 wheels. The installed wheel runs the tour, the
# Python tests (those whose peers have no aarch64 wheel, and the timing
# tests, left out; listed below) and tools/identity_records.py, whose
# fingerprints must equal those of the x86_64 builds in the same run.
# Downloads are kept under build/aarch64 so that a second run starts at once.
set -euo pipefail
cd "$(dirname "$0")/../.."
. tools/legs/common.sh

root=$PWD
base=$root/build/aarch64
sysroot=$base/sysroot
venv=$base/venv
site=$venv/lib/python3.11/site-packages

# Debian's arm64 interpreter and the shared libraries it and the wheels load.
DEBS=(python3.11-minimal libpython3.11-minimal libpython3.11-stdlib media-types libc6 libgcc-s1 libstdc++6
  zlib1g libexpat1 libffi8 libssl3 libbz2-1.0 liblzma5 libsqlite3-0 libncursesw6 libtinfo6 libreadline8
  libuuid1 libdb5.3 libcrypt1 libnsl2 libtirpc3 libgssapi-krb5-2 libkrb5-3 libk5crypto3 libkrb5support0
  libkeyutils1 libcom-err2)
# What the tests import, with their dependencies: every peer that publishes
# an aarch64 Linux wheel. stim publishes none, so its tests stay out.
WHEELS=(numpy scipy pytest hypothesis typing_extensions mypy cirq-core "dask[distributed]")
# Left out under emulation: every test module that imports stim (no aarch64
# wheel of stim), directly or through tests/stim_checks.py; the interrupt
# tests, whose signal timing means little under emulation; and the fuzz
# harness's fault test, whose 2 s hang limit is shorter than an emulated
# worker's start.
IGNORE=(tests/test_interrupts.py)
while IFS= read -r f; do IGNORE+=("$f"); done \
  < <(grep -lE '^\s*(import stim\b|from stim\b|import stim_checks|from stim_checks )' tests/test_*.py)
DESELECT=(tests/test_fuzz.py::test_harness_reports_each_kind_of_fault)
# So do the documentation pages whose examples import stim.
while IFS= read -r f; do DESELECT+=("tests/test_docs.py::test_page_examples[$f]"); done \
  < <(grep -lE '^>>> (import stim\b|from stim\b)' docs/*.md README.md)
PLATFORMS=(--platform manylinux_2_28_aarch64 --platform manylinux2014_aarch64)

start=$SECONDS
stamp() { echo "aarch64: $* ($((SECONDS - start)) s)"; }

ensure_debian qemu-aarch64 qemu-user
ensure_test_venv
tools/legs/wheel.sh aarch64
stamp "wheel built"

# The sysroot, made once per package list: apt works for arm64 with its own
# lists under build/ (the host's dpkg architectures stay as they are).
want=$(printf '%s\n' "${DEBS[@]}" | sha256sum | cut -c1-16)
if [ "$(cat "$base/sysroot.stamp" 2>/dev/null)" != "$want" ]; then
  rm -rf "$sysroot" "$venv" "$base/debs"
  mkdir -p "$base/apt/lists/partial" "$base/apt/archives/partial" "$base/debs" "$sysroot"
  apt_opts=(-o APT::Architecture=arm64 -o APT::Architectures=arm64 -o Dir::State::Lists="$base/apt/lists"
    -o Dir::Cache="$base/apt" -o Dir::State::status=/dev/null -o APT::Sandbox::User=root)
  apt-get "${apt_opts[@]}" update -qq
  (cd "$base/debs" && apt-get "${apt_opts[@]}" download -qq "${DEBS[@]}")
  for deb in "$base"/debs/*.deb; do dpkg -x "$deb" "$sysroot"; done
  echo "$want" >"$base/sysroot.stamp"
  stamp "sysroot made"
fi

# A virtual-environment layout whose python3 runs the emulated interpreter:
# qemu's -0 sets argv[0] to this script, so sys.executable points here and
# the tests' subprocesses reach the emulated interpreter too; pyvenv.cfg
# makes the interpreter take its standard library from the sysroot and its
# site-packages from the venv.
mkdir -p "$venv/bin" "$site"
printf '#!/bin/sh\nexec qemu-aarch64 -L "%s" -0 "$0" "%s/usr/bin/python3.11" "$@"\n' "$sysroot" "$sysroot" \
  >"$venv/bin/python3.11"
chmod +x "$venv/bin/python3.11"
ln -sf python3.11 "$venv/bin/python3"
ln -sf python3.11 "$venv/bin/python"
printf 'home = %s/usr/bin\ninclude-system-site-packages = false\nversion = 3.11\n' "$sysroot" >"$venv/pyvenv.cfg"
pyaarch=$venv/bin/python3

# The test dependencies, installed once per list into the venv's
# site-packages by the host's pip for the aarch64 platform.
want=$(printf '%s\n' "${WHEELS[@]}" | sha256sum | cut -c1-16)
if [ "$(cat "$base/wheels.stamp" 2>/dev/null)" != "$want" ]; then
  rm -rf "$site" && mkdir -p "$site"
  "$PY" -m pip download -q --only-binary=:all: "${PLATFORMS[@]}" --python-version 3.11 --implementation cp \
    -d "$base/wheels" "${WHEELS[@]}"
  "$PY" -m pip install -q --no-deps --only-binary=:all: "${PLATFORMS[@]}" --python-version 3.11 \
    --implementation cp --target "$site" "$base"/wheels/*.whl
  echo "$want" >"$base/wheels.stamp"
  stamp "test dependencies installed"
fi
# The wheel itself, replacing any earlier copy.
rm -rf "$site"/orvane_native*
"$PY" -m pip install -q --no-deps --only-binary=:all: "${PLATFORMS[@]}" --python-version 3.11 \
  --implementation cp --target "$site" "$(ls dist/*_aarch64.whl)"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$pyaarch" - "$site" <<'PYEOF'
import os, platform, sys, orvane_native
site = os.path.realpath(sys.argv[1])
where = os.path.realpath(orvane_native.__file__)
assert platform.machine() == "aarch64", platform.machine()
assert where.startswith(site + os.sep), f"imported {where}, not the wheel installed in {site}"
print(f"aarch64: Python {sys.version.split()[0]} on {platform.machine()} imports {where}")
PYEOF
"$pyaarch" "$root/examples/tour.py" >/dev/null
stamp "the tour ran"

# Identity: the same fingerprints from the aarch64 wheel, the x86_64 wheel
# (when dist/ has it) and the x86_64 build in .venv.
ids=$base/identity
rm -rf "$ids" && mkdir -p "$ids"
"$pyaarch" "$root/tools/identity_records.py" --label aarch64-wheel --out "$ids/aarch64-wheel.json" >/dev/null
"$root/$PY" "$root/tools/identity_records.py" --label x86_64-venv --out "$ids/x86_64-venv.json" >/dev/null
files=("$ids/x86_64-venv.json")
if ls "$root"/dist/*_x86_64.whl >/dev/null 2>&1; then
  "$root/$PY" -m pip install -q --no-deps --target "$ids/x86_64-site" "$(ls "$root"/dist/*_x86_64.whl)"
  PYTHONPATH="$ids/x86_64-site" "$root/$PY" "$root/tools/identity_records.py" --label x86_64-wheel \
    --out "$ids/x86_64-wheel.json" >/dev/null
  files+=("$ids/x86_64-wheel.json")
fi
files+=("$ids/aarch64-wheel.json")
"$root/$PY" "$root/tools/identity_records.py" --compare "${files[@]}"
stamp "identity checked"

ignore=()
for f in "${IGNORE[@]}"; do ignore+=(--ignore "$root/$f"); done
for t in "${DESELECT[@]}"; do ignore+=(--deselect "$t"); done  # node ids, relative to --rootdir
"$pyaarch" -m pytest -p no:cacheprovider -c "$root/pyproject.toml" --rootdir "$root" -q --durations=10 \
  "${ignore[@]}" "$root/tests"
stamp "the Python tests passed"
