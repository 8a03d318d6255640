#pragma once

#include <optional>
#include <string>

namespace linuxbackend {

// An optical drive the backend publishes, as sysfs describes it.
struct DriveDescription {
    std::string syspath;     // of the sg node
    std::string genericNode; // e.g. "/dev/sg1"
    std::string scsiDevice;  // sysfs folder of its SCSI device
    std::optional<std::string> vendor;
    std::optional<std::string> model;
    std::optional<std::string> revision;
    // udev's ID_PATH: the port, which a drive that leaves and comes back
    // keeps under another node.
    std::optional<std::string> physicalLocation;

    bool operator==(const DriveDescription&) const = default;
};

// A medium the backend publishes: a disc in an optical drive, or any other
// block device.
struct DiscDescription {
    std::string syspath;
    std::optional<std::string> deviceNode;
    std::optional<std::string> volumeName;
    std::optional<std::string> deviceModel;

    bool operator==(const DiscDescription&) const = default;
};

} // namespace linuxbackend
