#include "platform/linux/UdevSource.h"

#include "platform/foundation/Log.h"

#include <array>
#include <cerrno>
#include <filesystem>
#include <string_view>
#include <sys/socket.h>

namespace linuxbackend {
namespace {

constexpr std::string_view kSignature =
    "linuxbackend::UdevSource::UdevSource(linuxbackend::EventSource)";
// Room for a storm of reports (a hub with many devices plugged in at once)
// while the monitor thread is busy.
constexpr int kReceiveBufferBytes = 4 * 1024 * 1024;
constexpr std::array kSubsystems = {"scsi_generic", "block"};
constexpr std::array kProperties = {"ID_CDROM", "ID_CDROM_MEDIA", "ID_FS_LABEL", "ID_PATH"};
constexpr std::array kScsiAttributes = {"type", "vendor", "model", "rev"};

std::string withoutTrailingBlanks(std::string text) {
    text.erase(text.find_last_not_of(" \t\n") + 1);
    return text;
}

// Whether udev has finished with every block node of the SCSI device: until
// then the node may still be root's alone.
bool blockNodesSettled(udev* context, const std::string& scsiDevice) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(scsiDevice + "/block", error)) {
        UdevDevice block(udev_device_new_from_syspath(context, entry.path().c_str()));
        if (block && udev_device_get_is_initialized(block.get()) == 0) {
            return false;
        }
    }
    return true;
}

// Raises the monitor's receive buffer to kReceiveBufferBytes, never lowers
// it: libudev may have asked for more already (as root it does). An ordinary
// user gets at most the system's limit (net.core.rmem_max) and the call then
// fails, having set what it could; reports lost all the same are made up for
// by a fresh listing.
void makeRoomForAStorm(udev_monitor* monitor) {
    int size = 0;
    socklen_t length = sizeof size;
    // The kernel reports twice the size asked for, its bookkeeping included.
    if (::getsockopt(udev_monitor_get_fd(monitor), SOL_SOCKET, SO_RCVBUF, &size, &length) != 0 ||
        size < 2 * kReceiveBufferBytes) {
        udev_monitor_set_receive_buffer_size(monitor, kReceiveBufferBytes);
    }
}

DeviceEvent describe(udev_device* device, const char* action, bool fromUdevd) {
    DeviceEvent event;
    event.action = action != nullptr ? action : "";
    const char* subsystem = udev_device_get_subsystem(device);
    event.subsystem = subsystem != nullptr ? subsystem : "";
    event.syspath = udev_device_get_syspath(device);
    if (const char* node = udev_device_get_devnode(device)) {
        event.deviceNode = node;
    }
    for (const char* key : kProperties) {
        if (const char* value = udev_device_get_property_value(device, key)) {
            event.properties.emplace(key, value);
        }
    }
    // Owned by the child device.
    udev_device* scsi =
        udev_device_get_parent_with_subsystem_devtype(device, "scsi", "scsi_device");
    if (scsi != nullptr) {
        event.scsiDevice = udev_device_get_syspath(scsi);
        for (const char* key : kScsiAttributes) {
            if (const char* value = udev_device_get_sysattr_value(scsi, key)) {
                event.scsiAttributes.emplace(key, withoutTrailingBlanks(value));
            }
        }
        // Without udevd nothing is ever set up, so there is nothing to wait
        // for; nor is there for a device that is not an optical drive, which
        // is never published.
        event.blockNodeSettled = !fromUdevd || !event.isOpticalDrive() ||
                                 event.subsystem != "scsi_generic" || event.action == "remove" ||
                                 blockNodesSettled(udev_device_get_udev(device), *event.scsiDevice);
    }
    return event;
}

} // namespace

UdevSource::UdevSource(EventSource source)
    : fromUdevd_(source == EventSource::Udev), context_(udev_new()) {
    if (!context_) {
        foundation::Log::error(kSignature, "udev is not available: no drive can be found\n");
        return;
    }
    monitor_.reset(udev_monitor_new_from_netlink(context_.get(), fromUdevd_ ? "udev" : "kernel"));
    bool listening = monitor_ != nullptr;
    if (listening) {
        makeRoomForAStorm(monitor_.get());
    }
    for (const char* subsystem : kSubsystems) {
        listening = listening && udev_monitor_filter_add_match_subsystem_devtype(
                                     monitor_.get(), subsystem, nullptr) >= 0;
    }
    listening = listening && udev_monitor_enable_receiving(monitor_.get()) >= 0;
    if (!listening) {
        monitor_.reset();
        foundation::Log::error(kSignature,
                               "cannot follow devices coming and going: drives plugged in "
                               "later are not seen\n");
    }
}

std::vector<DeviceEvent> UdevSource::existingDevices() const {
    std::vector<DeviceEvent> events;
    if (!context_) {
        return events;
    }
    for (const char* subsystem : kSubsystems) {
        UdevEnumerate enumerate(udev_enumerate_new(context_.get()));
        if (!enumerate || udev_enumerate_add_match_subsystem(enumerate.get(), subsystem) < 0 ||
            udev_enumerate_scan_devices(enumerate.get()) < 0) {
            continue;
        }
        udev_list_entry* entry = nullptr;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get())) {
            UdevDevice device(
                udev_device_new_from_syspath(context_.get(), udev_list_entry_get_name(entry)));
            // udevd reports a device it is still setting up once it is done.
            if (device && (!fromUdevd_ || udev_device_get_is_initialized(device.get()) != 0)) {
                events.push_back(describe(device.get(), "add", fromUdevd_));
            }
        }
    }
    return events;
}

int UdevSource::descriptor() const {
    return monitor_ ? udev_monitor_get_fd(monitor_.get()) : -1;
}

UdevSource::Reports UdevSource::receive() const {
    Reports reports;
    if (!monitor_) {
        return reports;
    }
    for (;;) {
        errno = 0;
        if (UdevDevice device{udev_monitor_receive_device(monitor_.get())}) {
            reports.events.push_back(
                describe(device.get(), udev_device_get_action(device.get()), fromUdevd_));
        } else if (errno == ENOBUFS) {
            // The socket overflowed; what it still holds came after the loss.
            reports.lost = true;
        } else {
            return reports;
        }
    }
}

} // namespace linuxbackend
