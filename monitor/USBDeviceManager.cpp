#include "monitor/USBDeviceManager.h"

#include "monitor/DeviceNotifications.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/iokit/Notifications.h"
#include "platform/iokit/ObjectRef.h"
#include "platform/iokit/Registry.h"
#include "platform/iokit/Services.h"
#include "scsi/STUCMethod.h"

#include <memory>
#include <mutex>

namespace {

constexpr const char* kStartSignature = "-[USBDeviceManager start]";

// A send right on the master port, given back at the latest when start() ends.
class MasterPortRight {
  public:
    explicit MasterPortRight(mach_port_t port) : port_(port) {}
    ~MasterPortRight() { giveBack(); }
    MasterPortRight(const MasterPortRight&) = delete;
    MasterPortRight& operator=(const MasterPortRight&) = delete;

    void giveBack() {
        if (port_ != MACH_PORT_NULL) {
            mach_port_deallocate(mach_task_self(), port_);
            port_ = MACH_PORT_NULL;
        }
    }

  private:
    mach_port_t port_;
};

void drain(io_iterator_t iterator) {
    while (iokit::ObjectRef::adopt(IOIteratorNext(iterator))) {
    }
}

} // namespace

USBDeviceManager& USBDeviceManager::sharedInstance() {
    static std::once_flag once;
    static std::unique_ptr<USBDeviceManager> instance;
    std::call_once(once, [] { instance = std::make_unique<USBDeviceManager>(); });
    return *instance;
}

bool USBDeviceManager::start() {
    using foundation::format;
    using foundation::Log;

    mach_port_t masterPort = MACH_PORT_NULL;
    const kern_return_t portResult = IOMasterPort(MACH_PORT_NULL, &masterPort);
    if (portResult != KERN_SUCCESS || masterPort == MACH_PORT_NULL) {
        Log::error(kStartSignature, format("Couldn't create a master IOKit Port(%08x)", portResult),
                   81);
        return false;
    }
    MasterPortRight masterPortRight(masterPort);

    CFMutableDictionaryRef matchingDict;
    CreateMatchingDictionaryForAuthoringDevices(&matchingDict);

    const IONotificationPortRef notifyPort = IONotificationPortCreate(masterPort);
    CFRunLoopAddSource(foundation::RunLoop::current(),
                       IONotificationPortGetRunLoopSource(notifyPort.get()));

    // Each registration consumes a reference to the dictionary: the first is
    // given one of its own. Releasing an iterator, when start() ends, ends
    // its notification.
    iokit::ObjectRef added;
    if (const kern_return_t result = IOServiceAddMatchingNotification(
            notifyPort.get(), kIOFirstMatchNotification, matchingDict, _LTIOUSBDeviceAdded, nullptr,
            added.receive());
        result != KERN_SUCCESS) {
        Log::error(kStartSignature, format("set notify I/O First Match(%08x)", result), 120);
        return false;
    }
    // Takes the drives already attached off the iterator, which arms the notice.
    _LTIOUSBDeviceAdded(nullptr, added.get());

    iokit::ObjectRef removed;
    if (const kern_return_t result = IOServiceAddMatchingNotification(
            notifyPort.get(), kIOTerminatedNotification, std::move(matchingDict),
            _LTIOUSBDeviceRemoved, nullptr, removed.receive());
        result != KERN_SUCCESS) {
        Log::error(kStartSignature, format("set notify I/O Terminated (%08x)", result), 134);
        return false;
    }
    _LTIOUSBDeviceRemoved(nullptr, removed.get());

    masterPortRight.giveBack();
    foundation::RunLoop::current().run();
    return true;
}

void USBDeviceManager::_LTIOUSBDeviceAdded(void*, io_iterator_t iterator) {
    drain(iterator);
    foundation::NotificationCenter::defaultCenter().postNotificationName(kAppearedDeviceNotify);
}

void USBDeviceManager::_LTIOUSBDeviceRemoved(void*, io_iterator_t iterator) {
    drain(iterator);
    foundation::NotificationCenter::defaultCenter().postNotificationName(kDisappearedDeviceNotify);
}
