#include "app/UpdatePhaseText.h"

#include "platform/foundation/Localized.h"

#include <algorithm>

using foundation::localized;
using foundation::localizedFormat;

std::string phaseText(UpdatePhase phase, int percent) {
    switch (phase) {
    case UpdatePhase::TakingDrive:
        return localized("Taking the drive for the update...");
    case UpdatePhase::SwitchingToKernel:
        return localized("Switching the drive to its update mode...");
    case UpdatePhase::Writing:
        return localizedFormat("Writing the firmware (%d %%)...", percent);
    case UpdatePhase::Installing:
        return localizedFormat("The drive is installing the firmware (%d %%)...", percent);
    case UpdatePhase::Restarting:
        return localized("The drive is restarting; waiting for it to come back...");
    case UpdatePhase::CheckingRevision:
        return localized("Checking the new revision...");
    }
    return {};
}

int installedPercent(int indicatorValue) {
    const long shown = std::clamp(kProgressRange - indicatorValue, 0, kProgressRange);
    return static_cast<int>(shown * 100 / kProgressRange);
}

std::optional<UpdatePhase> phaseOf(int number) {
    if (number < static_cast<int>(UpdatePhase::TakingDrive) ||
        number > static_cast<int>(UpdatePhase::CheckingRevision)) {
        return std::nullopt;
    }
    return static_cast<UpdatePhase>(number);
}
