#pragma once

#include "records/IdentityTexts.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// One carried firmware image: whether its file was found, and the identity
// fields of its header.
class FirmFileData : public IdentityTexts {
  public:
    FirmFileData() = default;
    FirmFileData(const FirmFileData&) = delete;
    FirmFileData& operator=(const FirmFileData&) = delete;
    FirmFileData(FirmFileData&&) = default;
    FirmFileData& operator=(FirmFileData&&) = default;

    // Reads the identity fields from the named resource. A resource that
    // cannot be opened leaves the record as it was; nothing is reported.
    void readHeaderOfResource(std::string_view fileName);
    // Reads the identity fields from an image already in memory, the same
    // way: a field past the end of the bytes is the empty text.
    void readHeaderOfBytes(std::span<const std::uint8_t> bytes);
    // The name of the first header field that differs from the other
    // record's, or none when the two headers are the same.
    std::optional<std::string_view> headerFieldDifferingFrom(const FirmFileData& other) const;

    bool isFileExists() const { return isFileExists_; }
    void setIsFileExists(bool flag) { isFileExists_ = flag; }

  private:
    bool isFileExists_ = false;
};
