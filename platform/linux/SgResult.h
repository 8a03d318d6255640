#pragma once

#include "platform/iokit/PassThroughDevice.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// How the Linux SCSI generic driver's answers become pass-through results:
// the errno of a failed SG_IO or open, and the header of a completed SG_IO.
// Kept apart from the ioctl itself so that every mapping can be checked
// without a kernel.

namespace linuxbackend {

// The fields of a completed SG_IO header that decide the outcome.
struct SgReply {
    std::uint8_t status = 0x00; // SCSI status byte
    std::uint16_t hostStatus = 0;
    std::uint16_t driverStatus = 0;
    std::int32_t resid = 0;
    std::uint8_t senseLength = 0; // bytes of sense the kernel wrote
    std::array<std::uint8_t, 32> sense{};
};

// "ENODEV (No such device)": how log lines name an errno.
std::string describeErrno(int error);

iokit::Transport transportForErrno(int error);
// EBUSY means held elsewhere; the caller tells a mounted disc apart.
iokit::AccessRefusal refusalForErrno(int error);

// The command a result belongs to, as log lines name it: "/dev/sg1, command 3Bh".
struct SgCommand {
    std::string_view node;
    std::uint8_t opcode = 0;
};

// The result of an SG_IO ioctl that failed with `error`, with a log line that
// says what went wrong.
iokit::PassThroughResult resultForFailedIoctl(int error, std::size_t length, SgCommand command);

// The result of an SG_IO that completed; `length` is the data length asked
// for. Failures below the SCSI status (host or driver) are logged.
iokit::PassThroughResult resultForReply(const SgReply& reply, std::size_t length,
                                        SgCommand command);

// The first 18 bytes of fixed-format sense from what the drive sent: fixed
// format as it is, descriptor format (72h/73h) restated in fixed form.
std::array<std::uint8_t, 18> fixedFormatSense(std::span<const std::uint8_t> sense);

} // namespace linuxbackend
