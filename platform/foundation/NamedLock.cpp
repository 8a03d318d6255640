#include "platform/foundation/NamedLock.h"

#include <map>
#include <memory>
#include <string>

namespace foundation {

NamedLock::Guard NamedLock::synchronized(std::string_view token) {
    static std::mutex tableMutex;
    // Mutexes are never removed, so a reference stays valid after the table lock.
    static std::map<std::string, std::unique_ptr<std::recursive_mutex>, std::less<>> table;
    std::recursive_mutex* mutex = nullptr;
    {
        std::lock_guard lock(tableMutex);
        auto found = table.find(token);
        if (found == table.end()) {
            found =
                table.emplace(std::string(token), std::make_unique<std::recursive_mutex>()).first;
        }
        mutex = found->second.get();
    }
    return Guard(*mutex);
}

} // namespace foundation
