#include "monitor/DAUtil.h"
#include "monitor/LaunchFlags.h"
#include "platform/diskarb/PublishedDisk.h"
#include "tests/monitor/MonitorTesting.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <optional>

using diskarb::PublishedDisk;
using testing::Each;
using testing::ElementsAre;

TEST(DiscMonitor, NamedVolumesPostTheirNumberAndOnlyATargetDrivesSetsTheFlagForGood) {
    IsPresenceDiscsForAppLaunch = false;
    std::optional<PublishedDisk> blank;
    blank.emplace(std::nullopt, "BD-RW KLV-TN82WA");
    const NotificationRecorder recorder;
    const RunLoopThread discs(watchDiscs);
    std::optional<PublishedDisk> backup;
    backup.emplace("BACKUP", "DVD-RW DX-100");
    ASSERT_TRUE(recorder.cameTo(1));
    EXPECT_FALSE(IsPresenceDiscsForAppLaunch);

    std::optional<PublishedDisk> holiday;
    holiday.emplace("HOLIDAY", " BD-RW  KLV-TN82WA ");
    ASSERT_TRUE(recorder.cameTo(2));
    EXPECT_TRUE(IsPresenceDiscsForAppLaunch);
    blank.reset();
    holiday.reset();
    ASSERT_TRUE(recorder.cameTo(3));
    EXPECT_THAT(recorder.received(), ElementsAre(kDiscAppeared, kDiscAppeared, kDiscDisappeared));
    EXPECT_THAT(recorder.threads(), Each(discs.id()));
    EXPECT_TRUE(IsPresenceDiscsForAppLaunch);
}

TEST(DAUtil, InitSessionKeepsTheFirstSessionAndReleaseSessionReleasesItOnce) {
    DAUtil::initSession();
    const std::weak_ptr<DASession> first = DAUtil::session();
    ASSERT_FALSE(first.expired());
    DAUtil::initSession();
    EXPECT_EQ(DAUtil::session(), first.lock());
    DAUtil::releaseSession();
    EXPECT_EQ(DAUtil::session(), nullptr);
    EXPECT_TRUE(first.expired());
    DAUtil::releaseSession();
    EXPECT_EQ(DAUtil::session(), nullptr);
}
