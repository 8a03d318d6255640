#include "platform/foundation/Bundle.h"

#include "platform/foundation/ResourcesFolder.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
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
    std::lock_guard lock(localizations_->mutex);
    localizations_->tables.clear();
}

namespace {

constexpr const char* kDevelopmentLanguage = "en";
constexpr const char* kTableFileName = "Localizable.strings";

std::optional<std::string> fromProcessEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

std::optional<std::string> nonEmpty(const Bundle::Environment& environment, const char* name) {
    auto value = environment(name);
    return value && !value->empty() ? value : std::nullopt;
}

// "de_AT.UTF-8@euro" is "de_AT"; a name that could be anything but a
// language, a path for one, is none.
std::optional<std::string> languageOf(std::string_view locale) {
    locale = locale.substr(0, locale.find_first_of(".@"));
    const bool plain = std::all_of(locale.begin(), locale.end(), [](unsigned char c) {
        return std::isalnum(c) != 0 || c == '_' || c == '-';
    });
    if (locale.empty() || std::isalpha(static_cast<unsigned char>(locale.front())) == 0 || !plain ||
        locale == "C" || locale == "POSIX") {
        return std::nullopt;
    }
    return std::string(locale);
}

} // namespace

std::vector<std::string> Bundle::preferredLanguages(const Environment& environment) {
    std::optional<std::string> locale = nonEmpty(environment, "LC_ALL");
    if (!locale) {
        locale = nonEmpty(environment, "LC_MESSAGES");
    }
    if (!locale) {
        locale = nonEmpty(environment, "LANG");
    }
    // Without a locale, or in C or POSIX, programs speak English whatever
    // LANGUAGE says.
    if (!locale || !languageOf(*locale)) {
        return {};
    }
    std::vector<std::string> wanted;
    const auto add = [&wanted](std::string_view entry) {
        const auto language = languageOf(entry);
        if (!language) {
            return;
        }
        for (const std::string& name : {*language, language->substr(0, language->find('_'))}) {
            if (std::find(wanted.begin(), wanted.end(), name) == wanted.end()) {
                wanted.push_back(name);
            }
        }
    };
    const std::string list = nonEmpty(environment, "LANGUAGE").value_or("");
    for (std::size_t at = 0; at <= list.size();) {
        const std::size_t colon = std::min(list.find(':', at), list.size());
        add(std::string_view(list).substr(at, colon - at));
        at = colon + 1;
    }
    add(*locale);
    return wanted;
}

std::string Bundle::localizationFor(const Environment& environment) const {
    for (const std::string& language : preferredLanguages(environment)) {
        std::error_code error;
        if (language == kDevelopmentLanguage ||
            (resources_ && std::filesystem::is_regular_file(
                               *resources_ / (language + ".lproj") / kTableFileName, error))) {
            return language;
        }
    }
    return kDevelopmentLanguage;
}

std::string Bundle::localization() const {
    std::lock_guard lock(localizations_->mutex);
    if (!localizations_->language) {
        localizations_->language = localizationFor(fromProcessEnvironment);
    }
    return *localizations_->language;
}

void Bundle::setLocalization(std::optional<std::string> language) {
    std::lock_guard lock(localizations_->mutex);
    localizations_->language = std::move(language);
}

Bundle::StringTable Bundle::readStringTable(const std::filesystem::path& file) {
    StringTable table;
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

// Called with the lock held; a table is read once.
const Bundle::StringTable& Bundle::tableOf(const std::string& language) const {
    auto [found, added] = localizations_->tables.try_emplace(language);
    if (added && resources_) {
        found->second = readStringTable(*resources_ / (language + ".lproj") / kTableFileName);
    }
    return found->second;
}

std::string Bundle::localizedStringForKey(const std::string& key, const std::string& value) const {
    const std::string language = localization();
    std::lock_guard lock(localizations_->mutex);
    for (const std::string& name : {language, std::string(kDevelopmentLanguage)}) {
        const StringTable& table = tableOf(name);
        if (const auto found = table.find(key); found != table.end()) {
            return found->second;
        }
    }
    return value.empty() ? key : value;
}

} // namespace foundation
