#pragma once

#include <optional>
#include <string>

namespace foundation {

// The application's defaults, kept by QSettings in the user's configuration
// (redirect with XDG_CONFIG_HOME, or QSettings::setPath, before first use).
class UserDefaults {
  public:
    static UserDefaults& standardUserDefaults();

    void setFloat(float value, const std::string& key);
    std::optional<float> floatForKey(const std::string& key) const;
};

} // namespace foundation
