#pragma once

#include "platform/sim/VirtualDrive.h"
#include "tests/kernel/LoopbackPort.h"
#include "tests/kernel/TcmuRing.h"
#include "tests/kernel/UserBackstore.h"

#include <optional>
#include <string>
#include <thread>

namespace tcmu {

// A virtual drive behind the kernel's SCSI stack: the model answers every
// command that reaches a target_core_user device, which the loopback fabric
// presents to this machine, so sg, sr and udev see a drive of type 5. The
// drive is built unplugged; plugging it in and out links and unlinks its LUN.
// Needs root, configfs, target_core_user and tcm_loop.
class KernelDrive {
  public:
    explicit KernelDrive(sim::DriveProfile profile);
    // Pulls the drive out if need be and takes it all down.
    ~KernelDrive();
    KernelDrive(const KernelDrive&) = delete;
    KernelDrive& operator=(const KernelDrive&) = delete;

    // The model, for its recording, counters and discs.
    sim::VirtualDrive& drive() { return drive_; }

    // Each returns once the kernel has made (removed) the drive's nodes and
    // udev has dealt with them.
    void plugIn();
    void unplug();
    // Only takes the LUN away, at once, leaving udev to catch up.
    void pullOut();

    // While plugged in: e.g. "/dev/sg1", "/dev/sr1".
    std::string genericNode() const;
    std::optional<std::string> blockNode() const;
    // The sysfs path of the sg node, as udev reports it.
    std::string genericSyspath() const;

    // Waits until udev has dealt with every event so far.
    static void settle();

  private:
    Reply answer(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> data);

    const unsigned index_;
    sim::VirtualDrive drive_;
    UserBackstore backstore_;
    TcmuRing ring_;
    std::jthread server_;
    LoopbackPort port_;
};

} // namespace tcmu
