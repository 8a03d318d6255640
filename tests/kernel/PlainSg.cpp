#include "tests/kernel/PlainSg.h"

#include <cerrno>
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <system_error>

namespace tcmu {

PlainSg::PlainSg(const std::string& node, bool exclusive)
    : node_(::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | (exclusive ? O_EXCL : 0))) {
    if (!node_.valid()) {
        throw std::system_error(errno, std::generic_category(), "cannot open " + node);
    }
}

SgOutcome PlainSg::execute(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> data,
                           DataPhase phase, std::chrono::milliseconds timeout) {
    SgOutcome outcome;
    sg_io_hdr_t header{};
    header.interface_id = 'S';
    header.cmdp = const_cast<unsigned char*>(cdb.data());
    header.cmd_len = static_cast<unsigned char>(cdb.size());
    header.dxfer_direction = data.empty()                     ? SG_DXFER_NONE
                             : phase == DataPhase::ToDevice   ? SG_DXFER_TO_DEV
                             : phase == DataPhase::FromDevice ? SG_DXFER_FROM_DEV
                                                              : SG_DXFER_NONE;
    header.dxferp = data.data();
    header.dxfer_len = static_cast<unsigned>(data.size());
    header.sbp = outcome.sense.data();
    header.mx_sb_len = static_cast<unsigned char>(outcome.sense.size());
    header.timeout = static_cast<unsigned>(timeout.count());
    if (::ioctl(node_.get(), SG_IO, &header) != 0) {
        outcome.error = errno;
        return outcome;
    }
    outcome.status = header.status;
    outcome.hostStatus = header.host_status;
    outcome.driverStatus = header.driver_status;
    outcome.residual = header.resid;
    return outcome;
}

} // namespace tcmu
