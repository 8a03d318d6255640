#include "app/UpdateResultText.h"

#include "platform/foundation/Localized.h"
#include "records/Util.h"

using foundation::localized;

namespace {

std::string causeText(UpdateFailure failure) {
    switch (failure) {
    case UpdateFailure::None:
        break;
    case UpdateFailure::ImageUnusable:
        return localized("A firmware image could not be read, or it changed after the program "
                         "started. Nothing was written to the drive; start the program again.");
    case UpdateFailure::AccessRefused:
        return localized(
            "The drive could not be opened for the update. Nothing was written to it.");
    case UpdateFailure::NotIdentified:
        return localized("The drive did not identify itself again. Nothing was written to it; "
                         "check its connection and try again.");
    case UpdateFailure::NotEligibleNow:
        return localized("The drive, as it answers now, cannot take this firmware. Nothing was "
                         "written to it.");
    case UpdateFailure::ModeChangeRefused:
        return localized("The drive refused the mode change to its update mode. Nothing was "
                         "written to it.");
    case UpdateFailure::NoKernelModeAfterSwitch:
        return localized("After the switch the drive did not report its update mode. Nothing was "
                         "written to it; disconnect it, connect it again and check its revision.");
    case UpdateFailure::TransferRefused:
        return localized("The drive did not take the firmware being written to it.");
    case UpdateFailure::ActivationRefused:
        return localized("The drive took the new firmware but refused to start installing it.");
    case UpdateFailure::InstallDidNotFinish:
        return localized("The drive did not finish installing the new firmware: its progress "
                         "stood still too long. Leave it connected for a few minutes, then "
                         "disconnect it, connect it again and check its revision.");
    case UpdateFailure::DidNotComeBack:
        return localized("The drive restarted while installing and did not come back. Connect it "
                         "again and check its revision.");
    case UpdateFailure::WrongRevision:
        return localized("After installing, the drive does not report the revision of the new "
                         "firmware.");
    case UpdateFailure::ReleaseFailed:
        return localized("The drive reports the new revision, but the system could not take it "
                         "back after the update. Disconnect it and connect it again before you "
                         "use it.");
    }
    return {};
}

} // namespace

std::string completionText(std::string_view chosenTitle, const DeviceData& updated) {
    const std::string title(Util::trimmedText(chosenTitle));
    const std::string revision(Util::trimmedText(updated.revision().value_or("")));
    return foundation::localizedFormat("%s now reports revision %s.", title.c_str(),
                                       revision.c_str());
}

std::string failureText(const UpdateOutcome& outcome) {
    std::string text = causeText(outcome.failure);
    if (outcome.leftInKernelMode) {
        text += (text.empty() ? "" : " ") +
                localized("The drive is left in its update mode: it is listed and can be updated "
                          "again. Keep it connected until then.");
    }
    return text;
}
