#include "platform/foundation/RunningApplications.h"

#include "platform/foundation/Bundle.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

long countOf(const std::string& identifier) {
    const auto running = foundation::RunningApplications::launchedApplications();
    return std::count_if(running.begin(), running.end(), [&](const auto& description) {
        return description.at("NSApplicationBundleIdentifier") == identifier;
    });
}

} // namespace

TEST(RunningApplications, ListLiveInstancesAndNeverOneWhoseProcessEnded) {
    std::string folder =
        (std::filesystem::temp_directory_path() / "quelmar-running-XXXXXX").string();
    ASSERT_NE(::mkdtemp(folder.data()), nullptr);
    ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);

    // An instance that registered and then ended, however it ended.
    const pid_t child = ::fork();
    if (child == 0) {
        foundation::RunningApplications::registerLaunch("com.example.Ended");
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(countOf("com.example.Ended"), 0);

    // One registering now: not yet locked, so neither counted nor removed.
    const auto registering = std::filesystem::path(folder) / "quelmar-running/com.example.Live/.7";
    std::filesystem::create_directories(registering.parent_path());
    std::ofstream{registering};

    foundation::RunningApplications::registerLaunch("com.example.Live");
    foundation::RunningApplications::registerLaunch("com.example.Live");
    EXPECT_EQ(countOf("com.example.Live"), 1);
    EXPECT_TRUE(std::filesystem::exists(registering));

    ::unsetenv("XDG_RUNTIME_DIR");
    std::filesystem::remove_all(folder);
}
