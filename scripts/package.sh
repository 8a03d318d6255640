#!/usr/bin/env bash
# Sets up the machine, builds the updater and its Debian package, and prints
# the package's path.
#   BUILD_DIR  build folder (default: build, shared with scripts/test.sh)
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/common.sh
build=${BUILD_DIR:-build}
setup_and_configure "$build"
cmake --build "$build" -j"$(nproc)" --target QuelmarDriveUpdater firmware_images manual_page
rm -f "$build"/quelmar-drive-updater_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
ls "$build"/quelmar-drive-updater_*.deb
