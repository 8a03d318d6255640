#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// The description of one virtual drive, as a scenario gives it. Plain data: the
// drive model reads the identity, versions and protocol faults; the backend
// that serves the drive through the registry reads the rest.

namespace sim {

// Widths of the drive's fixed text fields, in bytes.
inline constexpr std::size_t vendorWidth = 8;
inline constexpr std::size_t productWidth = 16;
inline constexpr std::size_t revisionWidth = 4;
inline constexpr std::size_t dateWidth = 9;
inline constexpr std::size_t versionWidth = 8;
inline constexpr std::size_t judgeWidth = 4;

enum class DriveMode { Normal, Kernel };

// The first interface the backend cannot create; the ones after it are missing too.
enum class MissingInterface { None, PlugIn, Mmc, TaskDevice };

enum class SetupStep { SetCommandDescriptorBlock, SetScatterGatherEntries, SetTimeout, Execute };

// Which of the drive's mode-change requests it refuses, counted from its start.
enum class ModeChangeRefusal { None, First, Second, Both };

struct Disc {
    std::optional<std::string> volumeName;
};

// The additional sense code and qualifier of a CHECK CONDITION.
struct AdditionalSense {
    std::uint8_t code = 0;
    std::uint8_t qualifier = 0;
};

// UNIT ATTENTION after a power on or reset.
inline constexpr AdditionalSense resetSense{0x29, 0x00};

struct DriveFaults {
    // Enacted by the backend, at the registry and task interfaces.
    bool exclusiveAccessRefused = false;
    MissingInterface missingInterface = MissingInterface::None;
    bool noTask = false;
    bool classNameUnreadable = false;
    bool releaseFails = false;
    std::optional<SetupStep> failingSetupStep;
    // The first this many TEST UNIT READY sent while the drive installs never
    // reach it: the link times out.
    std::uint32_t transportFailurePolls = 0;
    // How long a drive that left during its install stays away before it is
    // published again at the same place, as a new service; none: for ever.
    std::optional<std::chrono::milliseconds> returnAfterLeaving = std::chrono::milliseconds(500);

    // Enacted by the drive itself.
    // The status every INQUIRY (READ BUFFER) answers with; CHECK CONDITION
    // comes with HARDWARE ERROR sense.
    std::optional<std::uint8_t> inquiryStatus;
    std::optional<std::uint8_t> readBufferStatus;
    ModeChangeRefusal modeChangeRefusal = ModeChangeRefusal::None;
    // 1-based index, among the image transfers sent to the drive in kernel
    // mode since its start, of the one that fails and is not taken.
    std::optional<std::uint64_t> imageTransferFailure;
    // Every switch back to normal mode, with or without an image, is followed
    // by this many busy polls instead of installPolls, or by busy polls for ever.
    std::optional<std::uint32_t> busyPolls;
    bool busyForever = false;
    // Reported after an install in place of the image's revision.
    std::optional<std::string> revisionAfterInstall;
    // 1-based index of the command at which the drive disappears.
    std::optional<std::uint64_t> removalAtCommand;
    // The command after every switch back to normal mode is not carried
    // out: it answers UNIT ATTENTION with this sense, as a drive that
    // restarts into new firmware may.
    std::optional<AdditionalSense> unitAttentionAfterActivation;
    // The drive leaves after this many install polls, finishes its install
    // while away, and reports a reset on its first command once it is
    // attached again.
    std::optional<std::uint32_t> leavesDuringInstall;
    // Set in the flag bits (filemark, end of medium, incorrect length) above
    // the sense key of every CHECK CONDITION, as drives may.
    std::uint8_t senseKeyFlags = 0;
};

struct DriveProfile {
    std::string id;
    std::string className = "VirtualAuthoringDrive";
    // A device that is not an authoring device never matches the enumeration.
    bool authoring = true;
    bool attached = true;
    // Where the drive is attached (its port): the id when none is given.
    std::optional<std::string> place;

    std::string vendor = "QUELMAR";
    std::string product = "BD-RW KLV-TN82WA";
    std::string revision = "1.01";
    std::string date = "2010/9/30";

    std::string hardwareVersion = "KLVH0100";
    std::string kernelVersion = "KRNL0101";
    std::string destinationVersion = "WW000001";
    std::string judge = "JDG1";

    DriveMode mode = DriveMode::Normal;
    std::optional<Disc> disc;
    std::uint32_t installPolls = 3;
    // An install in stages counts its progress down from 65535 again in each,
    // over an equal share of its polls.
    std::uint32_t installStages = 1;
    // How long the drive takes to answer each TEST UNIT READY while it
    // installs: a real install takes seconds, whatever the number of polls.
    std::chrono::milliseconds installPollTime{0};
    // After this many polls of its install the drive pauses for one: it
    // answers the next progress twice.
    std::optional<std::uint32_t> installPauseAfter;
    DriveFaults faults;
};

} // namespace sim
