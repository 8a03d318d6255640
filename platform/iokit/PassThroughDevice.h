#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

// One SCSI device as every backend drives it: exclusive access, and commands
// given as CDB bytes and a host buffer. The task interfaces the updater calls
// are one adapter over this, whatever the backend.

namespace iokit {

enum class TransferDirection { None, ToDevice, FromDevice };

// How the command fared on its way to the device and back.
enum class Transport {
    Done,         // the device answered; status, sense and count stand
    Gone,         // the device is no longer there
    TimedOut,     // no answer within the timeout, or the link gave up
    NotPermitted, // the system refused the command to this user
    OsError,      // any other failure of the system, with its errno
};

struct PassThroughResult {
    Transport transport = Transport::Done;
    int osError = 0;            // errno, for OsError
    std::uint8_t status = 0x00; // SCSI status, when Done
    // Fixed-format sense; all zero unless the status is CHECK CONDITION.
    std::array<std::uint8_t, 18> sense{};
    std::uint64_t transferred = 0; // bytes really moved
};

// A command that did not reach the device and back, on the node it was sent to.
struct TransportFailure {
    Transport transport = Transport::OsError;
    int osError = 0; // errno, for OsError
    std::string deviceNode;

    friend bool operator==(const TransportFailure&, const TransportFailure&) = default;
};

// Why exclusive access was refused, in terms a user can act on.
enum class AccessRefusal {
    None,
    NotPermitted,  // this user may not open the device
    HeldElsewhere, // another program has it open
    DiscMounted,   // a disc in the drive is mounted
    Gone,          // the device left
    OsError,       // any other failure, with its errno
};

struct AccessResult {
    AccessRefusal refusal = AccessRefusal::None;
    int osError = 0;
    std::optional<std::string> mountPoint; // for DiscMounted
    // The node opened or refused, e.g. "/dev/sg1": a grant clears an
    // earlier refusal of the same node.
    std::string deviceNode;

    bool granted() const { return refusal == AccessRefusal::None; }
    friend bool operator==(const AccessResult&, const AccessResult&) = default;
};

class PassThroughDevice {
  public:
    virtual ~PassThroughDevice() = default;

    // Exclusive access for one holder at a time; a second open is refused
    // (HeldElsewhere) until the first holder closes.
    virtual AccessResult open() = 0;
    // Gives exclusive access back; false when the system reported a failure.
    virtual bool close() = 0;
    // Gives back the access of a holder that went away without closing, as
    // the system does for a process that ends holding a file. A device that
    // counts its holders overrides it, so that a missing close shows.
    virtual void abandon() { close(); }

    // Runs one command. `data` is written for FromDevice, read for ToDevice,
    // never beyond its size. A zero timeout is never passed.
    virtual PassThroughResult execute(std::span<const std::uint8_t> cdb,
                                      std::span<std::uint8_t> data, TransferDirection direction,
                                      std::chrono::milliseconds timeout) = 0;
};

} // namespace iokit
