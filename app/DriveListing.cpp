#include "app/DriveListing.h"

#include "platform/foundation/Log.h"
#include "records/Util.h"
#include "scsi/STUCMethod.h"

namespace {

bool isTwin(const DeviceData& a, const DeviceData& b) {
    return Util::sameText(a.vendor(), b.vendor()) && Util::sameText(a.product(), b.product()) &&
           Util::sameText(a.revision(), b.revision());
}

} // namespace

std::vector<DeviceData> listTargetDrivesNumbered(const FirmFileData& normalImage) {
    std::vector<DeviceData> found = ListTargetDrives(normalImage);
    numberTwins(found);
    return found;
}

void numberTwins(std::vector<DeviceData>& drives) {
    for (std::size_t a = 0; a < drives.size(); ++a) {
        if (drives[a].same()) {
            continue;
        }
        std::int32_t number = 1;
        for (std::size_t b = 0; b < drives.size(); ++b) {
            if (b != a && isTwin(drives[a], drives[b])) {
                drives[b].setSame(true);
                drives[b].setSameNo(++number);
            }
        }
        if (number >= 2) {
            drives[a].setSame(true);
            drives[a].setSameNo(1);
        }
    }
}

std::string titleOf(const DeviceData& drive) {
    const std::string suffix = drive.same() ? foundation::format(" [%d]", drive.sameNo()) : "";
    return foundation::format(
        "%s %s %s%s %s", drive.vendor().value_or("").c_str(), drive.product().value_or("").c_str(),
        drive.revision().value_or("").c_str(), drive.date().value_or("").c_str(), suffix.c_str());
}

std::string changeTitleOf(const DeviceData& drive, const FirmFileData& image) {
    const auto trimmed = [](const std::optional<std::string>& text) {
        return std::string(Util::trimmedText(text.value_or("")));
    };
    return foundation::format("%s %s -> %s", trimmed(drive.product()).c_str(),
                              trimmed(drive.revision()).c_str(), trimmed(image.revision()).c_str());
}

std::string versionTitleOf(const FirmFileData& image) {
    return foundation::format("%s %s%s", image.product().value_or("").c_str(),
                              image.revision().value_or("").c_str(),
                              image.date().value_or("").c_str());
}
