#include "platform/linux/SgDevice.h"

#include "tests/support/LogCapture.h"
#include "tests/support/OpenDescriptors.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using iokit::AccessRefusal;
using iokit::Transport;
using linuxbackend::SgDevice;

namespace {

constexpr std::array<std::uint8_t, 6> kTestUnitReady{};

// A folder that stands in for a SCSI device's sysfs folder, with a plain file
// in it that stands in for the sg node (it opens, but takes no SG_IO).
class SgDeviceTest : public testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "sgdevice-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        std::ofstream(folder_ / "sg7") << "not a device";
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::filesystem::path folder_;
};

} // namespace

TEST_F(SgDeviceTest, ANodeGoneBeforeTheOpenIsRefusedAsGoneWithALine) {
    LogCapture capture;
    SgDevice device((folder_ / "sg9").string(), folder_.string());
    const auto result = device.open();
    EXPECT_EQ(result.refusal, AccessRefusal::Gone);
    EXPECT_EQ(result.osError, ENOENT);
    EXPECT_EQ(result.deviceNode, (folder_ / "sg9").string());
    ASSERT_EQ(capture.systemLog().size(), 1u);
    EXPECT_NE(capture.systemLog()[0].find("[WAR] " + (folder_ / "sg9").string() + ": ENOENT"),
              std::string::npos);
    // Nothing is held, so nothing is sent.
    std::array<std::uint8_t, 0> none{};
    EXPECT_EQ(
        device.execute(kTestUnitReady, none, iokit::TransferDirection::None, 500000ms).osError,
        EBADF);
}

TEST_F(SgDeviceTest, OneHolderAtATimeAndCommandsOnlyWhileHeld) {
    SgDevice device((folder_ / "sg7").string(), folder_.string());
    ASSERT_TRUE(device.open().granted());
    const auto second = device.open();
    EXPECT_EQ(second.refusal, AccessRefusal::HeldElsewhere);

    LogCapture capture;
    std::array<std::uint8_t, 36> reply{};
    const std::array<std::uint8_t, 6> inquiry{0x12, 0, 0, 0, 36, 0};
    const auto result =
        device.execute(inquiry, reply, iokit::TransferDirection::FromDevice, 500000ms);
    // A file takes no SG_IO: the failure is the system's, reported with its errno.
    EXPECT_EQ(result.transport, Transport::OsError);
    EXPECT_EQ(result.osError, ENOTTY);
    EXPECT_NE(capture.systemLog().at(0).find("sg7, command 12h"), std::string::npos);

    EXPECT_TRUE(device.close());
    EXPECT_TRUE(device.open().granted()); // given back, so it opens again
    EXPECT_TRUE(device.close());
}

// The block node is opened after the sg node: when it refuses, the sg node is
// given back too, and a later open that finds it usable holds both.
TEST_F(SgDeviceTest, ABlockNodeThatRefusesLeavesNeitherNodeOpen) {
    const std::string generic = (folder_ / "sg7").string();
    const std::string block = (folder_ / "sr7").string();
    std::filesystem::create_directories(folder_ / "block" / "sr7");
    std::filesystem::create_directory(block); // a folder refuses O_RDWR
    LogCapture capture;
    SgDevice device(generic, folder_.string(), folder_.string());
    const auto refused = device.open();
    EXPECT_EQ(refused.osError, EISDIR);
    EXPECT_EQ(refused.deviceNode, generic);
    EXPECT_EQ(descriptorsOpenOn(generic), 0);
    EXPECT_EQ(device.open().osError, EISDIR); // not held by the first attempt

    std::filesystem::remove(block);
    std::ofstream(block) << "a disc drive";
    ASSERT_TRUE(device.open().granted());
    EXPECT_EQ(descriptorsOpenOn(generic), 1);
    EXPECT_EQ(descriptorsOpenOn(block), 1);
    EXPECT_TRUE(device.close());
    EXPECT_EQ(descriptorsOpenOn(generic) + descriptorsOpenOn(block), 0);
}
