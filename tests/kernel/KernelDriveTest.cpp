#include "tests/kernel/KernelDrive.h"

#include "tests/kernel/PlainSg.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using tcmu::DataPhase;
using tcmu::KernelDrive;
using tcmu::PlainSg;

namespace {

sim::DriveProfile profile(sim::DriveMode mode = sim::DriveMode::Normal) {
    sim::DriveProfile drive;
    drive.id = "kernel";
    drive.revision = "1.01";
    drive.mode = mode;
    return drive;
}

} // namespace

TEST(KernelDrive, AnswersThroughSgAsTheModelWithTheLengthItReallySent) {
    KernelDrive drive(profile());
    drive.plugIn();
    PlainSg sg(drive.genericNode());

    const std::array<std::uint8_t, 6> inquiry{0x12, 0, 0, 0, 96, 0};
    std::vector<std::uint8_t> reply(96, 0xEE);
    const auto identity = sg.execute(inquiry, reply, DataPhase::FromDevice);
    EXPECT_EQ(identity.error, 0);
    EXPECT_EQ(identity.status, 0x00);
    // 56 bytes of standard data: the rest of the buffer is residual.
    EXPECT_EQ(identity.residual, 96 - 56);
    EXPECT_EQ(std::string(reply.begin() + 8, reply.begin() + 36), "QUELMAR BD-RW KLV-TN82WA1.01");

    const std::array<std::uint8_t, 6> testUnitReady{};
    const auto noDisc = sg.execute(testUnitReady, {}, DataPhase::None);
    EXPECT_EQ(noDisc.status, 0x02);
    EXPECT_EQ(noDisc.sense[2] & 0x0F, 0x02);
    EXPECT_EQ(noDisc.sense[12], 0x3A);

    const std::string node = drive.genericNode();
    drive.unplug();
    EXPECT_FALSE(std::filesystem::exists(node));
    const auto gone = sg.execute(testUnitReady, {}, DataPhase::None);
    EXPECT_EQ(gone.error, ENODEV);
}

TEST(KernelDrive, HandsTheModelEveryByteOfATransferSpreadOverTheRingsPages) {
    KernelDrive drive(profile(sim::DriveMode::Kernel));
    drive.plugIn();
    drive.drive().setRecording(sim::Recording::CommandsAndData);
    PlainSg sg(drive.genericNode());

    std::vector<std::uint8_t> image(32768);
    for (std::size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<std::uint8_t>(i * 7 + (i >> 12));
    }
    // WRITE BUFFER, download and save, normal image buffer, offset 0, 32 KiB.
    const std::array<std::uint8_t, 10> writeBuffer{0x3B, 0x05, 0xF0, 0, 0, 0, 0x00, 0x80, 0x00, 0};
    const auto outcome = sg.execute(writeBuffer, image, DataPhase::ToDevice);
    EXPECT_EQ(outcome.error, 0);
    EXPECT_EQ(outcome.status, 0x00);

    const auto history = drive.drive().history();
    const auto sent = std::ranges::find_if(
        history, [](const sim::CommandRecord& command) { return command.cdb[0] == 0x3B; });
    ASSERT_NE(sent, history.end());
    EXPECT_EQ(sent->dataOut, image);
    EXPECT_EQ(drive.drive().normalImageBytes(), image.size());
}
