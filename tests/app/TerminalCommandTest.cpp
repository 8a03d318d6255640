#include "platform/foundation/Bundle.h"

#include <array>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <string>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
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

    void scenario(const std::string& json) { std::ofstream(folder_ / "scenario.json") << json; }

    // This user's folder of running instances of the updater.
    std::filesystem::path instanceFolder() const {
        return folder_ / "quelmar-running" / foundation::Bundle::mainBundle().bundleIdentifier();
    }

    // Starts the window, its output discarded, and waits up to 20 s for the
    // file that `entry` names (given the window's process) in the instance folder.
    template <typename Entry>
    pid_t spawnWindowUntil(Entry entry) {
        const int nowhere = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        const pid_t window = spawn({}, "offscreen", nowhere, nowhere);
        ::close(nowhere);
        const auto path = instanceFolder() / entry(window);
        for (int i = 0; i < 2000 && !std::filesystem::exists(path); ++i) {
            ::usleep(10000);
        }
        return window;
    }

    // Starts the updater with these arguments, no display, its standard input
    // empty and its output on the descriptors given. Everything is made ready
    // before the fork: the child of a process with threads only execs.
    pid_t spawn(std::vector<std::string> arguments, const std::string& platform, int out, int err) {
        const std::string program = (std::filesystem::read_symlink("/proc/self/exe").parent_path() /
                                     "quelmar-drive-updater")
                                        .string();
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (auto& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        // A sanitized build checks the command too, but not Qt, whose own
        // threads synchronise where ThreadSanitizer cannot see it.
        const char* tsan = std::getenv("TSAN_OPTIONS");
        std::vector<std::string> variables{
            "QT_QPA_PLATFORM=" + platform,
            "QUELMAR_SCENARIO=" + (folder_ / "scenario.json").string(),
            "XDG_RUNTIME_DIR=" + folder_.string(),
            std::string("TSAN_OPTIONS=ignore_noninstrumented_modules=1 ") +
                (tsan != nullptr ? tsan : "")};
        for (char** variable = environ; *variable != nullptr; ++variable) {
            const std::string_view name(*variable, std::strcspn(*variable, "="));
            if (name != "DISPLAY" && name != "WAYLAND_DISPLAY" && name != "QT_QPA_PLATFORM" &&
                name != "QUELMAR_SCENARIO" && name != "XDG_RUNTIME_DIR" && name != "TSAN_OPTIONS") {
                variables.emplace_back(*variable);
            }
        }
        std::vector<char*> envp;
        for (auto& variable : variables) {
            envp.push_back(variable.data());
        }
        envp.push_back(nullptr);
        const int nothing = ::open("/dev/null", O_RDONLY | O_CLOEXEC);

        const pid_t child = ::fork();
        if (child == 0) {
            // The command starts as a shell would start it: no signal blocked
            // or ignored, and no core file when a signal ends it.
            sigset_t none;
            sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            ::signal(SIGPIPE, SIG_DFL);
            const rlimit noCore{0, 0};
            ::setrlimit(RLIMIT_CORE, &noCore);
            ::dup2(nothing, STDIN_FILENO);
            ::dup2(out, STDOUT_FILENO);
            ::dup2(err, STDERR_FILENO);
            ::execve(program.c_str(), argv.data(), envp.data());
            ::_exit(127);
        }
        ::close(nothing);
        return child;
    }

    // Runs the command to its end; `onError` sees standard error grow, and
    // may act on the process, as it is written. Standard output goes to a
    // file, or to `toOut` when given. No display unless `platform` offers one.
    Outcome run(std::vector<std::string> arguments,
                const std::function<void(const std::string&, pid_t)>& onError = {}, int toOut = -1,
                const std::string& platform = "xcb") {
        const auto outFile = folder_ / "out";
        const int out =
            toOut >= 0 ? ::dup(toOut)
                       : ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        std::array<int, 2> errPipe{};
        if (out < 0 || ::pipe2(errPipe.data(), O_CLOEXEC) != 0) {
            return {};
        }
        const pid_t child = spawn(std::move(arguments), platform, out, errPipe[1]);
        ::close(out);
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
        if (toOut >= 0) {
            return outcome;
        }
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
    // The window registers first thing.
    const pid_t window = spawnWindowUntil([](pid_t pid) { return std::to_string(pid); });
    const Outcome second = run({"--update", "1", "--yes"});
    ::kill(window, SIGKILL);
    ::waitpid(window, nullptr, 0);

    EXPECT_EQ(second.status, 4);
    EXPECT_THAT(second.err, HasSubstr("another instance of the updater is running"));
    EXPECT_EQ(second.out, "");
}

TEST_F(TerminalCommand, ASecondWindowBringsTheFirstToTheFrontAndSaysSo) {
    scenario(R"({ "drives": [ { "id": "a" } ] })");
    // The socket appears once the window listens on it.
    const pid_t window = spawnWindowUntil([](pid_t) { return std::string("window"); });
    const auto socket = instanceFolder() / "window";
    const Outcome raised = run({});
    // As with a running terminal command, or an older window.
    std::filesystem::remove(socket);
    const Outcome unreachable = run({});
    ::kill(window, SIGKILL);
    ::waitpid(window, nullptr, 0);

    EXPECT_EQ(raised.status, 0);
    EXPECT_EQ(raised.err, "quelmar-drive-updater: the updater is already running; its window has "
                          "been brought to the front.\n");
    EXPECT_EQ(unreachable.status, 0);
    EXPECT_EQ(unreachable.err, "quelmar-drive-updater: the updater is already running.\n");
}

TEST_F(TerminalCommand, AnUnreadableScenarioIsNamedAndEndsWithStatusSevenInTheWindowToo) {
    // No scenario file is written.
    const std::string message = (folder_ / "scenario.json").string() + ": cannot be opened\n";
    const Outcome listed = run({"--list"});
    EXPECT_EQ(listed.status, 7);
    EXPECT_EQ(listed.err, message);

    // The window shows it in an alert too (tested in the process); asked to
    // quit, it ends with the same status.
    bool asked = false;
    const Outcome window = run(
        {},
        [&](const std::string& err, pid_t pid) {
            if (!asked && err.starts_with(message)) {
                asked = ::kill(pid, SIGTERM) == 0;
            }
        },
        -1, "offscreen");
    EXPECT_TRUE(asked);
    EXPECT_EQ(window.status, 7);
    EXPECT_THAT(window.err, testing::StartsWith(message));
}

TEST_F(TerminalCommand, RefusesWithStatusFiveWhereInstancesCannotBeKeptTrackOfSafely) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "a folder of another user needs root to make";
    }
    scenario(R"({ "drives": [ { "id": "a" } ] })");
    const auto registrations = folder_ / "quelmar-running";
    std::filesystem::create_directory(registrations);
    ASSERT_EQ(::chown(registrations.c_str(), 65534, 65534), 0);
    // The window too: it refuses on standard error before it needs a display.
    for (const auto& arguments : {std::vector<std::string>{"--list"}, std::vector<std::string>{}}) {
        const Outcome refused = run(arguments);
        EXPECT_EQ(refused.status, 5);
        EXPECT_EQ(refused.err,
                  "quelmar-drive-updater: cannot keep track of running instances: " +
                      registrations.string() +
                      " is owned by another user; remove it or set XDG_RUNTIME_DIR.\n");
        EXPECT_EQ(refused.out, "");
    }
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
    // Ended by the signal, a sanitized command cannot fail its status.
    EXPECT_THAT(run2.err, testing::Not(HasSubstr("Sanitizer")));
}

TEST_F(TerminalCommand, AStormOfSignalsDuringTheUpdateIsHeldAndOneThatEndsActsAfterTheResult) {
    scenario(R"({ "drives": [ { "id": "a", "installPolls": 20,
                                "installPollMilliseconds": 50 } ] })");
    std::atomic<bool> over = false;
    std::thread storm;
    const Outcome outcome = run({"--update", "1", "--yes"}, [&](const std::string& err, pid_t pid) {
        if (storm.joinable() || err.find("Updating drive 1...\n") == std::string::npos) {
            return;
        }
        // A process descriptor never names another process, even once this one is gone.
        const int process = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
        storm = std::thread([process, &over] {
            while (!over) {
                for (const int signal : {SIGTSTP, SIGCONT, SIGINT, SIGQUIT, SIGHUP, SIGTERM}) {
                    ::syscall(SYS_pidfd_send_signal, process, signal, nullptr, 0);
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                }
            }
            ::close(process);
        });
    });
    over = true;
    ASSERT_TRUE(storm.joinable());
    storm.join();
    EXPECT_EQ(outcome.out, "Complete! Drive 1 now reports revision 1.02.\n");
    EXPECT_THAT(outcome.status,
                testing::AnyOf(128 + SIGINT, 128 + SIGQUIT, 128 + SIGHUP, 128 + SIGTERM));
    EXPECT_THAT(outcome.err, HasSubstr("Not stopping yet: the drive is being updated."));
}

TEST_F(TerminalCommand, AClosedPipeDoesNotStopTheUpdateAndIsReported) {
    // The install outlasts the reader by far: the result line meets a closed pipe.
    scenario(R"({ "drives": [ { "id": "a", "installPolls": 5,
                                "installPollMilliseconds": 200 } ] })");
    std::array<int, 2> outPipe{};
    ASSERT_EQ(::pipe2(outPipe.data(), O_CLOEXEC), 0);
    // As `| head -1` does: the reader goes after the first line of the trace.
    std::thread reader([&outPipe] {
        for (char c = 0; ::read(outPipe[0], &c, 1) == 1 && c != '\n';) {
        }
        ::close(outPipe[0]);
    });
    const Outcome outcome = run({"--update", "1", "--yes", "--verbose"}, {}, outPipe[1]);
    ::close(outPipe[1]);
    reader.join();
    EXPECT_EQ(outcome.status, 0);
    EXPECT_THAT(outcome.err, HasSubstr("quelmar-drive-updater: some of the output could not be "
                                       "written; the update succeeded.\n"));
}

TEST_F(TerminalCommand, OutputThatCannotBeWrittenFailsTheCommandWithStatusSix) {
    scenario(R"({ "drives": [ { "id": "a" } ] })");
    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"--list"}, "the list could not be written to standard output (No space left on device)"},
        {{"--list", "--json"}, "the list could not be written"},
        {{"--help"}, "the help could not be written to standard output (No space left on device)"},
        {{"--version"}, "the version could not be written"},
    };
    for (const auto& [arguments, message] : cases) {
        const Outcome outcome = run(arguments, {}, full);
        EXPECT_EQ(outcome.status, 6) << arguments.front();
        EXPECT_THAT(outcome.err, HasSubstr("quelmar-drive-updater: " + message)) << outcome.err;
    }
    ::close(full);
}
