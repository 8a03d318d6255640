#include "platform/iokit/PassThroughService.h"

#include "platform/iokit/PassThroughPlugIn.h"

namespace iokit {

PassThroughService::PassThroughService(std::shared_ptr<PassThroughDevice> device,
                                       std::string className, bool authoring,
                                       std::optional<std::string> physicalLocation)
    : device_(std::move(device)), className_(std::move(className)) {
    properties_.setValue("SCSITaskDeviceCategory",
                         authoring ? "SCSITaskAuthoringDevice" : "SCSITaskUserClientDevice");
    if (physicalLocation) {
        properties_.setValue(std::string(kPhysicalLocationKey), std::move(*physicalLocation));
    }
}

IOReturn PassThroughService::createPlugInInterface(IOCFPlugInInterface** plugIn) {
    *plugIn = new PassThroughPlugIn(device_);
    return kIOReturnSuccess;
}

} // namespace iokit
