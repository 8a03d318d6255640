#include "platform/power/InhibitorLock.h"

#include "tests/support/LogCapture.h"
#include "tests/support/PrivateSystemBus.h"

#include <gmock/gmock.h>
#include <optional>

using Inhibitor = PrivateSystemBus::Inhibitor;
using testing::HasSubstr;

TEST(InhibitorLock, IsHeldWhileItLivesAndEachLockGoesWithItsOwnDescriptor) {
    const PrivateSystemBus bus;
    ASSERT_TRUE(bus.ready());
    const Inhibitor sleep{"sleep", "Writer", "Writing firmware", "block"};
    std::optional<power::InhibitorLock> sleepLock(std::in_place, "sleep", "Writer",
                                                  "Writing firmware");
    {
        const power::InhibitorLock shutdownLock("shutdown", "Other", "Another reason");
        EXPECT_THAT(bus.inhibitors(),
                    testing::UnorderedElementsAre(
                        sleep, Inhibitor{"shutdown", "Other", "Another reason", "block"}));
    }
    EXPECT_TRUE(bus.waitForInhibitors({sleep}));
    sleepLock.reset();
    EXPECT_TRUE(bus.waitForInhibitors({}));
}

TEST(InhibitorLock, WithoutASystemBusOrALoginManagerNothingIsHeldAndOneWarningIsLogged) {
    const LogCapture capture;
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/quelmar-no-bus", 1);
    power::InhibitorLock("sleep:shutdown", "Writer", "Writing firmware");
    ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    {
        const PrivateSystemBus bus(PrivateSystemBus::LoginManager::Absent);
        ASSERT_TRUE(bus.ready());
        power::InhibitorLock("sleep:shutdown", "Writer", "Writing firmware");
    }
    const auto lines = capture.systemLog();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_THAT(lines[0],
                HasSubstr("[WAR] Could not take an inhibitor lock for \"sleep:shutdown\""));
}
