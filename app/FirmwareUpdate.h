#pragma once

#include "records/DeviceData.h"
#include "records/FirmFileData.h"
#include "scsi/STUCMethod.h"

// One drive's update as every front end runs it.

// Runs the engine's update of `drive` (the record is changed as the engine
// leaves it) while the computer is kept from sleeping and shutting down: a
// drive cut off while it takes new firmware may not work again. The outcome
// says why it failed, with the refused open or the failed command behind it.
UpdateOutcome runFirmwareUpdate(DeviceData& drive, const FirmFileData& normalImage,
                                const FirmFileData& kernelImage);
