#include "platform/backend/BackendRegistration.h"
#include "platform/sim/Scenario.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

// Sets QUELMAR_SCENARIO, or unsets it, for as long as it lives.
class ScenarioNamed {
  public:
    explicit ScenarioNamed(const std::optional<std::string>& file) {
        if (file) {
            ::setenv("QUELMAR_SCENARIO", file->c_str(), 1);
        } else {
            ::unsetenv("QUELMAR_SCENARIO");
        }
    }
    ~ScenarioNamed() { ::unsetenv("QUELMAR_SCENARIO"); }
    ScenarioNamed(const ScenarioNamed&) = delete;
    ScenarioNamed& operator=(const ScenarioNamed&) = delete;
};

// The row that applies without a scenario: the system's own, where this
// build has one.
std::optional<std::string_view> platformRow() {
    const auto table = platform::backendTable();
    if (table.size() < 2) {
        return std::nullopt;
    }
    return table.back().name;
}

} // namespace

TEST(BackendTable, AScenarioNamedChoosesTheVirtualDrivesElseThePlatformsRow) {
    ASSERT_FALSE(platform::backendTable().empty());
    EXPECT_EQ(platform::backendTable().front().name, "sim");
    const struct {
        std::optional<std::string> scenario;
        std::optional<std::string_view> chosen;
    } cases[] = {
        {"/nowhere/scenario.json", "sim"},
        {std::nullopt, platformRow()},
        {"", platformRow()},
    };
    for (const auto& [scenario, chosen] : cases) {
        SCOPED_TRACE(scenario.value_or("(unset)"));
        const ScenarioNamed named(scenario);
        const platform::BackendRegistration* row =
            platform::firstApplying(platform::backendTable());
        ASSERT_EQ(row != nullptr, chosen.has_value());
        if (row != nullptr) {
            EXPECT_EQ(row->name, *chosen);
        }
    }
}

TEST(BackendTable, TheFirstRowThatAppliesIsTaken) {
    const std::array<platform::BackendRegistration, 3> table{{
        {"no", [] { return false; }, nullptr},
        {"yes", [] { return true; }, nullptr},
        {"also", [] { return true; }, nullptr},
    }};
    EXPECT_EQ(platform::firstApplying(table), &table[1]);
    EXPECT_EQ(platform::firstApplying(std::span(table).first(1)), nullptr);
}

// Missing or malformed, the scenario is named with the reader's own words.
TEST(BackendTable, AnUnreadableScenarioThrowsWhatItsReaderSays) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("backend-table-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "malformed.json") << "{\"drives\": [";
    for (const auto& file : {folder / "missing.json", folder / "malformed.json"}) {
        SCOPED_TRACE(file.string());
        std::string expected;
        try {
            sim::Scenario::load(file);
        } catch (const std::runtime_error& error) {
            expected = error.what();
        }
        ASSERT_FALSE(expected.empty());
        const ScenarioNamed named(file.string());
        ASSERT_EQ(platform::firstApplying(platform::backendTable())->name, "sim");
        try {
            platform::Backend::chooseAtStart();
            ADD_FAILURE() << "no UnreadableScenario";
        } catch (const platform::UnreadableScenario& error) {
            EXPECT_EQ(error.what(), expected);
        }
    }
    std::filesystem::remove_all(folder);
}
