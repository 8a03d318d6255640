#include "platform/foundation/Log.h"

#include "tests/support/LogCapture.h"

#include <gtest/gtest.h>

using foundation::Log;
using foundation::LogChannel;

TEST(Log, ErrorAndWarningLinesCarrySignatureLineAndLevel) {
    LogCapture capture;
    Log::error("BOOL ExecUpdateMain(DeviceData *, FirmFileData *, FirmFileData *)",
               "change drive mode.( -> Normal)", 412);
    const int line = __LINE__ + 1;
    Log::warning("-[USBDeviceManager start]", "busy\n");
    const auto lines = capture.systemLog();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "BOOL ExecUpdateMain(DeviceData *, FirmFileData *, FirmFileData *)(412) "
                        "[ERR] change drive mode.( -> Normal)");
    EXPECT_EQ(lines[1], "-[USBDeviceManager start](" + std::to_string(line) + ") [WAR] busy\n");
    EXPECT_EQ(capture.lines()[1].channel, LogChannel::Warning);
}

TEST(Log, TraceGoesToTheStreamsUnprefixedAndFormatKeepsPrintfSemantics) {
    LogCapture capture;
    Log::toStandardError(foundation::format("taskStatus[0x%08x]\n", 2u));
    Log::toStandardOutput(foundation::format("write..(%d) 0x%x \n", 1, 0x1d00));
    EXPECT_EQ(capture.standardError(), "taskStatus[0x00000002]\n");
    EXPECT_EQ(capture.standardOutput(), "write..(1) 0x1d00 \n");
    EXPECT_TRUE(capture.systemLog().empty());
    EXPECT_EQ(foundation::format("%s", ""), "");
}
