#include "platform/diskarb/DiskArbitration.h"

#include "platform/diskarb/PublishedDisk.h"
#include "tests/support/DiskCalls.h"
#include "tests/support/RunLoopTesting.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <optional>

using diskarb::PublishedDisk;
using foundation::RunLoop;
using testing::ElementsAre;

TEST(DiskArbitration, CallbacksBeginWithThePresentDisksAndEndWhenUnregistered) {
    std::optional<PublishedDisk> holiday;
    holiday.emplace("HOLIDAY", "BD-RW KLV-TN82WA");
    const DASessionRef session = DASessionCreate();
    ASSERT_TRUE(session);
    DiskCalls all;
    DiskCalls backups;
    all.registerWith(session);
    const CFMutableDictionaryRef backupOnly = CFDictionaryCreateMutable();
    backupOnly->setValue(kDADiskDescriptionVolumeNameKey, "BACKUP");
    DARegisterDiskAppearedCallback(session, backupOnly, DiskCalls::appeared, &backups);

    RunLoopThread loop([&] {
        DASessionScheduleWithRunLoop(session, RunLoop::current());
        RunLoop::current().run();
        DASessionUnscheduleFromRunLoop(session, RunLoop::current());
    });
    std::optional<PublishedDisk> blank;
    blank.emplace(std::nullopt, "DVD-RW DX-100");
    const PublishedDisk backup("BACKUP", std::nullopt);
    holiday.reset();
    ASSERT_TRUE(all.cameTo(4));
    EXPECT_THAT(all.calls(), ElementsAre(DiskCall{"appeared", "HOLIDAY", "BD-RW KLV-TN82WA"},
                                         DiskCall{"appeared", std::nullopt, "DVD-RW DX-100"},
                                         DiskCall{"appeared", "BACKUP", std::nullopt},
                                         DiskCall{"disappeared", "HOLIDAY", "BD-RW KLV-TN82WA"}));
    ASSERT_TRUE(backups.cameTo(1));
    EXPECT_THAT(backups.calls(), ElementsAre(DiskCall{"appeared", "BACKUP", std::nullopt}));

    // An unregistered callback is not called again; the disappearing blank
    // disc shows when the session has got that far.
    DAUnregisterCallback(session, DiskCalls::appeared, &all);
    const PublishedDisk later("LATER", "BD-RW KLV-TN82WA");
    blank.reset();
    ASSERT_TRUE(all.cameTo(5));
    EXPECT_EQ(all.calls().back(), (DiskCall{"disappeared", std::nullopt, "DVD-RW DX-100"}));
}
