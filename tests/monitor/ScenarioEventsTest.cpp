#include "monitor/LaunchFlags.h"
#include "monitor/USBDeviceManager.h"
#include "platform/sim/EventPlayer.h"
#include "tests/monitor/MonitorTesting.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using testing::UnorderedElementsAre;

TEST(ScenarioEvents, TimedDriveAndDiscEventsReachTheMonitorsOnTheirThreads) {
    IsPresenceDiscsForAppLaunch = false;
    const sim::Scenario scenario = sim::Scenario::parse(R"({
        "drives": [ { "id": "late", "attached": false }, { "id": "desk" } ],
        "events": [
            { "at": 0.05, "drive": "late", "action": "attach" },
            { "at": 0.1, "drive": "desk", "action": "insertDisc", "volume": "HOLIDAY" }
        ]
    })",
                                                        "scenario");
    sim::SimulatedBackend backend(scenario);
    const NotificationRecorder recorder;
    USBDeviceManager manager;
    const RunLoopThread drives([&] { manager.start(); });
    const RunLoopThread discs(watchDiscs);
    // The events start once the drive monitor is armed.
    ASSERT_TRUE(recorder.cameTo(2));
    const sim::EventPlayer player(backend, scenario);
    ASSERT_TRUE(recorder.cameTo(4));

    // Threads apart, the two events' notices may come in either order.
    const std::vector<Received> received = recorder.received();
    const std::vector<std::thread::id> threads = recorder.threads();
    EXPECT_THAT(std::vector(received.begin() + 2, received.end()),
                UnorderedElementsAre(kDriveAppeared, kDiscAppeared));
    for (std::size_t i = 0; i < received.size(); ++i) {
        EXPECT_EQ(threads[i], received[i].object ? discs.id() : drives.id()) << i;
    }
    EXPECT_TRUE(IsPresenceDiscsForAppLaunch);
}
