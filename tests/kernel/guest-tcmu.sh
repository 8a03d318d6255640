#!/bin/bash
# In the guest: the tests of the drive served through the kernel's SCSI
# target, as root.   guest-tcmu.sh BUILD_DIR
set -euo pipefail
build=$1
"$build/bin/kernel_tests"
