#include "platform/iokit/Notifications.h"

#include "platform/iokit/Registry.h"
#include "platform/iokit/Services.h"
#include "tests/support/RunLoopTesting.h"

#include <algorithm>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>
#include <utility>
#include <vector>

using testing::ElementsAre;
using testing::IsEmpty;

namespace {

class Device : public iokit::ServiceProvider {
  public:
    explicit Device(const char* category) {
        properties_.setValue("SCSITaskDeviceCategory", category);
    }
    std::optional<std::string> className() const override { return "TestDevice"; }
    const CFDictionary& properties() const override { return properties_; }
    IOReturn createPlugInInterface(IOCFPlugInInterface**) override { return kIOReturnUnsupported; }

  private:
    CFDictionary properties_;
};

io_service_t publish(const char* category = "SCSITaskAuthoringDevice") {
    return iokit::ServiceRegistry::registerService(std::make_shared<Device>(category));
}

CFMutableDictionaryRef authoringDevices() {
    const CFMutableDictionaryRef matching = CFDictionaryCreateMutable();
    const CFMutableDictionaryRef properties = CFDictionaryCreateMutable();
    properties->setValue("SCSITaskDeviceCategory", "SCSITaskAuthoringDevice");
    matching->setValue("IOPropertyMatch", properties);
    return matching;
}

std::vector<io_service_t> drain(io_iterator_t iterator) {
    std::vector<io_service_t> services;
    while (const io_object_t service = IOIteratorNext(iterator)) {
        services.push_back(service);
        IOObjectRelease(service);
    }
    return services;
}

// What each call back found on its iterator, which it reads to the end.
struct Calls {
    std::vector<std::vector<io_service_t>> drained;

    static void record(void* refCon, io_iterator_t iterator) {
        static_cast<Calls*>(refCon)->drained.push_back(drain(iterator));
    }
};

} // namespace

TEST(MatchingNotifications, CallBackOnceArmedWithEveryServiceThatCameMeanwhile) {
    const io_service_t a = publish();
    const io_service_t scanner = publish("SCSITaskUserClientDevice");
    const IONotificationPortRef port = IONotificationPortCreate(MACH_PORT_NULL);
    CFRunLoopAddSource(foundation::RunLoop::current(),
                       IONotificationPortGetRunLoopSource(port.get()));
    Calls arrivals;
    Calls removals;
    io_iterator_t added = IO_OBJECT_NULL;
    io_iterator_t removed = IO_OBJECT_NULL;
    ASSERT_EQ(IOServiceAddMatchingNotification(port.get(), kIOFirstMatchNotification,
                                               authoringDevices(), Calls::record, &arrivals,
                                               &added),
              KERN_SUCCESS);
    ASSERT_EQ(IOServiceAddMatchingNotification(port.get(), kIOTerminatedNotification,
                                               authoringDevices(), Calls::record, &removals,
                                               &removed),
              KERN_SUCCESS);
    EXPECT_THAT(drain(removed), IsEmpty());

    // Not armed yet: b waits in the iterator. The removal's call back marks
    // when the port has delivered what was due before it.
    const io_service_t b = publish();
    iokit::ServiceRegistry::terminateService(a);
    ASSERT_TRUE(runLoopUntil([&] { return removals.drained.size() == 1; }));
    EXPECT_THAT(removals.drained[0], ElementsAre(a));
    EXPECT_THAT(arrivals.drained, IsEmpty());
    EXPECT_THAT(drain(added), ElementsAre(a, b));

    const io_service_t c = publish();
    const io_service_t d = publish();
    ASSERT_TRUE(runLoopUntil([&] { return arrivals.drained.size() == 1; }));
    EXPECT_THAT(arrivals.drained[0], ElementsAre(c, d));

    // Releasing the iterator ends the notification.
    IOObjectRelease(added);
    const io_service_t e = publish();
    iokit::ServiceRegistry::terminateService(b);
    ASSERT_TRUE(runLoopUntil([&] { return removals.drained.size() == 2; }));
    EXPECT_EQ(arrivals.drained.size(), 1u);

    IOObjectRelease(removed);
    for (const io_service_t service : {c, d, e, scanner}) {
        iokit::ServiceRegistry::terminateService(service);
    }
}

// An iterator released before it is read to the end gives back the services
// it still holds: terminated, they are then gone.
TEST(MatchingIterators, ReleasedEarlyGiveBackTheServicesTheyStillHold) {
    const IONotificationPortRef port = IONotificationPortCreate(MACH_PORT_NULL);
    Calls arrivals;
    const std::pair<const char*, std::function<kern_return_t(io_iterator_t*)>> iterators[] = {
        {"matching services",
         [](io_iterator_t* iterator) {
             return IOServiceGetMatchingServices(MACH_PORT_NULL, authoringDevices(), iterator);
         }},
        {"first-match notification",
         [&](io_iterator_t* iterator) {
             return IOServiceAddMatchingNotification(port.get(), kIOFirstMatchNotification,
                                                     authoringDevices(), Calls::record, &arrivals,
                                                     iterator);
         }},
    };
    for (const auto& [name, matching] : iterators) {
        SCOPED_TRACE(name);
        std::vector<std::weak_ptr<Device>> devices;
        std::vector<io_service_t> services;
        for (int i = 0; i < 3; ++i) {
            const auto device = std::make_shared<Device>("SCSITaskAuthoringDevice");
            devices.push_back(device);
            services.push_back(iokit::ServiceRegistry::registerService(device));
        }
        io_iterator_t iterator = IO_OBJECT_NULL;
        ASSERT_EQ(matching(&iterator), KERN_SUCCESS);
        IOObjectRelease(IOIteratorNext(iterator));
        IOObjectRelease(iterator);
        for (const io_service_t service : services) {
            iokit::ServiceRegistry::terminateService(service);
        }
        EXPECT_TRUE(std::ranges::all_of(devices, &std::weak_ptr<Device>::expired));
    }
}
