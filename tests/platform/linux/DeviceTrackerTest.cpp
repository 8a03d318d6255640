#include "platform/linux/DeviceTracker.h"

#include <gtest/gtest.h>

using namespace linuxbackend;

namespace {

// Records publishing and withdrawing as lines, in order.
class RecordingPublisher : public DeviceTracker::Publisher {
  public:
    std::vector<std::string> log;

    std::unique_ptr<DeviceTracker::Publication>
    publishDrive(const DriveDescription& drive) override {
        return record("drive " + drive.genericNode + " " + drive.model.value_or("-"));
    }
    std::unique_ptr<DeviceTracker::Publication> publishDisc(const DiscDescription& disc) override {
        return record("disc " + disc.volumeName.value_or("-") + " in " +
                      disc.deviceModel.value_or("-"));
    }

  private:
    class Entry : public DeviceTracker::Publication {
      public:
        Entry(std::vector<std::string>& log, std::string what) : log_(log), what_(std::move(what)) {
            log_.push_back("+" + what_);
        }
        ~Entry() override { log_.push_back("-" + what_); }

      private:
        std::vector<std::string>& log_;
        std::string what_;
    };

    std::unique_ptr<DeviceTracker::Publication> record(std::string what) {
        return std::make_unique<Entry>(log, std::move(what));
    }
};

const std::string kHost = "/sys/devices/pci0000:00/usb2/2-1/host6/target6:0:0/";

DeviceEvent generic(const std::string& action, int number, const std::string& type,
                    const std::string& model) {
    const std::string scsi = kHost + "6:0:0:" + std::to_string(number);
    return {.action = action,
            .subsystem = "scsi_generic",
            .syspath = scsi + "/scsi_generic/sg" + std::to_string(number),
            .deviceNode = "/dev/sg" + std::to_string(number),
            .properties = {},
            .scsiDevice = scsi,
            .scsiAttributes = {
                {"type", type}, {"vendor", "QUELMAR"}, {"model", model}, {"rev", "1.01"}}};
}

DeviceEvent removal(const DeviceEvent& added) {
    // By then sysfs has nothing left to read.
    return {.action = "remove",
            .subsystem = added.subsystem,
            .syspath = added.syspath,
            .deviceNode = added.deviceNode,
            .properties = {},
            .scsiDevice = {},
            .scsiAttributes = {}};
}

DeviceEvent block(const std::string& syspath, const std::map<std::string, std::string>& properties,
                  const std::map<std::string, std::string>& scsiAttributes) {
    return {.action = "add",
            .subsystem = "block",
            .syspath = syspath,
            .deviceNode = "/dev/" + syspath.substr(syspath.rfind('/') + 1),
            .properties = properties,
            .scsiDevice = syspath.substr(0, syspath.find("/block/")),
            .scsiAttributes = scsiAttributes};
}

DeviceEvent opticalBlock(const std::string& action,
                         const std::map<std::string, std::string>& properties) {
    DeviceEvent event = block(kHost + "6:0:0:0/block/sr0", properties,
                              {{"type", "5"}, {"model", "BD-RW KLV-TN82WA"}});
    event.action = action;
    return event;
}

} // namespace

TEST(DeviceTracker, PublishesOpticalDrivesOnceAndWithdrawsThemByPathAlone) {
    RecordingPublisher publisher;
    DeviceTracker tracker(publisher);
    tracker.handle(generic("add", 0, "5", "BD-RW KLV-TN82WA"));
    tracker.handle(generic("add", 1, "0", "DISK")); // a disk: not a drive
    tracker.handle(generic("add", 2, "5", "DVD-RW DX-100"));
    tracker.handle(generic("change", 0, "5", "BD-RW KLV-TN82WA")); // reported again
    tracker.handle(generic("add", 3, "5", "BD-RW KLV-TN82WA"));
    ASSERT_EQ(tracker.drives().size(), 3u);
    EXPECT_EQ(tracker.drives()[1].genericNode, "/dev/sg2");
    EXPECT_EQ(tracker.drives()[1].vendor, "QUELMAR");

    tracker.handle(removal(generic("add", 2, "5", "")));
    tracker.handle(removal(generic("add", 1, "0", ""))); // never published
    tracker.handle(removal(generic("add", 2, "5", ""))); // gone already
    EXPECT_EQ(publisher.log, (std::vector<std::string>{"+drive /dev/sg0 BD-RW KLV-TN82WA",
                                                       "+drive /dev/sg2 DVD-RW DX-100",
                                                       "+drive /dev/sg3 BD-RW KLV-TN82WA",
                                                       "-drive /dev/sg2 DVD-RW DX-100"}));

    tracker.clear();
    EXPECT_TRUE(tracker.drives().empty());
    EXPECT_EQ(publisher.log.size(), 6u);
}

TEST(DeviceTracker, ADiscInAnOpticalDriveIsPublishedWhileItsMediumIsThere) {
    RecordingPublisher publisher;
    DeviceTracker tracker(publisher);
    tracker.handle(opticalBlock("add", {{"ID_CDROM", "1"}})); // empty drive
    tracker.handle(opticalBlock("change", {{"ID_CDROM_MEDIA", "1"}, {"ID_FS_LABEL", "HOLIDAY"}}));
    tracker.handle(opticalBlock("change", {{"ID_CDROM_MEDIA", "1"}, {"ID_FS_LABEL", "HOLIDAY"}}));
    tracker.handle(opticalBlock("change", {{"ID_CDROM", "1"}}));       // ejected
    tracker.handle(opticalBlock("change", {{"ID_CDROM_MEDIA", "1"}})); // blank disc
    tracker.handle(opticalBlock("change", {{"ID_CDROM_MEDIA", "1"}, {"ID_FS_LABEL", "BACKUP"}}));
    tracker.handle(removal(opticalBlock("add", {})));
    EXPECT_EQ(publisher.log, (std::vector<std::string>{
                                 "+disc HOLIDAY in BD-RW KLV-TN82WA",
                                 "-disc HOLIDAY in BD-RW KLV-TN82WA",
                                 "+disc - in BD-RW KLV-TN82WA",
                                 "-disc - in BD-RW KLV-TN82WA",
                                 "+disc BACKUP in BD-RW KLV-TN82WA",
                                 "-disc BACKUP in BD-RW KLV-TN82WA",
                             }));
    EXPECT_TRUE(tracker.discs().empty());
}

TEST(DeviceTracker, OtherBlockDevicesAreMediaAsTheyAre) {
    RecordingPublisher publisher;
    DeviceTracker tracker(publisher);
    tracker.handle(block("/sys/devices/usb1/1-2/host7/target7:0:0/7:0:0:0/block/sdb/sdb1",
                         {{"ID_FS_LABEL", "STICK"}}, {{"type", "0"}, {"model", "Flash Disk"}}));
    tracker.handle(block("/sys/devices/virtual/block/loop0", {}, {}));
    ASSERT_EQ(tracker.discs().size(), 2u);
    EXPECT_EQ(tracker.discs()[0].deviceNode, "/dev/sdb1");
    EXPECT_EQ(publisher.log,
              (std::vector<std::string>{"+disc STICK in Flash Disk", "+disc - in -"}));
}

TEST(DeviceTracker, ADriveWaitsForUdevToSetUpItsBlockNode) {
    RecordingPublisher publisher;
    DeviceTracker tracker(publisher);
    auto early = generic("add", 0, "5", "BD-RW KLV-TN82WA");
    early.blockNodeSettled = false;
    tracker.handle(early);
    auto other = generic("add", 1, "5", "DVD-RW DX-100");
    other.blockNodeSettled = false;
    tracker.handle(other);
    EXPECT_TRUE(tracker.drives().empty());

    tracker.handle(removal(other)); // gone before its block node was ready
    tracker.handle(opticalBlock("add", {{"ID_CDROM", "1"}})); // sg0's block node, no disc
    auto lateBlock = opticalBlock("add", {{"ID_CDROM", "1"}});
    lateBlock.scsiDevice = other.scsiDevice;
    tracker.handle(lateBlock);
    EXPECT_EQ(publisher.log, (std::vector<std::string>{"+drive /dev/sg0 BD-RW KLV-TN82WA"}));
}

// After reports were lost, a fresh listing is the truth: what left meanwhile
// is withdrawn, what came is published, and what stayed is left alone.
TEST(DeviceTracker, ReconcilesWhatItPublishedWithAFreshListing) {
    RecordingPublisher publisher;
    DeviceTracker tracker(publisher);
    const auto sg0 = generic("add", 0, "5", "BD-RW KLV-TN82WA");
    const auto sg1 = generic("add", 1, "5", "DVD-RW DX-100");
    const auto sg2 = generic("add", 2, "5", "BD-RW KLV-TN82WA");
    for (const auto& event : {sg0, sg1, sg2}) {
        tracker.handle(event);
    }
    tracker.handle(opticalBlock("change", {{"ID_CDROM_MEDIA", "1"}, {"ID_FS_LABEL", "HOLIDAY"}}));
    publisher.log.clear();

    tracker.reconcile({sg0, sg2, generic("add", 3, "5", "BD-RW KLV-TN82WA"),
                       opticalBlock("add", {{"ID_CDROM", "1"}})}); // sg1 gone, disc ejected
    EXPECT_EQ(publisher.log, (std::vector<std::string>{"-drive /dev/sg1 DVD-RW DX-100",
                                                       "+drive /dev/sg3 BD-RW KLV-TN82WA",
                                                       "-disc HOLIDAY in BD-RW KLV-TN82WA"}));
    ASSERT_EQ(tracker.drives().size(), 3u);
    EXPECT_EQ(tracker.drives()[2].genericNode, "/dev/sg3");

    // Another drive has taken sg2's place.
    publisher.log.clear();
    tracker.reconcile(
        {sg0, generic("add", 2, "5", "DVD-RW DX-100"), generic("add", 3, "5", "BD-RW KLV-TN82WA")});
    EXPECT_EQ(publisher.log, (std::vector<std::string>{"-drive /dev/sg2 BD-RW KLV-TN82WA",
                                                       "+drive /dev/sg2 DVD-RW DX-100"}));
}
