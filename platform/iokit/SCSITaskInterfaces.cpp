#include "platform/iokit/SCSITaskInterfaces.h"

#include "platform/iokit/Services.h"

#include <list>
#include <mutex>

std::uint32_t IOInterface::Release() {
    const std::uint32_t left = references_.fetch_sub(1) - 1;
    if (left == 0) {
        delete this;
    }
    return left;
}

CFUUIDRef CFUUIDGetConstantUUIDWithBytes(const std::array<std::uint8_t, 16>& bytes) {
    static std::mutex mutex;
    static std::list<CFUUIDBytes> constants; // list: elements never move
    std::lock_guard lock(mutex);
    for (const auto& constant : constants) {
        if (constant.bytes == bytes) {
            return &constant;
        }
    }
    return &constants.emplace_back(CFUUIDBytes{bytes});
}

CFUUIDBytes CFUUIDGetUUIDBytes(CFUUIDRef uuid) {
    return uuid != nullptr ? *uuid : CFUUIDBytes{};
}

const CFUUIDRef kIOMMCDeviceUserClientTypeID =
    CFUUIDGetConstantUUIDWithBytes({0x7C, 0x2B, 0x41, 0x5E, 0x93, 0x0A, 0x4D, 0x61, 0xB8, 0x12,
                                    0x6F, 0x3C, 0x0D, 0xA4, 0x55, 0x21});
const CFUUIDRef kIOCFPlugInInterfaceID =
    CFUUIDGetConstantUUIDWithBytes({0xC2, 0x44, 0xE8, 0x58, 0x10, 0x9C, 0x11, 0xD4, 0x91, 0xD4,
                                    0x00, 0x50, 0xE4, 0xC6, 0x42, 0x6F});
const CFUUIDRef kIOMMCDeviceInterfaceID =
    CFUUIDGetConstantUUIDWithBytes({0x1F, 0x65, 0x1C, 0x62, 0x8E, 0x35, 0x47, 0x0B, 0x9A, 0x2E,
                                    0x5D, 0x71, 0xC4, 0x08, 0x3B, 0x96});

IOReturn IOCreatePlugInInterfaceForService(io_service_t service, CFUUIDRef pluginType,
                                           CFUUIDRef interfaceType, IOCFPlugInInterface** plugIn,
                                           std::int32_t* score) {
    if (plugIn == nullptr) {
        return kIOReturnBadArgument;
    }
    *plugIn = nullptr;
    if (pluginType != kIOMMCDeviceUserClientTypeID || interfaceType != kIOCFPlugInInterfaceID) {
        return kIOReturnUnsupported;
    }
    const auto provider = iokit::ServiceRegistry::provider(service);
    if (!provider) {
        return kIOReturnNoDevice;
    }
    if (score != nullptr) {
        *score = 0;
    }
    return provider->createPlugInInterface(plugIn);
}

IOReturn IODestroyPlugInInterface(IOCFPlugInInterface* plugIn) {
    if (plugIn == nullptr) {
        return kIOReturnBadArgument;
    }
    plugIn->Release();
    return kIOReturnSuccess;
}
