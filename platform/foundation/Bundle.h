#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace foundation {

// The application's resources: share/quelmar-drive-updater under the folder
// that holds the executable's bin/ folder, in the build and install trees alike.
// When the executable cannot be found there are no resources at all: a folder
// relative to the current one could be anybody's.
class Bundle {
  public:
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
    // The translation of `key` from the string table "Localizable.strings" of
    // the "en.lproj" resources; `value` when given and there is none, else the
    // key itself.
    std::string localizedStringForKey(const std::string& key, const std::string& value = {}) const;

  private:
    Bundle() = default;
    std::optional<std::filesystem::path> resources_;
    std::optional<std::string> unavailableReason_;
};

} // namespace foundation
