#!/usr/bin/env bash
# Pictures the updater's window during an update of a virtual drive, in a
# virtual X server, into docs/window-during-update.png.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target window_screenshot firmware_images
mkdir -p docs
xvfb-run -a build/bin/window_screenshot scenarios/demo/demo.json docs/window-during-update.png >/dev/null 2>&1
echo "docs/window-during-update.png"
