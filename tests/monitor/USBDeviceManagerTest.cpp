#include "monitor/USBDeviceManager.h"

#include "platform/sim/SimulatedBackend.h"
#include "tests/monitor/MonitorTesting.h"
#include "tests/support/LogCapture.h"
#include "tests/support/RegistryCounts.h"
#include "tests/support/ScopedFault.h"

#include <atomic>
#include <future>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

using testing::Each;
using testing::ElementsAre;

namespace {

sim::Scenario detachedDrives() {
    sim::Scenario scenario;
    for (const char* id : {"a", "b", "scanner"}) {
        sim::DriveProfile& drive = scenario.drives.emplace_back();
        drive.id = id;
        drive.attached = false;
        drive.authoring = drive.id != "scanner";
    }
    return scenario;
}

} // namespace

TEST(USBDeviceManager, PostsOneNoticeWhenArmedAndOnePerCallbackOnItsOwnThread) {
    const std::size_t liveBefore = iokit::RegistryCounts::liveObjectCount();
    auto backend = std::make_unique<sim::SimulatedBackend>(detachedDrives());
    NotificationRecorder recorder;
    // Holds the monitor in its first notice, posted once the arrival notice is
    // armed, until two drives have come.
    std::promise<void> twoAttached;
    const std::shared_future<void> gate = twoAttached.get_future().share();
    std::atomic<bool> held = false;
    int gateObserver = 0;
    foundation::NotificationCenter::defaultCenter().addObserver(
        &gateObserver, kAppearedDeviceNotify, [&](const foundation::Notification&) {
            if (!held.exchange(true)) {
                gate.wait();
            }
        });

    std::atomic<bool> started = false;
    USBDeviceManager manager;
    {
        RunLoopThread monitor([&] { started = manager.start(); });
        const std::thread::id monitorThread = monitor.id();
        ASSERT_TRUE(recorder.cameTo(1));
        backend->attach("a");
        backend->attach("b");
        twoAttached.set_value();
        ASSERT_TRUE(recorder.cameTo(3));
        backend->attach("scanner");
        backend->remove("a");
        ASSERT_TRUE(recorder.cameTo(4));
        EXPECT_THAT(recorder.received(), ElementsAre(kDriveAppeared, kDriveDisappeared,
                                                     kDriveAppeared, kDriveDisappeared));
        EXPECT_THAT(recorder.threads(), Each(monitorThread));
    }
    EXPECT_TRUE(started);
    foundation::NotificationCenter::defaultCenter().removeObserver(&gateObserver);
    // The monitor kept no reference on a drive it was told about.
    backend.reset();
    EXPECT_EQ(iokit::RegistryCounts::liveObjectCount(), liveBefore);
}

TEST(USBDeviceManager, ASetUpFailureIsLoggedOnceAndStartReturnsAtOnce) {
    struct Case {
        iokit::FailingCall call;
        kern_return_t result;
        const char* line;
        std::vector<Received> posted;
    };
    const Case cases[] = {
        {iokit::FailingCall::MasterPort,
         kIOReturnNoResources,
         "-[USBDeviceManager start](81) [ERR] Couldn't create a master IOKit Port(e00002be)",
         {}},
        {iokit::FailingCall::MasterPort,
         KERN_SUCCESS,
         "-[USBDeviceManager start](81) [ERR] Couldn't create a master IOKit Port(00000000)",
         {}},
        {iokit::FailingCall::FirstMatchNotification,
         kIOReturnNoMemory,
         "-[USBDeviceManager start](120) [ERR] set notify I/O First Match(e00002bd)",
         {}},
        {iokit::FailingCall::TerminatedNotification,
         kIOReturnNoResources,
         "-[USBDeviceManager start](134) [ERR] set notify I/O Terminated (e00002be)",
         {kDriveAppeared}},
    };
    for (const Case& failure : cases) {
        SCOPED_TRACE(failure.line);
        const LogCapture log;
        const NotificationRecorder recorder;
        const iokit::ScopedFault fault(failure.call, failure.result);
        EXPECT_FALSE(USBDeviceManager().start());
        EXPECT_THAT(log.systemLog(), ElementsAre(failure.line));
        EXPECT_EQ(recorder.received(), failure.posted);
    }
}
