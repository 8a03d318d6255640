#include "platform/foundation/RunningApplications.h"

#include "platform/foundation/FileDescriptor.h"

#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <system_error>
#include <unistd.h>

namespace foundation {
namespace {

constexpr const char* kIdentifierKey = "NSApplicationBundleIdentifier";

bool isHeldByALiveProcess(const std::filesystem::path& file) {
    const FileDescriptor descriptor(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    return descriptor.valid() && ::flock(descriptor.get(), LOCK_SH | LOCK_NB) != 0;
}

} // namespace

std::filesystem::path RunningApplications::registrationFolder() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime) {
        return std::filesystem::path(runtime) / "quelmar-running";
    }
    return std::filesystem::temp_directory_path() /
           ("quelmar-running-" + std::to_string(::getuid()));
}

void RunningApplications::registerLaunch(const std::string& bundleIdentifier) {
    // A registration is a file that its process keeps locked: the kernel drops
    // the lock when the process ends, so a stale file never counts.
    static FileDescriptor registration;
    if (registration.valid()) {
        return;
    }
    std::error_code error;
    const auto folder = registrationFolder() / bundleIdentifier;
    std::filesystem::create_directories(folder, error);
    // Locked under a hidden name first, then put in place: a lister never
    // sees the registration unlocked, which it would take for a stale one.
    const std::string name = std::to_string(::getpid());
    const auto unlisted = folder / ("." + name);
    registration = FileDescriptor(::open(unlisted.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!registration.valid()) {
        return;
    }
    ::flock(registration.get(), LOCK_EX);
    std::filesystem::rename(unlisted, folder / name, error);
}

std::vector<RunningApplications::Description> RunningApplications::launchedApplications() {
    std::vector<Description> running;
    std::error_code error;
    for (const auto& application :
         std::filesystem::directory_iterator(registrationFolder(), error)) {
        for (const auto& instance :
             std::filesystem::directory_iterator(application.path(), error)) {
            if (instance.path().filename().string().starts_with('.')) {
                continue;
            }
            if (isHeldByALiveProcess(instance.path())) {
                running.push_back({{kIdentifierKey, application.path().filename().string()}});
            } else {
                std::filesystem::remove(instance.path(), error);
            }
        }
    }
    return running;
}

} // namespace foundation
