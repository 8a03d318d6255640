#include "records/LoadedImage.h"

#include "platform/foundation/Bundle.h"
#include "tools/FirmwareImageWriter.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Kind = ImageSelector;

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
    static std::string causeOf(Kind kind) {
        auto loaded = LoadedImage::load("image", kind);
        const auto* cause = std::get_if<std::string>(&loaded);
        return cause ? *cause : "loaded";
    }

    fs::path folder_;

  private:
    std::optional<fs::path> saved_;
};

} // namespace

TEST_F(LoadingImages, SizesAtTheEdgesOfTheRange) {
    image(70144, 70143);
    EXPECT_EQ(causeOf(Kind::Kernel), "holds 70143 bytes, fewer than the 70144 it must hold");
    image(312, 312);
    EXPECT_EQ(causeOf(Kind::Normal), "loaded");
    // One byte more than 16 MiB rounds up past the limit.
    image(1000, kMiB16 + 1);
    EXPECT_EQ(causeOf(Kind::Normal),
              "holds 16777217 bytes, more than the 16777216 the drive can take");
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
