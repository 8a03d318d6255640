#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test, ending with the
# tests on a real kernel (label "kernel": Debian's kernel in QEMU).
#   BUILD_DIR  build folder (default: build)
#   SANITIZE   sanitizers to build with, e.g. address,undefined or thread;
#              such a build has no tests on a real kernel
#   TESTS      a ctest regular expression to run only some tests
#   LABEL      a ctest label to run only the tests that carry it
#   KERNEL     "no" leaves out the tests on a real kernel
#   QUELMAR_WERROR  "ON" makes every compiler warning an error (CI sets it)
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/common.sh
build=${BUILD_DIR:-build}
setup_and_configure "$build" -DQUELMAR_SANITIZE="${SANITIZE:-}"
cmake --build "$build" -j"$(nproc)"

ctest_args=(--test-dir "$build" --output-on-failure -j"$(nproc)")
[[ -n ${TESTS:-} ]] && ctest_args+=(-R "$TESTS")
if [[ ${LABEL:-} != kernel ]]; then
    label_args=(-LE kernel)
    [[ -n ${LABEL:-} ]] && label_args+=(-L "$LABEL")
    ctest "${ctest_args[@]}" "${label_args[@]}"
fi

# The guest needs packages and a kernel of its own: set up only when some of
# its tests are chosen. Whenever they are left out, one line says why.
skip=""
if [[ ${KERNEL:-} == no ]]; then
    skip="KERNEL=no"
elif [[ -n ${SANITIZE:-} ]]; then
    skip="a sanitized build ($SANITIZE) runs no tests on a real kernel"
elif [[ -n ${LABEL:-} && ${LABEL:-} != kernel ]]; then
    skip="only the label $LABEL was chosen"
elif ! grep -q '^QUELMAR_BACKENDS:INTERNAL=.*linux' "$build/CMakeCache.txt"; then
    skip="the build has no Linux backend (no libudev, or QUELMAR_LINUX_BACKEND=OFF)"
fi
if [[ -n $skip ]]; then
    echo "test.sh: tests on a real kernel left out: $skip."
    exit 0
fi
# A failing listing fails the run instead of passing for "no kernel tests".
listing=$(ctest "${ctest_args[@]}" -N -L kernel)
kernel_tests=$(grep -c 'Test *#' <<<"$listing" || true)
if ((kernel_tests == 0)); then
    if [[ -z ${TESTS:-} ]]; then
        echo "test.sh: ctest lists no tests on a real kernel in $build." >&2
        exit 1
    fi
    echo "test.sh: tests on a real kernel left out: none matches TESTS=$TESTS."
    exit 0
fi
bash tests/kernel/setup-guest.sh "$build"
ctest "${ctest_args[@]}" -L kernel
