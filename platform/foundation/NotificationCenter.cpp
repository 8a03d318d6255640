#include "platform/foundation/NotificationCenter.h"

#include <algorithm>

namespace foundation {

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter center;
    return center;
}

void NotificationCenter::addObserver(const void* observer, std::string name, Handler handler) {
    std::lock_guard lock(mutex_);
    registrations_.push_back({observer, std::move(name), std::move(handler)});
}

void NotificationCenter::removeObserver(const void* observer) {
    std::lock_guard lock(mutex_);
    std::erase_if(registrations_,
                  [observer](const Registration& r) { return r.observer == observer; });
}

void NotificationCenter::postNotificationName(std::string_view name, std::optional<int> object) {
    // Handlers run without the lock, so they may post or (un)register in turn.
    std::vector<Handler> handlers;
    {
        std::lock_guard lock(mutex_);
        for (const auto& registration : registrations_) {
            if (registration.name == name) {
                handlers.push_back(registration.handler);
            }
        }
    }
    const Notification notification{std::string(name), object};
    for (const auto& handler : handlers) {
        handler(notification);
    }
}

} // namespace foundation
