#!/usr/bin/env bash
# Sets up the machine, builds the updater and starts it on virtual drives:
#   bash scripts/run-demo.sh [scenario.json]   (default: scenarios/demo/demo.json)
# Without a display (no DISPLAY or WAYLAND_DISPLAY) it runs in a virtual X
# server and says so.
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/common.sh
setup_and_configure build
cmake --build build -j"$(nproc)" --target QuelmarDriveUpdater

export QUELMAR_SCENARIO=$(realpath "${1:-scenarios/demo/demo.json}")
if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} ]]; then
    echo "No display here: running in a virtual X server (xvfb-run); quit with Ctrl-C." >&2
    exec xvfb-run -a build/bin/quelmar-drive-updater
fi
exec build/bin/quelmar-drive-updater
