#pragma once

#include "platform/iokit/CFDictionary.h"
#include "platform/iokit/IOKitTypes.h"
#include "platform/iokit/Registry.h"
#include "platform/iokit/SCSITaskInterfaces.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

// The device services a backend publishes, and the registry calls that find
// them. A backend registers one provider per device; the registry hands out
// handles to them.

namespace iokit {

// The property naming where a device is attached (its port), which stays the
// same when the device leaves and comes back, even under another node.
inline constexpr std::string_view kPhysicalLocationKey = "Physical Location";

class ServiceProvider {
  public:
    virtual ~ServiceProvider() = default;
    // The registry class name, or none when it cannot be read.
    virtual std::optional<std::string> className() const = 0;
    // The service's properties, looked at by "IOPropertyMatch".
    virtual const CFDictionary& properties() const = 0;
    // The plug-in for the device's user client.
    virtual IOReturn createPlugInInterface(IOCFPlugInInterface** plugIn) = 0;
};

// A registry object that hands out services one at a time (IOIteratorNext).
class ServiceIterator : public RegistryObject {
  public:
    // The next service with one reference for the caller, or 0 at the end.
    virtual io_object_t next() = 0;
};

// Hears of services coming and going, on the thread that publishes or
// terminates them (of those published before it was added, on the thread
// that adds it). Calls come while the registry is locked: a listener must
// not call back into ServiceRegistry.
class ServiceListener {
  public:
    virtual ~ServiceListener() = default;
    // The handle is still live; a listener that keeps it retains it.
    virtual void servicePublished(io_service_t service, const ServiceProvider& provider) = 0;
    virtual void serviceTerminated(io_service_t service, const ServiceProvider& provider) = 0;
};

class ServiceRegistry {
  public:
    // Publishes a device; the registry keeps one reference on its handle
    // until the device is terminated.
    static io_service_t registerService(const std::shared_ptr<ServiceProvider>& provider);
    static void terminateService(io_service_t service);
    // The provider behind a handle, or none.
    static std::shared_ptr<ServiceProvider> provider(io_service_t service);
    // Whether the provider's properties satisfy a matching dictionary.
    static bool matches(const ServiceProvider& provider, const CFDictionary& matching);
    // Tells the listener of every service published so far, then of every
    // later change for as long as it lives, in one step with publishing: no
    // service is missed or told twice.
    static void addListener(const std::shared_ptr<ServiceListener>& listener);
};

} // namespace iokit

// Every published service that the dictionary matches, as a new iterator;
// consumes the dictionary.
kern_return_t IOServiceGetMatchingServices(mach_port_t masterPort, CFMutableDictionaryRef matching,
                                           io_iterator_t* existing);
// The next service with one reference for the caller, or 0 at the end.
io_object_t IOIteratorNext(io_iterator_t iterator);
