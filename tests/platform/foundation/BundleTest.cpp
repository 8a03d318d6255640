#include "platform/foundation/Bundle.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

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
