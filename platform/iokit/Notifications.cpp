#include "platform/iokit/Notifications.h"

#include "platform/foundation/EventSignal.h"
#include "platform/iokit/CallFaults.h"
#include "platform/iokit/Registry.h"
#include "platform/iokit/Services.h"

#include <deque>
#include <mutex>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

struct CFRunLoopSource {
    int descriptor;
    foundation::RunLoop::Callback perform;
    foundation::RunLoop::Source scheduled;
};

namespace iokit {
namespace {

constexpr mach_port_t kMasterPortName = 0xb03;

struct MasterPort {
    std::mutex mutex;
    int sendRights = 0;
};

MasterPort& masterPort() {
    static MasterPort instance;
    return instance;
}

class NotificationIterator;

// The iterators a port has to call back for, shared with them: a port may go
// before its iterators, and the other way round.
class PortQueue {
  public:
    int descriptor() const { return signal_.descriptor(); }

    // From the thread that publishes or terminates a service.
    void post(std::weak_ptr<NotificationIterator> iterator) {
        {
            std::lock_guard lock(mutex_);
            pending_.push_back(std::move(iterator));
        }
        signal_.raise();
    }

    // On the run loop's thread. Cleared first, so that a post that comes
    // meanwhile leaves the signal raised.
    std::vector<std::weak_ptr<NotificationIterator>> take() {
        signal_.clear();
        std::lock_guard lock(mutex_);
        return std::exchange(pending_, {});
    }

  private:
    foundation::EventSignal signal_;
    std::mutex mutex_;
    std::vector<std::weak_ptr<NotificationIterator>> pending_;
};

enum class NoticeKind { FirstMatch, Terminated };

// The iterator of one matching notification. It collects the services the
// notice is about, with a reference on each, and asks its port for a call
// back when one comes while it is armed; reading it to its end arms it.
class NotificationIterator : public ServiceIterator,
                             public ServiceListener,
                             public std::enable_shared_from_this<NotificationIterator> {
  public:
    NotificationIterator(NoticeKind kind, CFMutableDictionaryRef matching,
                         IOServiceMatchingCallback callback, void* refCon,
                         std::weak_ptr<PortQueue> port)
        : kind_(kind), matching_(std::move(matching)), callback_(callback), refCon_(refCon),
          port_(std::move(port)) {}

    ~NotificationIterator() override {
        for (const io_object_t service : pending_) {
            IOObjectRelease(service);
        }
    }

    std::optional<std::string> className() const override { return "IOServiceNotifier"; }

    // Before the iterator is shared.
    void setHandle(io_iterator_t handle) { handle_ = handle; }

    io_object_t next() override {
        std::lock_guard lock(mutex_);
        if (pending_.empty()) {
            armed_ = true;
            return IO_OBJECT_NULL;
        }
        const io_object_t service = pending_.front();
        pending_.pop_front();
        return service;
    }

    void servicePublished(io_service_t service, const ServiceProvider& provider) override {
        if (kind_ == NoticeKind::FirstMatch) {
            take(service, provider);
        }
    }

    void serviceTerminated(io_service_t service, const ServiceProvider& provider) override {
        if (kind_ == NoticeKind::Terminated) {
            take(service, provider);
        }
    }

    // On the port's run loop. A notification ends when its iterator is released.
    void deliver() {
        if (Registry::lookup(handle_).get() == this) {
            callback_(refCon_, handle_);
        }
    }

  private:
    void take(io_service_t service, const ServiceProvider& provider) {
        if (!ServiceRegistry::matches(provider, *matching_)) {
            return;
        }
        IOObjectRetain(service);
        bool wasArmed = false;
        {
            std::lock_guard lock(mutex_);
            pending_.push_back(service);
            wasArmed = std::exchange(armed_, false);
        }
        if (wasArmed) {
            if (const auto port = port_.lock()) {
                port->post(weak_from_this());
            }
        }
    }

    const NoticeKind kind_;
    const CFMutableDictionaryRef matching_;
    const IOServiceMatchingCallback callback_;
    void* const refCon_;
    const std::weak_ptr<PortQueue> port_;
    io_iterator_t handle_ = IO_OBJECT_NULL;

    std::mutex mutex_;
    std::deque<io_object_t> pending_;
    bool armed_ = false;
};

} // namespace

} // namespace iokit

struct IONotificationPort {
    const std::shared_ptr<iokit::PortQueue> queue = std::make_shared<iokit::PortQueue>();
    CFRunLoopSource source{queue->descriptor(),
                           [queue = queue] {
                               for (const auto& pending : queue->take()) {
                                   if (const auto iterator = pending.lock()) {
                                       iterator->deliver();
                                   }
                               }
                           },
                           {}};
};

kern_return_t IOMasterPort(mach_port_t, mach_port_t* masterPort) {
    if (masterPort == nullptr) {
        return kIOReturnBadArgument;
    }
    *masterPort = MACH_PORT_NULL;
    if (const auto fault = iokit::CallFaults::installedAnswerTo(iokit::FailingCall::MasterPort)) {
        return *fault;
    }
    auto& port = iokit::masterPort();
    std::lock_guard lock(port.mutex);
    ++port.sendRights;
    *masterPort = iokit::kMasterPortName;
    return KERN_SUCCESS;
}

kern_return_t mach_port_deallocate(mach_port_t task, mach_port_t name) {
    auto& port = iokit::masterPort();
    std::lock_guard lock(port.mutex);
    if (task != mach_task_self() || name != iokit::kMasterPortName || port.sendRights == 0) {
        return KERN_INVALID_RIGHT;
    }
    --port.sendRights;
    return KERN_SUCCESS;
}

void CFRunLoopAddSource(foundation::RunLoop& runLoop, CFRunLoopSourceRef source) {
    if (source != nullptr) {
        source->scheduled = runLoop.addSource(source->descriptor, source->perform);
    }
}

void IONotificationPortDestroyer::operator()(IONotificationPort* port) const {
    IONotificationPortDestroy(port);
}

IONotificationPortRef IONotificationPortCreate(mach_port_t) {
    try {
        return IONotificationPortRef(new IONotificationPort);
    } catch (const std::system_error&) {
        return nullptr;
    }
}

void IONotificationPortDestroy(IONotificationPort* port) {
    delete port;
}

CFRunLoopSourceRef IONotificationPortGetRunLoopSource(IONotificationPort* port) {
    return port != nullptr ? &port->source : nullptr;
}

kern_return_t IOServiceAddMatchingNotification(IONotificationPort* notifyPort,
                                               std::string_view notificationType,
                                               CFMutableDictionaryRef matching,
                                               IOServiceMatchingCallback callback, void* refCon,
                                               io_iterator_t* notification) {
    using namespace iokit;
    if (notifyPort == nullptr || !matching || callback == nullptr || notification == nullptr) {
        return kIOReturnBadArgument;
    }
    NoticeKind kind = NoticeKind::FirstMatch;
    FailingCall call = FailingCall::FirstMatchNotification;
    if (notificationType == kIOTerminatedNotification) {
        kind = NoticeKind::Terminated;
        call = FailingCall::TerminatedNotification;
    } else if (notificationType != kIOFirstMatchNotification) {
        return kIOReturnUnsupported;
    }
    if (const auto fault = CallFaults::installedAnswerTo(call)) {
        return *fault;
    }
    auto iterator = std::make_shared<NotificationIterator>(kind, std::move(matching), callback,
                                                           refCon, notifyPort->queue);
    const io_iterator_t handle = Registry::insert(iterator);
    iterator->setHandle(handle);
    ServiceRegistry::addListener(iterator);
    *notification = handle;
    return KERN_SUCCESS;
}
