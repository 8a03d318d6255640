#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

using testing::HasSubstr;

namespace {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::string contentsOf(const std::filesystem::path& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs the updater with no display at all, so that anything that goes on to
// open the window fails instead of answering.
Outcome runUpdater(const std::string& arguments) {
    const auto bin = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    const auto out =
        std::filesystem::temp_directory_path() / ("quelmar-cli-out-" + std::to_string(::getpid()));
    const auto err = std::filesystem::path(out.string() + "-err");
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb '" +
                                (bin / "quelmar-drive-updater").string() + "' " + arguments +
                                " >'" + out.string() + "' 2>'" + err.string() + "'";
    const int status = std::system(command.c_str());
    Outcome run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, contentsOf(out), contentsOf(err)};
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return run;
}

} // namespace

TEST(CommandLine, HelpAndVersionAnswerOnStandardOutputWithStatusZeroWithoutADisplay) {
    const Outcome version = runUpdater("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_THAT(version.out, testing::MatchesRegex("quelmar-drive-updater [0-9]+\\.[0-9]+\n"));
    EXPECT_EQ(version.err, "");

    const Outcome help = runUpdater("-h");
    EXPECT_EQ(help.status, 0);
    EXPECT_THAT(help.out, testing::StartsWith("Usage: "));
    EXPECT_THAT(help.out, HasSubstr("--version"));
}

TEST(CommandLine, UnknownOptionsAndStrayArgumentsAreRefusedWithStatusTwo) {
    for (const auto& [arguments, message] :
         {std::pair{"--bogus", "Unknown option 'bogus'."},
          std::pair{"-platform offscreen", "Unknown option 'platform'."},
          std::pair{"--help stray", "Unexpected argument 'stray'."},
          std::pair{"--list --update 1", "--list and --update cannot be combined."},
          std::pair{"--json", "--json goes with --list."},
          std::pair{"--list --yes", "--yes goes with --update."},
          std::pair{"--verbose", "--verbose goes with --list or --update."},
          std::pair{"--update", "Missing value after '--update'."},
          std::pair{"--update -1", "'-1' is not a position in the list"},
          std::pair{"--update 1x --yes", "'1x' is not a position in the list"}}) {
        const Outcome run = runUpdater(arguments);
        EXPECT_EQ(run.status, 2) << arguments;
        EXPECT_THAT(run.err, HasSubstr(message)) << arguments;
        EXPECT_THAT(run.err, HasSubstr("--help' for more information.")) << arguments;
        EXPECT_EQ(run.out, "") << arguments;
    }
}
