#pragma once

#include "platform/backend/Backend.h"
#include "records/DeviceData.h"
#include "records/FirmFileData.h"
#include "scsi/STUCMethod.h"

#include <string>
#include <vector>

// What the terminal says about the drives it found, as text for people and
// as JSON with stable keys for scripts: the listed drives, numbered from 1
// in the window's order with its titles, and the drives that could not be
// opened, with the reason. The texts for people show what came from a drive
// or the system as printableOnTerminal makes it; JSON escapes on its own.
class DriveReport {
  public:
    DriveReport(std::vector<DeviceData> drives, std::vector<iokit::AccessResult> unavailable,
                const FirmFileData& normalImage);

    const std::vector<DeviceData>& drives() const { return drives_; }
    const std::vector<iokit::AccessResult>& unavailable() const { return unavailable_; }
    // The listing's flag decides; the eligibility rule names the reason.
    UpdateVerdict verdict(std::size_t position) const;
    // Why the drive at this position may not be updated, in words for a
    // terminal.
    std::string reasonText(std::size_t position) const;

    std::string text() const;
    std::string json() const;

  private:
    std::vector<DeviceData> drives_;
    std::vector<iokit::AccessResult> unavailable_;
    const FirmFileData& normalImage_;
};
