#include "platform/linux/SgResult.h"

#include "platform/foundation/Log.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace linuxbackend {
namespace {

constexpr std::string_view kSignature =
    "iokit::PassThroughResult linuxbackend::SgDevice::execute(std::span<const uint8_t>, "
    "std::span<uint8_t>, iokit::TransferDirection, std::chrono::milliseconds)";

constexpr std::uint8_t kCheckCondition = 0x02;

// Host bytes, as the SCSI midlayer sets them.
constexpr std::uint16_t kHostNoConnect = 0x01;
constexpr std::uint16_t kHostTimeout = 0x03;
// Driver bytes: besides none, only "sense follows" is no failure.
constexpr std::uint16_t kDriverTimeout = 0x06;
constexpr std::uint16_t kDriverSense = 0x08;

constexpr std::uint8_t kFixedCurrent = 0x70;
constexpr std::uint8_t kFixedDeferred = 0x71;
constexpr std::uint8_t kDescriptorCurrent = 0x72;
constexpr std::uint8_t kDescriptorDeferred = 0x73;
constexpr std::uint8_t kSenseKeySpecificDescriptor = 0x02;

std::string hostStatusName(std::uint16_t host) {
    switch (host) {
    case kHostNoConnect:
        return "no connection";
    case kHostTimeout:
        return "timeout";
    case 0x05:
        return "aborted";
    case 0x07:
        return "error";
    case 0x08:
        return "reset";
    case 0x0e:
        return "transport disrupted";
    default:
        return "unknown";
    }
}

std::string describe(SgCommand command) {
    return foundation::format("%.*s, command %02Xh", static_cast<int>(command.node.size()),
                              command.node.data(), command.opcode);
}

iokit::PassThroughResult failed(iokit::Transport transport, int error) {
    iokit::PassThroughResult result;
    result.transport = transport;
    result.osError = error;
    return result;
}

} // namespace

std::string describeErrno(int error) {
    const char* name = strerrorname_np(error);
    const char* text = strerrordesc_np(error);
    return foundation::format("%s (%s)", name != nullptr ? name : std::to_string(error).c_str(),
                              text != nullptr ? text : "unknown error");
}

iokit::Transport transportForErrno(int error) {
    switch (error) {
    case ENODEV:
    case ENXIO:
    case ENOENT:
        return iokit::Transport::Gone;
    case EPERM:
    case EACCES:
        return iokit::Transport::NotPermitted;
    default:
        return iokit::Transport::OsError;
    }
}

iokit::AccessRefusal refusalForErrno(int error) {
    switch (error) {
    case EPERM:
    case EACCES:
        return iokit::AccessRefusal::NotPermitted;
    case EBUSY:
        return iokit::AccessRefusal::HeldElsewhere;
    case ENODEV:
    case ENXIO:
    case ENOENT:
        return iokit::AccessRefusal::Gone;
    default:
        return iokit::AccessRefusal::OsError;
    }
}

iokit::PassThroughResult resultForFailedIoctl(int error, std::size_t length, SgCommand command) {
    const iokit::Transport transport = transportForErrno(error);
    std::string why;
    switch (transport) {
    case iokit::Transport::Gone:
        why = "the drive is no longer there";
        break;
    case iokit::Transport::NotPermitted:
        why = "the system does not permit this command to this user";
        break;
    default:
        why = error == EINVAL || error == ENOMEM
                  ? foundation::format("the system refused a transfer of %zu bytes", length)
                  : std::string("the command could not be sent");
        break;
    }
    foundation::Log::error(kSignature,
                           foundation::format("%s: %s: %s\n", describe(command).c_str(),
                                              why.c_str(), describeErrno(error).c_str()));
    return failed(transport, error);
}

iokit::PassThroughResult resultForReply(const SgReply& reply, std::size_t length,
                                        SgCommand command) {
    if (reply.hostStatus != 0) {
        foundation::Log::error(kSignature,
                               foundation::format("%s: host status 0x%02x (%s)\n",
                                                  describe(command).c_str(), reply.hostStatus,
                                                  hostStatusName(reply.hostStatus).c_str()));
        switch (reply.hostStatus) {
        case kHostTimeout:
            return failed(iokit::Transport::TimedOut, ETIMEDOUT);
        case kHostNoConnect:
            return failed(iokit::Transport::Gone, ENODEV);
        default:
            return failed(iokit::Transport::OsError, EIO);
        }
    }
    const std::uint16_t driver = reply.driverStatus & 0x0f;
    if (driver != 0 && driver != kDriverSense) {
        foundation::Log::error(kSignature, foundation::format("%s: driver status 0x%02x\n",
                                                              describe(command).c_str(), driver));
        return driver == kDriverTimeout ? failed(iokit::Transport::TimedOut, ETIMEDOUT)
                                        : failed(iokit::Transport::OsError, EIO);
    }

    iokit::PassThroughResult result;
    result.status = reply.status;
    // A residue outside the transfer is the driver's mistake; never report
    // more than was asked for, nor less than nothing.
    const auto resid = static_cast<std::size_t>(std::max(reply.resid, 0));
    result.transferred = length - std::min(resid, length);
    if (reply.status == kCheckCondition) {
        const auto written =
            std::span(reply.sense).first(std::min<std::size_t>(reply.senseLength, 32));
        result.sense = fixedFormatSense(written);
        const std::uint8_t code = written.empty() ? 0 : written[0] & 0x7f;
        if (code == kDescriptorCurrent || code == kDescriptorDeferred) {
            foundation::Log::warning(
                kSignature,
                foundation::format("%s: descriptor-format sense (%02Xh) read as sense key %Xh, "
                                   "ASC %02Xh, ASCQ %02Xh\n",
                                   describe(command).c_str(), code, result.sense[2] & 0x0f,
                                   result.sense[12], result.sense[13]));
        }
    }
    return result;
}

std::array<std::uint8_t, 18> fixedFormatSense(std::span<const std::uint8_t> sense) {
    std::array<std::uint8_t, 18> fixed{};
    if (sense.empty()) {
        return fixed;
    }
    const std::uint8_t code = sense[0] & 0x7f;
    if (code != kDescriptorCurrent && code != kDescriptorDeferred) {
        std::copy_n(sense.begin(), std::min(sense.size(), fixed.size()), fixed.begin());
        return fixed;
    }
    const auto at = [&](std::size_t i) -> std::uint8_t { return i < sense.size() ? sense[i] : 0; };
    fixed[0] = code == kDescriptorCurrent ? kFixedCurrent : kFixedDeferred;
    fixed[2] = at(1) & 0x0f;
    fixed[7] = 10; // additional length of the 18-byte form
    fixed[12] = at(2);
    fixed[13] = at(3);
    // Descriptors follow the 8-byte header, as many as the additional length says.
    const std::size_t end = std::min<std::size_t>(sense.size(), 8 + std::size_t{at(7)});
    for (std::size_t i = 8; i + 1 < end; i += 2 + std::size_t{sense[i + 1]}) {
        if (sense[i] == kSenseKeySpecificDescriptor && i + 6 < end) {
            fixed[15] = sense[i + 4];
            fixed[16] = sense[i + 5];
            fixed[17] = sense[i + 6];
        }
    }
    return fixed;
}

} // namespace linuxbackend
