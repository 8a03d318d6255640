#pragma once

#include <filesystem>
#include <string>

namespace tcmu {

// A SCSI host of the kernel's loopback fabric (tcm_loop) with one LUN: a
// backstore device linked into the LUN appears on this machine as a SCSI
// device, as a drive plugged in; unlinking it is the drive pulled out.
class LoopbackPort {
  public:
    // `index` makes the port's name: one port per index at a time.
    explicit LoopbackPort(unsigned index);
    // Unlinks the LUN if need be and removes the port and its SCSI host.
    ~LoopbackPort();
    LoopbackPort(const LoopbackPort&) = delete;
    LoopbackPort& operator=(const LoopbackPort&) = delete;

    // Both return once the kernel has added (removed) the SCSI device.
    void link(const std::filesystem::path& backstoreItem);
    void unlink();
    bool linked() const { return linked_; }

    // The SCSI device the LUN appears as, e.g. "/sys/class/scsi_device/3:0:1:0".
    std::filesystem::path scsiDevice() const;

  private:
    std::filesystem::path port_;
    std::filesystem::path group_;
    std::filesystem::path link_;
    bool linked_ = false;
};

} // namespace tcmu
