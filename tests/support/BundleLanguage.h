#pragma once

#include "platform/foundation/Bundle.h"

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

// The bundle speaks `language` while this lives, from the build's string
// tables laid beside a test's firmware images (with English, the fallback).
class BundleLanguage {
  public:
    BundleLanguage(const std::filesystem::path& resources, const std::string& language) {
        const auto built = foundation::Bundle::forExecutableLink("/proc/self/exe").resourcePath();
        if (!built) {
            throw std::runtime_error("the build's resources are unknown");
        }
        for (const std::string& name : {std::string("en"), language}) {
            std::filesystem::create_directory_symlink(*built / (name + ".lproj"),
                                                      resources / (name + ".lproj"));
        }
        foundation::Bundle::mainBundle().setLocalization(language);
    }
    ~BundleLanguage() { foundation::Bundle::mainBundle().setLocalization(std::nullopt); }

    BundleLanguage(const BundleLanguage&) = delete;
    BundleLanguage& operator=(const BundleLanguage&) = delete;
};
