#include "platform/iokit/PassThroughMMCDevice.h"

#include "platform/iokit/PassThroughTaskDevice.h"

namespace iokit {

PassThroughMMCDevice::PassThroughMMCDevice(std::shared_ptr<PassThroughDevice> device)
    : device_(std::move(device)) {}

SCSITaskDeviceInterface* PassThroughMMCDevice::GetSCSITaskDeviceInterface() {
    return new PassThroughTaskDevice(device_);
}

} // namespace iokit
