#include "platform/foundation/Bundle.h"

#include <array>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using testing::HasSubstr;

namespace {

// The installed command's way in: the executable itself, on a scenario of
// virtual drives, with no display, and a runtime folder of its own so that no
// other updater running on this machine counts as another instance.
class TerminalCommand : public ::testing::Test {
  protected:
    struct Outcome {
        int status = -1; // the exit status, or 128 + the signal that ended it
        std::string out;
        std::string err;
    };

    TerminalCommand() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "quelmar-terminal-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            folder_ = pattern;
        }
    }
    ~TerminalCommand() override {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    static std::string updater() {
        return (std::filesystem::read_symlink("/proc/self/exe").parent_path() /
                "quelmar-drive-updater")
            .string();
    }

    void scenario(const std::string& json) { std::ofstream(folder_ / "scenario.json") << json; }

    // Runs the command to its end; `onError` sees standard error grow, and
    // may act on the process, as it is written.
    Outcome run(std::vector<std::string> arguments,
                const std::function<void(const std::string&, pid_t)>& onError = {}) {
        const auto outFile = folder_ / "out";
        std::array<int, 2> errPipe{};
        if (::pipe(errPipe.data()) != 0) {
            return {};
        }
        const pid_t child = ::fork();
        if (child == 0) {
            ::dup2(errPipe[1], STDERR_FILENO);
            ::close(errPipe[0]);
            ::close(errPipe[1]);
            if (std::FILE* out = std::freopen(outFile.c_str(), "w", stdout); out == nullptr) {
                ::_exit(127);
            }
            if (std::FILE* in = std::freopen("/dev/null", "r", stdin); in == nullptr) {
                ::_exit(127);
            }
            ::unsetenv("DISPLAY");
            ::unsetenv("WAYLAND_DISPLAY");
            ::setenv("QT_QPA_PLATFORM", "xcb", 1);
            ::setenv("QUELMAR_SCENARIO", (folder_ / "scenario.json").c_str(), 1);
            ::setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
            const std::string program = updater();
            std::vector<char*> argv{const_cast<char*>(program.c_str())};
            for (auto& argument : arguments) {
                argv.push_back(argument.data());
            }
            argv.push_back(nullptr);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(errPipe[1]);
        Outcome outcome;
        std::array<char, 4096> buffer{};
        for (ssize_t n; (n = ::read(errPipe[0], buffer.data(), buffer.size())) > 0;) {
            outcome.err.append(buffer.data(), static_cast<std::size_t>(n));
            if (onError) {
                onError(outcome.err, child);
            }
        }
        ::close(errPipe[0]);
        int status = 0;
        ::waitpid(child, &status, 0);
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::ifstream in(outFile);
        outcome.out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return outcome;
    }

    std::filesystem::path folder_;
};

} // namespace

TEST_F(TerminalCommand, ListsWithoutTheEnginesTraceUnlessVerbose) {
    scenario(R"({ "drives": [ { "id": "a" }, { "id": "b", "revision": "1.02" } ] })");
    const Outcome quiet = run({"--list"});
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.err, "");
    EXPECT_THAT(quiet.out, testing::StartsWith("Firmware carried: BD-RW KLV-TN82WA 1.0220101015\n"
                                               "1  QUELMAR  BD-RW KLV-TN82WA 1.012010/9/30 \n"));

    const Outcome verbose = run({"--list", "--verbose"});
    EXPECT_EQ(verbose.status, 0);
    EXPECT_THAT(verbose.err, HasSubstr("Found device class \"VirtualAuthoringDrive\""));
}

TEST_F(TerminalCommand, RefusesWithStatusFourWhileTheWindowRuns) {
    scenario(R"({ "drives": [ { "id": "a" } ] })");
    const pid_t window = ::fork();
    if (window == 0) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::setenv("QUELMAR_SCENARIO", (folder_ / "scenario.json").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        ::execl(updater().c_str(), updater().c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // The window registers first thing.
    const auto registration = folder_ / "quelmar-running" /
                              foundation::Bundle::mainBundle().bundleIdentifier() /
                              std::to_string(window);
    for (int i = 0; i < 2000 && !std::filesystem::exists(registration); ++i) {
        ::usleep(10000);
    }
    const Outcome second = run({"--update", "1", "--yes"});
    ::kill(window, SIGKILL);
    ::waitpid(window, nullptr, 0);

    EXPECT_EQ(second.status, 4);
    EXPECT_THAT(second.err, HasSubstr("another instance of the updater is running"));
    EXPECT_EQ(second.out, "");
}

TEST_F(TerminalCommand, ASignalDuringTheUpdateIsHeldOffUntilTheDriveIsBackThenHonoured) {
    // The install outlasts the signal's way to the process many times over.
    scenario(R"({ "drives": [ { "id": "a" }, { "id": "b", "installPolls": 20,
                                "installPollMilliseconds": 100 } ] })");
    bool sent = false;
    const Outcome run2 =
        run({"--update", "2", "--yes"}, [&sent](const std::string& err, pid_t pid) {
            if (!sent && err.find("Updating drive 2...\n") != std::string::npos) {
                ::kill(pid, SIGTERM);
                sent = true;
            }
        });
    ASSERT_TRUE(sent);
    EXPECT_EQ(run2.status, 128 + SIGTERM);
    EXPECT_THAT(run2.err, HasSubstr("Not stopping yet: the drive is being updated."));
    EXPECT_EQ(run2.out, "Complete! Drive 2 now reports revision 1.02.\n");
}
