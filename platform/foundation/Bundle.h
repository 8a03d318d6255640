#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace foundation {

// The application's resources: share/quelmar-drive-updater under the folder
// that holds the executable's bin/ folder, in the build and install trees alike.
// When the executable cannot be found there are no resources at all: a folder
// relative to the current one could be anybody's.
//
// Texts for people come from string tables, one "NAME.lproj/Localizable.strings"
// per language (NAME as in a locale: "de", "zh_CN"); "en.lproj" holds the
// English texts, which are also the fallback for a key another table lacks.
class Bundle {
  public:
    // A variable of the process environment, or none when it is not set.
    using Environment = std::function<std::optional<std::string>(const char* name)>;
    using StringTable = std::map<std::string, std::string>;

    static Bundle& mainBundle();
    // The bundle of the executable that the link `selfExeLink` names
    // (/proc/self/exe for this process).
    static Bundle forExecutableLink(const std::filesystem::path& selfExeLink);

    // The full path of the resource with this full file name, or none; a name
    // with a slash in it is never a resource.
    std::optional<std::string> pathForResource(std::string_view fileName) const;
    std::optional<std::filesystem::path> resourcePath() const { return resources_; }
    // Points the bundle at another folder (tests, or a relocated install).
    void setResourcePath(std::optional<std::filesystem::path> path);
    // Why there are no resources (the link that could not be read, and the
    // error), or none when there are.
    const std::optional<std::string>& unavailableReason() const { return unavailableReason_; }

    std::string bundleIdentifier() const { return "com.quelmar.QuelmarDriveUpdater"; }

    // The languages the locale asks for, most wanted first, as gettext reads
    // it: the entries of LANGUAGE, then the locale (LC_ALL, else LC_MESSAGES,
    // else LANG), each without its ".codeset" and "@modifier" and followed by
    // its language alone ("de_AT", "de"). Empty for the C and POSIX locales,
    // which ignore LANGUAGE.
    static std::vector<std::string> preferredLanguages(const Environment& environment);
    // The first preferred language that has a string table here, or "en".
    std::string localizationFor(const Environment& environment) const;
    // The language of this process's texts: chosen from its environment at
    // the first lookup, unless set.
    std::string localization() const;
    // Sets the language (tests); none chooses from the environment again.
    void setLocalization(std::optional<std::string> language);

    // The translation of `key` in the table "Localizable.strings" of the
    // chosen language, else of English; `value` when given and neither has
    // one, else the key itself.
    std::string localizedStringForKey(const std::string& key, const std::string& value = {}) const;

    // Reads a string table: lines of the form "key" = "value"; in which a
    // backslash escapes the next character (\n is a line feed); other lines
    // are skipped. Empty when the file cannot be read.
    static StringTable readStringTable(const std::filesystem::path& file);

  private:
    Bundle() = default;
    const StringTable& tableOf(const std::string& language) const;

    std::optional<std::filesystem::path> resources_;
    std::optional<std::string> unavailableReason_;

    // Lookups come from any thread: the chosen language and the tables read
    // so far are kept under one lock.
    struct Localizations {
        std::mutex mutex;
        std::optional<std::string> language;
        std::map<std::string, StringTable> tables;
    };
    std::unique_ptr<Localizations> localizations_ = std::make_unique<Localizations>();
};

} // namespace foundation
