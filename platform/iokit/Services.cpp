#include "platform/iokit/Services.h"

#include <deque>
#include <mutex>
#include <vector>

namespace iokit {
namespace {

class Service : public RegistryObject {
  public:
    explicit Service(std::shared_ptr<ServiceProvider> provider) : provider_(std::move(provider)) {}
    std::optional<std::string> className() const override { return provider_->className(); }
    const std::shared_ptr<ServiceProvider>& provider() const { return provider_; }

  private:
    std::shared_ptr<ServiceProvider> provider_;
};

// Holds one reference on every service it has not handed out yet.
class Iterator : public ServiceIterator {
  public:
    explicit Iterator(std::vector<io_object_t> services)
        : pending_(services.begin(), services.end()) {}
    ~Iterator() override {
        for (const io_object_t service : pending_) {
            IOObjectRelease(service);
        }
    }
    std::optional<std::string> className() const override { return "IOIterator"; }

    io_object_t next() override {
        std::lock_guard lock(mutex_);
        if (pending_.empty()) {
            return IO_OBJECT_NULL;
        }
        const io_object_t service = pending_.front();
        pending_.pop_front();
        return service;
    }

  private:
    std::mutex mutex_;
    std::deque<io_object_t> pending_;
};

struct Published {
    std::mutex mutex;
    std::vector<io_service_t> services; // in order of publication
    std::vector<std::weak_ptr<ServiceListener>> listeners;
};

using Listeners = std::vector<std::shared_ptr<ServiceListener>>;

// The listeners still alive, the others forgotten; call with the lock held.
// The caller keeps the references until after the lock is released, so that
// a listener that goes with the last of them never goes under the lock.
Listeners liveListeners(Published& p) {
    Listeners live;
    std::erase_if(p.listeners, [&live](const std::weak_ptr<ServiceListener>& listener) {
        if (auto alive = listener.lock()) {
            live.push_back(std::move(alive));
            return false;
        }
        return true;
    });
    return live;
}

Published& published() {
    static Published instance;
    return instance;
}

} // namespace

io_service_t ServiceRegistry::registerService(const std::shared_ptr<ServiceProvider>& provider) {
    const io_service_t handle = Registry::insert(std::make_shared<Service>(provider));
    Listeners listeners;
    auto& p = published();
    std::lock_guard lock(p.mutex);
    p.services.push_back(handle);
    listeners = liveListeners(p);
    for (const auto& listener : listeners) {
        listener->servicePublished(handle, *provider);
    }
    return handle;
}

void ServiceRegistry::terminateService(io_service_t service) {
    auto& p = published();
    {
        Listeners listeners;
        std::lock_guard lock(p.mutex);
        if (std::erase(p.services, service) == 0) {
            return;
        }
        listeners = liveListeners(p);
        if (const auto terminated = provider(service)) {
            for (const auto& listener : listeners) {
                listener->serviceTerminated(service, *terminated);
            }
        }
    }
    // Holders of the handle keep the object; the registry drops its own reference.
    IOObjectRelease(service);
}

void ServiceRegistry::addListener(const std::shared_ptr<ServiceListener>& listener) {
    auto& p = published();
    std::lock_guard lock(p.mutex);
    for (const io_service_t service : p.services) {
        if (const auto present = provider(service)) {
            listener->servicePublished(service, *present);
        }
    }
    p.listeners.push_back(listener);
}

std::shared_ptr<ServiceProvider> ServiceRegistry::provider(io_service_t service) {
    const auto service_ = std::dynamic_pointer_cast<Service>(Registry::lookup(service));
    return service_ ? service_->provider() : nullptr;
}

bool ServiceRegistry::matches(const ServiceProvider& provider, const CFDictionary& matching) {
    const auto wanted = matching.dictionary("IOPropertyMatch");
    if (!wanted) {
        return false;
    }
    // Every property named in the match must be present with an equal value.
    const CFDictionary& properties = provider.properties();
    for (const auto& [key, value] : wanted->entries()) {
        const CFDictionary::Value* present = properties.value(key);
        if (present == nullptr || *present != value) {
            return false;
        }
    }
    return true;
}

} // namespace iokit

// Takes the dictionary by value: the call consumes the caller's reference.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
kern_return_t IOServiceGetMatchingServices(mach_port_t, CFMutableDictionaryRef matching,
                                           io_iterator_t* existing) {
    if (!matching || existing == nullptr) {
        return kIOReturnBadArgument;
    }
    std::vector<io_object_t> found;
    auto& p = iokit::published();
    {
        std::lock_guard lock(p.mutex);
        for (const io_service_t service : p.services) {
            const auto provider = iokit::ServiceRegistry::provider(service);
            if (provider && iokit::ServiceRegistry::matches(*provider, *matching)) {
                IOObjectRetain(service);
                found.push_back(service);
            }
        }
    }
    *existing = iokit::Registry::insert(std::make_shared<iokit::Iterator>(std::move(found)));
    return KERN_SUCCESS;
}

io_object_t IOIteratorNext(io_iterator_t iterator) {
    const auto object =
        std::dynamic_pointer_cast<iokit::ServiceIterator>(iokit::Registry::lookup(iterator));
    return object ? object->next() : IO_OBJECT_NULL;
}
