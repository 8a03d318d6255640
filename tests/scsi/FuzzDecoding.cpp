#include "platform/foundation/Log.h"
#include "platform/sim/Scenario.h"
#include "records/FirmFileData.h"
#include "records/Util.h"
#include "scsi/ReplyDecoding.h"
#include "scsi/STUCMethod.h"
#include "scsi/SenseOutput.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

// Feeds arbitrary bytes to every decoder of what comes from outside: drive
// replies, firmware image headers and scenario files. Each decoder takes the
// whole input; add new ones to kDecoders.

namespace {

using Bytes = std::span<const std::uint8_t>;

void decodeSense(Bytes input) {
    SCSI_Sense_Data sense;
    std::copy_n(input.begin(), std::min(input.size(), sense.bytes.size()), sense.bytes.begin());
    for (const bool includeCodes : {false, true}) {
        const std::string line = SenseString(sense, includeCodes);
        // Whatever the record holds, its sense line is one short line.
        if (line.size() >= 256 || line.find('\n') != std::string::npos) {
            std::abort();
        }
        PrintSenseString(sense, includeCodes);
    }
}

// Replies land in the commands' 256-byte buffers; shorter and longer inputs
// check that the decoders keep to the span they are given.
void decodeReplies(Bytes input) {
    DeviceData record;
    storeInquiryData(input, record);
    storeReadBufferData(input, record);
    Util::isTargetModel(record.product());
    SCSI_Sense_Data sense;
    std::copy_n(input.begin(), std::min(input.size(), sense.bytes.size()), sense.bytes.begin());
    Util::isPresenceOfDisc(sense);
}

// An image header as the user's file gives it, judged against a drive that
// answered with the same bytes.
void decodeImageHeader(Bytes input) {
    FirmFileData header;
    header.readHeaderOfBytes(input);
    FirmFileData again;
    again.readHeaderOfBytes(input);
    // The same bytes read twice are the same header.
    if (header.headerFieldDifferingFrom(again)) {
        std::abort();
    }
    DeviceData drive;
    storeInquiryData(input, drive);
    storeReadBufferData(input, drive);
    CanUpdateWith(drive, header);
}

// A scenario file may be refused, but only with the reader's own error.
void parseScenario(Bytes input) {
    const std::string_view text(reinterpret_cast<const char*>(input.data()), input.size());
    try {
        sim::Scenario::parse(text, "fuzz.json");
    } catch (const std::runtime_error&) {
    }
}

constexpr std::array<void (*)(Bytes), 6> kDecoders{
    decodeSense,     decodeReplies, decodeImageHeader, parseScenario, PrintSCSIInquiryDataUsing,
    PrintReadBuffer,
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    foundation::Log::setSink([](foundation::LogChannel, std::string_view) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Bytes input(data, size);
    for (const auto decode : kDecoders) {
        decode(input);
    }
    return 0;
}
