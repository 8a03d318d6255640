#pragma once

#include "records/IdentityTexts.h"
#include "records/Sha256.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// One carried firmware image: whether its file was found, the identity fields
// of its header, and the digest of the whole file as it was then.
class FirmFileData : public IdentityTexts {
  public:
    FirmFileData() = default;
    FirmFileData(const FirmFileData&) = delete;
    FirmFileData& operator=(const FirmFileData&) = delete;
    FirmFileData(FirmFileData&&) = default;
    FirmFileData& operator=(FirmFileData&&) = default;

    // Reads the identity fields and the content digest from the named
    // resource. A resource that cannot be opened leaves the record as it
    // was; one that cannot be read to its end has no digest. Nothing is
    // reported.
    void readHeaderOfResource(std::string_view fileName);
    // Reads the identity fields from an image already in memory, the same
    // way: a field past the end of the bytes is the empty text.
    void readHeaderOfBytes(std::span<const std::uint8_t> bytes);
    // The name of the first header field that differs from the other
    // record's, or none when the two headers are the same.
    std::optional<std::string_view> headerFieldDifferingFrom(const FirmFileData& other) const;

    bool isFileExists() const { return isFileExists_; }
    void setIsFileExists(bool flag) { isFileExists_ = flag; }
    // The SHA-256 digest of the whole file when its header was read.
    const std::optional<Sha256::Digest>& contentDigest() const { return contentDigest_; }

  private:
    bool isFileExists_ = false;
    std::optional<Sha256::Digest> contentDigest_;
};
