#include "app/DriveReport.h"

#include "app/AccessProblemText.h"
#include "app/DriveListing.h"
#include "app/TerminalText.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Localized.h"
#include "platform/foundation/Log.h"
#include "records/Util.h"

#include <nlohmann/json.hpp>

using foundation::format;
using foundation::localized;
using foundation::localizedFormat;

namespace {

std::string orNone(const std::optional<std::string>& value) {
    return value ? printableOnTerminal(*value) : localized("(none)");
}

// A field as a person reads it: without the blanks that pad it.
std::string trimmed(const std::optional<std::string>& value) {
    return value ? printableOnTerminal(Util::trimmedText(*value)) : localized("(none)");
}

nlohmann::json jsonOf(const std::optional<std::string>& value) {
    return value ? nlohmann::json(*value) : nlohmann::json(nullptr);
}

const char* codeOf(UpdateVerdict verdict) {
    switch (verdict) {
    case UpdateVerdict::Eligible:
        break;
    case UpdateVerdict::NoImage:
        return "no-firmware-image";
    case UpdateVerdict::NotIdentified:
        return "not-identified";
    case UpdateVerdict::OtherHardware:
        return "other-hardware-version";
    case UpdateVerdict::OtherDestination:
        return "other-destination-version";
    case UpdateVerdict::AlreadyCurrent:
        return "already-current";
    }
    return nullptr;
}

const char* codeOf(iokit::AccessRefusal refusal) {
    switch (refusal) {
    case iokit::AccessRefusal::None:
        break;
    case iokit::AccessRefusal::NotPermitted:
        return "permission-denied";
    case iokit::AccessRefusal::HeldElsewhere:
        return "held-by-another-program";
    case iokit::AccessRefusal::DiscMounted:
        return "disc-mounted";
    case iokit::AccessRefusal::Gone:
        return "disconnected";
    case iokit::AccessRefusal::OsError:
        return "open-failed";
    }
    return "";
}

std::string wordsFor(iokit::AccessRefusal refusal) {
    switch (refusal) {
    case iokit::AccessRefusal::None:
        break;
    case iokit::AccessRefusal::NotPermitted:
        return localized("permission denied");
    case iokit::AccessRefusal::HeldElsewhere:
        return localized("held by another program");
    case iokit::AccessRefusal::DiscMounted:
        return localized("a disc in it is mounted");
    case iokit::AccessRefusal::Gone:
        return localized("disconnected");
    case iokit::AccessRefusal::OsError:
        return localized("could not be opened");
    }
    return "";
}

} // namespace

DriveReport::DriveReport(std::vector<DeviceData> drives,
                         std::vector<iokit::AccessResult> unavailable,
                         const FirmFileData& normalImage)
    : drives_(std::move(drives)), unavailable_(std::move(unavailable)), normalImage_(normalImage) {}

UpdateVerdict DriveReport::verdict(std::size_t position) const {
    const DeviceData& drive = drives_.at(position);
    if (drive.isEnableUpdate()) {
        return UpdateVerdict::Eligible;
    }
    // A drive the listing did not find eligible but the rule would take was
    // not read whole.
    const UpdateVerdict verdict = VerdictOnUpdate(drive, normalImage_);
    return verdict == UpdateVerdict::Eligible ? UpdateVerdict::NotIdentified : verdict;
}

std::string DriveReport::reasonText(std::size_t position) const {
    const DeviceData& drive = drives_.at(position);
    switch (verdict(position)) {
    case UpdateVerdict::Eligible:
        break;
    case UpdateVerdict::NoImage:
        return localized("no firmware image (the image was not found)");
    case UpdateVerdict::NotIdentified:
        return localized("not identified (its versions could not be read)");
    case UpdateVerdict::OtherHardware:
        return localizedFormat("another hardware version (the drive's is %s, the firmware's %s)",
                               orNone(drive.hard_version()).c_str(),
                               orNone(normalImage_.hard_version()).c_str());
    case UpdateVerdict::OtherDestination:
        return localizedFormat("another destination version (the drive's is %s, the firmware's %s)",
                               orNone(drive.dest_version()).c_str(),
                               orNone(normalImage_.dest_version()).c_str());
    case UpdateVerdict::AlreadyCurrent:
        return localizedFormat("already current (the firmware carried is revision %s)",
                               orNone(normalImage_.revision()).c_str());
    }
    return "";
}

std::string DriveReport::text() const {
    std::string report =
        (normalImage_.isFileExists()
             ? localizedFormat("Firmware carried: %s",
                               printableOnTerminal(versionTitleOf(normalImage_)).c_str())
             : localized("Firmware carried: none, the image was not found")) +
        "\n";
    if (drives_.empty() && unavailable_.empty()) {
        return report +
               foundation::Bundle::mainBundle().localizedStringForKey("MESSAGE_NO_DRIVE_UPDATED") +
               "\n";
    }
    for (std::size_t position = 0; position < drives_.size(); ++position) {
        const DeviceData& drive = drives_[position];
        const std::string revision = trimmed(drive.revision());
        const std::string date = trimmed(drive.date());
        report += format("%zu  %s\n   ", position + 1, printableOnTerminal(titleOf(drive)).c_str());
        report += verdict(position) == UpdateVerdict::Eligible
                      ? localizedFormat("revision %s, date %s, may be updated to %s",
                                        revision.c_str(), date.c_str(),
                                        printableOnTerminal(versionTitleOf(normalImage_)).c_str())
                      : localizedFormat("revision %s, date %s, not eligible: %s", revision.c_str(),
                                        date.c_str(), reasonText(position).c_str());
        report += "\n";
    }
    for (const auto& problem : unavailable_) {
        report += format("-  %s\n   ", printableOnTerminal(problem.deviceNode).c_str());
        report += localizedFormat("not available: %s. %s", wordsFor(problem.refusal).c_str(),
                                  terminalTextForAccessProblems({problem}).c_str());
        report += "\n";
    }
    return report;
}

std::string DriveReport::json() const {
    nlohmann::json document;
    document["firmware"] = nullptr;
    if (normalImage_.isFileExists()) {
        document["firmware"] = {{"product", jsonOf(normalImage_.product())},
                                {"revision", jsonOf(normalImage_.revision())},
                                {"date", jsonOf(normalImage_.date())},
                                {"hardwareVersion", jsonOf(normalImage_.hard_version())},
                                {"destinationVersion", jsonOf(normalImage_.dest_version())}};
    }
    document["drives"] = nlohmann::json::array();
    for (std::size_t position = 0; position < drives_.size(); ++position) {
        const DeviceData& drive = drives_[position];
        const bool eligible = verdict(position) == UpdateVerdict::Eligible;
        const char* reason = codeOf(verdict(position));
        document["drives"].push_back(
            {{"index", position + 1},
             {"title", titleOf(drive)},
             {"vendor", jsonOf(drive.vendor())},
             {"product", jsonOf(drive.product())},
             {"revision", jsonOf(drive.revision())},
             {"date", jsonOf(drive.date())},
             {"hardwareVersion", jsonOf(drive.hard_version())},
             {"destinationVersion", jsonOf(drive.dest_version())},
             {"kernelMode", drive.driveMode() == 1},
             {"eligible", eligible},
             {"updateTo", eligible ? nlohmann::json(versionTitleOf(normalImage_)) : nullptr},
             {"reason", reason != nullptr ? nlohmann::json(reason) : nullptr}});
    }
    document["unavailable"] = nlohmann::json::array();
    for (const auto& problem : unavailable_) {
        document["unavailable"].push_back(
            {{"device", problem.deviceNode},
             {"reason", codeOf(problem.refusal)},
             {"message", informativeTextForAccessProblems({problem})}});
    }
    // Texts from a drive or the system need not be UTF-8; JSON must be.
    return document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}
