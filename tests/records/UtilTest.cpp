#include "records/Util.h"

#include <array>
#include <gtest/gtest.h>
#include <vector>

TEST(ConvertToString, EndsAtTheFirstZeroKeepsBlanksAndTellsNilFromEmpty) {
    const std::array<std::uint8_t, 12> bytes = {'x', 'K', 'L',  ' ',  'V',  0,
                                                'Z', 0,   0xC3, 0xA9, 0xFF, 0};
    EXPECT_EQ(Util::convertToString(bytes, 1, 8), "KL V");
    EXPECT_EQ(Util::convertToString(bytes, 1, 2), "KL");
    EXPECT_EQ(Util::convertToString(bytes, 5, 3), "");
    EXPECT_EQ(Util::convertToString(bytes, 8, 2), "\xC3\xA9");
    EXPECT_EQ(Util::convertToString(bytes, 8, 3), std::nullopt);
    EXPECT_EQ(Util::convertToString(bytes, 9, 1), std::nullopt); // a cut sequence
    EXPECT_EQ(Util::convertToString(bytes, 0, 0), std::nullopt);
    EXPECT_EQ(Util::convertToString(bytes, 0, -1), std::nullopt);
    EXPECT_EQ(Util::convertToString({}, 0, 4), std::nullopt);
}

TEST(ConvertToString, LongLengthsAndOffsetsStayInsideTheirBuffers) {
    const std::vector<std::uint8_t> many(1000, 'a');
    EXPECT_EQ(Util::convertToString(many, 0, 4000), std::string(255, 'a'));
    EXPECT_EQ(Util::convertToString(many, 990, 29), std::string(10, 'a'));
    EXPECT_EQ(Util::convertToString(many, 5000, 8), "");
    EXPECT_EQ(Util::convertToString(many, -3, 8), std::nullopt);
}

TEST(ConvertToString, RejectsOverlongAndSurrogateSequences) {
    const std::array<std::uint8_t, 2> overlong = {0xC0, 0xAF};
    const std::array<std::uint8_t, 3> surrogate = {0xED, 0xA0, 0x80};
    const std::array<std::uint8_t, 4> fourBytes = {0xF0, 0x9F, 0x92, 0xBF};
    EXPECT_EQ(Util::convertToString(overlong, 0, 2), std::nullopt);
    EXPECT_EQ(Util::convertToString(surrogate, 0, 3), std::nullopt);
    EXPECT_TRUE(Util::convertToString(fourBytes, 0, 4).has_value());
}

TEST(CmpCurVersion, OrdersDigitRunsByValueAndIgnoresBlanks) {
    EXPECT_EQ(Util::cmpCurVersion("1.02", "1.03"), -1);
    EXPECT_EQ(Util::cmpCurVersion("1.10", "1.9"), 1);
    EXPECT_EQ(Util::cmpCurVersion("1.02", "1.02"), 0);
    EXPECT_EQ(Util::cmpCurVersion(" 1.0 2 ", "1.02"), 0);
    EXPECT_EQ(Util::cmpCurVersion("0000", "1.02"), -1);
    EXPECT_EQ(Util::cmpCurVersion("1.02", "1.02a"), -1);
    EXPECT_EQ(Util::cmpCurVersion("1.01x", "1.01"), 1);
    EXPECT_EQ(Util::cmpCurVersion("1.02b", "1.02a"), 1);
    EXPECT_EQ(Util::cmpCurVersion("A.01", "a.01"), -1);
    EXPECT_EQ(Util::cmpCurVersion("", "1.02"), -1);
    EXPECT_EQ(Util::cmpCurVersion("99999999999999999999999", "99999999999999999999998"), 1);
}

TEST(SameText, AMissingTextMatchesNothingAndEmptyIsAText) {
    EXPECT_FALSE(Util::sameText(std::nullopt, std::nullopt));
    EXPECT_FALSE(Util::sameText("1.02", std::nullopt));
    EXPECT_TRUE(Util::sameText("", ""));
    EXPECT_FALSE(Util::sameText("1.02", "1.02 "));
}

TEST(IsTargetModel, IgnoresBlanksButNotCase) {
    EXPECT_TRUE(Util::isTargetModel("BD-RW KLV-TN82WA"));
    EXPECT_TRUE(Util::isTargetModel("BD-RWKLV-TN82WA"));
    EXPECT_TRUE(Util::isTargetModel("  BD-RW  KLV - TN82WA  "));
    EXPECT_FALSE(Util::isTargetModel("bd-rw klv-tn82wa"));
    EXPECT_FALSE(Util::isTargetModel("BD-RW KLV-TN82W"));
    EXPECT_FALSE(Util::isTargetModel("BD-RW KLV-TN82WA2"));
    EXPECT_FALSE(Util::isTargetModel(std::nullopt));
    EXPECT_FALSE(Util::isTargetModel(""));
}

TEST(IsPresenceOfDisc, OnlyMediumNotPresentMeansNoDisc) {
    SCSI_Sense_Data sense;
    EXPECT_TRUE(Util::isPresenceOfDisc(sense));
    sense.bytes[2] = 0x02;
    sense.bytes[12] = 0x3A;
    for (std::uint8_t ascq : {0x00, 0x01, 0x02, 0x7F}) {
        sense.bytes[13] = ascq;
        EXPECT_FALSE(Util::isPresenceOfDisc(sense));
    }
    sense.bytes[12] = 0x04;
    sense.bytes[13] = 0x12;
    EXPECT_TRUE(Util::isPresenceOfDisc(sense));
}
