#include "scsi/ReplyDecoding.h"

#include "records/Util.h"

#include <string>

namespace {

// A "%.Ns" field: up to `width` bytes, ending early at a zero byte. Bytes
// above 7Fh are taken as Latin-1, so every reply gives valid text.
std::string characterField(std::span<const std::uint8_t> reply, std::size_t offset,
                           std::size_t width) {
    std::string text;
    for (std::size_t i = offset; i < offset + width && i < reply.size() && reply[i] != 0; ++i) {
        const std::uint8_t byte = reply[i];
        if (byte < 0x80) {
            text += static_cast<char>(byte);
        } else {
            text += static_cast<char>(0xC0 | (byte >> 6));
            text += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return text;
}

} // namespace

void storeInquiryData(std::span<const std::uint8_t> reply, DeviceData& deviceData) {
    deviceData.setVendor(characterField(reply, 8, 8));
    deviceData.setProduct(characterField(reply, 16, 16));
    deviceData.setRevision(characterField(reply, 32, 4));
    deviceData.setDate(characterField(reply, 36, 9));
    // A drive running its kernel firmware reports the revision "0000".
    deviceData.setDriveMode(deviceData.revision() == "0000" ? 1 : 0);
}

void storeReadBufferData(std::span<const std::uint8_t> reply, DeviceData& deviceData) {
    deviceData.setHard_version(Util::convertToString(reply, 16, 8));
    deviceData.setKrnl_version(Util::convertToString(reply, 24, 8));
    deviceData.setDest_version(Util::convertToString(reply, 32, 8));
    deviceData.setJudgeKrnl(Util::convertToString(reply, 40, 4));
}
