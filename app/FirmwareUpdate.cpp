#include "app/FirmwareUpdate.h"

#include "platform/foundation/Localized.h"
#include "platform/power/InhibitorLock.h"

UpdateOutcome runFirmwareUpdate(DeviceData& drive, const FirmFileData& normalImage,
                                const FirmFileData& kernelImage) {
    const power::InhibitorLock awake("sleep:shutdown", "Quelmar Drive Updater",
                                     foundation::localized("Updating drive firmware"));
    return ExecUpdate(drive, normalImage, kernelImage);
}
