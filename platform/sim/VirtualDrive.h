#pragma once

#include "platform/sim/DriveProfile.h"

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sim {

enum class Direction { None, ToDrive, FromDrive };

inline constexpr std::uint8_t statusGood = 0x00;
inline constexpr std::uint8_t statusCheckCondition = 0x02;
inline constexpr std::uint8_t statusBusy = 0x08;

struct CommandResult {
    std::uint8_t status = statusGood;
    // Fixed format; all zero unless the status is CHECK CONDITION.
    std::array<std::uint8_t, 18> sense{};
    std::uint64_t transferred = 0;
    // The drive was not there: nothing was done.
    bool gone = false;
};

enum class Recording { Off, Commands, CommandsAndData };

struct CommandRecord {
    std::vector<std::uint8_t> cdb;
    Direction direction = Direction::None;
    std::uint64_t bufferLength = 0;
    CommandResult result;
    // The host's data-out buffer, kept only when data recording is on.
    std::vector<std::uint8_t> dataOut;
};

struct DriveCounters {
    std::uint64_t commands = 0;
    std::uint64_t polls = 0;
    std::uint32_t modeChanges = 0;
    std::uint64_t imageTransfers = 0;
};

// The drive's side of the protocol: command bytes in, status and sense out.
// Every member may be called from any thread.
class VirtualDrive {
  public:
    explicit VirtualDrive(DriveProfile profile);

    // Runs one command. `data` is the host's buffer: written for data-in,
    // read for data-out, never beyond its size.
    CommandResult execute(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> data,
                          Direction direction);

    // The description the drive was made from; it never changes.
    const DriveProfile& profile() const { return profile_; }

    void attach();
    void remove();
    // Called, on the thread of the command, after a command during which the
    // drive left by itself (it leaves during its install); not for remove().
    void setLeavingHandler(std::function<void()> handler);
    bool isAttached() const;

    void insertDisc(std::optional<std::string> volume);
    void ejectDisc();
    bool hasDisc() const;
    std::optional<std::string> volumeName() const;

    // What the drive went through, for tests to check; the updater sees only
    // its replies.
    DriveMode mode() const;
    bool isInstalling() const;
    DriveCounters counters() const;
    // Bytes of the normal image received without a gap from offset 0.
    std::uint64_t normalImageBytes() const;

    // History is off by default, so long runs and large images cost no memory.
    void setRecording(Recording recording);
    std::vector<CommandRecord> history() const;

  private:
    // What the drive keeps of an image while it streams in: never the image.
    struct ImageDownload {
        static constexpr std::size_t headerSize = 512;
        std::uint64_t contiguous = 0;
        bool broken = false;
        std::array<std::uint8_t, headerSize> header{};

        void take(std::uint64_t offset, std::span<const std::uint8_t> bytes);
        bool complete() const { return !broken && contiguous > 0; }
        std::string revision() const;
    };

    struct Install {
        std::optional<std::uint64_t> polls; // none: never ends
        std::uint64_t done = 0;
        std::optional<std::string> revision;
        bool paused = false;
    };

    CommandResult dispatch(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> data,
                           Direction direction);
    CommandResult testUnitReady();
    CommandResult inquiry(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> data,
                          Direction direction) const;
    CommandResult readBuffer(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> data,
                             Direction direction) const;
    CommandResult writeBuffer(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> data,
                              Direction direction);
    CommandResult changeMode(std::uint32_t offset, std::uint32_t length,
                             std::span<const std::uint8_t> list);
    CommandResult takeImage(ImageDownload& image, std::uint32_t offset,
                            std::span<const std::uint8_t> bytes);
    void leaveKernelMode();
    void finishInstall();
    std::uint16_t installProgress() const;
    void record(std::span<const std::uint8_t> cdb, std::span<const std::uint8_t> data,
                Direction direction, const CommandResult& result);

    const DriveProfile profile_;

    mutable std::mutex mutex_;
    bool attached_;
    DriveMode mode_;
    std::string revision_;
    std::optional<Disc> disc_;
    ImageDownload kernelImage_;
    ImageDownload normalImage_;
    std::optional<Install> install_;
    // Reported on the next command instead of its answer.
    std::optional<AdditionalSense> unitAttention_;
    std::uint32_t modeChangeRequests_ = 0;
    DriveCounters counters_;
    Recording recording_ = Recording::Off;
    std::vector<CommandRecord> history_;
    std::function<void()> leavingHandler_;
};

} // namespace sim
