#pragma once

#include <mutex>
#include <string_view>

namespace foundation {

// A synchronized section chosen by its token: one recursive mutex per token
// for the life of the process. The guard releases it on every way out,
// exceptions included.
class NamedLock {
  public:
    using Guard = std::unique_lock<std::recursive_mutex>;

    static Guard synchronized(std::string_view token);
};

} // namespace foundation
