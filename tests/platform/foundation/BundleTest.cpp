#include "platform/foundation/Bundle.h"

#include "platform/foundation/Localized.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <unistd.h>
#include <utility>

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

TEST(Bundle, ChoosesTheLanguageOfTheLocaleAmongItsStringTables) {
    const auto& bundle = foundation::Bundle::mainBundle();
    using Settings = std::map<std::string, std::string>;
    for (const auto& [settings, chosen] : std::initializer_list<std::pair<Settings, std::string>>{
             {{{"LANG", "de_DE.UTF-8"}}, "de"},
             {{{"LANG", "de_AT.UTF-8@euro"}}, "de"},
             {{{"LANG", "zh_CN.UTF-8"}}, "zh_CN"},
             {{{"LANG", "zh_TW.UTF-8"}}, "en"},
             {{{"LANG", "pt_BR.UTF-8"}}, "en"},
             {{{"LANG", "ja_JP.UTF-8"}, {"LC_MESSAGES", "fr_FR.UTF-8"}}, "fr"},
             {{{"LANG", "ja_JP.UTF-8"}, {"LC_MESSAGES", "fr_FR"}, {"LC_ALL", "es_ES.UTF-8"}}, "es"},
             {{{"LANG", "de_DE.UTF-8"}, {"LC_ALL", ""}}, "de"},
             {{{"LANGUAGE", "eo:ja:fr"}, {"LANG", "de_DE.UTF-8"}}, "ja"},
             {{{"LANGUAGE", "en:fr"}, {"LANG", "de_DE.UTF-8"}}, "en"},
             {{{"LANGUAGE", "eo"}, {"LANG", "de_DE.UTF-8"}}, "de"},
             {{{"LANGUAGE", "../../etc:fr"}, {"LANG", "es_ES.UTF-8"}}, "fr"},
             {{{"LANGUAGE", "fr"}, {"LANG", "C.UTF-8"}}, "en"},
             {{{"LANGUAGE", "fr"}, {"LANG", "de_DE.UTF-8"}, {"LC_ALL", "POSIX"}}, "en"},
             {{{"LANGUAGE", "fr"}}, "en"},
             {{}, "en"},
         }) {
        const auto environment = [&settings](const char* name) -> std::optional<std::string> {
            const auto found = settings.find(name);
            return found != settings.end() ? std::optional(found->second) : std::nullopt;
        };
        std::string described;
        for (const auto& [name, value] : settings) {
            described += name + "=" + value + " ";
        }
        EXPECT_EQ(bundle.localizationFor(environment), chosen) << described;
    }
}

TEST(Bundle, ATranslationThatTakesOtherArgumentsGivesWayToTheEnglishText) {
    auto& bundle = foundation::Bundle::mainBundle();
    const auto saved = bundle.resourcePath();
    const auto folder = std::filesystem::temp_directory_path() /
                        ("quelmar-bundle-format-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder / "de.lproj");
    std::ofstream(folder / "de.lproj" / "Localizable.strings")
        << "\"Drive %ld: %s\" = \"Laufwerk %s: %ld\";\n"
           "\"%s: drive %ld\" = \"Laufwerk %2$ld (%1$s)\";\n"
           "\"Drive %ld of %zu\" = \"Laufwerk %1$ld von %3$zu\";\n"
           "\"Drive %ld.\" = \"Laufwerk %ld.%n\";\n"
           "\"Update\" = \"Aktualisieren\";\n";
    bundle.setResourcePath(folder);
    bundle.setLocalization("de");

    EXPECT_EQ(foundation::localized("Update"), "Aktualisieren");
    EXPECT_EQ(foundation::localizedFormat("%s: drive %ld", "sg3", 2L), "Laufwerk 2 (sg3)");
    // Types swapped, an argument number out of range, a write through %n.
    EXPECT_EQ(foundation::localizedFormat("Drive %ld: %s", 2L, "sg3"), "Drive 2: sg3");
    EXPECT_EQ(foundation::localizedFormat("Drive %ld of %zu", 2L, std::size_t{3}), "Drive 2 of 3");
    EXPECT_EQ(foundation::localizedFormat("Drive %ld.", 2L), "Drive 2.");

    bundle.setLocalization(std::nullopt);
    bundle.setResourcePath(saved);
    std::filesystem::remove_all(folder);
}
