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
    const AccessResult result = device_->open();
    AccessProblems::note(result);
    holding_ = result.granted();
    return ioReturnFor(result.refusal);
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
    return new PassThroughTask(device_);
}

} // namespace iokit
