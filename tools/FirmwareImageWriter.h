#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

// Writes demonstration firmware images with the updater's header layout: the
// identity fields at their offsets in a header region that is zero around
// them, and a reproducible pattern after it.
namespace tools {

struct ImageIdentity {
    std::string product;
    std::string revision;
    std::string hardVersion;
    std::string kernelVersion;
    std::string destVersion;
    std::string date;
};

// The identities of the two demonstration images.
ImageIdentity demoKernelImageIdentity();
ImageIdentity demoNormalImageIdentity();

inline constexpr std::uint64_t kDemoKernelImageSize = 74240; // more than the 70,144 bytes sent
inline constexpr std::uint64_t kDemoNormalImageSize =
    1049000; // about 1 MiB, 168 past a 256 boundary

// Streams the image to `path` in pieces, so images of any size cost little
// memory. Throws std::runtime_error when the file cannot be written.
void writeFirmwareImage(const std::filesystem::path& path, const ImageIdentity& identity,
                        std::uint64_t size);

} // namespace tools
