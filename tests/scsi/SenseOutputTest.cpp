#include "scsi/SenseOutput.h"

#include "scsi/AdditionalSenseTable.h"
#include "tests/support/LogCapture.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

SCSI_Sense_Data makeSense(std::uint8_t keyByte, std::uint8_t asc, std::uint8_t ascq) {
    SCSI_Sense_Data sense;
    sense.bytes[0] = 0x70;
    sense.bytes[2] = keyByte;
    sense.bytes[7] = 10;
    sense.bytes[12] = asc;
    sense.bytes[13] = ascq;
    return sense;
}

TEST(AdditionalSenseTable, HasEveryPairOnceAndEveryTextOnceButTheChangerError) {
    const auto entries = scsi::additionalSenseEntries();
    ASSERT_EQ(entries.size(), 394u);

    std::set<unsigned> pairs;
    std::map<std::string_view, int> textCounts;
    for (const auto& entry : entries) {
        EXPECT_TRUE(pairs.insert(entry.asc * 256u + entry.ascq).second)
            << "duplicate pair " << int(entry.asc) << "/" << int(entry.ascq);
        ++textCounts[entry.text];
        EXPECT_EQ(scsi::additionalSenseText(entry.asc, entry.ascq), entry.text);
    }
    for (const auto& [text, count] : textCounts) {
        EXPECT_EQ(count, text == "Mechanical positioning or changer error" ? 3 : 1) << text;
    }
}

TEST(AdditionalSenseTable, KeepsTheTracedWordingMisspellingsIncluded) {
    EXPECT_EQ(scsi::additionalSenseText(0x17, 0x09), "Recivered data without ECC, data rewritten");
    EXPECT_EQ(scsi::additionalSenseText(0x29, 0x01), "Power on occured");
    EXPECT_EQ(scsi::additionalSenseText(0x2F, 0x00), "Commands cleared by anther initiator");
    EXPECT_EQ(scsi::additionalSenseText(0x46, 0x00), "Unseccessful soft reset");
    EXPECT_EQ(scsi::additionalSenseText(0xBF, 0x00), "Loss of streaming");
    EXPECT_EQ(scsi::additionalSenseText(0x04, 0x12), std::nullopt);
    EXPECT_EQ(scsi::additionalSenseText(0xFF, 0xFF), std::nullopt);
}

struct SenseCase {
    std::uint8_t keyByte, asc, ascq;
    bool includeCodes;
    std::string line;
};

// Names each case by its key byte, ASC, ASCQ and flag, e.g. "05_24_00_codes".
void PrintTo(const SenseCase& c, std::ostream* out) {
    *out << foundation::format("%02x_%02x_%02x%s", c.keyByte, c.asc, c.ascq,
                               c.includeCodes ? "_codes" : "");
}

class SenseLine : public testing::TestWithParam<SenseCase> {};

TEST_P(SenseLine, IsWrittenInOneWriteWithItsLineFeed) {
    const auto& c = GetParam();
    LogCapture capture;
    PrintSenseString(makeSense(c.keyByte, c.asc, c.ascq), c.includeCodes);
    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].channel, foundation::LogChannel::StandardError);
    EXPECT_EQ(lines[0].text, c.line + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SenseLine,
    testing::Values(
        SenseCase{0x00, 0x00, 0x00, false, "No Sense, No additional sense information"},
        SenseCase{0x02, 0x3A, 0x00, false, "Not Ready, Medium not present"},
        // Only the low four bits of byte 2 are the key.
        SenseCase{0xE2, 0x3A, 0x01, false, "Not Ready, Medium not present, tray closed"},
        SenseCase{0x02, 0x04, 0x12, false, "Not Ready, "},
        SenseCase{0x05, 0x24, 0x00, true,
                  "Key: $05, ASC: $24, ASCQ: $00  Illegal Request, Invalid field in CDB"},
        SenseCase{0x0F, 0x3A, 0x02, false, "Unknown Sense Code, Medium not present, tray open"},
        SenseCase{0x0F, 0x04, 0x12, true, "Key: $0f, ASC: $04, ASCQ: $12  Unknown Sense Code, "},
        SenseCase{0x04, 0x40, 0x00, false, "Hardware Error, RAM failure"},
        SenseCase{0x04, 0x40, 0x81, true, "Diagnostic failure on component $81"},
        SenseCase{0x0B, 0x4D, 0x05, true, "Tagged overlapped commands, queue tag = $05"},
        SenseCase{0x04, 0x01, 0x00, false,
                  "Hardware Error, Mechanical positioning or changer error"},
        SenseCase{0x04, 0x15, 0x01, false,
                  "Hardware Error, Mechanical positioning or changer error"},
        SenseCase{0x04, 0x3B, 0x16, false,
                  "Hardware Error, Mechanical positioning or changer error"}));

TEST(SenseOutputInquiryDump, PrintsEveryFieldWithTextsCutAtWidthOrZero) {
    std::vector<std::uint8_t> data(96, 0);
    data[0] = 0xE5; // qualifier bits above the device type are masked off
    data[1] = 0x80;
    data[2] = 0x05;
    data[3] = 0x32;
    data[4] = 0x5B;
    const std::string vendor = "QUELMAR"s + '\0' + "X";
    const std::string product = "BD-RW \xC2\xB5X-9000 U"; // 16 bytes, no zero after them
    std::copy(vendor.begin(), vendor.end(), data.begin() + 8);
    std::copy(product.begin(), product.end(), data.begin() + 16);
    std::copy_n("1.02ABCD", 8, data.begin() + 32);

    LogCapture capture;
    PrintSCSIInquiryDataUsing(data);
    EXPECT_EQ(capture.standardError(), "\n*********** INQUIRY DATA ***********\n"
                                       "Got inquiry results size = 96\n"
                                       "  Peripheral device type = 0x05\n"
                                       "  Removable media bit = 128\n"
                                       "  Version = 0x5\n"
                                       "  Response data format = 0x32\n"
                                       "  Additional length = 0x5b\n"
                                       "  SCCS and Reserved = 0x0\n"
                                       "  Byte 6 flags = 0x0\n"
                                       "  Byte 7 flags = 0x0\n"
                                       "  Vendor identification  = \"QUELMAR\"\n"
                                       "  Product identification = \"BD-RW \xC2\xB5X-9000 U\"\n"
                                       "  Product revision level = \"1.02\"\n"
                                       "\n");
}

TEST(SenseOutputInquiryDump, ReadsNothingBeyondAShortReply) {
    // Heap-allocated so that a sanitizer build catches any read past its end.
    const std::vector<std::uint8_t> data{0x05, 0x80, 0, 0, 0, 0, 0, 0, 'A', 'B'};
    LogCapture capture;
    PrintSCSIInquiryDataUsing(data);
    std::string out = capture.standardError();
    EXPECT_NE(out.find("Got inquiry results size = 10\n"), std::string::npos);
    EXPECT_NE(out.find("  Removable media bit = 128\n"), std::string::npos);
    EXPECT_NE(out.find("  Vendor identification  = \"AB\"\n"
                       "  Product identification = \"\"\n"
                       "  Product revision level = \"\"\n\n"),
              std::string::npos);

    capture.clear();
    PrintSCSIInquiryDataUsing(std::span<const std::uint8_t>());
    out = capture.standardError();
    EXPECT_NE(out.find("Got inquiry results size = 0\n"
                       "  Peripheral device type = 0x00\n"
                       "  Removable media bit = 0\n"),
              std::string::npos);
    EXPECT_NE(out.find("  Vendor identification  = \"\"\n"), std::string::npos);
}

TEST(SenseOutputReadBufferDump, PrintsEveryByteAsItIsZeroIncluded) {
    const std::vector<std::uint8_t> data{'A', 0x00, 0xE9};
    LogCapture capture;
    PrintReadBuffer(data);
    EXPECT_EQ(capture.standardError(), "\n*********** READ_BUFFER DATA ***********\n"
                                       "Got readBuf results size = 3\n"
                                       "  (00) = [A]\n"
                                       "  (01) = ["s +
                                           '\0' + "]\n" +
                                           "  (02) = [\xE9]\n"
                                           "\n");
}

TEST(SenseOutputReadBufferDump, StopsAtTheSixteenBitLimit) {
    const std::vector<std::uint8_t> data(70000, 'x');
    LogCapture capture;
    PrintReadBuffer(data);
    const std::string out = capture.standardError();
    EXPECT_NE(out.find("Got readBuf results size = 65535\n"), std::string::npos);
    EXPECT_EQ(std::count(out.begin(), out.end(), '['), 65535);
    EXPECT_TRUE(out.ends_with("  (65534) = [x]\n\n"));
}

} // namespace
