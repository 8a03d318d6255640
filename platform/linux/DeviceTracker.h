#pragma once

#include "platform/linux/DeviceDescriptions.h"
#include "platform/linux/DeviceEvent.h"

#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace linuxbackend {

// Turns udev's reports into published drives and media: a scsi_generic node
// of a SCSI device of type 5 (an optical drive) is a drive, whatever its bus;
// a block device is a medium, an optical drive's only while it holds a disc.
// It remembers what it published by sysfs path, because by the time a device
// is reported removed its attributes are gone. Events may repeat (the start's
// listing overlaps the first reports): the same report twice publishes once.
// A drive whose block node udev is still setting up waits for that node's
// report, so that whoever hears of the drive can open both nodes.
class DeviceTracker {
  public:
    // Something published for as long as it lives.
    class Publication {
      public:
        virtual ~Publication() = default;
    };

    class Publisher {
      public:
        virtual ~Publisher() = default;
        virtual std::unique_ptr<Publication> publishDrive(const DriveDescription& drive) = 0;
        virtual std::unique_ptr<Publication> publishDisc(const DiscDescription& disc) = 0;
    };

    explicit DeviceTracker(Publisher& publisher) : publisher_(publisher) {}
    DeviceTracker(const DeviceTracker&) = delete;
    DeviceTracker& operator=(const DeviceTracker&) = delete;

    // From any thread.
    void handle(const DeviceEvent& event);
    // Brings what is published in line with `present`, a fresh listing of
    // every device there now (reports were lost): what is not listed is
    // withdrawn, and each listed device is handled as reported added.
    void reconcile(const std::vector<DeviceEvent>& present);
    // Withdraws everything published.
    void clear();

    std::vector<DriveDescription> drives() const;
    std::vector<DiscDescription> discs() const;

  private:
    template <class Description>
    struct Entry {
        Description description;
        std::unique_ptr<Publication> publication;
    };

    void dispatch(const DeviceEvent& event);
    void handleGeneric(const DeviceEvent& event);
    void handleBlock(const DeviceEvent& event);
    void publishDrive(const DriveDescription& drive);

    Publisher& publisher_;
    mutable std::mutex mutex_;
    std::map<std::string, Entry<DriveDescription>> drives_;
    // Drives waiting for their block node, by SCSI device.
    std::map<std::string, DriveDescription> waiting_;
    std::map<std::string, Entry<DiscDescription>> discs_;
};

} // namespace linuxbackend
