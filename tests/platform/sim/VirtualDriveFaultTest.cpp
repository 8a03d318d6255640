#include "tests/platform/sim/DriveCommands.h"

#include <gtest/gtest.h>

namespace sim::test {
namespace {

VirtualDrive driveWith(const DriveFaults& faults) {
    DriveProfile profile;
    profile.faults = faults;
    profile.disc = Disc{};
    return VirtualDrive(profile);
}

// Runs a whole update with an image of revision "1.02"; answers the revision reported after it.
std::string revisionAfterUpdate(VirtualDrive& drive) {
    changeMode(drive);
    writeWholeImage(drive, 0xF0, imageWithRevision(65536 + 1024, "1.02"));
    changeMode(drive);
    while (drive.isInstalling()) {
        testUnitReady(drive);
    }
    return revisionOf(drive);
}

TEST(VirtualDriveFaultTest, InquiryAndReadBufferFailWithTheGivenStatus) {
    for (const std::uint8_t status : {statusCheckCondition, statusBusy}) {
        DriveFaults faults;
        faults.inquiryStatus = status;
        faults.readBufferStatus = status;
        VirtualDrive drive = driveWith(faults);
        Reply reply{};
        const auto expected =
            status == statusBusy ? std::tuple(8, 0, 0, 0) : checkCondition(4, 0x44, 0);
        EXPECT_EQ(outcome(inquiry(drive, reply)), expected);
        EXPECT_EQ(outcome(readVersions(drive, reply)), expected);
        EXPECT_EQ(reply, Reply{});
    }
}

TEST(VirtualDriveFaultTest, RefusedModeChangesLeaveTheModeAsItWas) {
    struct Case {
        ModeChangeRefusal refusal;
        std::vector<DriveMode> modes; // after the first, second and third request
    };
    const std::vector<Case> cases{
        {ModeChangeRefusal::First, {DriveMode::Normal, DriveMode::Kernel, DriveMode::Normal}},
        {ModeChangeRefusal::Second, {DriveMode::Kernel, DriveMode::Kernel, DriveMode::Normal}},
        {ModeChangeRefusal::Both, {DriveMode::Normal, DriveMode::Normal, DriveMode::Kernel}}};
    for (const Case& c : cases) {
        DriveFaults faults;
        faults.modeChangeRefusal = c.refusal;
        VirtualDrive drive = driveWith(faults);
        std::vector<DriveMode> modes;
        for (int request = 0; request < 3; ++request) {
            changeMode(drive);
            modes.push_back(drive.mode());
        }
        EXPECT_EQ(modes, c.modes);
    }
}

TEST(VirtualDriveFaultTest, AFailedImageTransferLeavesAGapAndNoInstall) {
    DriveFaults faults;
    faults.imageTransferFailure = 2;
    VirtualDrive drive = driveWith(faults);
    changeMode(drive);
    EXPECT_EQ(outcome(writeImage(drive, 0xF0, 0, imageWithRevision(chunkSize, "1.02"))), good());
    EXPECT_EQ(outcome(writeImage(drive, 0xF0, chunkSize, Bytes(chunkSize))),
              checkCondition(4, 0x44, 0));
    EXPECT_EQ(outcome(writeImage(drive, 0xF0, 2 * chunkSize, Bytes(1024))), good());
    changeMode(drive);
    EXPECT_FALSE(drive.isInstalling());
    EXPECT_EQ(revisionOf(drive), "1.01");
}

TEST(VirtualDriveFaultTest, BusyPollsFollowEverySwitchBack) {
    DriveFaults faults;
    faults.busyPolls = 20000;
    VirtualDrive drive = driveWith(faults);
    changeMode(drive);
    changeMode(drive);
    for (int poll = 0; poll < 20000; ++poll) {
        ASSERT_EQ(outcome(testUnitReady(drive)), checkCondition(2, 0x04, 0x12));
    }
    EXPECT_EQ(outcome(testUnitReady(drive)), good());
    EXPECT_EQ(revisionOf(drive), "1.01");

    faults.busyForever = true;
    VirtualDrive stuck = driveWith(faults);
    changeMode(stuck);
    changeMode(stuck);
    for (int poll = 0; poll < 30000; ++poll) {
        ASSERT_EQ(testUnitReady(stuck).sense[16], 0xFF);
    }
    EXPECT_TRUE(stuck.isInstalling());
}

TEST(VirtualDriveFaultTest, AnotherRevisionAfterInstall) {
    DriveFaults faults;
    faults.revisionAfterInstall = "1.0";
    VirtualDrive drive = driveWith(faults);
    EXPECT_EQ(revisionAfterUpdate(drive), "1.0 ");
}

TEST(VirtualDriveFaultTest, RemovedDriveAnswersGoneUntilAttachedAgain) {
    DriveFaults faults;
    faults.removalAtCommand = 3;
    VirtualDrive drive = driveWith(faults);
    EXPECT_FALSE(changeMode(drive).gone);
    EXPECT_FALSE(testUnitReady(drive).gone);
    EXPECT_TRUE(changeMode(drive).gone);
    EXPECT_TRUE(testUnitReady(drive).gone);
    EXPECT_FALSE(drive.isAttached());
    EXPECT_EQ(drive.mode(), DriveMode::Kernel);
    EXPECT_EQ(drive.counters().commands, 3u);

    drive.attach();
    EXPECT_EQ(outcome(testUnitReady(drive)), good());
    drive.remove();
    EXPECT_TRUE(testUnitReady(drive).gone);
}

// Switches into kernel mode, takes a whole image of revision "1.02" and
// switches back, which starts its install.
void activateNewImage(VirtualDrive& drive) {
    changeMode(drive);
    writeWholeImage(drive, 0xF0, imageWithRevision(1024, "1.02"));
    ASSERT_EQ(outcome(changeMode(drive)), good());
}

TEST(VirtualDriveFaultTest, UnitAttentionAfterActivationTakesTheNextCommandOnly) {
    DriveFaults faults;
    faults.unitAttentionAfterActivation = AdditionalSense{0x3F, 0x01};
    VirtualDrive drive = driveWith(faults);
    activateNewImage(drive);
    // Not carried out: the install still takes all of its polls.
    EXPECT_EQ(outcome(testUnitReady(drive)), checkCondition(6, 0x3F, 0x01));
    for (int poll = 0; poll < 3; ++poll) {
        EXPECT_EQ(outcome(testUnitReady(drive)), checkCondition(2, 0x04, 0x12));
    }
    EXPECT_EQ(outcome(testUnitReady(drive)), good());
}

TEST(VirtualDriveFaultTest, ADriveThatLeavesDuringItsInstallComesBackInstalledAfterAReset) {
    DriveFaults faults;
    faults.leavesDuringInstall = 2;
    DriveProfile profile;
    profile.faults = faults;
    profile.disc = Disc{};
    profile.installPolls = 5;
    VirtualDrive drive(profile);
    activateNewImage(drive);
    EXPECT_EQ(outcome(testUnitReady(drive)), checkCondition(2, 0x04, 0x12));
    EXPECT_EQ(outcome(testUnitReady(drive)), checkCondition(2, 0x04, 0x12));
    EXPECT_TRUE(testUnitReady(drive).gone);
    EXPECT_FALSE(drive.isInstalling());

    drive.attach();
    EXPECT_EQ(outcome(testUnitReady(drive)), checkCondition(6, 0x29, 0x00));
    EXPECT_EQ(outcome(testUnitReady(drive)), good());
    EXPECT_EQ(revisionOf(drive), "1.02");
}

TEST(VirtualDriveFaultTest, AnInstallInStagesCountsDownAgainInEach) {
    DriveProfile profile;
    profile.installPolls = 6;
    profile.installStages = 2;
    VirtualDrive drive(profile);
    activateNewImage(drive);
    std::vector<int> progress;
    while (drive.isInstalling()) {
        const CommandResult result = testUnitReady(drive);
        progress.push_back(result.sense[16] + 256 * result.sense[17]);
    }
    EXPECT_EQ(progress, (std::vector{0xFFFF, 0xAAAA, 0x5555, 0xFFFF, 0xAAAA, 0x5555}));
}

} // namespace
} // namespace sim::test
