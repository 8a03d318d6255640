#include "platform/sim/Scenario.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdexcept>

namespace sim {
namespace {

using ::testing::HasSubstr;

std::string errorOf(std::string_view text) {
    try {
        Scenario::parse(text, "test.json");
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "no error";
}

TEST(ScenarioTest, ReadsDrivesFaultsAndEventsInTimeOrder) {
    const Scenario scenario = Scenario::parse(R"({
      "drives": [
        { "id": "a" },
        { "id": "b", "revision": "1.00", "mode": "kernel", "attached": false,
          "authoring": false, "className": "Other", "disc": { "volume": "PHOTOS" },
          "installPolls": 0, "installStages": 4,
          "faults": { "missingInterface": "mmc", "failingSetupStep": "execute",
                      "inquiryFails": "busy", "readBufferFails": 9,
                      "modeChangeRefused": "both", "imageTransferFailsAt": 2,
                      "busy": "forever", "revisionAfterInstall": "1.99",
                      "removedAtCommand": 7, "releaseFails": true,
                      "resetAfterActivation": true, "transportFailurePolls": 5,
                      "leavesDuringInstall": 3, "returnsAfterMilliseconds": "never" } },
        { "id": "c", "place": "usb-1:2", "faults": { "returnsAfterMilliseconds": 40 } }
      ],
      "busyLimitMilliseconds": 250,
      "returnWaitMilliseconds": 700,
      "pollIntervalMilliseconds": 0,
      "events": [
        { "at": 4, "drive": "a", "action": "remove" },
        { "at": 1.5, "drive": "b", "action": "insertDisc", "volume": "X" },
        { "at": 1.5, "drive": "a", "action": "ejectDisc" }
      ]
    })",
                                              "test.json");
    ASSERT_EQ(scenario.drives.size(), 3u);
    const DriveProfile& a = scenario.drives[0];
    EXPECT_EQ(a.product, "BD-RW KLV-TN82WA");
    EXPECT_TRUE(a.attached && a.authoring);
    EXPECT_FALSE(a.disc.has_value());

    const DriveProfile& b = scenario.drives[1];
    EXPECT_EQ(b.mode, DriveMode::Kernel);
    EXPECT_FALSE(b.attached || b.authoring);
    EXPECT_EQ(b.className, "Other");
    ASSERT_TRUE(b.disc.has_value());
    EXPECT_EQ(b.disc->volumeName, "PHOTOS");
    EXPECT_EQ(b.installPolls, 0u);
    EXPECT_EQ(b.installStages, 4u);
    EXPECT_EQ(b.faults.missingInterface, MissingInterface::Mmc);
    EXPECT_EQ(b.faults.failingSetupStep, SetupStep::Execute);
    EXPECT_EQ(b.faults.inquiryStatus, 0x08);
    EXPECT_EQ(b.faults.readBufferStatus, 9);
    EXPECT_EQ(b.faults.modeChangeRefusal, ModeChangeRefusal::Both);
    EXPECT_EQ(b.faults.imageTransferFailure, 2u);
    EXPECT_TRUE(b.faults.busyForever);
    EXPECT_EQ(b.faults.revisionAfterInstall, "1.99");
    EXPECT_EQ(b.faults.removalAtCommand, 7u);
    EXPECT_TRUE(b.faults.releaseFails);
    EXPECT_FALSE(b.faults.exclusiveAccessRefused);
    ASSERT_TRUE(b.faults.unitAttentionAfterActivation.has_value());
    EXPECT_EQ(b.faults.unitAttentionAfterActivation->code, 0x29);
    EXPECT_EQ(b.faults.unitAttentionAfterActivation->qualifier, 0x00);
    EXPECT_EQ(b.faults.transportFailurePolls, 5u);
    EXPECT_FALSE(a.faults.unitAttentionAfterActivation.has_value());
    EXPECT_EQ(b.faults.leavesDuringInstall, 3u);
    EXPECT_FALSE(b.faults.returnAfterLeaving.has_value());
    EXPECT_EQ(a.faults.returnAfterLeaving, std::chrono::milliseconds(500));
    EXPECT_EQ(scenario.drives[2].faults.returnAfterLeaving, std::chrono::milliseconds(40));
    EXPECT_EQ(scenario.drives[2].place, "usb-1:2");
    EXPECT_FALSE(a.place.has_value());
    EXPECT_EQ(scenario.returnWait, std::chrono::milliseconds(700));

    EXPECT_EQ(scenario.busyLimit, std::chrono::milliseconds(250));
    EXPECT_EQ(scenario.pollInterval, std::chrono::milliseconds(0));
    ASSERT_EQ(scenario.events.size(), 3u);
    EXPECT_EQ(scenario.events[0].kind, Event::Kind::InsertDisc);
    EXPECT_EQ(scenario.events[0].volumeName, "X");
    EXPECT_EQ(scenario.events[1].kind, Event::Kind::EjectDisc);
    EXPECT_EQ(scenario.events[1].at.count(), 1.5);
    EXPECT_EQ(scenario.events[2].kind, Event::Kind::Remove);
}

TEST(ScenarioTest, FaultsAreNamedByFileAndPlace) {
    const std::vector<std::pair<std::string_view, std::string_view>> cases{
        {R"({"drives": [)", "test.json: not valid JSON"},
        {R"({"drives": [], "busyLimitMilliseconds": 7E6767})", "test.json: not valid JSON"},
        {R"({"events": []})", "test.json: missing key \"drives\""},
        {R"({"drives": [{"id": "a", "faults": {"busy": -1}}]})",
         "drives[0].faults.busy: expected a whole number"},
        {R"({"drives": [], "busyLimitMilliseconds": 0})",
         "busyLimitMilliseconds: expected a whole number from 1"},
        {R"({"drives": [{"id": "a", "installStages": 0}]})",
         "drives[0].installStages: expected a whole number from 1"},
        {R"({"drives": [{"id": "a", "faults": {"resetAfterActivation": 1}}]})",
         "drives[0].faults.resetAfterActivation: expected true or false"},
        {R"({"drives": [{"id": "a", "faults": {"noTsk": true}}]})",
         "drives[0].faults.noTsk: unknown key"},
        {R"({"drives": [{"id": "a", "vendor": 7}]})", "drives[0].vendor: expected a text"},
        {R"({"drives": [{"id": "a", "date": "2010/09/30"}]})",
         "drives[0].date: longer than 9 characters"},
        {R"({"drives": [{"id": "a", "mode": "Kernel"}]})",
         "drives[0].mode: expected one of \"normal\", \"kernel\""},
        {R"({"drives": [{"id": "a"}, {"id": "a"}]})", "drives[1].id: the id \"a\" is given twice"},
        {R"({"drives": [{"id": "a", "revision": "1.0", "revision": "1.1"}]})",
         "key \"revision\" given twice"},
        {R"({"drives": [{"id": "a"}], "events": [{"at": 1, "drive": "b", "action": "attach"}]})",
         "events[0].drive: no drive has the id \"b\""},
        {R"({"drives": [{"id": "a"}],
             "events": [{"at": 1, "drive": "a", "action": "ejectDisc", "volume": "V"}]})",
         "events[0].volume: only an \"insertDisc\" event has a volume"},
    };
    for (const auto& [text, message] : cases) {
        EXPECT_THAT(errorOf(text), HasSubstr(message)) << text;
    }
}

// Times and counts are bounded, so that none overflows the clock or counter
// it ends up in; the bounds themselves are taken.
TEST(ScenarioTest, TimesAndCountsOutOfRangeAreNamedByPlace) {
    const auto drive = [](std::string_view keys) {
        return R"({"drives": [{"id": "a"}, {"id": "b", )" + std::string(keys) + "}]}";
    };
    const auto event = [](std::string_view at) {
        return R"({"drives": [{"id": "a"}], "events": [)"
               R"({"at": 0, "drive": "a", "action": "remove"}, {"at": )" +
               std::string(at) + R"(, "drive": "a", "action": "attach"}]})";
    };
    const std::string kCount = ": expected a whole number from 0 to 10000000";
    const std::string kMilliseconds = ": expected a whole number from 0 to 86400000";
    const std::string kSeconds =
        "test.json: events[1].at: expected a time in seconds from 0 to 86400";
    const std::vector<std::pair<std::string, std::string>> cases{
        {event("1e10"), kSeconds},
        {event("86400.001"), kSeconds},
        {event("-0.5"), kSeconds},
        {event("\"3\""), kSeconds},
        {drive(R"("installPolls": 10000001)"), "test.json: drives[1].installPolls" + kCount},
        {drive(R"("installPolls": 2.5)"), "drives[1].installPolls" + kCount},
        {drive(R"("installPolls": -3)"), "drives[1].installPolls" + kCount},
        {drive(R"("installPollMilliseconds": 86400001)"),
         "drives[1].installPollMilliseconds" + kMilliseconds},
        {drive(R"("installPollMilliseconds": 4294967296)"),
         "drives[1].installPollMilliseconds" + kMilliseconds},
        {drive(R"("faults": {"busy": 10000001})"), "drives[1].faults.busy" + kCount},
        {drive(R"("faults": {"busy": 0.5})"), "drives[1].faults.busy" + kCount},
        {drive(R"("faults": {"imageTransferFailsAt": 10000001})"),
         "drives[1].faults.imageTransferFailsAt: expected a whole number from 1 to 10000000"},
        {drive(R"("faults": {"removedAtCommand": 18446744073709551615})"),
         "drives[1].faults.removedAtCommand: expected a whole number from 1 to 10000000"},
        {drive(R"("faults": {"removedAtCommand": 1e3})"),
         "drives[1].faults.removedAtCommand: expected a whole number from 1 to 10000000"},
        {drive(R"("faults": {"inquiryFails": 256})"),
         "drives[1].faults.inquiryFails: expected a whole number from 1 to 255"},
        {R"({"drives": [], "busyLimitMilliseconds": 86400001})",
         "test.json: busyLimitMilliseconds: expected a whole number from 1 to 86400000"},
    };
    for (const auto& [text, message] : cases) {
        EXPECT_THAT(errorOf(text), HasSubstr(message)) << text;
    }

    const Scenario bounds = Scenario::parse(
        R"({"drives": [{"id": "a", "installPolls": 10000000, "installPollMilliseconds": 86400000,
                        "faults": {"busy": 10000000, "imageTransferFailsAt": 10000000,
                                   "removedAtCommand": 10000000}}],
            "busyLimitMilliseconds": 86400000,
            "events": [{"at": 86400, "drive": "a", "action": "remove"}]})",
        "test.json");
    EXPECT_EQ(bounds.drives[0].installPollTime, std::chrono::hours(24));
    EXPECT_EQ(bounds.drives[0].faults.busyPolls, 10'000'000u);
    EXPECT_EQ(bounds.events[0].at.count(), 86400.0);
}

TEST(ScenarioTest, AFileThatCannotBeOpenedIsNamed) {
    EXPECT_THROW(
        {
            try {
                Scenario::load("/nonexistent/scenario.json");
            } catch (const std::runtime_error& error) {
                EXPECT_THAT(error.what(), HasSubstr("/nonexistent/scenario.json"));
                throw;
            }
        },
        std::runtime_error);
}

} // namespace
} // namespace sim
