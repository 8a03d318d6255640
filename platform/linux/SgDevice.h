#pragma once

#include "platform/foundation/FileDescriptor.h"
#include "platform/iokit/PassThroughDevice.h"

#include <mutex>
#include <optional>
#include <string>

namespace linuxbackend {

// A drive reached through its SCSI generic node. Exclusive access is an
// O_EXCL open of the sg node and then of the drive's block node, if it has
// one: that keeps other programs away, is refused while a disc is mounted,
// and stops the kernel's media polling from interleaving with our commands.
// Commands go through SG_IO on the sg node, which is also the only node on
// which the kernel lets an unprivileged user send WRITE BUFFER.
class SgDevice : public iokit::PassThroughDevice {
  public:
    // `genericNode` is e.g. "/dev/sg1"; `scsiDeviceSyspath` the sysfs folder
    // of the SCSI device it belongs to, where its block node is looked up by
    // name; `nodeFolder` the folder that holds the node of that name.
    SgDevice(std::string genericNode, std::string scsiDeviceSyspath,
             std::string nodeFolder = "/dev");

    iokit::AccessResult open() override;
    bool close() override;
    iokit::PassThroughResult execute(std::span<const std::uint8_t> cdb,
                                     std::span<std::uint8_t> data,
                                     iokit::TransferDirection direction,
                                     std::chrono::milliseconds timeout) override;

    const std::string& genericNode() const { return genericNode_; }

  private:
    // The drive's block node (e.g. "/dev/sr0") as sysfs lists it now; the
    // block driver may bind after the sg node appeared, or not at all.
    std::optional<std::string> blockNode() const;
    iokit::AccessResult refuse(const std::string& node, int error) const;

    const std::string genericNode_;
    const std::string scsiDeviceSyspath_;
    const std::string nodeFolder_;
    std::mutex mutex_;
    foundation::FileDescriptor generic_;
    foundation::FileDescriptor block_;
};

} // namespace linuxbackend
