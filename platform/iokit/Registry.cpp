#include "platform/iokit/Registry.h"

#include <algorithm>
#include <cstring>

namespace iokit {

Registry::Table& Registry::table() {
    static Table instance;
    return instance;
}

io_object_t Registry::insert(std::shared_ptr<RegistryObject> object) {
    auto& t = table();
    std::lock_guard lock(t.mutex);
    io_object_t handle = t.nextHandle;
    // Handles are never reused while live, and never 0.
    while (handle == IO_OBJECT_NULL || t.entries.contains(handle)) {
        ++handle;
    }
    t.nextHandle = handle + 1;
    t.entries.emplace(handle, Entry{std::move(object), 1});
    return handle;
}

std::shared_ptr<RegistryObject> Registry::lookup(io_object_t handle) {
    auto& t = table();
    std::lock_guard lock(t.mutex);
    const auto found = t.entries.find(handle);
    return found == t.entries.end() ? nullptr : found->second.object;
}

} // namespace iokit

kern_return_t IOObjectRetain(io_object_t object) {
    auto& t = iokit::Registry::table();
    std::lock_guard lock(t.mutex);
    const auto found = t.entries.find(object);
    if (found == t.entries.end()) {
        return kIOReturnBadArgument;
    }
    ++found->second.count;
    return KERN_SUCCESS;
}

kern_return_t IOObjectRelease(io_object_t object) {
    std::shared_ptr<iokit::RegistryObject> dropped;
    auto& t = iokit::Registry::table();
    {
        std::lock_guard lock(t.mutex);
        const auto found = t.entries.find(object);
        if (found == t.entries.end()) {
            return kIOReturnBadArgument;
        }
        if (--found->second.count == 0) {
            // Destroyed outside the lock: an object may release others.
            dropped = std::move(found->second.object);
            t.entries.erase(found);
        }
    }
    return KERN_SUCCESS;
}

kern_return_t IOObjectGetClass(io_object_t object, std::span<char, 128> className) {
    const auto found = iokit::Registry::lookup(object);
    if (!found) {
        return kIOReturnBadArgument;
    }
    const auto readName = found->className();
    if (!readName) {
        return kIOReturnNotReadable;
    }
    const std::string& name = *readName;
    const std::size_t length = std::min<std::size_t>(name.size(), 127);
    std::memcpy(className.data(), name.data(), length);
    className[length] = '\0';
    return KERN_SUCCESS;
}
