#pragma once

#include "platform/sim/DriveProfile.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

struct Event {
    enum class Kind { Attach, Remove, InsertDisc, EjectDisc };

    // From the start of the run.
    std::chrono::duration<double> at{};
    Kind kind = Kind::Attach;
    std::string drive;
    // Only for InsertDisc: the disc's volume name, if it has one.
    std::optional<std::string> volumeName;
};

// Virtual drives and what happens to them over time, read from a JSON file.
struct Scenario {
    std::vector<DriveProfile> drives;
    // In time order; events at the same time keep the order of the file.
    std::vector<Event> events;
    // How long the updater waits on an install whose progress stands still,
    // when the scenario shortens or lengthens it.
    std::optional<std::chrono::milliseconds> busyLimit;
    // The shortest time between two of the updater's install polls, when the
    // scenario shortens or lengthens it.
    std::optional<std::chrono::milliseconds> pollInterval;
    // How long the updater waits for a drive that left during its install to
    // come back, when the scenario shortens or lengthens it.
    std::optional<std::chrono::milliseconds> returnWait;

    // Both throw std::runtime_error naming the file (origin) and the fault.
    static Scenario load(const std::filesystem::path& file);
    static Scenario parse(std::string_view text, std::string_view origin);
};

} // namespace sim
