#pragma once

#include "platform/foundation/FileDescriptor.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stop_token>
#include <vector>

namespace tcmu {

// A target's answer to one command.
struct Reply {
    std::uint8_t status = 0x00;
    // Fixed format, for CHECK CONDITION.
    std::array<std::uint8_t, 18> sense{};
    // For a data-in command, how many bytes of its buffer go back to the
    // initiator; the kernel reports the rest as residual.
    std::optional<std::uint32_t> dataIn;
};

// Answers a command given its CDB and a copy of its data buffer: filled with
// the initiator's bytes for data-out, to be filled for data-in.
using CommandHandler =
    std::function<Reply(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> data)>;

// The command ring of one target_core_user device, reached through its UIO
// node: the kernel queues the SCSI commands its initiators send to the
// device, this answers them in order.
class TcmuRing {
  public:
    // Opens and maps e.g. "/dev/uio0"; throws std::system_error when that fails.
    explicit TcmuRing(const std::filesystem::path& uioNode);
    ~TcmuRing();
    TcmuRing(const TcmuRing&) = delete;
    TcmuRing& operator=(const TcmuRing&) = delete;

    // Answers every command with `handler` until a stop is requested.
    void serve(const CommandHandler& handler, std::stop_token stop);

  private:
    struct Unmap {
        std::size_t length;
        void operator()(std::uint8_t* area) const;
    };

    // Answers the commands queued so far; true when there were any.
    bool answerQueued(const CommandHandler& handler);
    void answer(std::size_t entryAt, const CommandHandler& handler);
    std::span<std::uint8_t> area(std::uint64_t offset, std::uint64_t length);

    foundation::FileDescriptor uio_;
    std::unique_ptr<std::uint8_t, Unmap> area_;
    std::size_t areaLength_ = 0;
    std::vector<std::uint8_t> data_;
};

} // namespace tcmu
