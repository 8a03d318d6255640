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
# The sizes of the window and its sheets go to standard output. English, then
# the confirmation and the result in German and Japanese.
shoot() {
    local language=$1 confirmation=$2 during=$3 result=$4
    LANGUAGE= LC_ALL= LANG=$language xvfb-run -a -s '-screen 0 1024x768x24' bash -c '
        fluxbox >/dev/null 2>&1 &
        sleep 1
        # fluxbox says in a window of its own that it cannot set a background.
        pkill -x xmessage || true
        sleep 0.2
        build/bin/window_screenshot scenarios/demo/demo.json "$@" 2>/dev/null
        status=$?
        kill %1
        exit $status' shoot "$confirmation" "$during" "$result" | grep -E '^[a-z ]+: [0-9]+ x [0-9]+$'
}
unused=$(mktemp -d)
trap 'rm -rf "$unused"' EXIT
shoot C.UTF-8 docs/window-confirmation.png docs/window-during-update.png \
    docs/window-update-complete.png
shoot de_DE.UTF-8 docs/window-confirmation-de.png "$unused/de.png" docs/window-update-complete-de.png
shoot ja_JP.UTF-8 docs/window-confirmation-ja.png "$unused/ja.png" docs/window-update-complete-ja.png
ls docs/*.png
