#include "platform/iokit/PassThroughService.h"

#include "platform/iokit/PassThroughPlugIn.h"

namespace iokit {

PassThroughService::PassThroughService(std::shared_ptr<PassThroughDevice> device,
                                       std::string className, bool authoring)
    : device_(std::move(device)), className_(std::move(className)) {
    properties_.setValue("SCSITaskDeviceCategory",
                         authoring ? "SCSITaskAuthoringDevice" : "SCSITaskUserClientDevice");
}

IOReturn PassThroughService::createPlugInInterface(IOCFPlugInInterface** plugIn) {
    *plugIn = new PassThroughPlugIn(device_);
    return kIOReturnSuccess;
}

} // namespace iokit
