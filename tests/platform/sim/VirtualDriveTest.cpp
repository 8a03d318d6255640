#include "tests/platform/sim/DriveCommands.h"

#include <functional>
#include <gtest/gtest.h>
#include <thread>

namespace sim::test {
namespace {

int progressOf(const CommandResult& result) {
    return result.sense[16] | (result.sense[17] << 8);
}

TEST(VirtualDriveTest, InquiryCarriesTheIdentityAndHonoursTheAllocationLength) {
    VirtualDrive drive(DriveProfile{});
    Reply reply{};
    const CommandResult result = inquiry(drive, reply);
    EXPECT_EQ(outcome(result), good());
    EXPECT_EQ(result.transferred, 56u);
    EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 5), (Bytes{0x05, 0x80, 0x00, 0x02, 51}));
    EXPECT_EQ(text(reply, 8, 8), "QUELMAR ");
    EXPECT_EQ(text(reply, 16, 16), "BD-RW KLV-TN82WA");
    EXPECT_EQ(text(reply, 32, 4), "1.01");
    EXPECT_EQ(text(reply, 36, 9), "2010/9/30");

    Reply shortReply;
    shortReply.fill(0xEE);
    EXPECT_EQ(inquiry(drive, shortReply, 8).transferred, 8u);
    EXPECT_EQ(shortReply[7], 0x00);
    EXPECT_EQ(shortReply[8], 0xEE);
}

TEST(VirtualDriveTest, ReadBufferCarriesTheVersionBlockOfBufferF1Only) {
    VirtualDrive drive(DriveProfile{});
    Reply reply{};
    const CommandResult result = readVersions(drive, reply);
    EXPECT_EQ(outcome(result), good());
    EXPECT_EQ(result.transferred, 48u);
    EXPECT_EQ(text(reply, 16, 28), "KLVH0100KRNL0101WW000001JDG1");

    const Bytes otherBuffer{0x3C, 0x02, 0xF0, 0, 0, 0, 0, 0, 0x30, 0, 0, 0};
    const Bytes otherMode{0x3C, 0x03, 0xF1, 0, 0, 0, 0, 0, 0x30, 0, 0, 0};
    EXPECT_EQ(outcome(drive.execute(otherBuffer, reply, Direction::FromDrive)),
              checkCondition(5, 0x24, 0));
    EXPECT_EQ(outcome(drive.execute(otherMode, reply, Direction::FromDrive)),
              checkCondition(5, 0x24, 0));
}

TEST(VirtualDriveTest, MalformedCommandsAreRefusedWithoutReadingPastThem) {
    VirtualDrive drive(DriveProfile{});
    Reply reply{};
    const Bytes shortInquiry{0x12, 0, 0};
    const Bytes unknown{0x28, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const Bytes inquiryCdb{0x12, 0, 0, 0, 0x38, 0};
    EXPECT_EQ(outcome(drive.execute({}, reply, Direction::FromDrive)), checkCondition(5, 0x20, 0));
    EXPECT_EQ(outcome(drive.execute(unknown, reply, Direction::FromDrive)),
              checkCondition(5, 0x20, 0));
    EXPECT_EQ(outcome(drive.execute(shortInquiry, reply, Direction::FromDrive)),
              checkCondition(5, 0x24, 0));
    EXPECT_EQ(outcome(drive.execute(inquiryCdb, reply, Direction::ToDrive)),
              checkCondition(5, 0x24, 0));
}

TEST(VirtualDriveTest, OnlyTheExactParameterListTogglesTheMode) {
    VirtualDrive drive(DriveProfile{});
    Bytes altered = modeChangeList();
    altered[19] = 0xE3;
    Bytes shortList = modeChangeList();
    shortList.resize(255);
    EXPECT_EQ(outcome(changeMode(drive, altered)), checkCondition(5, 0x26, 0));
    EXPECT_EQ(outcome(drive.execute(writeBufferCdb(0xFF, 0, 255), shortList, Direction::ToDrive)),
              checkCondition(5, 0x26, 0));
    EXPECT_EQ(outcome(changeMode(drive, shortList)), checkCondition(5, 0x26, 0));
    EXPECT_EQ(drive.mode(), DriveMode::Normal);

    EXPECT_EQ(outcome(changeMode(drive)), good());
    EXPECT_EQ(drive.mode(), DriveMode::Kernel);
    EXPECT_EQ(revisionOf(drive), "0000");
    EXPECT_EQ(outcome(changeMode(drive)), good());
    EXPECT_EQ(drive.mode(), DriveMode::Normal);
    EXPECT_EQ(revisionOf(drive), "1.01");
    EXPECT_EQ(drive.counters().modeChanges, 2u);
}

TEST(VirtualDriveTest, UpdateInstallsWithACountdownThenReportsTheImageRevision) {
    DriveProfile profile;
    profile.installPolls = 4;
    profile.disc = Disc{};
    VirtualDrive drive(profile);
    changeMode(drive);
    writeWholeImage(drive, 0xFE, Bytes(70144, 0x11));
    writeWholeImage(drive, 0xF0, imageWithRevision(40192, "1.02"));
    EXPECT_EQ(drive.normalImageBytes(), 40192u);
    EXPECT_EQ(outcome(changeMode(drive)), good());
    EXPECT_TRUE(drive.isInstalling());

    Reply reply{};
    EXPECT_EQ(outcome(readVersions(drive, reply)), checkCondition(2, 0x04, 0x12));
    std::vector<int> progress;
    for (int poll = 0; poll < 4; ++poll) {
        const CommandResult result = testUnitReady(drive);
        EXPECT_EQ(outcome(result), checkCondition(2, 0x04, 0x12));
        progress.push_back(progressOf(result));
    }
    EXPECT_EQ(progress, (std::vector<int>{0xFFFF, 0xC000, 0x8000, 0x4000}));
    EXPECT_EQ(outcome(testUnitReady(drive)), good());
    EXPECT_EQ(revisionOf(drive), "1.02");
    EXPECT_EQ(drive.counters().polls, 5u);
}

TEST(VirtualDriveTest, OnlyAGaplessNormalImageTakenInKernelModeIsInstalled) {
    const auto switchBackAfter = [](const std::function<void(VirtualDrive&)>& transfers) {
        VirtualDrive drive(DriveProfile{});
        changeMode(drive);
        transfers(drive);
        changeMode(drive);
        const bool installing = drive.isInstalling();
        while (drive.isInstalling()) {
            testUnitReady(drive);
        }
        return std::pair(installing, revisionOf(drive));
    };
    const Bytes image = imageWithRevision(65536, "1.02");
    const Bytes head(image.begin(), image.begin() + chunkSize);
    const Bytes tail(image.begin() + chunkSize, image.end());

    EXPECT_EQ(switchBackAfter([](VirtualDrive&) {}), std::pair(false, std::string("1.01")));
    EXPECT_EQ(switchBackAfter([&](VirtualDrive& drive) {
                  changeMode(drive);
                  EXPECT_EQ(outcome(writeImage(drive, 0xF0, 0, image)), checkCondition(5, 0x2C, 0));
                  changeMode(drive);
              }),
              std::pair(false, std::string("1.01")));
    EXPECT_EQ(switchBackAfter([&](VirtualDrive& drive) {
                  writeImage(drive, 0xF0, 0, head);
                  writeImage(drive, 0xF0, 2 * chunkSize, tail);
              }),
              std::pair(false, std::string("1.01")));
    // A transfer at offset 0 starts the image over, gap forgotten.
    EXPECT_EQ(switchBackAfter([&](VirtualDrive& drive) {
                  writeImage(drive, 0xF0, 0, head);
                  writeImage(drive, 0xF0, 2 * chunkSize, tail);
                  writeWholeImage(drive, 0xF0, image);
              }),
              std::pair(true, std::string("1.02")));
}

TEST(VirtualDriveTest, TestUnitReadyFollowsTheDisc) {
    VirtualDrive drive(DriveProfile{});
    EXPECT_EQ(outcome(testUnitReady(drive)), checkCondition(2, 0x3A, 0));
    drive.insertDisc("PHOTOS");
    EXPECT_EQ(outcome(testUnitReady(drive)), good());
    drive.ejectDisc();
    EXPECT_EQ(outcome(testUnitReady(drive)), checkCondition(2, 0x3A, 0));
}

TEST(VirtualDriveTest, HistoryKeepsDataOnlyWhenAskedTo) {
    VirtualDrive drive(DriveProfile{});
    testUnitReady(drive);
    EXPECT_TRUE(drive.history().empty());

    drive.setRecording(Recording::Commands);
    changeMode(drive);
    drive.setRecording(Recording::CommandsAndData);
    changeMode(drive);
    const auto history = drive.history();
    ASSERT_EQ(history.size(), 2u);
    EXPECT_EQ(history[0].cdb, writeBufferCdb(0xFF, 0, 256));
    EXPECT_EQ(history[0].direction, Direction::ToDrive);
    EXPECT_EQ(history[0].bufferLength, 256u);
    EXPECT_TRUE(history[0].dataOut.empty());
    EXPECT_EQ(history[1].dataOut, modeChangeList());
}

TEST(VirtualDriveTest, CommandsAndDiscEventsFromTwoThreads) {
    VirtualDrive drive(DriveProfile{});
    constexpr int rounds = 2000;
    std::thread events([&] {
        for (int i = 0; i < rounds; ++i) {
            drive.insertDisc("DATA");
            drive.ejectDisc();
        }
        drive.insertDisc(std::nullopt);
    });
    int unexpected = 0;
    for (int i = 0; i < rounds; ++i) {
        const auto answer = outcome(testUnitReady(drive));
        unexpected += answer != good() && answer != checkCondition(2, 0x3A, 0);
    }
    events.join();
    EXPECT_EQ(unexpected, 0);
    EXPECT_EQ(drive.counters().polls, static_cast<std::uint64_t>(rounds));
    EXPECT_EQ(outcome(testUnitReady(drive)), good());
}

} // namespace
} // namespace sim::test
