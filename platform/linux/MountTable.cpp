#include "platform/linux/MountTable.h"

#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <vector>

namespace linuxbackend {
namespace {

std::vector<std::string_view> fields(std::string_view line) {
    std::vector<std::string_view> result;
    std::size_t start = 0;
    while (start < line.size()) {
        const std::size_t end = std::min(line.find(' ', start), line.size());
        if (end > start) {
            result.push_back(line.substr(start, end - start));
        }
        start = end + 1;
    }
    return result;
}

bool isOctal(char c) {
    return c >= '0' && c <= '7';
}

} // namespace

MountTable MountTable::current() {
    std::ifstream file("/proc/self/mountinfo");
    std::ostringstream text;
    text << file.rdbuf();
    return MountTable(text.str());
}

std::optional<std::string> MountTable::mountPointOf(unsigned major, unsigned minor) const {
    const std::string device = std::to_string(major) + ":" + std::to_string(minor);
    std::string_view rest = text_;
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find('\n'), rest.size());
        const auto line = fields(rest.substr(0, end));
        rest.remove_prefix(std::min(end + 1, rest.size()));
        // mount id, parent id, major:minor, root, mount point, ...
        if (line.size() >= 5 && line[2] == device) {
            return unescape(line[4]);
        }
    }
    return std::nullopt;
}

std::optional<std::string> MountTable::mountPointOf(const std::string& deviceNode) const {
    struct stat info {};
    if (::stat(deviceNode.c_str(), &info) != 0 || !S_ISBLK(info.st_mode)) {
        return std::nullopt;
    }
    return mountPointOf(::major(info.st_rdev), ::minor(info.st_rdev));
}

std::string MountTable::unescape(std::string_view field) {
    std::string plain;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && isOctal(field[i + 1]) &&
            isOctal(field[i + 2]) && isOctal(field[i + 3])) {
            plain += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                       (field[i + 3] - '0'));
            i += 3;
        } else {
            plain += field[i];
        }
    }
    return plain;
}

} // namespace linuxbackend
