#pragma once

#include "platform/iokit/PassThroughDevice.h"
#include "records/DeviceData.h"
#include "records/FirmFileData.h"
#include "scsi/STUCMethod.h"

#include <vector>

// One drive's update as every front end runs it.

struct FirmwareUpdateOutcome {
    bool updated = false;
    // Why it failed, and whether the drive is left in kernel mode.
    UpdateFailure failure = UpdateFailure::None;
    bool leftInKernelMode = false;
    // Drives that this update could not open, and why: what to tell the user
    // when it failed for want of access.
    std::vector<iokit::AccessResult> accessProblems;
};

// Runs the engine's update of `drive` (the record is changed as the engine
// leaves it) while the computer is kept from sleeping and shutting down: a
// drive cut off while it takes new firmware may not work again.
FirmwareUpdateOutcome runFirmwareUpdate(DeviceData& drive, const FirmFileData& normalImage,
                                        const FirmFileData& kernelImage);
