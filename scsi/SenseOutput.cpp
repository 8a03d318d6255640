#include "scsi/SenseOutput.h"

#include "platform/foundation/Log.h"
#include "scsi/AdditionalSenseTable.h"

#include <algorithm>
#include <cstddef>
#include <limits>

namespace {

constexpr std::uint8_t kDiagnosticFailureAsc = 0x40;
constexpr std::uint8_t kTaggedOverlappedAsc = 0x4D;

// The line index of the READ BUFFER dump is a 16-bit count.
constexpr std::size_t kMaxReadBufferDump = std::numeric_limits<std::uint16_t>::max();

std::uint8_t byteAt(std::span<const std::uint8_t> data, std::size_t index) {
    return index < data.size() ? data[index] : 0;
}

// A fixed-width text field as "%.<width>s" prints it: up to width bytes, ending
// early at a zero byte or at the end of the data.
std::string textField(std::span<const std::uint8_t> data, std::size_t offset, std::size_t width) {
    std::string text;
    for (std::size_t i = offset; i < offset + width && i < data.size() && data[i] != 0; ++i) {
        text += static_cast<char>(data[i]);
    }
    return text;
}

} // namespace

std::string SenseString(const SCSI_Sense_Data& sense, bool includeCodes) {
    const std::uint8_t key = sense.senseKey();
    const std::uint8_t asc = sense.additionalSenseCode();
    const std::uint8_t ascq = sense.additionalSenseCodeQualifier();

    const auto text = scsi::additionalSenseText(asc, ascq);
    if (!text) {
        // These two codes carry a number in the qualifier instead of a fixed meaning.
        if (asc == kTaggedOverlappedAsc) {
            return foundation::format("Tagged overlapped commands, queue tag = $%02x", ascq);
        }
        if (asc == kDiagnosticFailureAsc) {
            return foundation::format("Diagnostic failure on component $%02x", ascq);
        }
    }

    std::string line;
    if (includeCodes) {
        line = foundation::format("Key: $%02x, ASC: $%02x, ASCQ: $%02x  ", key, asc, ascq);
    }
    line += scsi::senseKeyName(key);
    line += ", ";
    if (text) {
        line += *text;
    }
    return line;
}

void PrintSenseString(const SCSI_Sense_Data& sense, bool includeCodes) {
    foundation::Log::toStandardError(SenseString(sense, includeCodes) + "\n");
}

void PrintSCSIInquiryDataUsing(std::span<const std::uint8_t> data) {
    using foundation::format;
    using foundation::Log;
    Log::toStandardError("\n*********** INQUIRY DATA ***********\n");
    Log::toStandardError(
        format("Got inquiry results size = %lu\n", static_cast<unsigned long>(data.size())));
    Log::toStandardError(format("  Peripheral device type = 0x%02x\n", byteAt(data, 0) & 0x1F));
    Log::toStandardError(format("  Removable media bit = %d\n", byteAt(data, 1) & 0x80));
    Log::toStandardError(format("  Version = 0x%x\n", byteAt(data, 2)));
    Log::toStandardError(format("  Response data format = 0x%x\n", byteAt(data, 3)));
    Log::toStandardError(format("  Additional length = 0x%x\n", byteAt(data, 4)));
    Log::toStandardError(format("  SCCS and Reserved = 0x%x\n", byteAt(data, 5)));
    Log::toStandardError(format("  Byte 6 flags = 0x%x\n", byteAt(data, 6)));
    Log::toStandardError(format("  Byte 7 flags = 0x%x\n", byteAt(data, 7)));
    Log::toStandardError(
        format("  Vendor identification  = \"%s\"\n", textField(data, 8, 8).c_str()));
    Log::toStandardError(
        format("  Product identification = \"%s\"\n", textField(data, 16, 16).c_str()));
    Log::toStandardError(
        format("  Product revision level = \"%s\"\n", textField(data, 32, 4).c_str()));
    Log::toStandardError("\n");
}

void PrintReadBuffer(std::span<const std::uint8_t> data) {
    using foundation::format;
    using foundation::Log;
    const std::size_t size = std::min(data.size(), kMaxReadBufferDump);
    Log::toStandardError("\n*********** READ_BUFFER DATA ***********\n");
    Log::toStandardError(
        format("Got readBuf results size = %lu\n", static_cast<unsigned long>(size)));
    // A zero byte is written as it is, like every other byte value.
    for (std::size_t i = 0; i < size; ++i) {
        Log::toStandardError(format("  (%02d) = [%c]\n", static_cast<int>(i), data[i]));
    }
    Log::toStandardError("\n");
}
