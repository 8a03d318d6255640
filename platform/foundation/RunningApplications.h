#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace foundation {

// The applications running for this user, each described by a dictionary
// with its "NSApplicationBundleIdentifier". An instance is listed from its
// launch until its process ends; a process that has ended, however it ended,
// is never listed.
//
// Registrations live in a folder that only this user can reach. Nothing found
// there that this process did not put there the way it puts a registration
// (a regular file of this user named by a process number) is ever opened,
// counted or removed.
class RunningApplications {
  public:
    using Description = std::map<std::string, std::string>;

    // Lists this process under the identifier for as long as it lives, and
    // holds other launches under it back until this process has listed the
    // identifier's instances once: of launches at the same moment, the first
    // lists only itself, the next two, and so on. Answers what makes keeping
    // track unsafe or impossible (naming the place and, for an unusable
    // folder, what to do), and then nothing is registered.
    static std::optional<std::string> registerLaunch(const std::string& bundleIdentifier);
    // The instances running under the identifier, this one included once it
    // has registered.
    static std::vector<Description> launchedApplications(const std::string& bundleIdentifier);

    // Where registrations live: "quelmar-running" in $XDG_RUNTIME_DIR, else
    // "quelmar-running-UID" in $TMPDIR or /tmp; one folder per identifier in it.
    static std::filesystem::path registrationFolder();

    // A path to `entry` in this process's identifier folder, through the
    // folder opened at registration: short enough for a Unix socket's address
    // wherever the folder lies, and never redirected by a link. None before
    // registerLaunch has succeeded.
    static std::optional<std::filesystem::path> pathInRegistrationFolder(std::string_view entry);
};

} // namespace foundation
