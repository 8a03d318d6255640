#include "platform/iokit/PassThroughPlugIn.h"

#include "platform/iokit/PassThroughMMCDevice.h"

namespace iokit {

PassThroughPlugIn::PassThroughPlugIn(std::shared_ptr<PassThroughDevice> device)
    : device_(std::move(device)) {}

IOReturn PassThroughPlugIn::QueryInterface(const CFUUIDBytes& interfaceID,
                                           MMCDeviceInterface** interface) {
    *interface = nullptr;
    if (interfaceID != CFUUIDGetUUIDBytes(kIOMMCDeviceInterfaceID)) {
        return kIOReturnUnsupported;
    }
    *interface = new PassThroughMMCDevice(device_);
    return kIOReturnSuccess;
}

} // namespace iokit
