#pragma once

#include "platform/iokit/IOKitTypes.h"

#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>

// The process-wide table of registry objects. Each object has one reference
// count; a handle stays valid while the count is above zero.

kern_return_t IOObjectRetain(io_object_t object);
kern_return_t IOObjectRelease(io_object_t object);
// Copies the object's class name into a 128-character name buffer.
kern_return_t IOObjectGetClass(io_object_t object, std::span<char, 128> className);

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

  private:
    // Parenthesised, so that no compiler reads `kern_return_t::IOObjectRetain`.
    friend kern_return_t(::IOObjectRetain)(io_object_t object);
    friend kern_return_t(::IOObjectRelease)(io_object_t object);
    // Reads the counts in tests (tests/support/RegistryCounts.h).
    friend class RegistryCounts;

    struct Entry {
        std::shared_ptr<RegistryObject> object;
        int count = 0;
    };
    struct Table {
        std::mutex mutex;
        std::unordered_map<io_object_t, Entry> entries;
        io_object_t nextHandle = 0x1003;
    };
    static Table& table();
};

} // namespace iokit
