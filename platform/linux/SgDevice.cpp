#include "platform/linux/SgDevice.h"

#include "platform/foundation/Log.h"
#include "platform/linux/MountTable.h"
#include "platform/linux/SgResult.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <filesystem>
#include <scsi/sg.h>
#include <sys/ioctl.h>

namespace linuxbackend {
namespace {

constexpr std::string_view kOpenSignature = "iokit::AccessResult linuxbackend::SgDevice::open()";
constexpr std::size_t kSenseBufferSize = 32;
constexpr std::size_t kLongestCdb = 255;

int directionOf(iokit::TransferDirection direction) {
    switch (direction) {
    case iokit::TransferDirection::ToDevice:
        return SG_DXFER_TO_DEV;
    case iokit::TransferDirection::FromDevice:
        return SG_DXFER_FROM_DEV;
    case iokit::TransferDirection::None:
        break;
    }
    return SG_DXFER_NONE;
}

std::string remedyFor(const iokit::AccessResult& result) {
    switch (result.refusal) {
    case iokit::AccessRefusal::NotPermitted:
        return "log in at the machine's own screen, or join group \"cdrom\"";
    case iokit::AccessRefusal::HeldElsewhere:
        return "another program is using the drive: close it";
    case iokit::AccessRefusal::DiscMounted:
        return "a disc is mounted at " + result.mountPoint.value_or("?") + ": eject the disc";
    case iokit::AccessRefusal::Gone:
        return "the drive is no longer there";
    default:
        return "the drive cannot be opened";
    }
}

} // namespace

SgDevice::SgDevice(std::string genericNode, std::string scsiDeviceSyspath, std::string nodeFolder)
    : genericNode_(std::move(genericNode)), scsiDeviceSyspath_(std::move(scsiDeviceSyspath)),
      nodeFolder_(std::move(nodeFolder)) {}

std::optional<std::string> SgDevice::blockNode() const {
    std::error_code error;
    for (const auto& entry :
         std::filesystem::directory_iterator(scsiDeviceSyspath_ + "/block", error)) {
        return nodeFolder_ + "/" + entry.path().filename().string();
    }
    return std::nullopt;
}

iokit::AccessResult SgDevice::refuse(const std::string& node, int error) const {
    iokit::AccessResult result;
    result.refusal = refusalForErrno(error);
    result.osError = error;
    // The drive is known by its sg node, whichever of its nodes refused, so
    // that a later grant clears the refusal.
    result.deviceNode = genericNode_;
    if (error == EBUSY && node != genericNode_) {
        // The block node is busy while its filesystem is mounted; another
        // program holding it open exclusively looks the same otherwise.
        result.mountPoint = MountTable::current().mountPointOf(node);
        if (result.mountPoint) {
            result.refusal = iokit::AccessRefusal::DiscMounted;
        }
    }
    foundation::Log::warning(kOpenSignature, foundation::format("%s: %s: %s\n", node.c_str(),
                                                                describeErrno(error).c_str(),
                                                                remedyFor(result).c_str()));
    return result;
}

iokit::AccessResult SgDevice::open() {
    std::lock_guard lock(mutex_);
    if (generic_.valid()) {
        iokit::AccessResult held;
        held.refusal = iokit::AccessRefusal::HeldElsewhere;
        held.osError = EBUSY;
        held.deviceNode = genericNode_;
        return held;
    }
    foundation::FileDescriptor generic(
        ::open(genericNode_.c_str(), O_RDWR | O_EXCL | O_NONBLOCK | O_CLOEXEC));
    if (!generic.valid()) {
        return refuse(genericNode_, errno);
    }
    foundation::FileDescriptor block;
    if (const auto node = blockNode()) {
        block = foundation::FileDescriptor(
            ::open(node->c_str(), O_RDWR | O_EXCL | O_NONBLOCK | O_CLOEXEC));
        // A block driver without a node changes nothing.
        if (!block.valid() && errno != ENOENT) {
            return refuse(*node, errno);
        }
    }
    generic_ = std::move(generic);
    block_ = std::move(block);
    iokit::AccessResult granted;
    granted.deviceNode = genericNode_;
    return granted;
}

bool SgDevice::close() {
    std::lock_guard lock(mutex_);
    const bool blockClosed = block_.close();
    const bool genericClosed = generic_.close();
    return blockClosed && genericClosed;
}

iokit::PassThroughResult SgDevice::execute(std::span<const std::uint8_t> cdb,
                                           std::span<std::uint8_t> data,
                                           iokit::TransferDirection direction,
                                           std::chrono::milliseconds timeout) {
    const std::size_t length = direction == iokit::TransferDirection::None ? 0 : data.size();
    const SgCommand command{genericNode_, cdb.empty() ? std::uint8_t{0} : cdb[0]};
    if (cdb.empty() || cdb.size() > kLongestCdb || length > UINT_MAX) {
        return resultForFailedIoctl(EINVAL, length, command);
    }
    int descriptor = -1;
    {
        // Only the holder sends commands, and it closes only after they
        // return: the descriptor stays valid while the ioctl runs.
        std::lock_guard lock(mutex_);
        descriptor = generic_.get();
    }
    if (descriptor < 0) {
        return resultForFailedIoctl(EBADF, length, command);
    }

    std::array<std::uint8_t, kSenseBufferSize> sense{};
    sg_io_hdr_t header{};
    header.interface_id = 'S';
    header.cmd_len = static_cast<unsigned char>(cdb.size());
    header.cmdp = const_cast<unsigned char*>(cdb.data());
    header.dxfer_direction = length == 0 ? SG_DXFER_NONE : directionOf(direction);
    header.dxfer_len = static_cast<unsigned int>(length);
    header.dxferp = length == 0 ? nullptr : data.data();
    header.mx_sb_len = static_cast<unsigned char>(sense.size());
    header.sbp = sense.data();
    // Exactly as given: 0 would mean the kernel's default instead.
    header.timeout = static_cast<unsigned int>(
        std::clamp<std::chrono::milliseconds::rep>(timeout.count(), 1, UINT_MAX));

    if (::ioctl(descriptor, SG_IO, &header) != 0) {
        return resultForFailedIoctl(errno, length, command);
    }
    SgReply reply;
    reply.status = header.status;
    reply.hostStatus = header.host_status;
    reply.driverStatus = header.driver_status;
    reply.resid = header.resid;
    reply.senseLength = header.sb_len_wr;
    reply.sense = sense;
    return resultForReply(reply, length, command);
}

} // namespace linuxbackend
