#include "records/LoadedImage.h"

#include "platform/foundation/Bundle.h"
#include "tools/FirmwareImageWriter.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Kind = LoadedImage::Kind;

constexpr std::uint64_t kMiB16 = 16 * 1024 * 1024;

class LoadingImages : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = foundation::Bundle::mainBundle().resourcePath();
        folder_ = fs::temp_directory_path() / ("quelmar-loaded-" + std::to_string(::getpid()));
        fs::create_directories(folder_);
        foundation::Bundle::mainBundle().setResourcePath(folder_);
    }
    void TearDown() override {
        foundation::Bundle::mainBundle().setResourcePath(saved_);
        fs::remove_all(folder_);
    }

    // A generated image of `written` bytes, then grown (sparsely) or cut to `size`.
    void image(std::uint64_t written, std::uint64_t size) {
        tools::writeFirmwareImage(folder_ / "image", tools::demoNormalImageIdentity(), written);
        fs::resize_file(folder_ / "image", size);
    }
    std::vector<std::uint8_t> fileBytes() {
        std::ifstream in(folder_ / "image", std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static std::string causeOf(Kind kind) {
        auto loaded = LoadedImage::load("image", kind);
        const auto* cause = std::get_if<std::string>(&loaded);
        return cause ? *cause : "loaded";
    }

    fs::path folder_;

  private:
    fs::path saved_;
};

} // namespace

TEST_F(LoadingImages, HoldTheFileAndTheHeaderOfThoseBytes) {
    image(1000, 1000);
    auto normal = LoadedImage::load("image", Kind::Normal);
    ASSERT_TRUE(std::holds_alternative<LoadedImage>(normal));
    const LoadedImage& loaded = std::get<LoadedImage>(normal);
    const auto bytes = fileBytes();
    EXPECT_TRUE(std::ranges::equal(loaded.bytes(), bytes));
    EXPECT_EQ(loaded.header().revision(), "1.02");
    EXPECT_EQ(loaded.header().krnl_version(), "KRNL0102");
    EXPECT_EQ(loaded.header().date(), "20101015");

    // Of a kernel image only what is sent: its first 70,144 bytes.
    image(74240, 74240);
    auto kernel = LoadedImage::load("image", Kind::Kernel);
    ASSERT_TRUE(std::holds_alternative<LoadedImage>(kernel));
    const auto kernelBytes = fileBytes();
    EXPECT_TRUE(std::ranges::equal(std::get<LoadedImage>(kernel).bytes(),
                                   std::span(kernelBytes).first(70144)));
}

TEST_F(LoadingImages, SizesOutsideTheRangeAreRefused) {
    image(70144, 70143);
    EXPECT_EQ(causeOf(Kind::Kernel), "holds 70143 bytes, fewer than the 70144 it must hold");
    image(312, 312);
    EXPECT_EQ(causeOf(Kind::Kernel), "holds 312 bytes, fewer than the 70144 it must hold");
    EXPECT_EQ(causeOf(Kind::Normal), "loaded");
    image(312, 311);
    EXPECT_EQ(causeOf(Kind::Normal), "holds 311 bytes, fewer than the 312 it must hold");
    // The last 255 bytes round up to the limit; one byte more goes past it.
    image(1000, kMiB16 - 255);
    EXPECT_EQ(causeOf(Kind::Normal), "loaded");
    image(1000, kMiB16 + 1);
    EXPECT_EQ(causeOf(Kind::Normal),
              "holds 16777217 bytes, more than the 16777216 the drive can take");
    // Not cut to 32 bits.
    image(1000, (std::uint64_t{1} << 32) + 40000);
    EXPECT_EQ(causeOf(Kind::Normal),
              "holds 4295007296 bytes, more than the 16777216 the drive can take");
    fs::remove(folder_ / "image");
    EXPECT_EQ(causeOf(Kind::Normal), "cannot be opened");
}

TEST_F(LoadingImages, AFileThatEndsBeforeItsSizeIsRefused) {
    // A sysfs attribute claims 4096 bytes and holds a few: the shape of a file
    // cut short while it is read.
    const fs::path attribute = "/sys/devices/system/cpu/online";
    std::error_code error;
    if (fs::file_size(attribute, error) != 4096 || error) {
        GTEST_SKIP() << attribute << " does not claim 4096 bytes here";
    }
    fs::create_symlink(attribute, folder_ / "image");
    const std::string cause = causeOf(Kind::Normal);
    EXPECT_TRUE(cause.starts_with("ended after ") && cause.ends_with(" of its 4096 bytes"))
        << cause;
}
