#!/usr/bin/env bash
# Runs clang-tidy with the checks of .clang-tidy over the production sources
# (app, platform, scsi, records, monitor, tools; not the tests), one process
# a core, and fails on any finding:  bash scripts/tidy.sh
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/common.sh
build=build-tidy
# clang-tidy reads the compile commands of a build tree configured with clang
# and the headers configure generates; nothing is compiled.
CXX=clang++ setup_and_configure "$build" -DQUELMAR_BUILD_TESTS=OFF

# The production folders at the checkout's root: this leaves out the tests and
# everything under a build tree (generated headers included).
root=$(sed 's/[][\.*^$+?(){}|]/\\&/g' <<<"$PWD")
sources="^$root/(app|platform|scsi|records|monitor|tools)/"
run-clang-tidy -p "$build" -j"$(nproc)" -quiet -header-filter="$sources" "$sources.*\.cpp$"
echo "tidy.sh: no findings."
