#include "platform/iokit/Registry.h"
#include "platform/iokit/Services.h"
#include "scsi/STUCMethod.h"
#include "tests/support/LogCapture.h"
#include "tests/support/SimulatedDrives.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using testing::ElementsAre;
using testing::HasSubstr;
using testing::Not;

namespace {

using Bytes = std::vector<std::uint8_t>;

class DriveCommands : public ::testing::Test {
  protected:
    explicit DriveCommands(sim::DriveFaults faults = {}) : drives_(specWith(faults)) {
        drive().setRecording(sim::Recording::CommandsAndData);
        interfaces_ = drives_.open("d");
    }

    static std::vector<sim::DriveProfile> specWith(sim::DriveFaults faults) {
        auto profile = SimulatedDrives::targetDrive("d");
        profile.disc = sim::Disc{};
        profile.faults = faults;
        // Seven polls count down through values whose two bytes differ.
        profile.installPolls = 7;
        return {profile};
    }

    sim::VirtualDrive& drive() { return drives_.drive("d"); }
    SCSITaskDeviceInterface* interface() { return interfaces_.taskDevice.get(); }
    Bytes lastCdb() { return drive().history().back().cdb; }

    // Kernel mode, one normal-image chunk, back to normal: the drive installs.
    void startInstall() {
        ASSERT_TRUE(CommandChangeDriveMode(interface(), nullptr));
        const Bytes chunk(256, 0x11);
        ASSERT_TRUE(CommandWriteBuffer(interface(), ImageSelector::Normal, nullptr, chunk, 0, 256));
        ASSERT_TRUE(CommandChangeDriveMode(interface(), nullptr));
    }

    SimulatedDrives drives_;
    DeviceInterfaces interfaces_;
};

} // namespace

TEST_F(DriveCommands, SendTheirExactCommandBlocks) {
    DeviceData record;
    CommandInquiry(interface(), &record);
    EXPECT_THAT(lastCdb(), ElementsAre(0x12, 0, 0, 0, 0x38, 0));
    CommandReadBufferForDevice(interface(), &record);
    EXPECT_THAT(lastCdb(), ElementsAre(0x3C, 0x02, 0xF1, 0, 0, 0, 0, 0, 0x30, 0, 0, 0));
    CommandTestUnitReady(interface(), nullptr, nullptr, nullptr);
    EXPECT_THAT(lastCdb(), ElementsAre(0, 0, 0, 0, 0, 0));
    CommandChangeDriveMode(interface(), nullptr);
    EXPECT_THAT(lastCdb(), ElementsAre(0x3B, 0x05, 0xFF, 0, 0, 0, 0, 0x01, 0, 0, 0, 0));
    const Bytes data(0x1200, 0xAB);
    CommandWriteBuffer(interface(), ImageSelector::Kernel, nullptr, data, 0x10000, 0x1200);
    EXPECT_THAT(lastCdb(),
                ElementsAre(0x3B, 0x05, 0xFE, 0x01, 0x00, 0x00, 0x00, 0x12, 0x00, 0, 0, 0));
    CommandWriteBuffer(interface(), ImageSelector::Normal, nullptr, data, 0x18000, 0x300);
    EXPECT_THAT(lastCdb(),
                ElementsAre(0x3B, 0x05, 0xF0, 0x01, 0x80, 0x00, 0x00, 0x03, 0x00, 0, 0, 0));
}

TEST_F(DriveCommands, ChangeDriveModeSendsTheSameListBothWays) {
    ASSERT_TRUE(CommandChangeDriveMode(interface(), nullptr));
    EXPECT_EQ(drive().mode(), sim::DriveMode::Kernel);
    ASSERT_TRUE(CommandChangeDriveMode(interface(), nullptr));
    EXPECT_EQ(drive().mode(), sim::DriveMode::Normal);
    const auto history = drive().history();
    ASSERT_EQ(history.size(), 2u);
    EXPECT_EQ(history[0].dataOut, history[1].dataOut);
    ASSERT_EQ(history[0].dataOut.size(), 256u);
    const std::string identity(history[0].dataOut.begin(), history[0].dataOut.begin() + 16);
    EXPECT_EQ(identity, "QUELMAR KLV-TN82");
    EXPECT_THAT(Bytes(history[0].dataOut.begin() + 16, history[0].dataOut.begin() + 21),
                ElementsAre(0x5C, 0x17, 0xA9, 0xE2, 0x00));
}

TEST_F(DriveCommands, WriteBufferPadsShortDataWithZerosAndRefusesOverlongTransfers) {
    ASSERT_TRUE(CommandChangeDriveMode(interface(), nullptr));
    const Bytes data(1000, 0x5A);
    LogCapture capture;
    EXPECT_TRUE(CommandWriteBuffer(interface(), ImageSelector::Normal, nullptr, data, 0, 1024));
    const Bytes sent = drive().history().back().dataOut;
    ASSERT_EQ(sent.size(), 1024u);
    EXPECT_EQ(Bytes(sent.begin(), sent.begin() + 1000), data);
    EXPECT_EQ(Bytes(sent.begin() + 1000, sent.end()), Bytes(24, 0));
    EXPECT_EQ(capture.standardError(), "*********** WRITE BUFFER DATA ***********\n"
                                       "Requesting write buffer\n"
                                       "taskStatus[0x00000000]\n"
                                       "transferCountLo[1024]\n");

    const auto commands = drive().counters().commands;
    const Bytes big(40000, 1);
    EXPECT_FALSE(CommandWriteBuffer(interface(), ImageSelector::Normal, nullptr, big, 0, 32769));
    EXPECT_EQ(drive().counters().commands, commands);
    ASSERT_EQ(capture.systemLog().size(), 1u);
    EXPECT_THAT(capture.systemLog()[0],
                HasSubstr("void CommandWriteBuffer(SCSITaskDeviceInterface **, int, "
                          "DeviceData *, NSData *, uint32, uint32)("));
}

TEST_F(DriveCommands, WriteBufferNeverCutsItsOffsetTo24Bits) {
    ASSERT_TRUE(CommandChangeDriveMode(interface(), nullptr));
    const Bytes data(0x8000, 0x3C);
    const LogCapture quiet;
    EXPECT_TRUE(
        CommandWriteBuffer(interface(), ImageSelector::Normal, nullptr, data, 0xFF8000, 0x8000));
    EXPECT_THAT(lastCdb(),
                ElementsAre(0x3B, 0x05, 0xF0, 0xFF, 0x80, 0x00, 0x00, 0x80, 0x00, 0, 0, 0));
    const auto commands = drive().counters().commands;
    EXPECT_FALSE(
        CommandWriteBuffer(interface(), ImageSelector::Normal, nullptr, data, 0x1000000, 0x100));
    EXPECT_FALSE(
        CommandWriteBuffer(interface(), ImageSelector::Normal, nullptr, data, 0xFFFF00, 0x200));
    EXPECT_EQ(drive().counters().commands, commands);
}

namespace {

// Every task answers GOOD having moved 256 bytes fewer than it was given.
class ShortTransferTask final : public SCSITaskInterface {
  public:
    IOReturn SetCommandDescriptorBlock(std::span<const std::uint8_t>) override { return 0; }
    IOReturn SetScatterGatherEntries(std::span<const IOVirtualRange>, std::uint64_t count,
                                     SCSIDataTransferDirection) override {
        count_ = count;
        return 0;
    }
    IOReturn SetTimeoutDuration(std::uint32_t) override { return 0; }
    IOReturn ExecuteTaskSync(SCSI_Sense_Data&, SCSITaskStatus& status,
                             std::uint64_t& moved) override {
        status = kSCSITaskStatus_GOOD;
        moved = count_ - 256;
        return 0;
    }

  private:
    std::uint64_t count_ = 0;
};

class ShortTransferDevice final : public SCSITaskDeviceInterface {
  public:
    IOReturn ObtainExclusiveAccess() override { return 0; }
    IOReturn ReleaseExclusiveAccess() override { return 0; }
    SCSITaskInterface* CreateSCSITask() override { return new ShortTransferTask; }
};

} // namespace

TEST(WriteBuffer, GoodAfterMovingFewerBytesThanAskedIsAFailure) {
    const iokit::InterfaceRef<SCSITaskDeviceInterface> device(new ShortTransferDevice);
    const LogCapture quiet;
    const Bytes data(1024, 0x77);
    EXPECT_FALSE(CommandWriteBuffer(device.get(), ImageSelector::Normal, nullptr, data, 0, 1024));
}

TEST_F(DriveCommands, InquiryAndReadBufferFillTheRecordOnGood) {
    DeviceData record;
    LogCapture capture;
    CommandInquiry(interface(), &record);
    EXPECT_EQ(record.vendor(), "QUELMAR ");
    EXPECT_EQ(record.product(), "BD-RW KLV-TN82WA");
    EXPECT_EQ(record.revision(), "1.01");
    EXPECT_EQ(record.driveMode(), 0);
    EXPECT_EQ(capture.standardError(), "Requesting Inquiry data\n");
    EXPECT_EQ(CommandReadBufferForDevice(interface(), &record), 0);
    EXPECT_EQ(record.hard_version(), "KLVH0100");
    EXPECT_EQ(record.dest_version(), "WW000001");
    EXPECT_EQ(record.judgeKrnl(), "JDG1");
    EXPECT_EQ(CommandReadBufferForDevice(interface(), nullptr), 0);

    ASSERT_TRUE(CommandChangeDriveMode(interface(), nullptr));
    CommandInquiry(interface(), &record);
    EXPECT_EQ(record.revision(), "0000");
    EXPECT_EQ(record.driveMode(), 1);
}

TEST_F(DriveCommands, TestUnitReadyReportsDiscAndInstallProgress) {
    DeviceData record;
    bool disc = false;
    int progress = -5;
    EXPECT_EQ(CommandTestUnitReady(interface(), &record, &disc, &progress), 65535);
    EXPECT_TRUE(disc);
    EXPECT_TRUE(record.isPresenceDisc());
    EXPECT_EQ(progress, 0);

    drive().ejectDisc();
    EXPECT_EQ(CommandTestUnitReady(interface(), &record, &disc, &progress), 1);
    EXPECT_FALSE(disc);
    EXPECT_FALSE(record.isPresenceDisc());
    EXPECT_EQ(CommandTestUnitReady(interface(), nullptr, &disc, nullptr), 65535);

    // 0 while the drive installs.
    startInstall();
    LogCapture capture;
    progress = -5;
    EXPECT_EQ(CommandTestUnitReady(interface(), nullptr, nullptr, &progress), 0);
    EXPECT_EQ(progress, 0xFFFF);
    EXPECT_EQ(capture.standardError(), "Requesting TEST UNIT READY data\nNot Ready, \n");
    // The drive sends the low byte first: 6Dh, DBh.
    EXPECT_EQ(CommandTestUnitReady(interface(), nullptr, nullptr, &progress), 0);
    const auto sense = drive().history().back().result.sense;
    EXPECT_THAT(std::span(sense).subspan(16), ElementsAre(0x6D, 0xDB));
    EXPECT_EQ(progress, 0xDB6D);
}

namespace {

class FailingDrive : public DriveCommands {
  protected:
    static sim::DriveFaults faults(std::uint8_t status) {
        sim::DriveFaults f;
        f.inquiryStatus = status;
        f.readBufferStatus = status;
        f.modeChangeRefusal = sim::ModeChangeRefusal::Both;
        return f;
    }
    explicit FailingDrive(std::uint8_t status) : DriveCommands(faults(status)) {}
};

class CheckConditionDrive : public FailingDrive {
  protected:
    CheckConditionDrive() : FailingDrive(0x02) {}
};

class BusyDrive : public FailingDrive {
  protected:
    BusyDrive() : FailingDrive(0x08) {}
};

} // namespace

// A drive that sets every flag bit above the sense key.
class FlaggedSenseDrive : public DriveCommands {
  protected:
    FlaggedSenseDrive() : DriveCommands(flagged()) {}
    static sim::DriveFaults flagged() {
        sim::DriveFaults f;
        f.senseKeyFlags = 0xE0;
        return f;
    }
};

TEST_F(FlaggedSenseDrive, StillCountsAsInstallingWhenTheSenseKeyCarriesFlags) {
    startInstall();
    int progress = -5;
    EXPECT_EQ(CommandTestUnitReady(interface(), nullptr, nullptr, &progress), 0);
    EXPECT_EQ(drive().history().back().result.sense[2], 0xE2);
    EXPECT_EQ(progress, 0xFFFF);
}

TEST_F(CheckConditionDrive, CommandsPrintTheSenseLineAndLeaveTheRecordAlone) {
    DeviceData record;
    record.setVendor("KEPT");
    record.setHard_version("KEPT");
    LogCapture capture;
    CommandInquiry(interface(), &record);
    EXPECT_EQ(CommandReadBufferForDevice(interface(), &record), -1);
    EXPECT_FALSE(CommandChangeDriveMode(interface(), nullptr));
    EXPECT_EQ(record.vendor(), "KEPT");
    EXPECT_EQ(record.hard_version(), "KEPT");
    const std::string err = capture.standardError();
    EXPECT_THAT(err, HasSubstr("Requesting Inquiry data\nHardware Error, "));
    EXPECT_THAT(err, HasSubstr("taskStatus[0x00000002]\ntransferCountLo[0]\nHardware Error, "));
    EXPECT_THAT(err, HasSubstr("Requesting change drive mode\ntaskStatus[0x00000002]\n"
                               "transferCountLo[0]\nHardware Error, "));
}

TEST_F(BusyDrive, AnotherStatusIsAFailureWithItsOwnLine) {
    DeviceData record;
    LogCapture capture;
    CommandInquiry(interface(), &record);
    EXPECT_FALSE(record.vendor().has_value());
    EXPECT_EQ(CommandReadBufferForDevice(interface(), &record), -1);
    EXPECT_EQ(capture.standardError(), "Requesting Inquiry data\n"
                                       "taskStatus = 0x00000008\n"
                                       "Requesting read buffer\n"
                                       "taskStatus[0x00000008]\n"
                                       "transferCountLo[0]\n");
}

TEST_F(DriveCommands, AfterGoodChangeDriveModePrintsTheEmptySense) {
    LogCapture capture;
    ASSERT_TRUE(CommandChangeDriveMode(interface(), nullptr));
    EXPECT_THAT(capture.standardError(), HasSubstr("transferCountLo[256]\n"
                                                   "No Sense, No additional sense information\n"));
}

namespace {

class NoTaskDrive : public DriveCommands {
  protected:
    static sim::DriveFaults noTask() {
        sim::DriveFaults f;
        f.noTask = true;
        return f;
    }
    NoTaskDrive() : DriveCommands(noTask()) {}
};

class SetUpFailingDrive : public DriveCommands,
                          public ::testing::WithParamInterface<sim::SetupStep> {
  protected:
    static sim::DriveFaults failing(sim::SetupStep step) {
        sim::DriveFaults f;
        f.failingSetupStep = step;
        return f;
    }
    SetUpFailingDrive() : DriveCommands(failing(GetParam())) {}
};

} // namespace

// The refusal reaches the update's outcome through the fault decorators too.
TEST_F(NoTaskDrive, TellsTheRefusalOfItsLatestOpen) {
    const DeviceInterfaces holder = drives_.open("d");
    ASSERT_EQ(holder.taskDevice->ObtainExclusiveAccess(), kIOReturnSuccess);
    EXPECT_EQ(interface()->ObtainExclusiveAccess(), kIOReturnExclusiveAccess);
    const auto access = interface()->latestAccess();
    ASSERT_TRUE(access.has_value());
    EXPECT_EQ(access->refusal, iokit::AccessRefusal::HeldElsewhere);
    EXPECT_EQ(access->deviceNode, "virtual:d");
    EXPECT_EQ(holder.taskDevice->ReleaseExclusiveAccess(), kIOReturnSuccess);
}

TEST_F(NoTaskDrive, EveryCommandGivesItsNoTaskResult) {
    DeviceData record;
    LogCapture capture;
    bool disc = false;
    int progress = 77;
    CommandInquiry(interface(), &record);
    EXPECT_EQ(CommandReadBufferForDevice(interface(), &record), -1);
    EXPECT_FALSE(CommandWriteBuffer(interface(), ImageSelector::Normal, nullptr, {}, 0, 256));
    EXPECT_FALSE(CommandChangeDriveMode(interface(), nullptr));
    EXPECT_EQ(CommandTestUnitReady(interface(), &record, &disc, &progress), 65535);
    EXPECT_FALSE(record.vendor().has_value());
    EXPECT_FALSE(disc);
    EXPECT_EQ(progress, 77);
    std::string expected;
    for (int i = 0; i < 5; ++i) {
        expected += "CreateSCSITask returned NULL.\n";
    }
    EXPECT_EQ(capture.standardError(), expected);
    EXPECT_EQ(drive().counters().commands, 0u);
}

TEST_P(SetUpFailingDrive, IsLoggedAndCountsAsFailed) {
    LogCapture capture;
    DeviceData record;
    CommandInquiry(interface(), &record);
    EXPECT_FALSE(CommandChangeDriveMode(interface(), nullptr));
    const auto log = capture.systemLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_THAT(log[0],
                HasSubstr("void CommandInquiry(SCSITaskDeviceInterface **, DeviceData *)("));
    EXPECT_THAT(log[0], HasSubstr(") [ERR] Error "));
    EXPECT_FALSE(record.vendor().has_value());
    // A task that was not fully set up never reaches the drive.
    EXPECT_EQ(drive().counters().commands, 0u);
    EXPECT_EQ(drive().mode(), sim::DriveMode::Normal);
    if (GetParam() == sim::SetupStep::Execute) {
        EXPECT_THAT(log[0], HasSubstr("Error executing task. (0xe00002bc)\n"));
    } else {
        EXPECT_THAT(capture.standardError(), Not(HasSubstr("Requesting")));
    }
}

INSTANTIATE_TEST_SUITE_P(EachStep, SetUpFailingDrive,
                         ::testing::Values(sim::SetupStep::SetCommandDescriptorBlock,
                                           sim::SetupStep::SetScatterGatherEntries,
                                           sim::SetupStep::SetTimeout, sim::SetupStep::Execute));

TEST(DeviceInterfaceCreation, MissingInterfacesLeaveWhatWasMadeAndReportIt) {
    auto noPlugIn = SimulatedDrives::targetDrive("plug");
    noPlugIn.faults.missingInterface = sim::MissingInterface::PlugIn;
    auto noMmc = SimulatedDrives::targetDrive("mmc");
    noMmc.faults.missingInterface = sim::MissingInterface::Mmc;
    auto noTaskDevice = SimulatedDrives::targetDrive("task");
    noTaskDevice.faults.missingInterface = sim::MissingInterface::TaskDevice;
    SimulatedDrives drives({noPlugIn, noMmc, noTaskDevice});
    LogCapture capture;

    auto a = drives.open("plug");
    EXPECT_FALSE(a.plugIn || a.mmc || a.taskDevice);
    auto b = drives.open("mmc");
    EXPECT_TRUE(b.plugIn);
    EXPECT_FALSE(b.mmc || b.taskDevice);
    auto c = drives.open("task");
    EXPECT_TRUE(c.plugIn && c.mmc);
    EXPECT_FALSE(c.taskDevice);

    const auto log = capture.systemLog();
    ASSERT_EQ(log.size(), 2u);
    const std::string signature =
        "void CreateDeviceInterfaceForAuthoringDevice(io_object_t, IOCFPlugInInterface ***, "
        "SCSITaskDeviceInterface ***, MMCDeviceInterface ***)(";
    EXPECT_THAT(log[0], HasSubstr(signature));
    EXPECT_THAT(
        log[0],
        HasSubstr("[ERR] Couldn't create a plugin interface for the io_service_t. (0xe00002c7)\n"));
    EXPECT_THAT(log[1], HasSubstr("[ERR] Couldn't create MMC device interface. (-536870201)\n"));
    EXPECT_EQ(capture.standardError(), "GetSCSITaskDeviceInterface returned NULL\n");
}

TEST(PreconditionsDeathTest, StopTheProgramNamingTheExpressionAndOperation) {
    EXPECT_DEATH(
        CommandInquiry(nullptr, nullptr),
        "Assertion failed: \\(interface != NULL\\), function CommandInquiry, file STUCMethod");
    EXPECT_DEATH(CommandTestUnitReady(nullptr, nullptr, nullptr, nullptr),
                 "interface != NULL.*CommandTestUnitReady");
    EXPECT_DEATH(CreateDeviceInterfaceForAuthoringDevice(IO_OBJECT_NULL),
                 "scsiDevice != IO_OBJECT_NULL");
    EXPECT_DEATH(CreateMatchingDictionaryForAuthoringDevices(nullptr), "matchingDict != NULL");
}
