#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Which of the two images: the drive takes each into a buffer of its own.
enum class ImageSelector { Normal, Kernel };

// Where the identity fields sit in a firmware image's header, and the names
// of the two images among the resources. The image generator writes the same
// layout.
namespace FirmwareImageLayout {

struct Field {
    std::uint64_t offset;
    std::int32_t length;
};

inline constexpr Field kProduct{96, 29};
inline constexpr Field kRevision{144, 5};
inline constexpr Field kHardVersion{176, 8};
inline constexpr Field kKernelVersion{208, 8};
inline constexpr Field kDestVersion{240, 8};
inline constexpr Field kDate{304, 8};
// A file shorter than this holds no whole header.
inline constexpr std::uint64_t kHeaderSize = kDate.offset + kDate.length;

// The drive takes the first 70,144 bytes of the kernel image, and a normal
// image of at most 16 MiB (after rounding up to 256 bytes): WRITE BUFFER
// addresses it with 24 bits of offset.
inline constexpr std::uint64_t kKernelImageSentSize = 70144;
inline constexpr std::uint64_t kNormalImageLimit = std::uint64_t{1} << 24;
inline constexpr std::uint64_t kTransferGranule = 256;
inline constexpr std::uint64_t roundUpToGranule(std::uint64_t size) {
    return (size + kTransferGranule - 1) / kTransferGranule * kTransferGranule;
}

inline constexpr std::string_view kKernelImageBaseName = "S8721020";
inline constexpr std::string_view kNormalImageBaseName = "S8721021";
inline constexpr std::string_view kImageExtension = "102";

inline std::string imageFileName(std::string_view baseName) {
    return std::string(baseName) + "." + std::string(kImageExtension);
}

} // namespace FirmwareImageLayout
