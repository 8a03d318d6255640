#include "tests/kernel/LoopbackPort.h"

#include "tests/kernel/Configfs.h"

#include <array>
#include <cstdio>
#include <system_error>

namespace tcmu {

namespace fs = std::filesystem;

namespace {

// A world wide name in the NAA IEEE registered format, told apart by `index`
// and by `initiator`, the other end of the loopback nexus.
std::string worldWideName(unsigned index, bool initiator) {
    std::array<char, 32> name{};
    std::snprintf(name.data(), name.size(), "naa.5001405%09x", index * 2 + (initiator ? 1 : 0));
    return name.data();
}

} // namespace

LoopbackPort::LoopbackPort(unsigned index) {
    const fs::path fabric = configfs::kTargetRoot / "loopback";
    configfs::makeFolder(fabric);
    port_ = fabric / worldWideName(index, false);
    group_ = port_ / "tpgt_1";
    link_ = group_ / "lun" / "lun_0" / "drive";
    configfs::makeFolder(port_);
    try {
        configfs::makeFolder(group_);
        configfs::write(group_ / "nexus", worldWideName(index, true));
        configfs::makeFolder(group_ / "lun" / "lun_0");
    } catch (...) {
        std::error_code ignored;
        fs::remove(group_ / "lun" / "lun_0", ignored);
        fs::remove(group_, ignored);
        fs::remove(port_, ignored);
        throw;
    }
}

LoopbackPort::~LoopbackPort() {
    std::error_code ignored;
    if (linked_) {
        fs::remove(link_, ignored);
    }
    // The group takes its nexus with it.
    fs::remove(group_ / "lun" / "lun_0", ignored);
    fs::remove(group_, ignored);
    fs::remove(port_, ignored);
}

void LoopbackPort::link(const fs::path& backstoreItem) {
    configfs::link(backstoreItem, link_);
    linked_ = true;
}

void LoopbackPort::unlink() {
    configfs::unlink(link_);
    linked_ = false;
}

fs::path LoopbackPort::scsiDevice() const {
    // "host:channel:target" of the group; the LUN is number 0.
    return fs::path("/sys/class/scsi_device") / (configfs::read(group_ / "address") + ":0");
}

} // namespace tcmu
