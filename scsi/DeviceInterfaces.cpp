#include "platform/foundation/Log.h"
#include "platform/iokit/Registry.h"
#include "scsi/Precondition.h"
#include "scsi/STUCMethod.h"
#include "scsi/Signatures.h"

#include <array>
#include <string>

using foundation::format;
using foundation::Log;

void CreateMatchingDictionaryForAuthoringDevices(CFMutableDictionaryRef* matchingDict) {
    requirePrecondition(matchingDict != nullptr, "matchingDict != NULL",
                        "CreateMatchingDictionaryForAuthoringDevices");
    *matchingDict = CFDictionaryCreateMutable();
    if (!*matchingDict) {
        return;
    }
    const CFMutableDictionaryRef subDictionary = CFDictionaryCreateMutable();
    if (subDictionary) {
        CFDictionarySetValue(subDictionary, "SCSITaskDeviceCategory", "SCSITaskAuthoringDevice");
        CFDictionarySetValue(*matchingDict, "IOPropertyMatch", subDictionary);
    }
}

DeviceInterfaces CreateDeviceInterfaceForAuthoringDevice(io_object_t scsiDevice) {
    requirePrecondition(scsiDevice != IO_OBJECT_NULL, "scsiDevice != IO_OBJECT_NULL",
                        "CreateDeviceInterfaceForAuthoringDevice");
    DeviceInterfaces interfaces;

    IOCFPlugInInterface* plugIn = nullptr;
    std::int32_t score = 0;
    if (const IOReturn result = IOCreatePlugInInterfaceForService(
            scsiDevice, kIOMMCDeviceUserClientTypeID, kIOCFPlugInInterfaceID, &plugIn, &score);
        result != kIOReturnSuccess || plugIn == nullptr) {
        Log::error(
            Signatures::kCreateDeviceInterfaceForAuthoringDevice,
            format("Couldn't create a plugin interface for the io_service_t. (0x%08x)\n", result));
        return interfaces;
    }
    interfaces.plugIn.reset(plugIn);

    MMCDeviceInterface* mmc = nullptr;
    if (const IOReturn result =
            plugIn->QueryInterface(CFUUIDGetUUIDBytes(kIOMMCDeviceInterfaceID), &mmc);
        result != kIOReturnSuccess || mmc == nullptr) {
        Log::error(
            Signatures::kCreateDeviceInterfaceForAuthoringDevice,
            format("Couldn't create MMC device interface. (%ld)\n", static_cast<long>(result)));
        return interfaces;
    }
    interfaces.mmc.reset(mmc);

    interfaces.taskDevice.reset(mmc->GetSCSITaskDeviceInterface());
    if (!interfaces.taskDevice) {
        Log::toStandardError("GetSCSITaskDeviceInterface returned NULL\n");
    }
    return interfaces;
}

void LogDeviceClass(io_object_t scsiDevice, std::string_view signature, std::string_view reporter,
                    std::string_view banner) {
    const std::string name(reporter);
    std::array<char, 128> className{};
    if (const kern_return_t result = IOObjectGetClass(scsiDevice, className);
        result != KERN_SUCCESS) {
        Log::error(signature,
                   format("%s() Failed to get class name. (0x%08x)\n", name.c_str(), result));
        return;
    }
    if (!banner.empty()) {
        Log::toStandardError(banner);
    }
    Log::toStandardError(
        format("%s() Found device class \"%s\" using .\n", name.c_str(), className.data()));
}
