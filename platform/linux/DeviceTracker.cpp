#include "platform/linux/DeviceTracker.h"

namespace linuxbackend {
namespace {

std::optional<std::string> valueOf(const std::map<std::string, std::string>& values,
                                   const std::string& key) {
    const auto found = values.find(key);
    if (found == values.end() || found->second.empty()) {
        return std::nullopt;
    }
    return found->second;
}

// Where the drive is attached: udev's ID_PATH, the port, which survives the
// drive leaving the bus and coming back under another node. udev names no
// port for some buses (the kernel's loopback SCSI target, for one): there the
// SCSI device's sysfs folder, the same for as long as the drive returns to the
// same host, target and LUN.
std::optional<std::string> placeOf(const DeviceEvent& event) {
    if (auto port = valueOf(event.properties, "ID_PATH")) {
        return port;
    }
    return event.scsiDevice;
}

// The drive that a scsi_generic report describes, if it is one.
std::optional<DriveDescription> driveOf(const DeviceEvent& event) {
    if (!event.isOpticalDrive() || !event.deviceNode || !event.scsiDevice) {
        return std::nullopt;
    }
    return DriveDescription{event.syspath,
                            *event.deviceNode,
                            *event.scsiDevice,
                            valueOf(event.scsiAttributes, "vendor"),
                            valueOf(event.scsiAttributes, "model"),
                            valueOf(event.scsiAttributes, "rev"),
                            placeOf(event)};
}

} // namespace

void DeviceTracker::handle(const DeviceEvent& event) {
    std::lock_guard lock(mutex_);
    dispatch(event);
}

void DeviceTracker::reconcile(const std::vector<DeviceEvent>& present) {
    std::lock_guard lock(mutex_);
    std::map<std::string, const DeviceEvent*> listed;
    for (const DeviceEvent& event : present) {
        listed.emplace(event.syspath, &event);
    }
    // A drive is withdrawn when its node is gone, or now belongs to another
    // drive (one left and another took its place while reports were lost).
    std::erase_if(drives_, [&](const auto& entry) {
        const auto found = listed.find(entry.first);
        return found == listed.end() || driveOf(*found->second) != entry.second.description;
    });
    std::erase_if(waiting_,
                  [&](const auto& entry) { return !listed.contains(entry.second.syspath); });
    std::erase_if(discs_, [&](const auto& entry) { return !listed.contains(entry.first); });
    for (DeviceEvent event : present) {
        event.action = "add";
        dispatch(event);
    }
}

void DeviceTracker::dispatch(const DeviceEvent& event) {
    if (event.subsystem == "scsi_generic") {
        handleGeneric(event);
    } else if (event.subsystem == "block") {
        handleBlock(event);
    }
}

void DeviceTracker::handleGeneric(const DeviceEvent& event) {
    if (event.action == "remove") {
        drives_.erase(event.syspath);
        std::erase_if(waiting_,
                      [&](const auto& entry) { return entry.second.syspath == event.syspath; });
        return;
    }
    const auto drive = driveOf(event);
    if (!drive || drives_.contains(event.syspath)) {
        return;
    }
    if (event.blockNodeSettled) {
        publishDrive(*drive);
    } else {
        waiting_.insert_or_assign(drive->scsiDevice, *drive);
    }
}

void DeviceTracker::publishDrive(const DriveDescription& drive) {
    waiting_.erase(drive.scsiDevice);
    auto publication = publisher_.publishDrive(drive);
    drives_.emplace(drive.syspath, Entry<DriveDescription>{drive, std::move(publication)});
}

void DeviceTracker::handleBlock(const DeviceEvent& event) {
    if (event.action != "remove" && event.scsiDevice) {
        if (const auto waiting = waiting_.find(*event.scsiDevice); waiting != waiting_.end()) {
            publishDrive(DriveDescription(waiting->second));
        }
    }
    const bool optical = valueOf(event.properties, "ID_CDROM") == "1" || event.isOpticalDrive();
    // udev probes a disc's filesystem only while the drive reports a medium.
    const bool present = event.action != "remove" &&
                         (!optical || valueOf(event.properties, "ID_CDROM_MEDIA") == "1");
    const auto known = discs_.find(event.syspath);
    if (!present) {
        if (known != discs_.end()) {
            discs_.erase(known);
        }
        return;
    }
    DiscDescription disc{event.syspath, event.deviceNode, valueOf(event.properties, "ID_FS_LABEL"),
                         valueOf(event.scsiAttributes, "model")};
    if (known != discs_.end()) {
        if (known->second.description == disc) {
            return;
        }
        // Another disc, or the same one read anew: the old one goes first.
        discs_.erase(known);
    }
    auto publication = publisher_.publishDisc(disc);
    discs_.emplace(event.syspath, Entry<DiscDescription>{disc, std::move(publication)});
}

void DeviceTracker::clear() {
    std::lock_guard lock(mutex_);
    drives_.clear();
    waiting_.clear();
    discs_.clear();
}

std::vector<DriveDescription> DeviceTracker::drives() const {
    std::lock_guard lock(mutex_);
    std::vector<DriveDescription> result;
    for (const auto& [syspath, entry] : drives_) {
        result.push_back(entry.description);
    }
    return result;
}

std::vector<DiscDescription> DeviceTracker::discs() const {
    std::lock_guard lock(mutex_);
    std::vector<DiscDescription> result;
    for (const auto& [syspath, entry] : discs_) {
        result.push_back(entry.description);
    }
    return result;
}

} // namespace linuxbackend
