#include "platform/foundation/Log.h"
#include "records/Util.h"
#include "scsi/CommandCodes.h"
#include "scsi/Precondition.h"
#include "scsi/ReplyDecoding.h"
#include "scsi/STUCMethod.h"
#include "scsi/Signatures.h"
#include "scsi/TaskRunner.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

using foundation::format;
using foundation::Log;

namespace {

constexpr std::size_t kReplyBufferSize = 256;
// TEST UNIT READY's answer when the drive reported no CHECK CONDITION, no
// progress was asked for, or the command was not carried out.
constexpr int kNoCondition = 65535;
constexpr int kOtherCondition = 1;

// The parameter list of CHANGE DRIVE MODE: vendor and model family, then the
// mode-change code. The same list switches either way.
constexpr std::array<std::uint8_t, 20> kChangeDriveModeParameters = {
    'Q', 'U', 'E', 'L', 'M', 'A', 'R',  ' ',  'K',  'L',
    'V', '-', 'T', 'N', '8', '2', 0x5C, 0x17, 0xA9, 0xE2};

void requireInterface(const SCSITaskDeviceInterface* interface, std::string_view function) {
    requirePrecondition(interface != nullptr, "interface != NULL", function);
}

bool isNotReady(const TaskOutcome& outcome) {
    return outcome.checkCondition() && outcome.sense.senseKey() == scsi::kSenseNotReady;
}

} // namespace

void CommandInquiry(SCSITaskDeviceInterface* interface, DeviceData* deviceData) {
    RequestInquiry(interface, deviceData);
}

InquiryAnswer RequestInquiry(SCSITaskDeviceInterface* interface, DeviceData* deviceData) {
    requireInterface(interface, "CommandInquiry");
    std::array<std::uint8_t, kReplyBufferSize> buffer{};
    const std::array<std::uint8_t, 6> cdb = {scsi::kInquiry,       0x00, 0x00, 0x00,
                                             scsi::kInquiryLength, 0x00};
    const auto outcome = runTask(*interface, {.signature = Signatures::kCommandInquiry,
                                              .cdb = cdb,
                                              .buffer = buffer,
                                              .transferCount = buffer.size(),
                                              .direction = kSCSIDataTransfer_FromTargetToInitiator,
                                              .requestingLine = "Requesting Inquiry data\n",
                                              .printsOtherStatus = true});
    if (!outcome || !outcome->good()) {
        return outcome && isNotReady(*outcome) ? InquiryAnswer::NotReady : InquiryAnswer::Failed;
    }
    if (deviceData != nullptr) {
        storeInquiryData(buffer, *deviceData);
    }
    return InquiryAnswer::Answered;
}

std::int32_t CommandReadBufferForDevice(SCSITaskDeviceInterface* interface,
                                        DeviceData* deviceData) {
    requireInterface(interface, "CommandReadBufferForDevice");
    std::array<std::uint8_t, kReplyBufferSize> buffer{};
    const std::array<std::uint8_t, 12> cdb = {scsi::kReadBuffer,
                                              scsi::kDataMode,
                                              scsi::kVersionBuffer,
                                              0x00,
                                              0x00,
                                              0x00,
                                              0x00,
                                              0x00,
                                              scsi::kVersionBlockLength,
                                              0x00,
                                              0x00,
                                              0x00};
    const auto outcome = runTask(*interface, {.signature = Signatures::kCommandReadBufferForDevice,
                                              .cdb = cdb,
                                              .buffer = buffer,
                                              .transferCount = buffer.size(),
                                              .direction = kSCSIDataTransfer_FromTargetToInitiator,
                                              .requestingLine = "Requesting read buffer\n",
                                              .printsTransferStatus = true});
    if (!outcome || !outcome->good()) {
        return -1;
    }
    if (deviceData != nullptr) {
        storeReadBufferData(buffer, *deviceData);
    }
    return 0;
}

bool CommandWriteBuffer(SCSITaskDeviceInterface* interface, ImageSelector image, DeviceData*,
                        std::span<const std::uint8_t> data, std::uint32_t bufferOffset,
                        std::uint32_t length) {
    requireInterface(interface, "CommandWriteBuffer");
    if (length > kWriteBufferSize) {
        // No transfer is longer than one write buffer: the images go out in
        // chunks of at most that size, so a longer one is a caller's mistake.
        Log::error(Signatures::kCommandWriteBuffer,
                   format("Transfer length %u exceeds the buffer of %u bytes.\n", length,
                          kWriteBufferSize));
        return false;
    }
    if (std::uint64_t{bufferOffset} + length > kWriteBufferSpace) {
        // The CDB carries 24 bits of offset: a higher one would be cut and
        // land the bytes over the start of the image.
        Log::error(Signatures::kCommandWriteBuffer,
                   format("Transfer at 0x%x of %u bytes ends past the 24-bit buffer offset.\n",
                          bufferOffset, length));
        return false;
    }
    // A chunk that fills the transfer goes out from the caller's bytes, which
    // the drive only reads; a short one is padded with zeros in a copy.
    std::vector<std::uint8_t> padded;
    std::span<std::uint8_t> payload(const_cast<std::uint8_t*>(data.data()),
                                    std::min<std::size_t>(data.size(), length));
    if (payload.size() < length) {
        padded.assign(length, 0);
        std::copy(payload.begin(), payload.end(), padded.begin());
        payload = padded;
    }
    const std::uint8_t bufferID =
        image == ImageSelector::Kernel ? scsi::kKernelImageBuffer : scsi::kNormalImageBuffer;
    const std::array<std::uint8_t, 12> cdb = {scsi::kWriteBuffer,
                                              scsi::kDownloadAndSaveMode,
                                              bufferID,
                                              static_cast<std::uint8_t>(bufferOffset >> 16),
                                              static_cast<std::uint8_t>(bufferOffset >> 8),
                                              static_cast<std::uint8_t>(bufferOffset),
                                              static_cast<std::uint8_t>(length >> 16),
                                              static_cast<std::uint8_t>(length >> 8),
                                              static_cast<std::uint8_t>(length),
                                              0x00,
                                              0x00,
                                              0x00};
    const auto outcome =
        runTask(*interface, {.signature = Signatures::kCommandWriteBuffer,
                             .cdb = cdb,
                             .buffer = payload,
                             .transferCount = length,
                             .direction = kSCSIDataTransfer_FromInitiatorToTarget,
                             .banner = "*********** WRITE BUFFER DATA ***********\n",
                             .requestingLine = "Requesting write buffer\n",
                             .printsTransferStatus = true});
    // GOOD after moving fewer bytes than asked leaves a hole in the image.
    return outcome && outcome->good() && outcome->transferred == length;
}

bool CommandChangeDriveMode(SCSITaskDeviceInterface* interface, DeviceData*) {
    requireInterface(interface, "CommandChangeDriveMode");
    std::array<std::uint8_t, kReplyBufferSize> buffer{};
    std::copy(kChangeDriveModeParameters.begin(), kChangeDriveModeParameters.end(), buffer.begin());
    const std::array<std::uint8_t, 12> cdb = {scsi::kWriteBuffer,
                                              scsi::kDownloadAndSaveMode,
                                              scsi::kDriveModeBuffer,
                                              0x00,
                                              0x00,
                                              0x00,
                                              0x00,
                                              0x01,
                                              0x00,
                                              0x00,
                                              0x00,
                                              0x00};
    const auto outcome =
        runTask(*interface, {.signature = Signatures::kCommandChangeDriveMode,
                             .cdb = cdb,
                             .buffer = buffer,
                             .transferCount = buffer.size(),
                             .direction = kSCSIDataTransfer_FromInitiatorToTarget,
                             .banner = "*********** CHANGE DRIVE MODE DATA ***********\n",
                             .requestingLine = "Requesting change drive mode\n",
                             .printsTransferStatus = true,
                             .printsSenseAlways = true});
    return outcome && outcome->good();
}

int CommandTestUnitReady(SCSITaskDeviceInterface* interface, DeviceData* deviceData,
                         bool* isPresenceDisc, int* progress) {
    switch (RequestTestUnitReady(interface, deviceData, isPresenceDisc, progress)) {
    case TestUnitReadyAnswer::Installing:
        return progress != nullptr ? kStillInstalling : kNoCondition;
    case TestUnitReadyAnswer::UnitAttention:
    case TestUnitReadyAnswer::OtherCondition:
        return progress != nullptr ? kOtherCondition : kNoCondition;
    case TestUnitReadyAnswer::Good:
    case TestUnitReadyAnswer::OtherStatus:
    case TestUnitReadyAnswer::NotCarriedOut:
    case TestUnitReadyAnswer::Gone:
        break;
    }
    return kNoCondition;
}

TestUnitReadyAnswer RequestTestUnitReady(SCSITaskDeviceInterface* interface, DeviceData* deviceData,
                                         bool* isPresenceDisc, int* progress) {
    requireInterface(interface, "CommandTestUnitReady");
    const std::array<std::uint8_t, 6> cdb = {scsi::kTestUnitReady, 0x00, 0x00, 0x00, 0x00, 0x00};
    const auto outcome = runTask(*interface, {.signature = Signatures::kCommandTestUnitReady,
                                              .cdb = cdb,
                                              .requestingLine = "Requesting TEST UNIT READY data\n",
                                              .printsOtherStatus = true});
    if (!outcome) {
        return TestUnitReadyAnswer::NotCarriedOut;
    }
    const SCSI_Sense_Data& sense = outcome->sense;
    if (outcome->executed && progress != nullptr) {
        // The drive puts the low-order byte first.
        *progress = sense.bytes[16] + 256 * sense.bytes[17];
    }
    auto answer = TestUnitReadyAnswer::OtherStatus;
    if (!outcome->executed) {
        answer = outcome->failure == kIOReturnNotAttached ? TestUnitReadyAnswer::Gone
                                                          : TestUnitReadyAnswer::NotCarriedOut;
    } else if (outcome->good()) {
        answer = TestUnitReadyAnswer::Good;
    } else if (outcome->checkCondition()) {
        const bool installing = sense.senseKey() == scsi::kSenseNotReady &&
                                sense.additionalSenseCode() == scsi::kInstallingCode &&
                                sense.additionalSenseCodeQualifier() == scsi::kInstallingQualifier;
        answer = installing ? TestUnitReadyAnswer::Installing
                 : sense.senseKey() == scsi::kSenseUnitAttention
                     ? TestUnitReadyAnswer::UnitAttention
                     : TestUnitReadyAnswer::OtherCondition;
    }
    const bool discPresent = Util::isPresenceOfDisc(sense);
    if (isPresenceDisc != nullptr) {
        *isPresenceDisc = discPresent;
    }
    if (deviceData != nullptr) {
        deviceData->setIsPresenceDisc(discPresent);
    }
    return answer;
}
