#pragma once

#include <filesystem>
#include <string>

// How many of this process's descriptors are open on the node, even if the
// node has been removed since.
inline int descriptorsOpenOn(const std::string& node) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
        count += target == node || target == node + " (deleted)" ? 1 : 0;
    }
    return count;
}
