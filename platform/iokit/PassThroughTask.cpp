#include "platform/iokit/PassThroughTask.h"

#include <algorithm>

namespace iokit {
namespace {

TransferDirection directionOf(SCSIDataTransferDirection direction) {
    switch (direction) {
    case kSCSIDataTransfer_FromInitiatorToTarget:
        return TransferDirection::ToDevice;
    case kSCSIDataTransfer_FromTargetToInitiator:
        return TransferDirection::FromDevice;
    default:
        return TransferDirection::None;
    }
}

IOReturn ioReturnFor(Transport transport) {
    switch (transport) {
    case Transport::Done:
        return kIOReturnSuccess;
    case Transport::Gone:
        return kIOReturnNotAttached;
    case Transport::TimedOut:
        return kIOReturnTimeout;
    case Transport::NotPermitted:
        return kIOReturnNotPermitted;
    case Transport::OsError:
        break;
    }
    return kIOReturnError;
}

} // namespace

PassThroughTask::PassThroughTask(std::shared_ptr<PassThroughDevice> device,
                                 std::shared_ptr<LatestTransport> latest)
    : device_(std::move(device)), latest_(std::move(latest)) {}

IOReturn PassThroughTask::SetCommandDescriptorBlock(std::span<const std::uint8_t> cdb) {
    if (cdb.size() != 6 && cdb.size() != 10 && cdb.size() != 12 && cdb.size() != 16) {
        return kIOReturnBadArgument;
    }
    cdb_.assign(cdb.begin(), cdb.end());
    return kIOReturnSuccess;
}

IOReturn PassThroughTask::SetScatterGatherEntries(std::span<const IOVirtualRange> ranges,
                                                  std::uint64_t transferCount,
                                                  SCSIDataTransferDirection direction) {
    if (ranges.size() > 1) {
        return kIOReturnUnsupported;
    }
    range_ = ranges.empty() ? IOVirtualRange{} : ranges.front();
    transferCount_ = transferCount;
    direction_ = direction;
    return kIOReturnSuccess;
}

IOReturn PassThroughTask::SetTimeoutDuration(std::uint32_t milliseconds) {
    timeout_ = milliseconds == 0 ? defaultTimeout : std::chrono::milliseconds(milliseconds);
    return kIOReturnSuccess;
}

IOReturn PassThroughTask::ExecuteTaskSync(SCSI_Sense_Data& sense, SCSITaskStatus& status,
                                          std::uint64_t& realizedTransferCount) {
    if (cdb_.empty()) {
        return kIOReturnError;
    }
    // The device moves no more than both the range and the count allow.
    const auto length =
        static_cast<std::size_t>(std::min<std::uint64_t>(range_.length, transferCount_));
    const std::span<std::uint8_t> data(range_.address, range_.address ? length : 0);
    const PassThroughResult result =
        device_->execute(cdb_, data, directionOf(direction_), timeout_);
    if (result.transport != Transport::Done) {
        // The node is the task device interface's to name.
        latest_->note(TransportFailure{result.transport, result.osError, {}});
        return ioReturnFor(result.transport);
    }
    latest_->note(std::nullopt);
    status = result.status;
    realizedTransferCount = result.transferred;
    if (result.status == kSCSITaskStatus_CHECK_CONDITION) {
        std::copy(result.sense.begin(), result.sense.end(), sense.bytes.begin());
    }
    return kIOReturnSuccess;
}

} // namespace iokit
