#include "platform/foundation/Bundle.h"

#include "platform/foundation/ResourcesFolder.h"

#include <fstream>
#include <map>
#include <sstream>
#include <system_error>

namespace foundation {

Bundle& Bundle::mainBundle() {
    static Bundle bundle = forExecutableLink("/proc/self/exe");
    return bundle;
}

// Relative to the folder above the executable's: /usr/bin/x finds
// /usr/share/quelmar-drive-updater, build/bin/x finds build/share/...
Bundle Bundle::forExecutableLink(const std::filesystem::path& selfExeLink) {
    Bundle bundle;
    std::error_code error;
    const auto executable = std::filesystem::read_symlink(selfExeLink, error);
    if (error) {
        bundle.unavailableReason_ = selfExeLink.string() + ": " + error.message();
    } else {
        bundle.resources_ = executable.parent_path().parent_path() / kResourcesBelowPrefix;
    }
    return bundle;
}

std::optional<std::string> Bundle::pathForResource(std::string_view fileName) const {
    if (!resources_ || fileName.empty() || fileName.find('/') != std::string_view::npos) {
        return std::nullopt;
    }
    const auto path = *resources_ / fileName;
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        return std::nullopt;
    }
    return path.string();
}

void Bundle::setResourcePath(std::optional<std::filesystem::path> path) {
    resources_ = std::move(path);
}

namespace {

// Reads a string table: lines of the form "key" = "value"; in which a
// backslash escapes the next character (\n is a line feed); other lines are
// skipped.
std::map<std::string, std::string> readStringTable(const std::filesystem::path& file) {
    std::map<std::string, std::string> table;
    std::ifstream in(file);
    std::string line;
    const auto quoted = [](const std::string& text, std::size_t& at) -> std::optional<std::string> {
        at = text.find('"', at);
        if (at == std::string::npos) {
            return std::nullopt;
        }
        std::string result;
        for (++at; at < text.size(); ++at) {
            if (text[at] == '\\' && at + 1 < text.size()) {
                const char next = text[++at];
                result += next == 'n' ? '\n' : next;
            } else if (text[at] == '"') {
                ++at;
                return result;
            } else {
                result += text[at];
            }
        }
        return std::nullopt;
    };
    while (std::getline(in, line)) {
        std::size_t at = 0;
        const auto key = quoted(line, at);
        if (!key || line.find('=', at) == std::string::npos) {
            continue;
        }
        at = line.find('=', at);
        if (const auto value = quoted(line, at)) {
            table[*key] = *value;
        }
    }
    return table;
}

} // namespace

std::string Bundle::localizedStringForKey(const std::string& key, const std::string& value) const {
    if (resources_) {
        const auto table = readStringTable(*resources_ / "en.lproj" / "Localizable.strings");
        if (const auto found = table.find(key); found != table.end()) {
            return found->second;
        }
    }
    return value.empty() ? key : value;
}

} // namespace foundation
