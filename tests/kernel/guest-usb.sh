#!/bin/bash
# In the guest: the tests of a USB drive that the host plugs in and out and
# loads with a disc.   guest-usb.sh BUILD_DIR
set -euo pipefail
build=$1
"$build/bin/kernel_usb_tests"
