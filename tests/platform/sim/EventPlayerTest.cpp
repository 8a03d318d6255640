#include "platform/sim/EventPlayer.h"

#include "platform/diskarb/DiskArbitration.h"
#include "tests/support/DiskCalls.h"
#include "tests/support/RunLoopTesting.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using foundation::RunLoop;
using testing::ElementsAre;

TEST(EventPlayer, PlaysTheTimedEventsThroughTheRegistryAndDiskArbitrationUntilItGoes) {
    const sim::Scenario scenario = sim::Scenario::parse(R"({
        "drives": [
            { "id": "desk", "disc": { "volume": "HOLIDAY" } },
            { "id": "late", "attached": false, "disc": {} },
            { "id": "other", "product": "DVD-RW DX-100" }
        ],
        "events": [
            { "at": 0, "drive": "other", "action": "insertDisc", "volume": "BACKUP" },
            { "at": 0.02, "drive": "late", "action": "attach" },
            { "at": 0.04, "drive": "desk", "action": "ejectDisc" },
            { "at": 0.06, "drive": "late", "action": "remove" },
            { "at": 3600, "drive": "other", "action": "remove" }
        ]
    })",
                                                        "scenario");
    sim::SimulatedBackend backend(scenario);
    const DASessionRef session = DASessionCreate();
    DiskCalls disks;
    disks.registerWith(session);
    RunLoopThread loop([&] {
        DASessionScheduleWithRunLoop(session, RunLoop::current());
        RunLoop::current().run();
        DASessionUnscheduleFromRunLoop(session, RunLoop::current());
    });
    {
        const sim::EventPlayer player(backend, scenario);
        ASSERT_TRUE(disks.cameTo(5));
        // The blank disc in "late" is a disk only while the drive is attached.
        EXPECT_THAT(disks.calls(),
                    ElementsAre(DiskCall{"appeared", "HOLIDAY", "BD-RW KLV-TN82WA"},
                                DiskCall{"appeared", "BACKUP", "DVD-RW DX-100"},
                                DiskCall{"appeared", std::nullopt, "BD-RW KLV-TN82WA"},
                                DiskCall{"disappeared", "HOLIDAY", "BD-RW KLV-TN82WA"},
                                DiskCall{"disappeared", std::nullopt, "BD-RW KLV-TN82WA"}));
        EXPECT_EQ(backend.service("late"), IO_OBJECT_NULL);
        EXPECT_FALSE(backend.drive("desk").hasDisc());
        EXPECT_EQ(backend.drive("other").volumeName(), "BACKUP");
    }
    // Gone before its last event, the player has taken its disks away.
    ASSERT_TRUE(disks.cameTo(6));
    EXPECT_EQ(disks.calls().back(), (DiskCall{"disappeared", "BACKUP", "DVD-RW DX-100"}));
    EXPECT_NE(backend.service("other"), IO_OBJECT_NULL);
}
