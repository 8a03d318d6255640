#include "platform/sim/FaultyPlugIn.h"

#include "platform/sim/FaultyMMCDevice.h"

namespace sim {

FaultyPlugIn::FaultyPlugIn(iokit::InterfaceRef<IOCFPlugInInterface> plugIn, DriveFaults faults)
    : plugIn_(std::move(plugIn)), faults_(std::move(faults)) {}

bool FaultyPlugIn::enacts(const DriveFaults& faults) {
    return faults.missingInterface == MissingInterface::Mmc ||
           faults.missingInterface == MissingInterface::TaskDevice || faults.noTask ||
           faults.failingSetupStep.has_value();
}

IOReturn FaultyPlugIn::QueryInterface(const CFUUIDBytes& interfaceID,
                                      MMCDeviceInterface** interface) {
    *interface = nullptr;
    if (faults_.missingInterface == MissingInterface::Mmc) {
        return kIOReturnUnsupported;
    }
    MMCDeviceInterface* mmc = nullptr;
    const IOReturn result = plugIn_->QueryInterface(interfaceID, &mmc);
    if (result != kIOReturnSuccess || mmc == nullptr) {
        return result;
    }
    *interface = new FaultyMMCDevice(iokit::InterfaceRef<MMCDeviceInterface>(mmc), faults_);
    return kIOReturnSuccess;
}

} // namespace sim
