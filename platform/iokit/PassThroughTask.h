#pragma once

#include "platform/iokit/LatestTransport.h"
#include "platform/iokit/PassThroughDevice.h"
#include "platform/iokit/SCSITaskInterfaces.h"

#include <chrono>
#include <memory>
#include <vector>

namespace iokit {

// One command for a pass-through device: its CDB, one data range and a
// timeout, carried out synchronously. How its execution fared on the way goes
// to `latest`, shared with the task device interface that made it.
class PassThroughTask : public SCSITaskInterface {
  public:
    // The timeout of a task that was given none: a device never gets 0,
    // which some systems read as "wait for ever" and others as a short default.
    static constexpr std::chrono::milliseconds defaultTimeout{30000};

    PassThroughTask(std::shared_ptr<PassThroughDevice> device,
                    std::shared_ptr<LatestTransport> latest);

    IOReturn SetCommandDescriptorBlock(std::span<const std::uint8_t> cdb) override;
    IOReturn SetScatterGatherEntries(std::span<const IOVirtualRange> ranges,
                                     std::uint64_t transferCount,
                                     SCSIDataTransferDirection direction) override;
    IOReturn SetTimeoutDuration(std::uint32_t milliseconds) override;
    IOReturn ExecuteTaskSync(SCSI_Sense_Data& sense, SCSITaskStatus& status,
                             std::uint64_t& realizedTransferCount) override;

  private:
    std::shared_ptr<PassThroughDevice> device_;
    std::shared_ptr<LatestTransport> latest_;
    std::vector<std::uint8_t> cdb_;
    IOVirtualRange range_;
    std::uint64_t transferCount_ = 0;
    SCSIDataTransferDirection direction_ = kSCSIDataTransfer_NoDataTransfer;
    std::chrono::milliseconds timeout_ = defaultTimeout;
};

} // namespace iokit
