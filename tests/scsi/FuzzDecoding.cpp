#include "platform/foundation/Log.h"
#include "records/Util.h"
#include "scsi/ReplyDecoding.h"
#include "scsi/SenseOutput.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

// Feeds arbitrary bytes to every decoder of drive replies. Each decoder takes the
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

constexpr std::array<void (*)(Bytes), 4> kDecoders{
    decodeSense,
    decodeReplies,
    PrintSCSIInquiryDataUsing,
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
