#pragma once

#include "platform/foundation/FileDescriptor.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <span>
#include <string>

namespace tcmu {

enum class DataPhase { None, ToDevice, FromDevice };

// What SG_IO reported for one command, as the kernel gave it.
struct SgOutcome {
    int error = 0; // errno of a failed ioctl, else 0
    std::uint8_t status = 0;
    std::uint16_t hostStatus = 0;
    std::uint16_t driverStatus = 0;
    int residual = 0;
    std::array<std::uint8_t, 32> sense{};
};

// SG_IO on an sg node and nothing else: the measure the updater's stack is
// compared with, and a way for tests to reach a drive past it.
class PlainSg {
  public:
    // Opens e.g. "/dev/sg1" read-write; throws std::system_error when that fails.
    explicit PlainSg(const std::string& node, bool exclusive = false);

    SgOutcome execute(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> data,
                      DataPhase phase,
                      std::chrono::milliseconds timeout = std::chrono::seconds(60));

  private:
    foundation::FileDescriptor node_;
};

} // namespace tcmu
