#include "platform/iokit/PassThroughTaskDevice.h"

#include "platform/iokit/AccessProblems.h"
#include "platform/iokit/PassThroughTask.h"

namespace iokit {
namespace {

IOReturn ioReturnFor(AccessRefusal refusal) {
    switch (refusal) {
    case AccessRefusal::None:
        return kIOReturnSuccess;
    case AccessRefusal::HeldElsewhere:
    case AccessRefusal::DiscMounted:
        return kIOReturnExclusiveAccess;
    case AccessRefusal::NotPermitted:
        return kIOReturnNotPermitted;
    case AccessRefusal::Gone:
        return kIOReturnNotAttached;
    case AccessRefusal::OsError:
        break;
    }
    return kIOReturnError;
}

} // namespace

PassThroughTaskDevice::PassThroughTaskDevice(std::shared_ptr<PassThroughDevice> device)
    : device_(std::move(device)) {}

PassThroughTaskDevice::~PassThroughTaskDevice() {
    if (holding_) {
        device_->abandon();
    }
}

IOReturn PassThroughTaskDevice::ObtainExclusiveAccess() {
    std::lock_guard lock(mutex_);
    // The holder asking again keeps what it has.
    if (holding_) {
        return kIOReturnSuccess;
    }
    AccessResult result = device_->open();
    AccessProblems::note(result);
    holding_ = result.granted();
    const IOReturn answer = ioReturnFor(result.refusal);
    latestAccess_ = std::move(result);
    return answer;
}

IOReturn PassThroughTaskDevice::ReleaseExclusiveAccess() {
    std::lock_guard lock(mutex_);
    if (!holding_) {
        return kIOReturnNotOpen;
    }
    // The access is given back even when the system reports a failure.
    holding_ = false;
    return device_->close() ? kIOReturnSuccess : kIOReturnError;
}

SCSITaskInterface* PassThroughTaskDevice::CreateSCSITask() {
    // The latest task is this one, whatever an earlier one met.
    latestTransport_->note(std::nullopt);
    return new PassThroughTask(device_, latestTransport_);
}

std::optional<AccessResult> PassThroughTaskDevice::latestAccess() const {
    std::lock_guard lock(mutex_);
    return latestAccess_;
}

std::optional<TransportFailure> PassThroughTaskDevice::latestTransportFailure() const {
    auto failure = latestTransport_->failure();
    if (failure) {
        std::lock_guard lock(mutex_);
        failure->deviceNode = latestAccess_ ? latestAccess_->deviceNode : std::string();
    }
    return failure;
}

} // namespace iokit
