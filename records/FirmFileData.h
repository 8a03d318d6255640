#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// One carried firmware image: whether its file was found, and the identity
// fields of its header.
class FirmFileData {
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

    const std::optional<std::string>& vendor() const { return vendor_; }
    void setVendor(std::optional<std::string> text) { vendor_ = std::move(text); }
    const std::optional<std::string>& product() const { return product_; }
    void setProduct(std::optional<std::string> text) { product_ = std::move(text); }
    const std::optional<std::string>& revision() const { return revision_; }
    void setRevision(std::optional<std::string> text) { revision_ = std::move(text); }
    const std::optional<std::string>& date() const { return date_; }
    void setDate(std::optional<std::string> text) { date_ = std::move(text); }
    const std::optional<std::string>& hard_version() const { return hard_version_; }
    void setHard_version(std::optional<std::string> text) { hard_version_ = std::move(text); }
    const std::optional<std::string>& krnl_version() const { return krnl_version_; }
    void setKrnl_version(std::optional<std::string> text) { krnl_version_ = std::move(text); }
    const std::optional<std::string>& dest_version() const { return dest_version_; }
    void setDest_version(std::optional<std::string> text) { dest_version_ = std::move(text); }
    const std::optional<std::string>& judgeKrnl() const { return judgeKrnl_; }
    void setJudgeKrnl(std::optional<std::string> text) { judgeKrnl_ = std::move(text); }

  private:
    bool isFileExists_ = false;
    std::optional<std::string> vendor_;
    std::optional<std::string> product_;
    std::optional<std::string> revision_;
    std::optional<std::string> date_;
    std::optional<std::string> hard_version_;
    std::optional<std::string> krnl_version_;
    std::optional<std::string> dest_version_;
    std::optional<std::string> judgeKrnl_;
};
