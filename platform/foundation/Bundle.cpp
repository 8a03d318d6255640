#include "platform/foundation/Bundle.h"

#include <system_error>

namespace foundation {

Bundle& Bundle::mainBundle() {
    static Bundle bundle;
    return bundle;
}

Bundle::Bundle() {
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    resources_ =
        error ? std::filesystem::path("resources") : executable.parent_path() / "resources";
}

std::optional<std::string> Bundle::pathForResource(std::string_view fileName) const {
    if (fileName.empty() || fileName.find('/') != std::string_view::npos) {
        return std::nullopt;
    }
    const auto path = resources_ / fileName;
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        return std::nullopt;
    }
    return path.string();
}

std::filesystem::path Bundle::resourcePath() const {
    return resources_;
}

void Bundle::setResourcePath(std::filesystem::path path) {
    resources_ = std::move(path);
}

} // namespace foundation
