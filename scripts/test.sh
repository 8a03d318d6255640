#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test, ending with the
# tests on a real kernel (label "kernel": Debian's kernel in QEMU).
#   BUILD_DIR  build folder (default: build)
#   SANITIZE   sanitizers to build with, e.g. address,undefined or thread;
#              such a build has no tests on a real kernel
#   TESTS      a ctest regular expression to run only some tests
#   LABEL      a ctest label to run only the tests that carry it
#   KERNEL     "no" leaves out the tests on a real kernel
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUELMAR_SANITIZE="${SANITIZE:-}" >/dev/null
cmake --build "$build" -j"$(nproc)"

ctest_args=(--test-dir "$build" --output-on-failure -j"$(nproc)")
[[ -n ${TESTS:-} ]] && ctest_args+=(-R "$TESTS")
if [[ ${LABEL:-} != kernel ]]; then
    label_args=(-LE kernel)
    [[ -n ${LABEL:-} ]] && label_args+=(-L "$LABEL")
    ctest "${ctest_args[@]}" "${label_args[@]}"
fi

# The guest needs packages and a kernel of its own: set up only when some of
# its tests are chosen.
kernel_tests=0
if [[ ${KERNEL:-} != no && -z ${SANITIZE:-} && (-z ${LABEL:-} || ${LABEL:-} == kernel) ]]; then
    kernel_tests=$(ctest "${ctest_args[@]}" -N -L kernel | grep -c 'Test *#' || true)
fi
if ((kernel_tests > 0)); then
    bash tests/kernel/setup-guest.sh "$build"
    ctest "${ctest_args[@]}" -L kernel
fi
