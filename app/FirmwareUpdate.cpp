#include "app/FirmwareUpdate.h"

#include "app/AccessProblemText.h"
#include "platform/foundation/Localized.h"
#include "platform/iokit/AccessProblems.h"
#include "platform/power/InhibitorLock.h"

FirmwareUpdateOutcome runFirmwareUpdate(DeviceData& drive, const FirmFileData& normalImage,
                                        const FirmFileData& kernelImage) {
    const power::InhibitorLock awake("sleep:shutdown", "Quelmar Drive Updater",
                                     foundation::localized("Updating drive firmware"));
    const auto problemsBefore = iokit::AccessProblems::current();
    FirmwareUpdateOutcome outcome;
    const UpdateOutcome engine = ExecUpdate(drive, normalImage, kernelImage);
    outcome.updated = engine.updated;
    outcome.failure = engine.failure;
    outcome.leftInKernelMode = engine.leftInKernelMode;
    if (!outcome.updated) {
        outcome.accessProblems =
            newAccessProblems(problemsBefore, iokit::AccessProblems::current());
    }
    return outcome;
}
