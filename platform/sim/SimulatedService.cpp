#include "platform/sim/SimulatedService.h"

#include "platform/sim/FaultyPlugIn.h"

namespace sim {

SimulatedService::SimulatedService(std::shared_ptr<iokit::PassThroughService> service,
                                   std::shared_ptr<const VirtualDrive> drive)
    : service_(std::move(service)), drive_(std::move(drive)) {}

std::optional<std::string> SimulatedService::className() const {
    if (drive_->profile().faults.classNameUnreadable) {
        return std::nullopt;
    }
    return service_->className();
}

IOReturn SimulatedService::createPlugInInterface(IOCFPlugInInterface** plugIn) {
    *plugIn = nullptr;
    const DriveFaults& faults = drive_->profile().faults;
    if (!drive_->isAttached()) {
        return kIOReturnNoDevice;
    }
    if (faults.missingInterface == MissingInterface::PlugIn) {
        return kIOReturnUnsupported;
    }
    IOCFPlugInInterface* made = nullptr;
    const IOReturn result = service_->createPlugInInterface(&made);
    if (result != kIOReturnSuccess || made == nullptr || !FaultyPlugIn::enacts(faults)) {
        *plugIn = made;
        return result;
    }
    *plugIn = new FaultyPlugIn(iokit::InterfaceRef<IOCFPlugInInterface>(made), faults);
    return kIOReturnSuccess;
}

} // namespace sim
