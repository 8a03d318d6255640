#pragma once

#include <optional>
#include <string>

// The identity texts a drive reports and a firmware image's header carries,
// under the same names in both records. Each text may be absent, which is
// not the same as empty.
class IdentityTexts {
  public:
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
    std::optional<std::string> vendor_;
    std::optional<std::string> product_;
    std::optional<std::string> revision_;
    std::optional<std::string> date_;
    std::optional<std::string> hard_version_;
    std::optional<std::string> krnl_version_;
    std::optional<std::string> dest_version_;
    std::optional<std::string> judgeKrnl_;
};
