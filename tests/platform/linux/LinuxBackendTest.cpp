#include "platform/linux/LinuxBackend.h"

#include "tests/support/DiskCalls.h"
#include "tests/support/RegistryCounts.h"

#include <algorithm>
#include <gtest/gtest.h>

using linuxbackend::EventSource;
using linuxbackend::LinuxBackend;

// Whatever drives and media this machine has: the backend starts its monitor
// thread, publishes what it finds and takes all of it back when it goes, as
// often as it is made.
TEST(LinuxBackend, GivesBackEverythingItPublishedWhenItGoes) {
    const DASessionRef session = DASessionCreate();
    ASSERT_NE(session, nullptr);
    DASessionScheduleWithRunLoop(session, foundation::RunLoop::current());
    DiskCalls disks;
    disks.registerWith(session);

    const std::size_t before = iokit::RegistryCounts::liveObjectCount();
    std::size_t published = 0;
    for (const EventSource source : {EventSource::Kernel, EventSource::Udev, EventSource::Kernel}) {
        LinuxBackend backend(source);
        EXPECT_GE(iokit::RegistryCounts::liveObjectCount(), before + backend.drives().size());
        published += backend.discs().size();
    }
    EXPECT_EQ(iokit::RegistryCounts::liveObjectCount(), before);

    ASSERT_TRUE(runLoopUntil([&] { return disks.calls().size() >= 2 * published; }));
    const auto calls = disks.calls();
    EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                            [](const DiskCall& call) { return call.kind == "disappeared"; }),
              published);
    DASessionUnscheduleFromRunLoop(session, foundation::RunLoop::current());
}
