#include "platform/foundation/Bundle.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <unistd.h>

TEST(Bundle, LocalizedStringsComeFromTheStringTableOrAreTheKey) {
    auto& bundle = foundation::Bundle::mainBundle();
    const auto saved = bundle.resourcePath();
    const auto folder = std::filesystem::temp_directory_path() / "quelmar-bundle-test";
    std::filesystem::create_directories(folder / "en.lproj");
    std::ofstream(folder / "en.lproj" / "Localizable.strings")
        << "/* A comment. */\n"
           "\"MESSAGE_NO_DRIVE_UPDATED\" = \"No drive \\\"found\\\".\";\n";
    bundle.setResourcePath(folder);

    EXPECT_EQ(bundle.localizedStringForKey("MESSAGE_NO_DRIVE_UPDATED"), "No drive \"found\".");
    EXPECT_EQ(bundle.localizedStringForKey("MESSAGE_DONT_DISCONNECTUSB"),
              "MESSAGE_DONT_DISCONNECTUSB");
    EXPECT_EQ(bundle.pathForResource("en.lproj"), (folder / "en.lproj").string());
    EXPECT_EQ(bundle.pathForResource("../etc"), std::nullopt);

    bundle.setResourcePath(saved);
    std::filesystem::remove_all(folder);
}

TEST(Bundle, TheBuildTreeFindsItsStringTableLikeAnInstalledProgram) {
    const auto& bundle = foundation::Bundle::mainBundle();
    EXPECT_NE(bundle.pathForResource("en.lproj"), std::nullopt);
    EXPECT_NE(bundle.localizedStringForKey("MESSAGE_DONT_DISCONNECTUSB"),
              "MESSAGE_DONT_DISCONNECTUSB");
}

TEST(Bundle, ResourcesAreBesideTheExecutableOrNowhereNeverInTheCurrentFolder) {
    const auto folder = std::filesystem::temp_directory_path() /
                        ("quelmar-bundle-cwd-" + std::to_string(::getpid()));
    // Resources planted where a lookup relative to the current folder finds them.
    std::filesystem::create_directories(folder / "share/quelmar-drive-updater/en.lproj");
    std::ofstream(folder / "share/quelmar-drive-updater/en.lproj/Localizable.strings")
        << "\"MESSAGE_NO_DRIVE_UPDATED\" = \"planted\";\n";
    std::filesystem::create_symlink("/opt/q/bin/quelmar-drive-updater", folder / "exe");
    const auto savedCurrent = std::filesystem::current_path();
    std::filesystem::current_path(folder);

    const auto beside = foundation::Bundle::forExecutableLink(folder / "exe");
    EXPECT_EQ(beside.resourcePath(), "/opt/q/share/quelmar-drive-updater");
    EXPECT_EQ(beside.unavailableReason(), std::nullopt);

    const auto missing = folder / "no-such-link";
    const auto nowhere = foundation::Bundle::forExecutableLink(missing);
    EXPECT_EQ(nowhere.resourcePath(), std::nullopt);
    EXPECT_EQ(nowhere.pathForResource("en.lproj"), std::nullopt);
    EXPECT_EQ(nowhere.localizedStringForKey("MESSAGE_NO_DRIVE_UPDATED"),
              "MESSAGE_NO_DRIVE_UPDATED");
    EXPECT_EQ(nowhere.unavailableReason(), missing.string() + ": No such file or directory");

    std::filesystem::current_path(savedCurrent);
    std::filesystem::remove_all(folder);
}
