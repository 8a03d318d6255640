#include "platform/foundation/RunningApplications.h"

#include "platform/foundation/FileDescriptor.h"
#include "platform/foundation/Log.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace foundation {
namespace {

constexpr const char* kIdentifierKey = "NSApplicationBundleIdentifier";
// Held exclusively by a launch from its registration until it has counted.
constexpr const char* kLaunchLockName = ".lock";
constexpr const char* kListingSignature = "static std::vector<Description> "
                                          "RunningApplications::launchedApplications(const "
                                          "std::string&)";

std::string reason(int error) {
    return std::system_category().message(error);
}

// A folder that must not be used, and what the user can do about it.
std::string unusable(const std::filesystem::path& folder, const std::string& why) {
    return folder.string() + " " + why + "; remove it or set XDG_RUNTIME_DIR.";
}

std::string failed(const std::filesystem::path& place, const char* what, int error) {
    return place.string() + " cannot be " + what + " (" + reason(error) + ").";
}

bool ownedByUs(const struct stat& status) {
    return status.st_uid == ::geteuid();
}

FileDescriptor openFolder(int parent, const std::string& name) {
    return FileDescriptor(::openat(parent, name.c_str(),
                                   O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
}

// Opens `folder`, a name in the folder open as `parent`, without following a
// link, creating it private when `create` and it is absent. Leaves `opened`
// invalid when it is absent and not to be created; answers why it cannot be
// used when it is not a real directory of this user that only this user can
// reach.
std::optional<std::string> openPrivateFolder(int parent, const std::filesystem::path& folder,
                                             bool create, FileDescriptor& opened) {
    const std::string name = folder.filename().string();
    FileDescriptor descriptor = openFolder(parent, name);
    int error = errno;
    if (!descriptor.valid() && error == ENOENT) {
        if (!create) {
            return std::nullopt;
        }
        if (::mkdirat(parent, name.c_str(), 0700) != 0 && errno != EEXIST) {
            return folder.string() + " cannot be created (" + reason(errno) +
                   "); set XDG_RUNTIME_DIR.";
        }
        descriptor = openFolder(parent, name);
        error = errno;
    }
    if (!descriptor.valid()) {
        struct stat entry {};
        if (::fstatat(parent, name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) == 0) {
            if (S_ISLNK(entry.st_mode)) {
                return unusable(folder, "is a symbolic link");
            }
            if (!S_ISDIR(entry.st_mode)) {
                return unusable(folder, "is not a directory");
            }
        }
        return failed(folder, "opened", error);
    }
    struct stat status {};
    if (::fstat(descriptor.get(), &status) != 0) {
        return failed(folder, "examined", errno);
    }
    if (!ownedByUs(status)) {
        return unusable(folder, "is owned by another user");
    }
    if ((status.st_mode & 022) != 0) {
        return unusable(folder, "is open to other users (mode " +
                                    format("%04o", static_cast<unsigned>(status.st_mode & 07777)) +
                                    ")");
    }
    // Earlier versions of the updater left their folders readable by others:
    // nobody else could put anything in such a folder, so it is made private
    // again instead of locking the user out.
    if ((status.st_mode & 077) != 0 && ::fchmod(descriptor.get(), 0700) != 0) {
        return failed(folder, "made private", errno);
    }
    opened = std::move(descriptor);
    return std::nullopt;
}

// Opens the identifier's folder of registrations and the folder that holds
// it, both by the rules above.
std::optional<std::string> openIdentifierFolder(const std::string& bundleIdentifier, bool create,
                                                FileDescriptor& opened,
                                                std::filesystem::path& where) {
    const auto registrations = RunningApplications::registrationFolder();
    where = registrations / bundleIdentifier;
    // The place named by XDG_RUNTIME_DIR or TMPDIR is the user's choice, and
    // /tmp may be a link: only what this program names in it is held to the rules.
    const auto base = registrations.parent_path();
    const FileDescriptor parent(::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parent.valid()) {
        return base.string() + " cannot be opened (" + reason(errno) + "); set XDG_RUNTIME_DIR.";
    }
    FileDescriptor folders;
    if (auto problem = openPrivateFolder(parent.get(), registrations, create, folders);
        problem || !folders.valid()) {
        return problem;
    }
    return openPrivateFolder(folders.get(), where, create, opened);
}

bool isProcessNumber(std::string_view name) {
    return !name.empty() && name.size() <= 10 && name.front() != '0' &&
           std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

enum class Standing { NotARegistration, Running, Ended, Unknown };

// What an entry of an identifier's folder is. Only a regular file of this user
// named by a process number can be a registration, and it is opened only once
// it is known to be one, so that nothing else put there can block, redirect
// or fool the check. A registration runs while its process holds its lock.
Standing standingOf(int folder, const std::string& name, int& error) {
    if (!isProcessNumber(name)) {
        return Standing::NotARegistration;
    }
    struct stat entry {};
    if (::fstatat(folder, name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) {
        error = errno;
        return error == ENOENT ? Standing::NotARegistration : Standing::Unknown;
    }
    if (!S_ISREG(entry.st_mode) || !ownedByUs(entry)) {
        return Standing::NotARegistration;
    }
    const FileDescriptor file(
        ::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file.valid()) {
        error = errno;
        return error == ENOENT || error == ELOOP ? Standing::NotARegistration : Standing::Unknown;
    }
    struct stat opened {};
    if (::fstat(file.get(), &opened) != 0) {
        error = errno;
        return Standing::Unknown;
    }
    if (opened.st_dev != entry.st_dev || opened.st_ino != entry.st_ino) {
        return Standing::NotARegistration;
    }
    if (::flock(file.get(), LOCK_SH | LOCK_NB) == 0) {
        return Standing::Ended;
    }
    error = errno;
    return error == EWOULDBLOCK ? Standing::Running : Standing::Unknown;
}

struct DirectoryCloser {
    void operator()(DIR* directory) const { ::closedir(directory); }
};

// Collects the names of the registrations in the identifier's folder whose
// process runs; one that cannot be checked is taken to run. When `sweep`, the
// registrations of ended processes are removed and one that cannot be checked
// is a problem.
std::optional<std::string> scan(int folder, const std::filesystem::path& where, bool sweep,
                                std::vector<std::string>& running) {
    const int copy = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (copy < 0) {
        return failed(where, "read", errno);
    }
    const std::unique_ptr<DIR, DirectoryCloser> entries(::fdopendir(copy));
    if (!entries) {
        const int error = errno;
        ::close(copy);
        return failed(where, "read", error);
    }
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(entries.get());
        if (entry == nullptr) {
            return errno == 0 ? std::nullopt : std::optional(failed(where, "read", errno));
        }
        const std::string name = entry->d_name;
        int error = 0;
        switch (standingOf(folder, name, error)) {
        case Standing::NotARegistration:
            break;
        case Standing::Running:
            running.push_back(name);
            break;
        case Standing::Ended:
            if (sweep && ::unlinkat(folder, name.c_str(), 0) != 0 && errno != ENOENT) {
                return failed(where / name, "removed", errno);
            }
            break;
        case Standing::Unknown:
            if (sweep) {
                return failed(where / name, "checked", error);
            }
            running.push_back(name);
            break;
        }
    }
}

// Opens a file of this program's own in the identifier's folder, creating it
// for this user alone; anything else under that name is refused.
std::optional<std::string> openOwnFile(int folder, const std::filesystem::path& where,
                                       const std::string& name, FileDescriptor& opened) {
    FileDescriptor file(::openat(folder, name.c_str(),
                                 O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    if (!file.valid()) {
        return failed(where / name, "created", errno);
    }
    struct stat status {};
    if (::fstat(file.get(), &status) != 0) {
        return failed(where / name, "examined", errno);
    }
    if (!S_ISREG(status.st_mode) || !ownedByUs(status)) {
        return (where / name).string() + " is not a regular file of this user; remove it.";
    }
    opened = std::move(file);
    return std::nullopt;
}

// This process's registration, and until it has listed, its hold on launches.
struct Launch {
    std::string identifier;
    std::filesystem::path where;
    FileDescriptor folder;
    FileDescriptor launchLock;
    FileDescriptor registration;
};

std::mutex launchMutex;

Launch& launch() {
    static Launch registered;
    return registered;
}

} // namespace

std::filesystem::path RunningApplications::registrationFolder() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime) {
        return std::filesystem::path(runtime) / "quelmar-running";
    }
    const char* temporary = std::getenv("TMPDIR");
    return std::filesystem::path(temporary != nullptr && *temporary ? temporary : "/tmp") /
           ("quelmar-running-" + std::to_string(::geteuid()));
}

std::optional<std::string>
RunningApplications::registerLaunch(const std::string& bundleIdentifier) {
    const std::lock_guard guard(launchMutex);
    if (launch().registration.valid()) {
        return std::nullopt;
    }
    Launch starting{bundleIdentifier, {}, {}, {}, {}};
    if (auto problem =
            openIdentifierFolder(bundleIdentifier, true, starting.folder, starting.where)) {
        return problem;
    }
    const int folder = starting.folder.get();
    if (auto problem = openOwnFile(folder, starting.where, kLaunchLockName, starting.launchLock)) {
        return problem;
    }
    while (::flock(starting.launchLock.get(), LOCK_EX) != 0) {
        if (errno != EINTR) {
            return failed(starting.where / kLaunchLockName, "locked", errno);
        }
    }
    // Registrations of ended processes go while the other launches are held
    // back, so none is removed between its creation and its lock.
    std::vector<std::string> running;
    if (auto problem = scan(folder, starting.where, true, running)) {
        return problem;
    }
    // A registration is a file that its process keeps locked: the kernel drops
    // the lock when the process ends, so a stale file never counts. Launches
    // look only under the launch lock, so none sees it before it is locked.
    const std::string name = std::to_string(::getpid());
    if (auto problem = openOwnFile(folder, starting.where, name, starting.registration)) {
        return problem;
    }
    if (::flock(starting.registration.get(), LOCK_EX | LOCK_NB) != 0) {
        return failed(starting.where / name, "locked", errno);
    }
    launch() = std::move(starting);
    return std::nullopt;
}

std::optional<std::filesystem::path>
RunningApplications::pathInRegistrationFolder(std::string_view entry) {
    const std::lock_guard guard(launchMutex);
    const Launch& registered = launch();
    if (!registered.registration.valid()) {
        return std::nullopt;
    }
    return std::filesystem::path("/proc/self/fd") / std::to_string(registered.folder.get()) / entry;
}

std::vector<RunningApplications::Description>
RunningApplications::launchedApplications(const std::string& bundleIdentifier) {
    const std::lock_guard guard(launchMutex);
    Launch& registered = launch();
    std::vector<std::string> running;
    std::optional<std::string> problem;
    if (registered.registration.valid() && registered.identifier == bundleIdentifier) {
        problem = scan(registered.folder.get(), registered.where, false, running);
        // Counted: the launches held back may go on. A child forked since
        // shares the lock, so it is released, not just closed.
        if (registered.launchLock.valid()) {
            if (::flock(registered.launchLock.get(), LOCK_UN) != 0) {
                Log::error(kListingSignature,
                           failed(registered.where / kLaunchLockName, "unlocked", errno));
            }
            registered.launchLock.close();
        }
    } else {
        FileDescriptor folder;
        std::filesystem::path where;
        problem = openIdentifierFolder(bundleIdentifier, false, folder, where);
        if (!problem && folder.valid()) {
            problem = scan(folder.get(), where, false, running);
        }
    }
    if (problem) {
        Log::error(kListingSignature, *problem);
    }
    return std::vector<Description>(running.size(), {{kIdentifierKey, bundleIdentifier}});
}

} // namespace foundation
