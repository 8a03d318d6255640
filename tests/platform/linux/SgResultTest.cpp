#include "platform/linux/SgResult.h"

#include "tests/support/LogCapture.h"

#include <cerrno>
#include <gtest/gtest.h>

using namespace linuxbackend;
using iokit::AccessRefusal;
using iokit::Transport;

namespace {

SgReply checkCondition(std::initializer_list<std::uint8_t> sense) {
    SgReply reply;
    reply.status = 0x02;
    reply.driverStatus = 0x08; // sense follows
    std::copy(sense.begin(), sense.end(), reply.sense.begin());
    reply.senseLength = static_cast<std::uint8_t>(sense.size());
    return reply;
}

} // namespace

TEST(SgResult, ErrnosOfTheIoctlAndOfTheOpenMapToOutcomes) {
    EXPECT_EQ(transportForErrno(ENODEV), Transport::Gone);
    EXPECT_EQ(transportForErrno(ENXIO), Transport::Gone);
    EXPECT_EQ(transportForErrno(ENOENT), Transport::Gone);
    EXPECT_EQ(transportForErrno(EPERM), Transport::NotPermitted);
    EXPECT_EQ(transportForErrno(EACCES), Transport::NotPermitted);
    EXPECT_EQ(transportForErrno(EINVAL), Transport::OsError);
    EXPECT_EQ(transportForErrno(EBUSY), Transport::OsError);

    EXPECT_EQ(refusalForErrno(EACCES), AccessRefusal::NotPermitted);
    EXPECT_EQ(refusalForErrno(EBUSY), AccessRefusal::HeldElsewhere);
    EXPECT_EQ(refusalForErrno(ENXIO), AccessRefusal::Gone);
    EXPECT_EQ(refusalForErrno(EIO), AccessRefusal::OsError);
}

TEST(SgResult, ATransferTheSystemRefusesFailsWithItsErrnoAndAClearLine) {
    LogCapture capture;
    const auto result = resultForFailedIoctl(EINVAL, 65536, {"/dev/sg2", 0x3B});
    EXPECT_EQ(result.transport, Transport::OsError);
    EXPECT_EQ(result.osError, EINVAL);
    EXPECT_EQ(result.transferred, 0u);
    const auto lines = capture.systemLog();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("[ERR] /dev/sg2, command 3Bh: the system refused a transfer of 65536 "
                            "bytes: EINVAL (Invalid argument)\n"),
              std::string::npos)
        << lines[0];

    EXPECT_EQ(resultForFailedIoctl(ENODEV, 0, {"/dev/sg0", 0x00}).transport, Transport::Gone);
}

TEST(SgResult, HostAndDriverFailuresFailTheTaskWhateverTheStatus) {
    LogCapture capture;
    SgReply reply;
    reply.status = 0x00;
    reply.hostStatus = 0x03;
    EXPECT_EQ(resultForReply(reply, 256, {"/dev/sg0", 0x00}).transport, Transport::TimedOut);
    reply.hostStatus = 0x01;
    EXPECT_EQ(resultForReply(reply, 256, {"/dev/sg0", 0x00}).transport, Transport::Gone);
    for (const std::uint16_t host : {0x05, 0x07, 0x08, 0x0e}) {
        reply.hostStatus = host;
        const auto result = resultForReply(reply, 256, {"/dev/sg0", 0x00});
        EXPECT_EQ(result.transport, Transport::OsError) << host;
        EXPECT_EQ(result.osError, EIO);
    }
    EXPECT_NE(capture.systemLog().back().find("host status 0x0e (transport disrupted)"),
              std::string::npos);

    reply.hostStatus = 0;
    reply.driverStatus = 0x06;
    EXPECT_EQ(resultForReply(reply, 256, {"/dev/sg0", 0x00}).transport, Transport::TimedOut);
    reply.driverStatus = 0x04;
    EXPECT_EQ(resultForReply(reply, 256, {"/dev/sg0", 0x00}).transport, Transport::OsError);
}

TEST(SgResult, BytesMovedAreTheLengthLessTheResidueWithinTheTransfer) {
    SgReply reply;
    reply.resid = 200;
    auto result = resultForReply(reply, 256, {"/dev/sg0", 0x00});
    EXPECT_EQ(result.transport, Transport::Done);
    EXPECT_EQ(result.transferred, 56u);
    reply.resid = 300;
    EXPECT_EQ(resultForReply(reply, 256, {"/dev/sg0", 0x00}).transferred, 0u);
    reply.resid = -4;
    EXPECT_EQ(resultForReply(reply, 256, {"/dev/sg0", 0x00}).transferred, 256u);
}

TEST(SgResult, FixedSenseIsCopiedOnCheckConditionOnly) {
    // NOT READY, 04h/12h, progress 0x1234 in the sense-key-specific bytes.
    auto reply = checkCondition(
        {0x70, 0, 0x02, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x04, 0x12, 0, 0x80, 0x12, 0x34, 0xEE, 0xEE});
    auto result = resultForReply(reply, 0, {"/dev/sg0", 0x00});
    EXPECT_EQ(result.status, 0x02);
    EXPECT_EQ(result.sense[2], 0x02);
    EXPECT_EQ(result.sense[12], 0x04);
    EXPECT_EQ(result.sense[13], 0x12);
    EXPECT_EQ(result.sense[16], 0x12);
    EXPECT_EQ(result.sense[17], 0x34);

    // A short sense leaves the rest zero.
    reply = checkCondition({0x70, 0, 0x05, 0, 0, 0, 0, 10});
    reply.sense[12] = 0x24; // beyond what the kernel wrote
    EXPECT_EQ(resultForReply(reply, 0, {"/dev/sg0", 0x00}).sense[12], 0x00);

    reply = checkCondition({0x70, 0, 0x06});
    reply.status = 0x08; // BUSY
    result = resultForReply(reply, 0, {"/dev/sg0", 0x00});
    EXPECT_EQ(result.status, 0x08);
    EXPECT_EQ(result.sense, (std::array<std::uint8_t, 18>{}));
}

TEST(SgResult, DescriptorSenseIsRestatedInFixedFormAndLogged) {
    LogCapture capture;
    // 72h: NOT READY 04h/12h; an information descriptor, then a
    // sense-key-specific one with progress 0x1234.
    const auto reply = checkCondition(
        {0x72, 0x02, 0x04, 0x12, 0,    0,    0,    20,                         // header
         0x00, 0x0a, 0x80, 0,    0,    0,    0,    0,  0xAA, 0xBB, 0xCC, 0xDD, // information
         0x02, 0x06, 0,    0,    0x80, 0x12, 0x34, 0});                        // key specific
    const auto result = resultForReply(reply, 0, {"/dev/sg1", 0x00});
    EXPECT_EQ(result.sense[0], 0x70);
    EXPECT_EQ(result.sense[2], 0x02);
    EXPECT_EQ(result.sense[12], 0x04);
    EXPECT_EQ(result.sense[13], 0x12);
    EXPECT_EQ(result.sense[15], 0x80);
    EXPECT_EQ(result.sense[16], 0x12);
    EXPECT_EQ(result.sense[17], 0x34);
    const auto lines = capture.systemLog();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("[WAR] /dev/sg1, command 00h: descriptor-format sense (72h) read as "
                            "sense key 2h, ASC 04h, ASCQ 12h\n"),
              std::string::npos)
        << lines[0];

    // Deferred errors keep their kind; a descriptor cut short is not read past its end.
    const auto deferred = fixedFormatSense(
        std::array<std::uint8_t, 12>{0x73, 0x03, 0x11, 0x00, 0, 0, 0, 30, 0x02, 0x06, 0x80, 0x55});
    EXPECT_EQ(deferred[0], 0x71);
    EXPECT_EQ(deferred[2], 0x03);
    EXPECT_EQ(deferred[12], 0x11);
    EXPECT_EQ(deferred[16], 0x00);
}
