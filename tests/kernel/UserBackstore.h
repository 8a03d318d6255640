#pragma once

#include <filesystem>
#include <string>

namespace tcmu {

// A device of the kernel's userspace SCSI target (target_core_user), on a
// backstore of its own: the commands sent to it wait in a ring that a
// program answers through the device's UIO node.
class UserBackstore {
  public:
    // Makes and enables the device; throws std::system_error when the
    // kernel refuses.
    explicit UserBackstore(const std::string& name);
    // Removes the device and its backstore.
    ~UserBackstore();
    UserBackstore(const UserBackstore&) = delete;
    UserBackstore& operator=(const UserBackstore&) = delete;

    // The device's configfs item, for linking into a LUN.
    const std::filesystem::path& item() const { return item_; }
    // e.g. "/dev/uio0"
    const std::filesystem::path& uioNode() const { return uioNode_; }

  private:
    std::filesystem::path backstore_;
    std::filesystem::path item_;
    std::filesystem::path uioNode_;
};

} // namespace tcmu
