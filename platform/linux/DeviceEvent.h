#pragma once

#include <map>
#include <optional>
#include <string>

// One device as udev reports it, reduced to what the backend looks at, so
// that the bookkeeping can be driven by hand-made events.

namespace linuxbackend {

struct DeviceEvent {
    std::string action;    // "add", "change", "remove", ...
    std::string subsystem; // "scsi_generic" or "block"
    std::string syspath;
    std::optional<std::string> deviceNode; // e.g. "/dev/sg1"
    // The udev properties the backend reads (ID_CDROM, ID_CDROM_MEDIA,
    // ID_FS_LABEL, ID_PATH), as far as the device has them.
    std::map<std::string, std::string> properties;
    // The SCSI device the node belongs to, if any: its sysfs folder and its
    // attributes type, vendor, model and rev, without trailing blanks. On
    // removal these are mostly gone.
    std::optional<std::string> scsiDevice;
    std::map<std::string, std::string> scsiAttributes;
    // For a scsi_generic node: false while udev is still setting up the block
    // node of the same SCSI device (whose permissions an open needs too).
    bool blockNodeSettled = true;

    // SCSI peripheral type 5: the only devices the backend publishes.
    bool isOpticalDrive() const {
        const auto type = scsiAttributes.find("type");
        return type != scsiAttributes.end() && type->second == "5";
    }
};

} // namespace linuxbackend
