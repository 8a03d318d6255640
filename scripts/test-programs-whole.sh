#!/usr/bin/env bash
# Runs every test program of a build folder once, all its cases in one process,
# and prints the output of those that fail.
#   test-programs-whole.sh [build folder]    (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
# The longest a whole program may take before it counts as hung, in seconds.
limit=1200
output=$(mktemp)
trap 'rm -f "$output"' EXIT
failed=()
for program in "$build"/bin/*_tests; do
    if timeout "$limit" "$program" >"$output" 2>&1; then
        echo "whole program passed: ${program##*/}"
    else
        echo "whole program FAILED: ${program##*/}"
        cat "$output"
        failed+=("${program##*/}")
    fi
done
if ((${#failed[@]})); then
    echo "failed as whole programs: ${failed[*]}"
    exit 1
fi
