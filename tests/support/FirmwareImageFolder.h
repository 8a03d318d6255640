#pragma once

#include "platform/foundation/Bundle.h"
#include "records/FirmFileData.h"
#include "records/FirmwareImageLayout.h"
#include "tools/FirmwareImageWriter.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// Both firmware images in a temporary folder that the bundle's resources
// point at while it lives, and their records read from the headers as at
// start-up.
class FirmwareImageFolder {
  public:
    // An image without a size is left out.
    FirmwareImageFolder(std::optional<std::uint64_t> kernelSize,
                        std::optional<std::uint64_t> normalSize)
        : previous_(foundation::Bundle::mainBundle().resourcePath()) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "quelmar-images-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot create " + pattern);
        }
        folder_ = pattern;
        if (kernelSize) {
            tools::writeFirmwareImage(kernelPath(), tools::demoKernelImageIdentity(), *kernelSize);
        }
        if (normalSize) {
            tools::writeFirmwareImage(normalPath(), tools::demoNormalImageIdentity(), *normalSize);
        }
        foundation::Bundle::mainBundle().setResourcePath(folder_);
        readRecords();
    }

    // Reads both records from the files as they are now, as at start-up.
    void readRecords() {
        kernel_ = FirmFileData();
        normal_ = FirmFileData();
        kernel_.readHeaderOfResource(kernelPath().filename().string());
        normal_.readHeaderOfResource(normalPath().filename().string());
    }

    ~FirmwareImageFolder() {
        foundation::Bundle::mainBundle().setResourcePath(previous_);
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    FirmwareImageFolder(const FirmwareImageFolder&) = delete;
    FirmwareImageFolder& operator=(const FirmwareImageFolder&) = delete;

    const std::filesystem::path& folder() const { return folder_; }
    std::filesystem::path kernelPath() const {
        return folder_ /
               FirmwareImageLayout::imageFileName(FirmwareImageLayout::kKernelImageBaseName);
    }
    std::filesystem::path normalPath() const {
        return folder_ /
               FirmwareImageLayout::imageFileName(FirmwareImageLayout::kNormalImageBaseName);
    }
    const FirmFileData& kernel() const { return kernel_; }
    const FirmFileData& normal() const { return normal_; }

    static std::vector<std::uint8_t> bytesOf(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

  private:
    std::optional<std::filesystem::path> previous_;
    std::filesystem::path folder_;
    FirmFileData kernel_;
    FirmFileData normal_;
};
