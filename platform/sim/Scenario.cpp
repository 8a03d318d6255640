#include "platform/sim/Scenario.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <ios>
#include <iterator>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>
#include <stdexcept>
#include <utility>

namespace sim {

namespace {

using nlohmann::json;

// Where a value sits in the file, so that every message can point at it.
class Place {
  public:
    Place(std::string_view origin, std::string path) : origin_(origin), path_(std::move(path)) {}

    Place key(std::string_view key) const {
        return {origin_, path_.empty() ? std::string(key) : path_ + "." + std::string(key)};
    }
    Place index(std::size_t index) const {
        return {origin_, path_ + "[" + std::to_string(index) + "]"};
    }

    [[noreturn]] void fail(std::string_view what) const {
        std::string message(origin_);
        message += ": ";
        if (!path_.empty()) {
            message += path_ + ": ";
        }
        message += what;
        throw std::runtime_error(message);
    }

  private:
    std::string_view origin_;
    std::string path_;
};

std::string inQuotes(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

// An object whose keys must all be known: each key asked for counts as known.
class ObjectReader {
  public:
    ObjectReader(const json& value, Place place) : value_(value), place_(std::move(place)) {
        if (!value_.is_object()) {
            place_.fail("expected an object");
        }
    }

    void require(std::string_view key) const {
        if (!value_.contains(std::string(key))) {
            place_.fail("missing key " + inQuotes(key));
        }
    }

    // Hands the value under the key to `use`, when there is one.
    template <typename Use>
    void with(std::string_view key, Use use) {
        known_.emplace(key);
        if (const auto found = value_.find(std::string(key)); found != value_.end()) {
            use(*found, place_.key(key));
        }
    }

    template <typename Target, typename Convert>
    void read(std::string_view key, Target& target, Convert convert) {
        with(key, [&](const json& value, const Place& at) { target = convert(value, at); });
    }

    void rejectUnknownKeys() const {
        for (const auto& item : value_.items()) {
            if (!known_.contains(item.key())) {
                place_.key(item.key()).fail("unknown key");
            }
        }
    }

  private:
    const json& value_;
    Place place_;
    std::set<std::string, std::less<>> known_;
};

bool flag(const json& value, const Place& at) {
    if (!value.is_boolean()) {
        at.fail("expected true or false");
    }
    return value.get<bool>();
}

std::uint64_t whole(const json& value, const Place& at, std::uint64_t least, std::uint64_t most) {
    if (!value.is_number_unsigned() || value.get<std::uint64_t>() < least ||
        value.get<std::uint64_t>() > most) {
        at.fail("expected a whole number from " + std::to_string(least) + " to " +
                std::to_string(most));
    }
    return value.get<std::uint64_t>();
}

// Bounds on every time and count: far beyond any useful test, and far from
// what overflows the types they end up in (a clock's nanoseconds among them).
constexpr std::uint64_t kMostSeconds = 86'400;          // one day
constexpr std::uint64_t kMostMilliseconds = 86'400'000; // one day
constexpr std::uint64_t kMostCount = 10'000'000;        // polls, transfers, commands

template <typename Number, std::uint64_t least, std::uint64_t most>
Number wholeOf(const json& value, const Place& at) {
    static_assert(most <= std::numeric_limits<Number>::max());
    return static_cast<Number>(whole(value, at, least, most));
}

const std::string& string(const json& value, const Place& at) {
    if (!value.is_string()) {
        at.fail("expected a text");
    }
    return value.get_ref<const std::string&>();
}

// A fixed-width field of the drive: printable ASCII that fits its width.
auto fieldOf(std::size_t width) {
    return [width](const json& value, const Place& at) {
        const std::string& text = string(value, at);
        if (text.size() > width) {
            at.fail("longer than " + std::to_string(width) + " characters");
        }
        if (!std::ranges::all_of(text, [](char c) { return c >= 0x20 && c <= 0x7E; })) {
            at.fail("only printable ASCII characters are allowed");
        }
        return text;
    };
}

std::string name(const json& value, const Place& at) {
    const std::string& text = string(value, at);
    if (text.empty()) {
        at.fail("must not be empty");
    }
    return text;
}

// Registry class names are read into a 128-character buffer with its terminator.
std::string className(const json& value, const Place& at) {
    std::string text = name(value, at);
    if (text.size() > 127) {
        at.fail("longer than 127 characters");
    }
    return text;
}

template <typename T, std::size_t N>
using Names = std::array<std::pair<std::string_view, T>, N>;

template <typename T, std::size_t N>
auto choiceOf(const Names<T, N>& names) {
    return [&names](const json& value, const Place& at) {
        if (value.is_string()) {
            for (const auto& [text, choice] : names) {
                if (value.get_ref<const std::string&>() == text) {
                    return choice;
                }
            }
        }
        std::string expected;
        for (const auto& entry : names) {
            expected += (expected.empty() ? "" : ", ") + inQuotes(entry.first);
        }
        at.fail("expected one of " + expected);
    };
}

constexpr Names<DriveMode, 2> driveModes{
    {{"normal", DriveMode::Normal}, {"kernel", DriveMode::Kernel}}};
constexpr Names<MissingInterface, 3> missingInterfaces{
    {{"plugIn", MissingInterface::PlugIn},
     {"mmc", MissingInterface::Mmc},
     {"taskDevice", MissingInterface::TaskDevice}}};
constexpr Names<SetupStep, 4> setupSteps{
    {{"setCommandDescriptorBlock", SetupStep::SetCommandDescriptorBlock},
     {"setScatterGatherEntries", SetupStep::SetScatterGatherEntries},
     {"setTimeout", SetupStep::SetTimeout},
     {"execute", SetupStep::Execute}}};
constexpr Names<ModeChangeRefusal, 3> modeChangeRefusals{{{"first", ModeChangeRefusal::First},
                                                          {"second", ModeChangeRefusal::Second},
                                                          {"both", ModeChangeRefusal::Both}}};
constexpr Names<Event::Kind, 4> eventKinds{{{"attach", Event::Kind::Attach},
                                            {"remove", Event::Kind::Remove},
                                            {"insertDisc", Event::Kind::InsertDisc},
                                            {"ejectDisc", Event::Kind::EjectDisc}}};
constexpr Names<std::uint8_t, 2> failureStatuses{
    {{"checkCondition", std::uint8_t{0x02}}, {"busy", std::uint8_t{0x08}}}};

// A failing command's status: by name, or any status but GOOD by number.
std::uint8_t failureStatus(const json& value, const Place& at) {
    if (value.is_number()) {
        return static_cast<std::uint8_t>(whole(value, at, 1, 255));
    }
    return choiceOf(failureStatuses)(value, at);
}

const json& array(const json& value, const Place& at) {
    if (!value.is_array()) {
        at.fail("expected an array");
    }
    return value;
}

Disc parseDisc(const json& value, const Place& at) {
    ObjectReader reader(value, at);
    Disc disc;
    reader.read("volume", disc.volumeName, name);
    reader.rejectUnknownKeys();
    return disc;
}

DriveFaults parseFaults(const json& value, const Place& at) {
    ObjectReader reader(value, at);
    DriveFaults faults;
    reader.read("exclusiveAccessRefused", faults.exclusiveAccessRefused, flag);
    reader.read("missingInterface", faults.missingInterface, choiceOf(missingInterfaces));
    reader.read("noTask", faults.noTask, flag);
    reader.read("classNameUnreadable", faults.classNameUnreadable, flag);
    reader.read("releaseFails", faults.releaseFails, flag);
    reader.read("failingSetupStep", faults.failingSetupStep, choiceOf(setupSteps));
    reader.read("inquiryFails", faults.inquiryStatus, failureStatus);
    reader.read("readBufferFails", faults.readBufferStatus, failureStatus);
    reader.read("modeChangeRefused", faults.modeChangeRefusal, choiceOf(modeChangeRefusals));
    reader.read("imageTransferFailsAt", faults.imageTransferFailure,
                wholeOf<std::uint64_t, 1, kMostCount>);
    reader.with("busy", [&](const json& busy, const Place& busyAt) {
        if (busy == "forever") {
            faults.busyForever = true;
        } else if (busy.is_number()) {
            faults.busyPolls = wholeOf<std::uint32_t, 0, kMostCount>(busy, busyAt);
        } else {
            busyAt.fail("expected a number of polls or \"forever\"");
        }
    });
    reader.read("revisionAfterInstall", faults.revisionAfterInstall, fieldOf(revisionWidth));
    reader.read("removedAtCommand", faults.removalAtCommand, wholeOf<std::uint64_t, 1, kMostCount>);
    reader.with("resetAfterActivation", [&](const json& value, const Place& at) {
        if (flag(value, at)) {
            faults.unitAttentionAfterActivation = resetSense;
        }
    });
    reader.read("transportFailurePolls", faults.transportFailurePolls,
                wholeOf<std::uint32_t, 0, kMostCount>);
    reader.read("leavesDuringInstall", faults.leavesDuringInstall,
                wholeOf<std::uint32_t, 1, kMostCount>);
    reader.with("returnsAfterMilliseconds", [&](const json& value, const Place& at) {
        if (value == "never") {
            faults.returnAfterLeaving.reset();
        } else if (value.is_number()) {
            faults.returnAfterLeaving =
                std::chrono::milliseconds(wholeOf<std::uint32_t, 0, kMostMilliseconds>(value, at));
        } else {
            at.fail("expected a number of milliseconds or \"never\"");
        }
    });
    reader.rejectUnknownKeys();
    return faults;
}

DriveProfile parseDrive(const json& value, const Place& at) {
    ObjectReader reader(value, at);
    reader.require("id");
    DriveProfile profile;
    reader.read("id", profile.id, name);
    reader.read("className", profile.className, className);
    reader.read("authoring", profile.authoring, flag);
    reader.read("attached", profile.attached, flag);
    reader.read("place", profile.place, name);
    reader.read("vendor", profile.vendor, fieldOf(vendorWidth));
    reader.read("product", profile.product, fieldOf(productWidth));
    reader.read("revision", profile.revision, fieldOf(revisionWidth));
    reader.read("date", profile.date, fieldOf(dateWidth));
    reader.read("hardwareVersion", profile.hardwareVersion, fieldOf(versionWidth));
    reader.read("kernelVersion", profile.kernelVersion, fieldOf(versionWidth));
    reader.read("destinationVersion", profile.destinationVersion, fieldOf(versionWidth));
    reader.read("judge", profile.judge, fieldOf(judgeWidth));
    reader.read("mode", profile.mode, choiceOf(driveModes));
    reader.read("disc", profile.disc, parseDisc);
    reader.read("installPolls", profile.installPolls, wholeOf<std::uint32_t, 0, kMostCount>);
    reader.read("installStages", profile.installStages, wholeOf<std::uint32_t, 1, kMostCount>);
    std::uint32_t pollTime = 0;
    reader.read("installPollMilliseconds", pollTime, wholeOf<std::uint32_t, 0, kMostMilliseconds>);
    profile.installPollTime = std::chrono::milliseconds(pollTime);
    reader.read("faults", profile.faults, parseFaults);
    reader.rejectUnknownKeys();
    return profile;
}

Event parseEvent(const json& value, const Place& at, const std::vector<DriveProfile>& drives) {
    ObjectReader reader(value, at);
    for (const std::string_view key : {"at", "drive", "action"}) {
        reader.require(key);
    }
    Event event;
    reader.with("at", [&](const json& time, const Place& timeAt) {
        const double seconds = time.is_number() ? time.get<double>() : -1;
        // Written so that NaN fails too.
        if (!(seconds >= 0 && seconds <= static_cast<double>(kMostSeconds))) {
            timeAt.fail("expected a time in seconds from 0 to " + std::to_string(kMostSeconds));
        }
        event.at = std::chrono::duration<double>(seconds);
    });
    reader.with("drive", [&](const json& drive, const Place& driveAt) {
        event.drive = name(drive, driveAt);
        if (std::ranges::none_of(drives,
                                 [&](const DriveProfile& d) { return d.id == event.drive; })) {
            driveAt.fail("no drive has the id " + inQuotes(event.drive));
        }
    });
    reader.read("action", event.kind, choiceOf(eventKinds));
    reader.with("volume", [&](const json& volume, const Place& volumeAt) {
        if (event.kind != Event::Kind::InsertDisc) {
            volumeAt.fail("only an \"insertDisc\" event has a volume");
        }
        event.volumeName = name(volume, volumeAt);
    });
    reader.rejectUnknownKeys();
    return event;
}

// Parses strictly: a key given twice in one object is an error, not a silent overwrite.
json parseDocument(std::string_view text, std::string_view origin) {
    std::vector<std::set<std::string>> openObjects;
    const auto refuseDuplicateKeys = [&](int, json::parse_event_t event, json& parsed) {
        if (event == json::parse_event_t::object_start) {
            openObjects.emplace_back();
        } else if (event == json::parse_event_t::object_end) {
            openObjects.pop_back();
        } else if (event == json::parse_event_t::key &&
                   !openObjects.back().insert(parsed.get<std::string>()).second) {
            Place(origin, "").fail("key " + inQuotes(parsed.get<std::string>()) + " given twice");
        }
        return true;
    };
    try {
        return json::parse(text, refuseDuplicateKeys);
    } catch (const json::exception& error) {
        // Syntax errors, and numbers too large for any type, alike.
        Place(origin, "").fail(std::string("not valid JSON: ") + error.what());
    }
}

} // namespace

Scenario Scenario::parse(std::string_view text, std::string_view origin) {
    const json document = parseDocument(text, origin);
    ObjectReader reader(document, Place(origin, ""));
    reader.require("drives");
    Scenario scenario;
    reader.with("drives", [&](const json& drives, const Place& at) {
        std::set<std::string, std::less<>> ids;
        for (std::size_t i = 0; i < array(drives, at).size(); ++i) {
            DriveProfile profile = parseDrive(drives[i], at.index(i));
            if (!ids.insert(profile.id).second) {
                at.index(i).key("id").fail("the id " + inQuotes(profile.id) + " is given twice");
            }
            scenario.drives.push_back(std::move(profile));
        }
    });
    reader.with("events", [&](const json& events, const Place& at) {
        for (std::size_t i = 0; i < array(events, at).size(); ++i) {
            scenario.events.push_back(parseEvent(events[i], at.index(i), scenario.drives));
        }
    });
    reader.with("busyLimitMilliseconds", [&](const json& value, const Place& at) {
        scenario.busyLimit =
            std::chrono::milliseconds(wholeOf<std::uint32_t, 1, kMostMilliseconds>(value, at));
    });
    reader.with("returnWaitMilliseconds", [&](const json& value, const Place& at) {
        scenario.returnWait =
            std::chrono::milliseconds(wholeOf<std::uint32_t, 1, kMostMilliseconds>(value, at));
    });
    reader.with("pollIntervalMilliseconds", [&](const json& value, const Place& at) {
        scenario.pollInterval =
            std::chrono::milliseconds(wholeOf<std::uint32_t, 0, kMostMilliseconds>(value, at));
    });
    reader.rejectUnknownKeys();
    std::ranges::stable_sort(scenario.events, {}, &Event::at);
    return scenario;
}

Scenario Scenario::load(const std::filesystem::path& file) {
    std::ifstream stream(file, std::ios::binary);
    if (!stream) {
        throw std::runtime_error(file.string() + ": cannot be opened");
    }
    std::string text;
    try {
        text.assign(std::istreambuf_iterator<char>(stream), {});
    } catch (const std::ios_base::failure& error) {
        throw std::runtime_error(file.string() + ": cannot be read: " + error.what());
    }
    return parse(text, file.string());
}

} // namespace sim
