#include "platform/sim/VirtualDrive.h"

#include <algorithm>
#include <string_view>
#include <thread>
#include <utility>

namespace sim {

namespace {

constexpr std::uint8_t testUnitReadyCode = 0x00;
constexpr std::uint8_t inquiryCode = 0x12;
constexpr std::uint8_t writeBufferCode = 0x3B;
constexpr std::uint8_t readBufferCode = 0x3C;

constexpr std::uint8_t dataMode = 0x02;
constexpr std::uint8_t downloadAndSaveMode = 0x05;
constexpr std::uint8_t versionBuffer = 0xF1;
constexpr std::uint8_t modeBuffer = 0xFF;
constexpr std::uint8_t kernelImageBuffer = 0xFE;
constexpr std::uint8_t normalImageBuffer = 0xF0;

constexpr std::uint8_t notReady = 0x02;
constexpr std::uint8_t hardwareError = 0x04;
constexpr std::uint8_t illegalRequest = 0x05;
constexpr std::uint8_t unitAttention = 0x06;

// Standard data up to the end of the vendor-specific area, which holds the date.
constexpr std::size_t inquiryLength = 56;
constexpr std::size_t versionBlockLength = 48;
constexpr std::size_t imageRevisionOffset = 144;
constexpr std::size_t imageRevisionLength = 5;

constexpr auto modeChangeList = [] {
    std::array<std::uint8_t, 256> list{};
    constexpr std::string_view family = "QUELMAR KLV-TN82";
    std::ranges::copy(family, list.begin());
    constexpr std::array<std::uint8_t, 4> code{0x5C, 0x17, 0xA9, 0xE2};
    std::ranges::copy(code, list.begin() + family.size());
    return list;
}();

CommandResult good(std::uint64_t transferred) {
    CommandResult result;
    result.transferred = transferred;
    return result;
}

CommandResult checkCondition(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
    CommandResult result;
    result.status = statusCheckCondition;
    result.sense[0] = 0x70;
    result.sense[2] = key;
    result.sense[7] = 10;
    result.sense[12] = asc;
    result.sense[13] = ascq;
    return result;
}

CommandResult invalidOperationCode() {
    return checkCondition(illegalRequest, 0x20, 0x00);
}
CommandResult invalidFieldInCdb() {
    return checkCondition(illegalRequest, 0x24, 0x00);
}
CommandResult invalidFieldInParameterList() {
    return checkCondition(illegalRequest, 0x26, 0x00);
}
CommandResult commandSequenceError() {
    return checkCondition(illegalRequest, 0x2C, 0x00);
}

// The install's progress travels low byte first, unlike the standard's field.
CommandResult installing(std::uint16_t progress) {
    CommandResult result = checkCondition(notReady, 0x04, 0x12);
    result.sense[15] = 0x80;
    result.sense[16] = static_cast<std::uint8_t>(progress & 0xFF);
    result.sense[17] = static_cast<std::uint8_t>(progress >> 8);
    return result;
}

CommandResult injectedFailure(std::uint8_t status) {
    if (status == statusCheckCondition) {
        return checkCondition(hardwareError, 0x44, 0x00);
    }
    CommandResult result;
    result.status = status;
    return result;
}

CommandResult goneResult() {
    CommandResult result;
    result.gone = true;
    return result;
}

std::size_t cdbLength(std::uint8_t operationCode) {
    return (operationCode >> 5) == 0 ? 6 : 10;
}

std::uint32_t bigEndian24(std::span<const std::uint8_t> bytes) {
    return (std::uint32_t{bytes[0]} << 16) | (std::uint32_t{bytes[1]} << 8) | bytes[2];
}

void putText(std::span<std::uint8_t> field, std::string_view text, std::uint8_t pad) {
    const auto end = std::ranges::copy(text.substr(0, field.size()), field.begin()).out;
    std::fill(end, field.end(), pad);
}

CommandResult dataIn(std::span<const std::uint8_t> reply, std::size_t allocation,
                     std::span<std::uint8_t> data, Direction direction) {
    const std::size_t count = std::min({reply.size(), allocation, data.size()});
    if (count > 0 && direction != Direction::FromDrive) {
        return invalidFieldInCdb();
    }
    std::copy_n(reply.begin(), count, data.begin());
    return good(count);
}

} // namespace

void VirtualDrive::ImageDownload::take(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    // A transfer at offset 0 starts the image again.
    if (offset == 0) {
        *this = ImageDownload{};
    }
    if (broken || offset != contiguous) {
        broken = true;
        return;
    }
    if (offset < header.size()) {
        const std::size_t count = std::min<std::size_t>(bytes.size(), header.size() - offset);
        std::copy_n(bytes.begin(), count, header.begin() + static_cast<std::ptrdiff_t>(offset));
    }
    contiguous += bytes.size();
}

std::string VirtualDrive::ImageDownload::revision() const {
    const auto field = std::span(header).subspan(imageRevisionOffset, imageRevisionLength);
    const std::string text(field.begin(), std::ranges::find(field, 0));
    return text.substr(0, revisionWidth);
}

VirtualDrive::VirtualDrive(DriveProfile profile)
    : profile_(std::move(profile)), attached_(profile_.attached), mode_(profile_.mode),
      revision_(profile_.revision), disc_(profile_.disc) {}

CommandResult VirtualDrive::execute(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> data,
                                    Direction direction) {
    // The answer to a poll during an install takes its time, outside the lock
    // so that discs and removals are not held up meanwhile.
    if (!cdb.empty() && cdb[0] == testUnitReadyCode && profile_.installPollTime.count() > 0 &&
        isInstalling()) {
        std::this_thread::sleep_for(profile_.installPollTime);
    }
    std::function<void()> leaving;
    CommandResult result = goneResult();
    {
        const std::scoped_lock lock(mutex_);
        if (attached_) {
            ++counters_.commands;
            if (profile_.faults.removalAtCommand == counters_.commands) {
                attached_ = false;
            }
        }
        if (attached_ && unitAttention_) {
            // Reported instead of carrying the command out, once.
            result = checkCondition(unitAttention, unitAttention_->code, unitAttention_->qualifier);
            unitAttention_.reset();
        } else if (attached_) {
            const bool wasAttached = attached_;
            result = dispatch(cdb, data, direction);
            if (wasAttached && !attached_) {
                leaving = leavingHandler_;
            }
        }
        if (result.status == statusCheckCondition) {
            result.sense[2] |= profile_.faults.senseKeyFlags & 0xE0;
        }
        record(cdb, data, direction, result);
    }
    // Outside the lock: whoever hears of it may look at the drive.
    if (leaving) {
        leaving();
    }
    return result;
}

void VirtualDrive::setLeavingHandler(std::function<void()> handler) {
    const std::scoped_lock lock(mutex_);
    leavingHandler_ = std::move(handler);
}

CommandResult VirtualDrive::dispatch(std::span<const std::uint8_t> cdb,
                                     std::span<std::uint8_t> data, Direction direction) {
    if (cdb.empty()) {
        return invalidOperationCode();
    }
    if (cdb.size() < cdbLength(cdb[0])) {
        return invalidFieldInCdb();
    }
    switch (cdb[0]) {
    case testUnitReadyCode:
        return testUnitReady();
    case inquiryCode:
        return inquiry(cdb, data, direction);
    case readBufferCode:
        return readBuffer(cdb, data, direction);
    case writeBufferCode:
        return writeBuffer(cdb, data, direction);
    default:
        return invalidOperationCode();
    }
}

CommandResult VirtualDrive::testUnitReady() {
    ++counters_.polls;
    if (install_) {
        const std::uint16_t progress = installProgress();
        if (profile_.installPauseAfter == install_->done && !install_->paused) {
            install_->paused = true;
            return installing(progress);
        }
        ++install_->done;
        if (install_->polls == install_->done) {
            finishInstall();
        } else if (profile_.faults.leavesDuringInstall == install_->done) {
            finishInstall();
            attached_ = false;
            unitAttention_ = resetSense;
        }
        return installing(progress);
    }
    if (!disc_) {
        return checkCondition(notReady, 0x3A, 0x00);
    }
    return good(0);
}

CommandResult VirtualDrive::inquiry(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> data,
                                    Direction direction) const {
    // Only standard data: no vital product data pages.
    if ((cdb[1] & 0x01) != 0 || cdb[2] != 0) {
        return invalidFieldInCdb();
    }
    if (profile_.faults.inquiryStatus) {
        return injectedFailure(*profile_.faults.inquiryStatus);
    }
    std::array<std::uint8_t, inquiryLength> reply{};
    reply[0] = 0x05;
    reply[1] = 0x80;
    reply[3] = 0x02;
    reply[4] = inquiryLength - 5;
    const std::span fields(reply);
    putText(fields.subspan(8, vendorWidth), profile_.vendor, ' ');
    putText(fields.subspan(16, productWidth), profile_.product, ' ');
    putText(fields.subspan(32, revisionWidth), mode_ == DriveMode::Kernel ? "0000" : revision_,
            ' ');
    putText(fields.subspan(36, dateWidth), profile_.date, ' ');
    // Bytes 3 and 4 together, so a host that sends a one-byte length (byte 4) reads the same.
    const std::size_t allocation = (std::size_t{cdb[3]} << 8) | cdb[4];
    return dataIn(reply, allocation, data, direction);
}

CommandResult VirtualDrive::readBuffer(std::span<const std::uint8_t> cdb,
                                       std::span<std::uint8_t> data, Direction direction) const {
    const std::uint32_t offset = bigEndian24(cdb.subspan(3));
    if ((cdb[1] & 0x1F) != dataMode || cdb[2] != versionBuffer || offset > versionBlockLength) {
        return invalidFieldInCdb();
    }
    if (install_) {
        return installing(installProgress());
    }
    if (profile_.faults.readBufferStatus) {
        return injectedFailure(*profile_.faults.readBufferStatus);
    }
    // Zero padded, so that a shorter version reads back exactly as given.
    std::array<std::uint8_t, versionBlockLength> block{};
    const std::span fields(block);
    putText(fields.subspan(16, versionWidth), profile_.hardwareVersion, 0);
    putText(fields.subspan(24, versionWidth), profile_.kernelVersion, 0);
    putText(fields.subspan(32, versionWidth), profile_.destinationVersion, 0);
    putText(fields.subspan(40, judgeWidth), profile_.judge, 0);
    return dataIn(fields.subspan(offset), bigEndian24(cdb.subspan(6)), data, direction);
}

CommandResult VirtualDrive::writeBuffer(std::span<const std::uint8_t> cdb,
                                        std::span<std::uint8_t> data, Direction direction) {
    const std::uint8_t buffer = cdb[2];
    if ((cdb[1] & 0x1F) != downloadAndSaveMode ||
        (buffer != modeBuffer && buffer != kernelImageBuffer && buffer != normalImageBuffer)) {
        return invalidFieldInCdb();
    }
    const std::uint32_t offset = bigEndian24(cdb.subspan(3));
    const std::uint32_t length = bigEndian24(cdb.subspan(6));
    const auto received =
        std::span<const std::uint8_t>(data).first(std::min<std::size_t>(length, data.size()));
    if (!received.empty() && direction != Direction::ToDrive) {
        return invalidFieldInCdb();
    }
    if (install_) {
        return installing(installProgress());
    }
    if (buffer == modeBuffer) {
        return changeMode(offset, length, received);
    }
    return takeImage(buffer == kernelImageBuffer ? kernelImage_ : normalImage_, offset, received);
}

CommandResult VirtualDrive::changeMode(std::uint32_t offset, std::uint32_t length,
                                       std::span<const std::uint8_t> list) {
    if (offset != 0) {
        return invalidFieldInCdb();
    }
    if (length != modeChangeList.size() || !std::ranges::equal(list, modeChangeList)) {
        return invalidFieldInParameterList();
    }
    ++modeChangeRequests_;
    const ModeChangeRefusal refusal = profile_.faults.modeChangeRefusal;
    const bool refused =
        (modeChangeRequests_ == 1 &&
         (refusal == ModeChangeRefusal::First || refusal == ModeChangeRefusal::Both)) ||
        (modeChangeRequests_ == 2 &&
         (refusal == ModeChangeRefusal::Second || refusal == ModeChangeRefusal::Both));
    if (refused) {
        return injectedFailure(statusCheckCondition);
    }
    ++counters_.modeChanges;
    if (mode_ == DriveMode::Normal) {
        mode_ = DriveMode::Kernel;
        kernelImage_ = ImageDownload{};
        normalImage_ = ImageDownload{};
    } else {
        leaveKernelMode();
    }
    return good(list.size());
}

CommandResult VirtualDrive::takeImage(ImageDownload& image, std::uint32_t offset,
                                      std::span<const std::uint8_t> bytes) {
    if (mode_ != DriveMode::Kernel) {
        return commandSequenceError();
    }
    ++counters_.imageTransfers;
    if (profile_.faults.imageTransferFailure == counters_.imageTransfers) {
        return injectedFailure(statusCheckCondition);
    }
    image.take(offset, bytes);
    return good(bytes.size());
}

void VirtualDrive::leaveKernelMode() {
    mode_ = DriveMode::Normal;
    unitAttention_ = profile_.faults.unitAttentionAfterActivation;
    std::optional<std::string> revision;
    if (normalImage_.complete()) {
        revision = profile_.faults.revisionAfterInstall.value_or(normalImage_.revision());
    }
    kernelImage_ = ImageDownload{};
    normalImage_ = ImageDownload{};
    const DriveFaults& faults = profile_.faults;
    if (faults.busyForever) {
        install_ = Install{std::nullopt, 0, std::move(revision)};
        return;
    }
    const std::uint64_t polls = faults.busyPolls.value_or(revision ? profile_.installPolls : 0);
    install_ = Install{polls, 0, std::move(revision)};
    if (polls == 0) {
        finishInstall();
    }
}

void VirtualDrive::finishInstall() {
    if (install_->revision) {
        revision_ = *install_->revision;
    }
    install_.reset();
}

// Counts down from 65535 towards 0 as the polls of each stage go by; an
// install that never ends never moves.
std::uint16_t VirtualDrive::installProgress() const {
    if (!install_->polls) {
        return 0xFFFF;
    }
    const std::uint64_t stages = std::max<std::uint32_t>(profile_.installStages, 1);
    const std::uint64_t share =
        std::max<std::uint64_t>((*install_->polls + stages - 1) / stages, 1);
    return static_cast<std::uint16_t>(0xFFFF - 0xFFFF * (install_->done % share) / share);
}

void VirtualDrive::record(std::span<const std::uint8_t> cdb, std::span<const std::uint8_t> data,
                          Direction direction, const CommandResult& result) {
    if (recording_ == Recording::Off) {
        return;
    }
    CommandRecord entry;
    entry.cdb.assign(cdb.begin(), cdb.end());
    entry.direction = direction;
    entry.bufferLength = data.size();
    entry.result = result;
    if (recording_ == Recording::CommandsAndData && direction == Direction::ToDrive) {
        entry.dataOut.assign(data.begin(), data.end());
    }
    history_.push_back(std::move(entry));
}

void VirtualDrive::attach() {
    const std::scoped_lock lock(mutex_);
    attached_ = true;
}

void VirtualDrive::remove() {
    const std::scoped_lock lock(mutex_);
    attached_ = false;
}

bool VirtualDrive::isAttached() const {
    const std::scoped_lock lock(mutex_);
    return attached_;
}

void VirtualDrive::insertDisc(std::optional<std::string> volume) {
    const std::scoped_lock lock(mutex_);
    disc_ = Disc{std::move(volume)};
}

void VirtualDrive::ejectDisc() {
    const std::scoped_lock lock(mutex_);
    disc_.reset();
}

bool VirtualDrive::hasDisc() const {
    const std::scoped_lock lock(mutex_);
    return disc_.has_value();
}

std::optional<std::string> VirtualDrive::volumeName() const {
    const std::scoped_lock lock(mutex_);
    return disc_ ? disc_->volumeName : std::nullopt;
}

DriveMode VirtualDrive::mode() const {
    const std::scoped_lock lock(mutex_);
    return mode_;
}

bool VirtualDrive::isInstalling() const {
    const std::scoped_lock lock(mutex_);
    return install_.has_value();
}

DriveCounters VirtualDrive::counters() const {
    const std::scoped_lock lock(mutex_);
    return counters_;
}

std::uint64_t VirtualDrive::normalImageBytes() const {
    const std::scoped_lock lock(mutex_);
    return normalImage_.contiguous;
}

void VirtualDrive::setRecording(Recording recording) {
    const std::scoped_lock lock(mutex_);
    recording_ = recording;
}

std::vector<CommandRecord> VirtualDrive::history() const {
    const std::scoped_lock lock(mutex_);
    return history_;
}

} // namespace sim
