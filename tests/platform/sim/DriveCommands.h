#pragma once

#include "platform/sim/VirtualDrive.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

// The host's side of the commands, built byte by byte as a host sends them.

namespace sim::test {

using Bytes = std::vector<std::uint8_t>;
using Reply = std::array<std::uint8_t, 256>;

inline constexpr std::size_t chunkSize = 32768;

inline Bytes modeChangeList() {
    Bytes list(256, 0);
    const std::string_view family = "QUELMAR KLV-TN82";
    std::copy(family.begin(), family.end(), list.begin());
    list[16] = 0x5C;
    list[17] = 0x17;
    list[18] = 0xA9;
    list[19] = 0xE2;
    return list;
}

inline Bytes writeBufferCdb(std::uint8_t buffer, std::uint32_t offset, std::uint32_t length) {
    Bytes cdb{0x3B, 0x05, buffer, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    for (int byte = 0; byte < 3; ++byte) {
        cdb[5 - byte] = static_cast<std::uint8_t>(offset >> (8 * byte));
        cdb[8 - byte] = static_cast<std::uint8_t>(length >> (8 * byte));
    }
    return cdb;
}

inline CommandResult testUnitReady(VirtualDrive& drive) {
    const Bytes cdb(6, 0);
    return drive.execute(cdb, {}, Direction::None);
}

inline CommandResult inquiry(VirtualDrive& drive, Reply& reply, std::uint8_t allocation = 0x38) {
    const Bytes cdb{0x12, 0, 0, 0, allocation, 0};
    return drive.execute(cdb, reply, Direction::FromDrive);
}

inline CommandResult readVersions(VirtualDrive& drive, Reply& reply) {
    const Bytes cdb{0x3C, 0x02, 0xF1, 0, 0, 0, 0, 0, 0x30, 0, 0, 0};
    return drive.execute(cdb, reply, Direction::FromDrive);
}

inline CommandResult changeMode(VirtualDrive& drive, Bytes list = modeChangeList()) {
    return drive.execute(writeBufferCdb(0xFF, 0, 256), list, Direction::ToDrive);
}

inline CommandResult writeImage(VirtualDrive& drive, std::uint8_t buffer, std::uint32_t offset,
                                Bytes chunk) {
    return drive.execute(writeBufferCdb(buffer, offset, static_cast<std::uint32_t>(chunk.size())),
                         chunk, Direction::ToDrive);
}

// Sends a whole image in transfers of at most 32768 bytes, as the updater does.
inline void writeWholeImage(VirtualDrive& drive, std::uint8_t buffer, const Bytes& image) {
    for (std::size_t offset = 0; offset < image.size(); offset += chunkSize) {
        const auto end =
            image.begin() + static_cast<std::ptrdiff_t>(std::min(image.size(), offset + chunkSize));
        writeImage(drive, buffer, static_cast<std::uint32_t>(offset),
                   Bytes(image.begin() + static_cast<std::ptrdiff_t>(offset), end));
    }
}

// An image of the given size whose header carries the given revision.
inline Bytes imageWithRevision(std::size_t size, std::string_view revision) {
    Bytes image(size, 0xA5);
    std::fill_n(image.begin() + 144, 5, 0);
    std::copy(revision.begin(), revision.end(), image.begin() + 144);
    return image;
}

inline std::string text(const Reply& reply, std::size_t offset, std::size_t length) {
    return {reply.begin() + static_cast<std::ptrdiff_t>(offset),
            reply.begin() + static_cast<std::ptrdiff_t>(offset + length)};
}

inline std::string revisionOf(VirtualDrive& drive) {
    Reply reply{};
    inquiry(drive, reply);
    return text(reply, 32, 4);
}

// Status, sense key, ASC and ASCQ in one comparable value.
inline std::tuple<int, int, int, int> outcome(const CommandResult& result) {
    return {result.status, result.sense[2] & 0x0F, result.sense[12], result.sense[13]};
}

inline std::tuple<int, int, int, int> good() {
    return {0, 0, 0, 0};
}
inline std::tuple<int, int, int, int> checkCondition(int key, int asc, int ascq) {
    return {2, key, asc, ascq};
}

} // namespace sim::test
