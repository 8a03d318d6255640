#include "tools/FirmwareImageWriter.h"

#include "records/FirmwareImageLayout.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace tools {
namespace {

constexpr std::size_t kPieceSize = std::size_t{64} * 1024;
constexpr std::size_t kHeaderEnd = 320;

// Each byte a fixed hash of its position (multiply and xor-shift): the same
// bytes on every build.
std::uint8_t patternByte(std::uint64_t position) {
    std::uint64_t x = position * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull;
    x ^= x >> 33;
    x *= 0xFF51AFD7ED558CCDull;
    x ^= x >> 33;
    return static_cast<std::uint8_t>(x);
}

void placeField(std::vector<std::uint8_t>& header, FirmwareImageLayout::Field field,
                const std::string& text) {
    const auto length = std::min<std::size_t>(text.size(), static_cast<std::size_t>(field.length));
    std::memcpy(header.data() + field.offset, text.data(), length);
}

} // namespace

ImageIdentity demoKernelImageIdentity() {
    return {"BD-RW KLV-TN82WA", "1.02", "KLVH0100", "KRNL0102", "WW000001", "20101015"};
}

ImageIdentity demoNormalImageIdentity() {
    return {"BD-RW KLV-TN82WA", "1.02", "KLVH0100", "KRNL0102", "WW000001", "20101015"};
}

void writeFirmwareImage(const std::filesystem::path& path, const ImageIdentity& identity,
                        std::uint64_t size) {
    using namespace FirmwareImageLayout;
    // The header region is zero apart from the fields, so each field ends at
    // its first zero byte.
    std::vector<std::uint8_t> header(kHeaderEnd, 0);
    placeField(header, kProduct, identity.product);
    placeField(header, kRevision, identity.revision);
    placeField(header, kHardVersion, identity.hardVersion);
    placeField(header, kKernelVersion, identity.kernelVersion);
    placeField(header, kDestVersion, identity.destVersion);
    placeField(header, kDate, identity.date);

    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
    std::vector<std::uint8_t> piece(kPieceSize);
    for (std::uint64_t position = 0; position < size;) {
        const auto count =
            static_cast<std::size_t>(std::min<std::uint64_t>(kPieceSize, size - position));
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint64_t at = position + i;
            piece[i] = at < kHeaderEnd ? header[at] : patternByte(at);
        }
        out.write(reinterpret_cast<const char*>(piece.data()), static_cast<std::streamsize>(count));
        position += count;
    }
    if (!out.flush()) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

} // namespace tools
