#!/usr/bin/env bash
# Pictures the updater's window during an update of a virtual drive, and with
# the update's result sheet over it, in a virtual X server, into docs/.
set -euo pipefail
cd "$(dirname "$0")/.."

# A window manager draws the title bars and frames, so that the pictures show
# what a user sees; only the pictures need it.
source scripts/common.sh
SETUP_PACKAGES=fluxbox setup_and_configure build
cmake --build build -j"$(nproc)" --target window_screenshot firmware_images
mkdir -p docs
# The sizes of the window and its sheets go to standard output.
xvfb-run -a -s '-screen 0 1024x768x24' bash -c '
    fluxbox >/dev/null 2>&1 &
    sleep 1
    build/bin/window_screenshot scenarios/demo/demo.json docs/window-during-update.png \
        docs/window-update-complete.png 2>/dev/null
    status=$?
    kill %1
    exit $status' | grep -E '^[a-z ]+: [0-9]+ x [0-9]+$'
echo "docs/window-during-update.png docs/window-update-complete.png"
