#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace foundation {

// The applications running for this user, each described by a dictionary
// with its "NSApplicationBundleIdentifier". An instance is listed from its
// launch until its process ends; a process that has ended, however it ended,
// is never listed.
class RunningApplications {
  public:
    using Description = std::map<std::string, std::string>;

    // Lists this process under the identifier for as long as it lives.
    static void registerLaunch(const std::string& bundleIdentifier);
    static std::vector<Description> launchedApplications();

    // Where registrations live: "quelmar-running" in $XDG_RUNTIME_DIR, else
    // "quelmar-running-UID" in the temporary directory.
    static std::filesystem::path registrationFolder();
};

} // namespace foundation
