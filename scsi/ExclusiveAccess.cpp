#include "scsi/ExclusiveAccess.h"

#include "platform/foundation/Log.h"

#include <utility>

using foundation::format;
using foundation::Log;

std::optional<ExclusiveAccess> ExclusiveAccess::obtain(SCSITaskDeviceInterface& interface,
                                                       std::string_view signature) {
    if (const IOReturn result = interface.ObtainExclusiveAccess(); result != kIOReturnSuccess) {
        Log::warning(signature, format("ObtainExclusiveAccess failed.(1) (0x%08x)\n", result));
        return std::nullopt;
    }
    return ExclusiveAccess(interface, signature);
}

ExclusiveAccess::ExclusiveAccess(ExclusiveAccess&& other) noexcept
    : interface_(std::exchange(other.interface_, nullptr)), signature_(other.signature_) {}

ExclusiveAccess::~ExclusiveAccess() {
    release();
}

bool ExclusiveAccess::release() {
    if (interface_ == nullptr) {
        return true;
    }
    const IOReturn result = std::exchange(interface_, nullptr)->ReleaseExclusiveAccess();
    if (result != kIOReturnSuccess) {
        Log::error(signature_, format("ReleaseExclusiveAccess failed. (0x%08x)\n", result));
        return false;
    }
    return true;
}
