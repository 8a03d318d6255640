#pragma once

#include "platform/foundation/RunLoop.h"
#include "platform/iokit/CFDictionary.h"
#include "platform/iokit/IOKitTypes.h"

#include <memory>
#include <string_view>

// Notices of matching services arriving and leaving, delivered through a
// notification port on the run loop that holds the port's source.

inline constexpr mach_port_t MACH_PORT_NULL = 0;
inline constexpr kern_return_t KERN_INVALID_RIGHT = 17;

inline constexpr std::string_view kIOFirstMatchNotification = "IOServiceFirstMatch";
inline constexpr std::string_view kIOTerminatedNotification = "IOServiceTerminate";

// A send right on the registry's master port, counted: each successful
// IOMasterPort is given back by one mach_port_deallocate.
kern_return_t IOMasterPort(mach_port_t bootstrapPort, mach_port_t* masterPort);
constexpr mach_port_t mach_task_self() {
    return 0x103;
}
kern_return_t mach_port_deallocate(mach_port_t task, mach_port_t name);

// A run-loop source: a descriptor, and what to do when it turns readable.
// A source is in one run loop at a time, and leaves it when its owner goes.
struct CFRunLoopSource;
using CFRunLoopSourceRef = CFRunLoopSource*;
void CFRunLoopAddSource(foundation::RunLoop& runLoop, CFRunLoopSourceRef source);

struct IONotificationPort;
struct IONotificationPortDestroyer {
    void operator()(IONotificationPort* port) const;
};
using IONotificationPortRef = std::unique_ptr<IONotificationPort, IONotificationPortDestroyer>;

// None when the kernel has no descriptor left.
IONotificationPortRef IONotificationPortCreate(mach_port_t masterPort);
// Destroy the port on the thread of the run loop that holds its source.
void IONotificationPortDestroy(IONotificationPort* port);
// Owned by the port.
CFRunLoopSourceRef IONotificationPortGetRunLoopSource(IONotificationPort* port);

using IOServiceMatchingCallback = void (*)(void* refCon, io_iterator_t iterator);

// Registers for notices of `notificationType` about services the dictionary
// matches (the dictionary is consumed) and answers the notification's
// iterator, which the caller releases to end the notification. A first-match
// iterator starts with the services already matching. The callback is called
// on the port's run loop when services have come into the iterator, but only
// once the iterator has been read to its end since the last call: reading it
// to the end is what arms the notification.
kern_return_t IOServiceAddMatchingNotification(IONotificationPort* notifyPort,
                                               std::string_view notificationType,
                                               CFMutableDictionaryRef matching,
                                               IOServiceMatchingCallback callback, void* refCon,
                                               io_iterator_t* notification);
