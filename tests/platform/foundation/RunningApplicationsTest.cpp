#include "platform/foundation/RunningApplications.h"

#include "platform/foundation/FileDescriptor.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <grp.h>
#include <gtest/gtest.h>
#include <numeric>
#include <poll.h>
#include <set>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using foundation::FileDescriptor;
using foundation::RunningApplications;
namespace fs = std::filesystem;

namespace {

constexpr uid_t kOtherUser = 65534;

// Sets an environment variable, or clears it, for the life of the guard.
class ScopedVariable {
  public:
    ScopedVariable(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* previous = std::getenv(name)) {
            previous_ = previous;
        }
        value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
    }
    ~ScopedVariable() { previous_ ? ::setenv(name_, previous_->c_str(), 1) : ::unsetenv(name_); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

  private:
    const char* name_;
    std::optional<std::string> previous_;
};

// A fresh private folder, removed with everything in it.
class TemporaryFolder {
  public:
    TemporaryFolder() {
        std::string pattern = (fs::temp_directory_path() / "quelmar-registry-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

// Every name under a folder, links not followed, each with its kind.
std::set<std::pair<std::string, int>> contentsOf(const fs::path& folder) {
    std::set<std::pair<std::string, int>> contents;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        contents.emplace(entry.path().string(), static_cast<int>(entry.symlink_status().type()));
    }
    return contents;
}

// Waits up to five seconds for the reading end to give `size` bytes or close.
std::string readWithin5s(int descriptor, std::size_t size) {
    std::string read;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (read.size() < size) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd ready{descriptor, POLLIN, 0};
        std::array<char, 256> buffer{};
        ssize_t n = 0;
        if (left.count() <= 0 || ::poll(&ready, 1, static_cast<int>(left.count())) != 1 ||
            (n = ::read(descriptor, buffer.data(), std::min(buffer.size(), size - read.size()))) <=
                0) {
            break;
        }
        read.append(buffer.data(), static_cast<std::size_t>(n));
    }
    return read;
}

void writeAll(int descriptor, const std::string& text) {
    if (::write(descriptor, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        ::_exit(3);
    }
}

// Runs `body` in a child process, as `user` when given, and answers what it
// returned; the child is killed when it has not answered within five seconds.
std::string inChild(const std::function<std::string()>& body, std::optional<uid_t> user = {}) {
    std::array<int, 2> channel{};
    if (::pipe2(channel.data(), O_CLOEXEC) != 0) {
        return "no pipe";
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        if (user && (::setgroups(0, nullptr) != 0 || ::setresgid(*user, *user, *user) != 0 ||
                     ::setresuid(*user, *user, *user) != 0)) {
            writeAll(channel[1], "cannot become the other user");
            ::_exit(1);
        }
        writeAll(channel[1], body() + "\n");
        ::_exit(0);
    }
    ::close(channel[1]);
    const FileDescriptor answers(channel[0]);
    std::string answer = readWithin5s(answers.get(), 4096);
    if (!answer.ends_with('\n')) {
        answer += "(no answer within 5 s)";
        ::kill(child, SIGKILL);
    }
    ::waitpid(child, nullptr, 0);
    return answer;
}

// What main does: register, then count.
std::string launch(const std::string& identifier) {
    if (const auto problem = RunningApplications::registerLaunch(identifier)) {
        return *problem;
    }
    return "running: " +
           std::to_string(RunningApplications::launchedApplications(identifier).size());
}

FileDescriptor lockedFile(const fs::path& path) {
    FileDescriptor file(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    EXPECT_EQ(::flock(file.get(), LOCK_EX), 0);
    return file;
}

} // namespace

// Tests fork and register only in the children: a registration lasts as long
// as its process, and a child would inherit the test program's.

TEST(RunningApplications, ListLiveInstancesAndNeverOneWhoseProcessEnded) {
    const TemporaryFolder folder;
    const ScopedVariable runtime("XDG_RUNTIME_DIR", folder.path().string());

    // An instance that registered and then ended, however it ended.
    EXPECT_EQ(inChild([] { return launch("com.example.Ended"); }), "running: 1\n");
    EXPECT_EQ(RunningApplications::launchedApplications("com.example.Ended").size(), 0U);
    const auto registrations = folder.path() / "quelmar-running" / "com.example.Ended";
    const auto left = contentsOf(registrations);
    ASSERT_EQ(left.size(), 2U); // the launch lock and the registration

    // The next launch, registering twice, lists only itself and clears what
    // the ended one left.
    EXPECT_EQ(inChild([] {
                  const auto problem = RunningApplications::registerLaunch("com.example.Ended");
                  return problem ? *problem : launch("com.example.Ended");
              }),
              "running: 1\n");
    for (const auto& [name, kind] : left) {
        EXPECT_EQ(fs::exists(name), name.ends_with("/.lock")) << name;
    }
}

TEST(RunningApplications, LaunchesAtTheSameMomentCountOneAfterAnother) {
    const TemporaryFolder folder;
    const ScopedVariable runtime("XDG_RUNTIME_DIR", folder.path().string());
    constexpr int kLaunches = 6;
    std::array<int, 2> start{};
    std::array<int, 2> counts{};
    std::array<int, 2> finish{};
    ASSERT_EQ(::pipe(start.data()), 0);
    ASSERT_EQ(::pipe(counts.data()), 0);
    ASSERT_EQ(::pipe(finish.data()), 0);
    std::vector<pid_t> children;
    for (int i = 0; i < kLaunches; ++i) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(start[1]);
            ::close(finish[1]);
            char nothing = 0;
            (void)::read(start[0], &nothing, 1);
            const bool registered = !RunningApplications::registerLaunch("com.example.Same");
            // However long a launch takes from registering to counting.
            ::usleep(20000);
            const auto count = static_cast<char>(
                registered ? RunningApplications::launchedApplications("com.example.Same").size()
                           : 0);
            writeAll(counts[1], std::string(1, count));
            // Every instance keeps running until all have counted.
            (void)::read(finish[0], &nothing, 1);
            ::_exit(0);
        }
        children.push_back(child);
    }
    ::close(start[0]);
    ::close(counts[1]);
    ::close(finish[0]);
    ::close(start[1]);
    const std::string seen = readWithin5s(counts[0], kLaunches);
    ::close(finish[1]);
    ::close(counts[0]);
    for (const pid_t child : children) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
    }

    // Exactly one saw only itself and went on: each later one saw all before it.
    std::vector<int> order(seen.begin(), seen.end());
    std::sort(order.begin(), order.end());
    std::vector<int> expected(kLaunches);
    std::iota(expected.begin(), expected.end(), 1);
    EXPECT_EQ(order, expected);
    EXPECT_EQ(RunningApplications::launchedApplications("com.example.Same").size(), 0U);
}

TEST(RunningApplications, WhatOthersPutInTheFolderIsNeverFollowedCountedOrWaitedFor) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "a file of another user needs root to make";
    }
    const TemporaryFolder folder;
    const ScopedVariable runtime("XDG_RUNTIME_DIR", folder.path().string());
    const auto outside = folder.path() / "outside";
    const auto registrations = folder.path() / "quelmar-running";
    const auto own = registrations / "com.example.Planted";
    fs::create_directories(outside);
    std::ofstream(outside / "keep") << "the user's";
    std::ofstream(outside / "4194401") << "looks like a registration";
    ASSERT_EQ(::mkdir(registrations.c_str(), 0700), 0);
    ASSERT_EQ(::mkdir(own.c_str(), 0700), 0);
    // Names of processes that cannot exist, so that none is this launch's.
    fs::create_directory_symlink(outside, registrations / "com.example.Other");
    fs::create_symlink(outside / "keep", own / "4194402");
    fs::create_directory_symlink(outside, own / "link");
    ASSERT_EQ(::mkfifo((own / "4194403").c_str(), 0600), 0);
    const auto heldA = lockedFile(own / "held-a");
    const auto heldB = lockedFile(own / "held-b");
    const auto notOurs = lockedFile(own / "4194404");
    ASSERT_EQ(::chown((own / "4194404").c_str(), kOtherUser, kOtherUser), 0);
    fs::create_directory(own / "4194405");
    std::ofstream(own / "4194405" / "inside") << "kept";
    std::ofstream(own / "4194406") << "left by an instance that ended";
    const auto before = contentsOf(folder.path());

    EXPECT_EQ(inChild([] { return launch("com.example.Planted"); }), "running: 1\n");

    // Only the ended instance's registration went; this launch's own came.
    auto after = contentsOf(folder.path());
    auto expected = before;
    expected.erase({(own / "4194406").string(), static_cast<int>(fs::file_type::regular)});
    for (auto entry = after.begin(); entry != after.end();) {
        const fs::path path(entry->first);
        entry = path.parent_path() == own && !before.contains(*entry) ? after.erase(entry)
                                                                      : std::next(entry);
    }
    EXPECT_EQ(after, expected);
}

TEST(RunningApplications, AnUnsafeFolderIsRefusedAndLeftAlone) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "a folder of another user needs root to make";
    }
    const std::string mine = "quelmar-running-" + std::to_string(::geteuid());
    const std::string advice = "; remove it or set XDG_RUNTIME_DIR.";
    struct Case {
        std::string planted; // under the temporary folder; in "run" it is $XDG_RUNTIME_DIR
        std::function<void(const fs::path& planted, const fs::path& victim)> plant;
        std::string why;
        std::optional<uid_t> user;
    };
    // Private folders that hold what looks like an ended instance's
    // registration: only the check under test keeps them from being used.
    const auto withRegistration = [](const fs::path& folder) {
        fs::create_directories(folder / "com.example.Hostile");
        fs::permissions(folder, fs::perms::owner_all);
        fs::permissions(folder / "com.example.Hostile", fs::perms::owner_all);
        std::ofstream(folder / "com.example.Hostile" / "4194401") << "not ours to remove";
    };
    const std::vector<Case> cases{
        {mine,
         [&](const fs::path& planted, const fs::path&) {
             withRegistration(planted);
             ASSERT_EQ(::chown(planted.c_str(), kOtherUser, kOtherUser), 0);
         },
         "is owned by another user" + advice, std::nullopt},
        {mine,
         [](const fs::path& planted, const fs::path& victim) {
             fs::create_directory_symlink(victim, planted);
         },
         "is a symbolic link" + advice, std::nullopt},
        {mine,
         [&](const fs::path& planted, const fs::path&) {
             withRegistration(planted);
             fs::permissions(planted, fs::perms::all);
         },
         "is open to other users (mode 0777)" + advice, std::nullopt},
        {mine, [](const fs::path& planted, const fs::path&) { std::ofstream{planted}; },
         "is not a directory" + advice, std::nullopt},
        {"quelmar-running-" + std::to_string(kOtherUser),
         [](const fs::path& planted, const fs::path&) {
             fs::permissions(planted.parent_path(),
                             fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec);
         },
         "cannot be created (Permission denied); set XDG_RUNTIME_DIR.", kOtherUser},
        {"run/quelmar-running",
         [&](const fs::path& planted, const fs::path&) {
             withRegistration(planted);
             ASSERT_EQ(::chown(planted.c_str(), kOtherUser, kOtherUser), 0);
         },
         "is owned by another user" + advice, std::nullopt},
        {"run/quelmar-running/com.example.Hostile",
         [](const fs::path& planted, const fs::path& victim) {
             fs::create_directory_symlink(victim / "com.example.Hostile", planted);
         },
         "is a symbolic link" + advice, std::nullopt},
        {"run/quelmar-running/com.example.Hostile",
         [](const fs::path& planted, const fs::path&) {
             fs::create_directory(planted);
             fs::permissions(planted, fs::perms::owner_all | fs::perms::group_all);
         },
         "is open to other users (mode 0770)" + advice, std::nullopt},
    };
    for (const auto& unsafe : cases) {
        SCOPED_TRACE(unsafe.planted + " " + unsafe.why);
        const TemporaryFolder folder;
        const auto planted = folder.path() / unsafe.planted;
        const auto runtimeFolder = folder.path() / "run";
        const bool inRuntime = unsafe.planted.starts_with("run/");
        const ScopedVariable runtime(
            "XDG_RUNTIME_DIR", inRuntime ? std::optional(runtimeFolder.string()) : std::nullopt);
        const ScopedVariable temporary("TMPDIR", folder.path().string());
        if (inRuntime) {
            ASSERT_EQ(::mkdir(runtimeFolder.c_str(), 0700), 0);
            ASSERT_TRUE(planted.parent_path() == runtimeFolder ||
                        ::mkdir(planted.parent_path().c_str(), 0700) == 0);
        }
        withRegistration(folder.path() / "victim");
        unsafe.plant(planted, folder.path() / "victim");
        const auto before = contentsOf(folder.path());

        EXPECT_EQ(inChild([] { return launch("com.example.Hostile"); }, unsafe.user),
                  planted.string() + " " + unsafe.why + "\n");
        EXPECT_EQ(contentsOf(folder.path()), before);
    }
}

TEST(RunningApplications, AFolderOfOursThatOthersCouldOnlyReadIsMadePrivate) {
    const TemporaryFolder folder;
    const ScopedVariable runtime("XDG_RUNTIME_DIR", folder.path().string());
    // As an earlier version of the updater left it.
    const auto left = folder.path() / "quelmar-running";
    ASSERT_EQ(::mkdir(left.c_str(), 0755), 0);
    ASSERT_EQ(::chmod(left.c_str(), 0755), 0);
    EXPECT_EQ(inChild([] { return launch("com.example.Upgraded"); }), "running: 1\n");
    EXPECT_EQ(fs::status(left).permissions(), fs::perms::owner_all);
}
