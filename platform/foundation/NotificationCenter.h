#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace foundation {

// A notification as observers see it; the only objects posted in this
// application are numbers, and a missing object is none.
struct Notification {
    std::string name;
    std::optional<int> object;
};

// Delivers every notification synchronously on the posting thread to the
// observers of its name, whatever the sender.
class NotificationCenter {
  public:
    using Handler = std::function<void(const Notification&)>;

    static NotificationCenter& defaultCenter();

    void addObserver(const void* observer, std::string name, Handler handler);
    // Removes every registration of the observer.
    void removeObserver(const void* observer);
    void postNotificationName(std::string_view name, std::optional<int> object = std::nullopt);

  private:
    struct Registration {
        const void* observer;
        std::string name;
        Handler handler;
    };

    std::mutex mutex_;
    std::vector<Registration> registrations_;
};

} // namespace foundation
