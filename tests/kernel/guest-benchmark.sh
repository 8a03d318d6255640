#!/bin/bash
# In the guest: the updater's stack against plain SG_IO on the served drive.
#   guest-benchmark.sh BUILD_DIR
set -euo pipefail
build=$1
"$build/bin/kernel_benchmark"
