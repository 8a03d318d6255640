#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace foundation {

// The application's resources: share/quelmar-drive-updater under the folder
// that holds the executable's bin/ folder, in the build and install trees alike.
class Bundle {
  public:
    static Bundle& mainBundle();

    // The full path of the resource with this full file name, or none; a name
    // with a slash in it is never a resource.
    std::optional<std::string> pathForResource(std::string_view fileName) const;
    std::filesystem::path resourcePath() const;
    // Points the bundle at another folder (tests, or a relocated install).
    void setResourcePath(std::filesystem::path path);

    std::string bundleIdentifier() const { return "com.quelmar.QuelmarDriveUpdater"; }
    // The translation of `key` from the string table "Localizable.strings" of
    // the "en.lproj" resources; `value` when given and there is none, else the
    // key itself.
    std::string localizedStringForKey(const std::string& key, const std::string& value = {}) const;

  private:
    Bundle();
    std::filesystem::path resources_;
};

} // namespace foundation
