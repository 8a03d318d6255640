#!/usr/bin/env bash
# Builds the libFuzzer target of the reply, image header and scenario decoders with clang and
# runs it, by default for 60 seconds:  bash scripts/fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/common.sh
build=build-fuzz
CXX=clang++ setup_and_configure "$build" -DQUELMAR_FUZZ=ON
cmake --build "$build" -j"$(nproc)" --target scsi_fuzz_decoding
mkdir -p "$build/corpus"
"$build/bin/scsi_fuzz_decoding" -max_total_time="${1:-60}" "$build/corpus"
