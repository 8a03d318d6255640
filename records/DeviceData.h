#pragma once

#include "platform/iokit/IOKitTypes.h"
#include "platform/iokit/ObjectRef.h"
#include "records/IdentityTexts.h"

#include <cstdint>
#include <optional>
#include <string>

// One attached target drive: its registry handle, what INQUIRY, READ BUFFER
// and TEST UNIT READY reported, the verdicts derived from them, and its
// number among twins in the list.
//
// A record with a non-zero handle holds exactly one registry reference on it;
// a copy takes a reference of its own.
class DeviceData : public IdentityTexts {
  public:
    io_service_t scsiDevice() const { return scsiDevice_.get(); }
    // Takes a reference of its own; the caller keeps whatever it holds.
    void setScsiDevice(io_service_t device) { scsiDevice_ = iokit::ObjectRef::retain(device); }

    std::int32_t driveMode() const { return driveMode_; }
    void setDriveMode(std::int32_t mode) { driveMode_ = mode; }

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
    bool same_ = false;
    std::int32_t sameNo_ = 0;
    bool isEnableUpdate_ = false;
    bool isPresenceDisc_ = false;
};
