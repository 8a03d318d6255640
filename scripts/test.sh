#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test.
#   BUILD_DIR  build folder (default: build)
#   SANITIZE   sanitizers to build with, e.g. address,undefined or thread
#   TESTS      a ctest regular expression to run only some tests
#   LABEL      a ctest label to run only the tests that carry it
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUELMAR_SANITIZE="${SANITIZE:-}" >/dev/null
cmake --build "$build" -j"$(nproc)"

ctest_args=(--test-dir "$build" --output-on-failure -j"$(nproc)")
[[ -n ${TESTS:-} ]] && ctest_args+=(-R "$TESTS")
[[ -n ${LABEL:-} ]] && ctest_args+=(-L "$LABEL")
ctest "${ctest_args[@]}"
