#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/iokit/ObjectRef.h"
#include "platform/iokit/Services.h"
#include "records/FirmwareImageLayout.h"
#include "records/LoadedImage.h"
#include "records/Util.h"
#include "scsi/BusyLimit.h"
#include "scsi/ExclusiveAccess.h"
#include "scsi/PollInterval.h"
#include "scsi/ReturnWait.h"
#include "scsi/STUCMethod.h"
#include "scsi/Signatures.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <thread>
#include <variant>

using foundation::format;
using foundation::Log;

namespace {

// How long a drive that has just been switched may answer NOT READY while it
// restarts into its kernel.
constexpr auto kKernelModeWait = std::chrono::seconds(5);
constexpr auto kKernelModeRetryPause = std::chrono::milliseconds(250);
// How often the registry is looked at for a drive that left during its install.
constexpr auto kReturnLookupPause = std::chrono::milliseconds(50);

struct Transfer {
    std::uint32_t offset;
    std::uint32_t length;
};

// The first 70,144 bytes of the kernel image, in three fixed transfers.
constexpr std::array<Transfer, 3> kKernelTransfers = {Transfer{0, 32768}, Transfer{32768, 32768},
                                                      Transfer{65536, 4608}};
static_assert(kKernelTransfers.back().offset + kKernelTransfers.back().length ==
              FirmwareImageLayout::kKernelImageSentSize);
// Every transfer of a normal image that passed its size check fits WRITE
// BUFFER's offsets.
static_assert(FirmwareImageLayout::kNormalImageLimit <= kWriteBufferSpace);

// Below 2^24: images and chunks are checked against WRITE BUFFER's offsets.
std::uint32_t roundUpToGranule(std::uint32_t length) {
    return static_cast<std::uint32_t>(FirmwareImageLayout::roundUpToGranule(length));
}

std::string fileNameOf(ImageSelector kind) {
    return FirmwareImageLayout::imageFileName(kind == ImageSelector::Kernel
                                                  ? FirmwareImageLayout::kKernelImageBaseName
                                                  : FirmwareImageLayout::kNormalImageBaseName);
}

void postProgress(int value) {
    foundation::NotificationCenter::defaultCenter().postNotificationName(kUpdateIndicatorNotify,
                                                                         value);
}

void postPhase(UpdatePhase phase) {
    foundation::NotificationCenter::defaultCenter().postNotificationName(kUpdatePhaseNotify,
                                                                         static_cast<int>(phase));
}

// Loads the image the user was shown, before the drive is touched. An image
// that was absent at start stays absent; one that was there must load now,
// with the header that was read then, or nothing is sent.
bool loadShownImage(const FirmFileData& shown, ImageSelector kind,
                    std::optional<LoadedImage>& image) {
    if (!shown.isFileExists()) {
        return true;
    }
    const std::string fileName = fileNameOf(kind);
    auto loaded = LoadedImage::load(fileName, kind);
    if (const auto* cause = std::get_if<std::string>(&loaded)) {
        Log::error(Signatures::kExecUpdateMain,
                   format("%s: %s; nothing written.\n", fileName.c_str(), cause->c_str()));
        return false;
    }
    auto& candidate = std::get<LoadedImage>(loaded);
    // A header that still reads the same may sit on other bytes: a file cut
    // short or patched after start.
    std::optional<std::string_view> changed = candidate.header().headerFieldDifferingFrom(shown);
    if (!changed && candidate.contentDigest() != shown.contentDigest()) {
        changed = "content";
    }
    if (changed) {
        Log::error(Signatures::kExecUpdateMain,
                   format("%s: its %.*s differs from the image read at start; nothing written.\n",
                          fileName.c_str(), static_cast<int>(changed->size()), changed->data()));
        return false;
    }
    if (kind == ImageSelector::Kernel && !Util::isTargetModel(candidate.header().product())) {
        Log::error(Signatures::kExecUpdateMain,
                   format("%s: not a kernel image of the target model; nothing written.\n",
                          fileName.c_str()));
        return false;
    }
    image.emplace(std::move(candidate));
    return true;
}

// The drive's mode as it answers now, when it is still a target drive that
// may take the normal image; the listing it was chosen from may be old.
// Otherwise none, and `failure` tells why.
std::optional<int> identifyAgain(SCSITaskDeviceInterface& interface, const LoadedImage* normal,
                                 UpdateFailure& failure) {
    DeviceData now;
    if (RequestInquiry(&interface, &now) != InquiryAnswer::Answered ||
        CommandReadBufferForDevice(&interface, &now) != 0) {
        Log::error(Signatures::kExecUpdateMain,
                   "the drive did not identify itself again; nothing written.\n");
        failure = UpdateFailure::NotIdentified;
        return std::nullopt;
    }
    if (normal == nullptr || !Util::isTargetModel(now.product()) ||
        !CanUpdateWith(now, normal->header())) {
        Log::error(Signatures::kExecUpdateMain,
                   format("the drive as it answers now is not eligible for %s; nothing written.\n",
                          fileNameOf(ImageSelector::Normal).c_str()));
        failure = UpdateFailure::NotEligibleNow;
        return std::nullopt;
    }
    return now.driveMode();
}

enum class Installation { Finished, Stalled, Left };

// One run of the procedure over one opened drive, from images in memory. The
// first transfer the drive does not take ends the run, before the drive is
// told to activate what it holds.
class UpdateRun {
  public:
    UpdateRun(SCSITaskDeviceInterface& interface, DeviceData& deviceData, int driveMode,
              std::uint64_t bytesToWrite)
        : interface_(&interface), deviceData_(deviceData), inKernelMode_(driveMode != 0),
          bytesToWrite_(bytesToWrite) {}

    // The same drive, attached again after it left during its install.
    void continueOn(SCSITaskDeviceInterface& interface) { interface_ = &interface; }

    // The run ended here, for the cause given or the one its last step found
    // with the failed command behind it.
    UpdateOutcome failed(std::optional<UpdateFailure> cause = std::nullopt) const {
        UpdateOutcome outcome;
        outcome.failure = cause.value_or(failure_);
        outcome.leftInKernelMode = inKernelMode_;
        if (!cause) {
            outcome.transport = transport_;
        }
        return outcome;
    }

    bool switchToKernelMode() {
        if (inKernelMode_) {
            return true;
        }
        postPhase(UpdatePhase::SwitchingToKernel);
        if (!CommandChangeDriveMode(interface_, &deviceData_)) {
            Log::error(Signatures::kExecUpdateMain, "change drive mode.( -> Kernel)");
            fail(UpdateFailure::ModeChangeRefused);
            return false;
        }
        if (!WaitForKernelMode(interface_)) {
            Log::error(Signatures::kExecUpdateMain,
                       "the drive does not report kernel mode after the switch; nothing "
                       "written.\n");
            fail(UpdateFailure::NoKernelModeAfterSwitch);
            return false;
        }
        inKernelMode_ = true;
        return true;
    }

    bool writeKernelImage(const LoadedImage& image) {
        for (const Transfer& transfer : kKernelTransfers) {
            if (!write(ImageSelector::Kernel,
                       image.bytes().subspan(transfer.offset, transfer.length), transfer.offset,
                       transfer.length)) {
                return false;
            }
        }
        return true;
    }

    bool writeNormalImage(const LoadedImage& image) {
        const std::span<const std::uint8_t> bytes = image.bytes();
        // At most 16 MiB: the loaded image was checked against the 24-bit offsets.
        const auto size = static_cast<std::uint32_t>(bytes.size());
        const auto chunkAt = [&](std::uint32_t offset, std::uint32_t remaining) {
            const std::uint32_t left = offset < size ? size - offset : 0;
            return bytes.subspan(offset, std::min({remaining, kWriteBufferSize, left}));
        };
        std::uint32_t remaining = roundUpToGranule(size);
        std::uint32_t offset = 0;
        int chunk = 1;
        auto data = chunkAt(offset, remaining);
        while (!data.empty()) {
            const auto read = static_cast<std::uint32_t>(data.size());
            const std::uint32_t length = roundUpToGranule(read);
            if (read < kWriteBufferSize) {
                Log::toStandardOutput("last one\n");
                if (read != length) {
                    Log::error(Signatures::kExecUpdateMain, "last data. (len != allocLen)");
                }
            }
            if (!write(ImageSelector::Normal, data, offset, length)) {
                return false;
            }
            remaining -= length;
            offset += length;
            Log::toStandardOutput(format("write..(%d) 0x%x \n", chunk, remaining));
            ++chunk;
            data = chunkAt(offset, remaining);
        }
        return true;
    }

    bool switchToNormalMode() {
        if (!CommandChangeDriveMode(interface_, &deviceData_)) {
            Log::error(Signatures::kExecUpdateMain, "change drive mode.( -> Normal)");
            fail(UpdateFailure::ActivationRefused);
            return false;
        }
        inKernelMode_ = false;
        return true;
    }

    // Polls, at most once per poll interval, until the drive answers that it
    // is ready: anything but "installing", a unit attention (a drive that
    // restarts with its new firmware reports one and goes on) or a command
    // that did not reach the drive and back. A drive whose progress does not
    // move for the busy limit is given up on; one that is no longer attached
    // is not polled any more.
    Installation followInstallation() {
        postPhase(UpdatePhase::Installing);
        using Clock = std::chrono::steady_clock;
        const auto limit = BusyLimit::current();
        const auto interval = PollInterval::current();
        bool discPresent = false;
        std::optional<int> reported;
        auto lastChange = Clock::now();
        std::optional<Clock::time_point> previousPoll;
        for (;;) {
            if (previousPoll) {
                std::this_thread::sleep_until(*previousPoll + interval);
            }
            previousPoll = Clock::now();
            int progress = 0;
            const TestUnitReadyAnswer answer =
                RequestTestUnitReady(interface_, &deviceData_, &discPresent, &progress);
            if (answer == TestUnitReadyAnswer::Gone) {
                return Installation::Left;
            }
            const bool noNumber = answer == TestUnitReadyAnswer::UnitAttention ||
                                  answer == TestUnitReadyAnswer::NotCarriedOut;
            if (!noNumber) {
                shown_ = std::min(progress, shown_.value_or(progress));
            }
            if (shown_) {
                postProgress(*shown_);
            }
            if (!noNumber && answer != TestUnitReadyAnswer::Installing) {
                break;
            }
            const auto now = Clock::now();
            if (!noNumber && progress != reported) {
                reported = progress;
                lastChange = now;
            } else if (now - lastChange >= limit) {
                const std::chrono::duration<double> unchanged = now - lastChange;
                Log::error(Signatures::kExecUpdateMain,
                           noNumber ? format("drive did not finish installing. (no new "
                                             "progress for %.1f s)\n",
                                             unchanged.count())
                                    : format("drive did not finish installing. (progress %d "
                                             "unchanged for %.1f s)\n",
                                             progress, unchanged.count()));
                postProgress(kEndOfProgress);
                fail(UpdateFailure::InstallDidNotFinish);
                return Installation::Stalled;
            }
        }
        postProgress(kEndOfProgress);
        return Installation::Finished;
    }

    // Only the drive's answer decides, and only the revision of the image
    // written counts: a drive that no longer answers would otherwise be judged
    // on the revision the record held before the update.
    bool reportsRevision(const std::optional<std::string>& written) {
        postPhase(UpdatePhase::CheckingRevision);
        DeviceData answer = deviceData_;
        answer.setRevision(std::nullopt);
        CommandInquiry(interface_, &answer);
        // A drive of another model that came back at the same place is not
        // the drive that was written.
        fail(UpdateFailure::WrongRevision);
        if (!answer.revision() || !Util::isTargetModel(answer.product())) {
            return false;
        }
        deviceData_ = answer;
        return written && Util::trimmedText(*deviceData_.revision()) == Util::trimmedText(*written);
    }

  private:
    // The step just taken failed: its last command tells whether it reached the drive.
    void fail(UpdateFailure failure) {
        failure_ = failure;
        transport_ = interface_->latestTransportFailure();
    }

    bool write(ImageSelector kind, std::span<const std::uint8_t> data, std::uint32_t offset,
               std::uint32_t length) {
        if (bytesWritten_ == 0) {
            postPhase(UpdatePhase::Writing);
        }
        if (CommandWriteBuffer(interface_, kind, &deviceData_, data, offset, length)) {
            bytesWritten_ += length;
            foundation::NotificationCenter::defaultCenter().postNotificationName(
                kUpdateWriteProgressNotify,
                static_cast<int>(std::min<std::uint64_t>(bytesWritten_, bytesToWrite_) * 100 /
                                 std::max<std::uint64_t>(bytesToWrite_, 1)));
            return true;
        }
        Log::error(Signatures::kExecUpdateMain,
                   format("%s: the drive did not take the transfer at 0x%x; it stays in kernel "
                          "mode.\n",
                          fileNameOf(kind).c_str(), offset));
        fail(UpdateFailure::TransferRefused);
        return false;
    }

    SCSITaskDeviceInterface* interface_;
    DeviceData& deviceData_;
    bool inKernelMode_;
    UpdateFailure failure_ = UpdateFailure::None;
    std::optional<iokit::TransportFailure> transport_;
    const std::uint64_t bytesToWrite_;
    std::uint64_t bytesWritten_ = 0;
    // The progress counts down: the bar never goes back, whatever number a
    // drive reports after a lower one, also after it came back.
    std::optional<int> shown_;
};

// Where the service is attached, when its backend tells.
std::optional<std::string> physicalLocationOf(io_service_t service) {
    const auto provider = iokit::ServiceRegistry::provider(service);
    return provider ? provider->properties().text(iokit::kPhysicalLocationKey) : std::nullopt;
}

// A drive published at the place, other than the one that left; none yet.
iokit::ObjectRef driveAt(const std::string& place, io_service_t left) {
    iokit::ObjectRef iterator;
    if (!FindDevicesUsing(kAuthoringDeviceKind, kIOMasterPortDefault, iterator.receive())) {
        return {};
    }
    while (auto service = iokit::ObjectRef::adopt(IOIteratorNext(iterator.get()))) {
        if (service.get() != left && physicalLocationOf(service.get()) == place) {
            return service;
        }
    }
    return {};
}

// The drive attached again at the place and opened for exclusive use, before
// the deadline: it may show up before it takes commands, or while the system
// still looks at it.
struct ReturnedDrive {
    iokit::ObjectRef service;
    DeviceInterfaces interfaces;
    std::optional<ExclusiveAccess> access;
};

bool awaitReturn(const std::string& place, io_service_t left,
                 std::chrono::steady_clock::time_point deadline, ReturnedDrive& drive) {
    for (;;) {
        if (auto service = driveAt(place, left)) {
            drive.access.reset();
            drive.interfaces = CreateDeviceInterfaceForAuthoringDevice(service.get());
            if (drive.interfaces.taskDevice) {
                if (auto access = ExclusiveAccess::obtain(*drive.interfaces.taskDevice,
                                                          Signatures::kExecUpdateMain)) {
                    drive.access.emplace(std::move(*access));
                }
            }
            if (drive.access) {
                drive.service = std::move(service);
                return true;
            }
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(kReturnLookupPause);
    }
}

} // namespace

bool WaitForKernelMode(SCSITaskDeviceInterface* interface) {
    const auto deadline = std::chrono::steady_clock::now() + kKernelModeWait;
    for (;;) {
        DeviceData answer;
        switch (RequestInquiry(interface, &answer)) {
        case InquiryAnswer::Answered:
            return answer.driveMode() == 1;
        case InquiryAnswer::Failed:
            return false;
        case InquiryAnswer::NotReady:
            if (std::chrono::steady_clock::now() >= deadline) {
                return false;
            }
            std::this_thread::sleep_for(kKernelModeRetryPause);
            break;
        }
    }
}

bool ExecUpdateMain(DeviceData& deviceData, const FirmFileData& normalImage,
                    const FirmFileData& kernelImage) {
    return ExecUpdate(deviceData, normalImage, kernelImage).updated;
}

UpdateOutcome ExecUpdate(DeviceData& deviceData, const FirmFileData& normalImage,
                         const FirmFileData& kernelImage) {
    // Before the drive is identified again nothing changed its mode: it is in
    // the mode it was listed in.
    const auto untouched = [&deviceData](UpdateFailure failure) {
        UpdateOutcome outcome;
        outcome.failure = failure;
        outcome.leftInKernelMode = deviceData.driveMode() != 0;
        return outcome;
    };
    const io_service_t scsiDevice = deviceData.scsiDevice();
    if (scsiDevice == IO_OBJECT_NULL) {
        return untouched(UpdateFailure::AccessRefused);
    }
    std::optional<LoadedImage> kernel;
    std::optional<LoadedImage> normal;
    if (!loadShownImage(kernelImage, ImageSelector::Kernel, kernel) ||
        !loadShownImage(normalImage, ImageSelector::Normal, normal)) {
        return untouched(UpdateFailure::ImageUnusable);
    }

    LogDeviceClass(scsiDevice, Signatures::kExecUpdateMain, "ExecWriteMain", "");
    // Read while the drive is there: the place it is found again at, should
    // it leave while it installs.
    const std::optional<std::string> place = physicalLocationOf(scsiDevice);

    const DeviceInterfaces interfaces = CreateDeviceInterfaceForAuthoringDevice(scsiDevice);
    SCSITaskDeviceInterface* interface = interfaces.taskDevice.get();
    if (interface == nullptr) {
        return untouched(UpdateFailure::AccessRefused);
    }
    postPhase(UpdatePhase::TakingDrive);
    auto access = ExclusiveAccess::obtain(*interface, Signatures::kExecUpdateMain);
    if (!access) {
        UpdateOutcome refused = untouched(UpdateFailure::AccessRefused);
        refused.access = interface->latestAccess();
        return refused;
    }

    // Each return below gives the access back; the last one also fails when
    // the drive does not take it back.
    UpdateFailure notIdentified = UpdateFailure::None;
    const auto driveMode = identifyAgain(*interface, normal ? &*normal : nullptr, notIdentified);
    if (!driveMode) {
        UpdateOutcome unidentified = untouched(notIdentified);
        unidentified.transport = interface->latestTransportFailure();
        return unidentified;
    }
    // What the transfers send, for the share of it sent so far.
    const std::uint64_t bytesToWrite =
        (kernel ? FirmwareImageLayout::kKernelImageSentSize : 0) +
        roundUpToGranule(static_cast<std::uint32_t>(normal->bytes().size()));
    UpdateRun run(*interface, deviceData, *driveMode, bytesToWrite);
    if (kernel && (!run.switchToKernelMode() || !run.writeKernelImage(*kernel))) {
        return run.failed();
    }
    // The drive was judged against the normal image: it is there.
    if (!run.switchToKernelMode() || !run.writeNormalImage(*normal)) {
        return run.failed();
    }
    Log::toStandardOutput("write completed.\n");
    if (!run.switchToNormalMode()) {
        return run.failed();
    }
    Installation installation = run.followInstallation();
    ReturnedDrive returned;
    while (installation == Installation::Left) {
        // The drive took the whole image and was told to activate it: it may
        // be restarting on the bus, as many do. Only the drive that comes
        // back can tell whether it did.
        if (returned.access) {
            returned.access->release();
        } else if (!access->release()) {
            Log::notice("the drive that left keeps nothing held: the failed release does not "
                        "count.\n");
        }
        if (!place) {
            Log::error(Signatures::kExecUpdateMain,
                       "the drive left after installing and its place is unknown; connect it "
                       "again and check its revision.\n");
            postProgress(kEndOfProgress);
            return run.failed(UpdateFailure::DidNotComeBack);
        }
        const auto bound = ReturnWait::current();
        Log::notice(
            format("the drive left after installing; waiting up to %lld s for it to come "
                   "back at the same place.\n",
                   static_cast<long long>(std::chrono::ceil<std::chrono::seconds>(bound).count())));
        const io_service_t left = deviceData.scsiDevice();
        postPhase(UpdatePhase::Restarting);
        if (!awaitReturn(*place, left, std::chrono::steady_clock::now() + bound, returned)) {
            Log::error(Signatures::kExecUpdateMain,
                       "the drive did not come back after installing; connect it again and "
                       "check its revision.\n");
            postProgress(kEndOfProgress);
            return run.failed(UpdateFailure::DidNotComeBack);
        }
        deviceData.setScsiDevice(returned.service.get());
        run.continueOn(*returned.interfaces.taskDevice);
        installation = run.followInstallation();
    }
    if (installation == Installation::Stalled) {
        return run.failed();
    }
    const bool result = run.reportsRevision(normal->header().revision());
    const bool released = returned.access ? returned.access->release() : access->release();
    if (!result) {
        return run.failed();
    }
    if (!released) {
        return run.failed(UpdateFailure::ReleaseFailed);
    }
    UpdateOutcome done;
    done.updated = true;
    return done;
}
