#include "platform/foundation/Bundle.h"
#include "platform/foundation/Localized.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <string>

// The string tables as shipped: each language has exactly the English keys,
// and each translation takes what the code hands the English text.
TEST(StringTables, EveryLanguageHasEveryEnglishKeyWithTheSameArgumentsAndNoOther) {
    using foundation::Bundle;
    const std::filesystem::path sources = std::filesystem::path(QUELMAR_SOURCE_DIR) / "resources";
    const auto tableOf = [&sources](const std::string& language) {
        return Bundle::readStringTable(sources / (language + ".lproj") / "Localizable.strings");
    };
    const Bundle::StringTable english = tableOf("en");
    ASSERT_GT(english.size(), 80U);
    // A key that is a format is the one the code formats with.
    for (const auto& [key, text] : english) {
        EXPECT_TRUE(foundation::takesSameArguments(key, text)) << "en: " << key;
    }

    std::set<std::string> languages;
    for (const auto& entry : std::filesystem::directory_iterator(sources)) {
        if (entry.path().extension() == ".lproj") {
            languages.insert(entry.path().stem().string());
        }
    }
    EXPECT_EQ(languages, (std::set<std::string>{"de", "en", "es", "fr", "ja", "zh_CN"}));
    for (const std::string& language : languages) {
        // The build lays every table out where the program finds it.
        EXPECT_TRUE(Bundle::mainBundle().pathForResource(language + ".lproj")) << language;
        const Bundle::StringTable table = tableOf(language);
        for (const auto& [key, text] : english) {
            const auto found = table.find(key);
            if (found == table.end()) {
                ADD_FAILURE() << language << " lacks: " << key;
            } else {
                EXPECT_TRUE(foundation::takesSameArguments(text, found->second))
                    << language << ": " << key << " -> " << found->second;
            }
        }
        for (const auto& [key, text] : table) {
            EXPECT_TRUE(english.contains(key)) << language << " has a key English lacks: " << key;
        }
    }
}
