#pragma once

#include "platform/iokit/IOKitTypes.h"

#include <memory>
#include <optional>
#include <span>
#include <string>

// The process-wide table of registry objects. Each object has one reference
// count; a handle stays valid while the count is above zero.

namespace iokit {

class RegistryObject {
  public:
    virtual ~RegistryObject() = default;
    // None when the class name cannot be read.
    virtual std::optional<std::string> className() const = 0;
};

class Registry {
  public:
    // Enters the object with a count of one and answers its new handle.
    static io_object_t insert(std::shared_ptr<RegistryObject> object);
    // The object behind a live handle, or none.
    static std::shared_ptr<RegistryObject> lookup(io_object_t handle);
    // The counts are observable so that tests can see every retain matched by
    // a release; the updater never reads them.
    // The handle's count; 0 for a handle that is not (or no longer) live.
    static int retainCount(io_object_t handle);
    static std::size_t liveObjectCount();
};

} // namespace iokit

kern_return_t IOObjectRetain(io_object_t object);
kern_return_t IOObjectRelease(io_object_t object);
// Copies the object's class name into a 128-character name buffer.
kern_return_t IOObjectGetClass(io_object_t object, std::span<char, 128> className);
