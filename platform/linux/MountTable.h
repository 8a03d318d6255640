#pragma once

#include <optional>
#include <string>
#include <string_view>

// Where a block device's filesystem is mounted, from the kernel's table of
// this process's mounts (/proc/self/mountinfo). Read only: nothing here
// mounts or unmounts.

namespace linuxbackend {

class MountTable {
  public:
    // The system's table as it is now; empty when it cannot be read.
    static MountTable current();
    explicit MountTable(std::string mountinfo) : text_(std::move(mountinfo)) {}

    // The first mount point of the device with these numbers, or none.
    std::optional<std::string> mountPointOf(unsigned major, unsigned minor) const;
    // The same for a device node such as "/dev/sr0"; none when it is no
    // block device.
    std::optional<std::string> mountPointOf(const std::string& deviceNode) const;

    // A path as the table writes it, with blanks, tabs, line feeds and
    // backslashes as three octal digits ("\040"), back in plain text.
    static std::string unescape(std::string_view field);

  private:
    std::string text_;
};

} // namespace linuxbackend
