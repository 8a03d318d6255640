#pragma once

#include "platform/iokit/Registry.h"

#include <cstddef>
#include <mutex>

namespace iokit {

// The registry's reference counts, so that a test sees every retain matched
// by a release.
class RegistryCounts {
  public:
    // The handle's count; 0 for a handle that is not (or no longer) live.
    static int retainCount(io_object_t handle) {
        auto& table = Registry::table();
        std::lock_guard lock(table.mutex);
        const auto found = table.entries.find(handle);
        return found == table.entries.end() ? 0 : found->second.count;
    }

    static std::size_t liveObjectCount() {
        auto& table = Registry::table();
        std::lock_guard lock(table.mutex);
        return table.entries.size();
    }
};

} // namespace iokit
