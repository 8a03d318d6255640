#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// The kernel's SCSI target is set up through configfs: folders made and
// removed, attributes written and read, links between items. Each of these
// throws std::system_error when the kernel refuses, naming the path.

namespace tcmu::configfs {

inline const std::filesystem::path kTargetRoot = "/sys/kernel/config/target";

void makeFolder(const std::filesystem::path& path);
void removeFolder(const std::filesystem::path& path);
void write(const std::filesystem::path& attribute, std::string_view text);
// The attribute's text without its line feed.
std::string read(const std::filesystem::path& attribute);
void link(const std::filesystem::path& item, const std::filesystem::path& at);
void unlink(const std::filesystem::path& at);

} // namespace tcmu::configfs
