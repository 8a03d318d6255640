#include "platform/foundation/Bundle.h"
#include "records/FirmFileData.h"
#include "records/Util.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>

namespace {

class FirmwareImage : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = foundation::Bundle::mainBundle().resourcePath();
        folder_ = std::filesystem::temp_directory_path() /
                  ("quelmar-images-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder_);
        foundation::Bundle::mainBundle().setResourcePath(folder_);
    }
    void TearDown() override {
        foundation::Bundle::mainBundle().setResourcePath(saved_);
        std::filesystem::remove_all(folder_);
    }
    void writeBytes(const std::string& name, const std::string& bytes) {
        std::ofstream(folder_ / name, std::ios::binary) << bytes;
    }
    std::filesystem::path folder_;

  private:
    std::optional<std::filesystem::path> saved_;
};

} // namespace

TEST_F(FirmwareImage, HeaderFieldsAreReadFromTheirPlaces) {
    // '#' all around the fields: a field read from a shifted place or with a
    // wrong length shows it.
    std::string bytes(312, '#');
    const auto place = [&bytes](std::size_t offset, std::string text, std::size_t length) {
        text.resize(length, '\0');
        bytes.replace(offset, length, text);
    };
    place(96, "BD-RW KLV-TN82WA", 29);
    place(144, "1.02 ", 5); // a trailing blank is kept
    place(176, "KLVH0100", 8);
    place(208, "KRNL0102", 8);
    place(240, "WW000001", 8);
    place(304, "20101015", 8);
    writeBytes("S8721021.102", bytes);
    FirmFileData record;
    record.readHeaderOfResource("S8721021.102");
    EXPECT_TRUE(record.isFileExists());
    EXPECT_EQ(record.product(), "BD-RW KLV-TN82WA");
    EXPECT_EQ(record.revision(), "1.02 ");
    EXPECT_EQ(record.hard_version(), "KLVH0100");
    EXPECT_EQ(record.krnl_version(), "KRNL0102");
    EXPECT_EQ(record.dest_version(), "WW000001");
    EXPECT_EQ(record.date(), "20101015");
    EXPECT_FALSE(record.vendor().has_value());
    EXPECT_FALSE(record.judgeKrnl().has_value());
}

TEST_F(FirmwareImage, MissingOrUnusableImagesLeaveTheRecordUntouched) {
    std::filesystem::create_directories(folder_ / "S8721020.102");
    for (const char* name : {"S8721021.102", "S8721020.102", "../S8721021.102", ""}) {
        FirmFileData record;
        record.readHeaderOfResource(name);
        EXPECT_FALSE(record.isFileExists()) << name;
        EXPECT_FALSE(record.product().has_value()) << name;
    }
}

TEST_F(FirmwareImage, AShortFileGivesEmptyFieldsPastItsEndAndKeepsACutField) {
    // 150 bytes: the revision field at 144 is cut after "1.", later fields lie past the end.
    std::string bytes(150, '\0');
    bytes.replace(96, 5, "BD-RW");
    bytes.replace(144, 6, "1.0234");
    bytes.resize(146);
    writeBytes("S8721021.102", bytes);
    FirmFileData record;
    record.readHeaderOfResource("S8721021.102");
    EXPECT_TRUE(record.isFileExists());
    EXPECT_EQ(record.product(), "BD-RW");
    EXPECT_EQ(record.revision(), "1.");
    EXPECT_EQ(record.hard_version(), "");
    EXPECT_EQ(record.date(), "");

    FirmFileData empty;
    writeBytes("S8721020.102", "");
    empty.readHeaderOfResource("S8721020.102");
    EXPECT_TRUE(empty.isFileExists());
    EXPECT_EQ(empty.product(), "");
}

TEST_F(FirmwareImage, FieldsThatAreNotUTF8AreNil) {
    std::string bytes(312, '\0');
    bytes.replace(96, 3, "\xff\xfe\x41");
    bytes.replace(144, 4, "1.02");
    writeBytes("S8721021.102", bytes);
    FirmFileData record;
    record.readHeaderOfResource("S8721021.102");
    EXPECT_FALSE(record.product().has_value());
    EXPECT_EQ(record.revision(), "1.02");
}

TEST_F(FirmwareImage, ReadFileGivesAtMostLengthFewerAtTheEndNonePastIt) {
    writeBytes("data", "0123456789");
    auto handle = Util::openFile("data");
    ASSERT_TRUE(handle);
    EXPECT_EQ(Util::readFile(handle.get(), 2, 4).size(), 4u);
    EXPECT_EQ(Util::readFile(handle.get(), 8, 32768).size(), 2u);
    EXPECT_TRUE(Util::readFile(handle.get(), 10, 4).empty());
    EXPECT_TRUE(Util::readFile(handle.get(), 1ull << 40, 4).empty());
    EXPECT_EQ(Util::readFileWithUTF8String(handle.get(), 0, 0), "");
    EXPECT_EQ(Util::readFileWithUTF8String(handle.get(), 4, 300), "456789");
    Util::closeFile(handle);
    EXPECT_FALSE(handle);
    Util::closeFile(handle);
    EXPECT_EQ(Util::readFileWithUTF8String(nullptr, 0, 4), std::nullopt);
    EXPECT_EQ(Util::fullPath("data"), (folder_ / "data").string());
    EXPECT_EQ(Util::fullPath("absent"), std::nullopt);
}
