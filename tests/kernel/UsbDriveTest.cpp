#include "monitor/LaunchFlags.h"
#include "monitor/USBDeviceManager.h"
#include "platform/linux/LinuxBackend.h"
#include "tests/kernel/HostRequest.h"
#include "tests/kernel/KernelTesting.h"
#include "tests/monitor/MonitorTesting.h"

#include <algorithm>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

// QEMU's own USB mass storage: a CD drive on an xHCI controller that the host
// plugs in and out and loads with a labelled ISO image over QMP.

using linuxbackend::EventSource;
using linuxbackend::LinuxBackend;
using tcmu::askHost;
using testing::ElementsAre;
using testing::HasSubstr;

namespace {

constexpr const char* kVolumeName = "BACKUP_2011";

bool countReaches(const NotificationRecorder& recorder, std::size_t count) {
    return eventuallyOnKernel([&] { return recorder.received().size() >= count; });
}

} // namespace

TEST(UsbDrive, PluggedInAndOutReachesTheHotPlugMonitorAsOneNoticeEach) {
    const LinuxBackend backend(EventSource::Udev);
    const NotificationRecorder recorder;
    USBDeviceManager manager;
    const RunLoopThread monitor([&manager] { manager.start(); });
    ASSERT_TRUE(recorder.cameTo(2));

    ASSERT_TRUE(askHost("usb-attach"));
    ASSERT_TRUE(countReaches(recorder, 3));
    const auto drives = backend.drives();
    ASSERT_EQ(drives.size(), 1u);
    EXPECT_THAT(drives[0].syspath, HasSubstr("/usb"));
    EXPECT_EQ(drives[0].model, "BD-RW KLV-TN82WA");

    ASSERT_TRUE(askHost("usb-detach"));
    ASSERT_TRUE(countReaches(recorder, 4));
    EXPECT_THAT(recorder.received(),
                ElementsAre(kDriveAppeared, kDriveDisappeared, kDriveAppeared, kDriveDisappeared));
    EXPECT_TRUE(backend.drives().empty());
}

TEST(UsbDrive, ALabelledDiscInsertedAndEjectedReachesTheDiscMonitorWithItsVolumeName) {
    const LinuxBackend backend(EventSource::Udev);
    ASSERT_TRUE(askHost("usb-attach"));
    ASSERT_TRUE(eventuallyOnKernel([&] { return backend.drives().size() == 1; }));
    IsPresenceDiscsForAppLaunch = false;
    const NotificationRecorder recorder;
    const RunLoopThread discs(watchDiscs);

    ASSERT_TRUE(askHost("disc-insert"));
    ASSERT_TRUE(countReaches(recorder, 1));
    const auto media = backend.discs();
    const auto disc = std::ranges::find(media, std::optional<std::string>(kVolumeName),
                                        &linuxbackend::DiscDescription::volumeName);
    ASSERT_NE(disc, media.end());
    EXPECT_EQ(disc->deviceModel, "BD-RW KLV-TN82WA");
    // A named volume in a drive of the target model.
    EXPECT_TRUE(IsPresenceDiscsForAppLaunch);

    // As a person would, only once udev has done with the disc.
    tcmu::KernelDrive::settle();
    ASSERT_TRUE(askHost("disc-eject"));
    ASSERT_TRUE(countReaches(recorder, 2));
    EXPECT_THAT(recorder.received(), ElementsAre(kDiscAppeared, kDiscDisappeared));
    ASSERT_TRUE(askHost("usb-detach"));
}
