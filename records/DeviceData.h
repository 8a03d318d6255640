#pragma once

#include "platform/iokit/IOKitTypes.h"
#include "platform/iokit/ObjectRef.h"

#include <cstdint>
#include <optional>
#include <string>

// One attached target drive: its registry handle, what INQUIRY, READ BUFFER
// and TEST UNIT READY reported, and the verdicts derived from them.
//
// A record with a non-zero handle holds exactly one registry reference on it;
// a copy takes a reference of its own.
class DeviceData {
  public:
    io_service_t scsiDevice() const { return scsiDevice_.get(); }
    // Takes a reference of its own; the caller keeps whatever it holds.
    void setScsiDevice(io_service_t device) { scsiDevice_ = iokit::ObjectRef::retain(device); }

    std::int32_t driveMode() const { return driveMode_; }
    void setDriveMode(std::int32_t mode) { driveMode_ = mode; }

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

    bool same() const { return same_; }
    void setSame(bool flag) { same_ = flag; }
    std::int32_t sameNo() const { return sameNo_; }
    void setSameNo(std::int32_t number) { sameNo_ = number; }
    bool isEnableUpdate() const { return isEnableUpdate_; }
    void setIsEnableUpdate(bool flag) { isEnableUpdate_ = flag; }
    bool isPresenceDisc() const { return isPresenceDisc_; }
    void setIsPresenceDisc(bool flag) { isPresenceDisc_ = flag; }

  private:
    iokit::ObjectRef scsiDevice_;
    std::int32_t driveMode_ = 0;
    std::optional<std::string> vendor_;
    std::optional<std::string> product_;
    std::optional<std::string> revision_;
    std::optional<std::string> date_;
    std::optional<std::string> hard_version_;
    std::optional<std::string> krnl_version_;
    std::optional<std::string> dest_version_;
    std::optional<std::string> judgeKrnl_;
    bool same_ = false;
    std::int32_t sameNo_ = 0;
    bool isEnableUpdate_ = false;
    bool isPresenceDisc_ = false;
};
