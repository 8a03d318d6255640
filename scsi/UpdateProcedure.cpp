#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/iokit/Registry.h"
#include "records/FirmwareImageLayout.h"
#include "records/Util.h"
#include "scsi/BusyLimit.h"
#include "scsi/STUCMethod.h"
#include "scsi/Signatures.h"

#include <array>
#include <chrono>
#include <sys/stat.h>

using foundation::format;
using foundation::Log;

namespace {

constexpr int kKernelImageSelector = 1;
constexpr int kNormalImageSelector = 0;
constexpr std::uint32_t kTransferGranule = 256;
constexpr int kEndOfProgress = -1;

struct Transfer {
    std::uint32_t offset;
    std::uint32_t length;
};

// The first 70,144 bytes of the kernel image, in three fixed transfers.
constexpr std::array<Transfer, 3> kKernelTransfers = {Transfer{0, 32768}, Transfer{32768, 32768},
                                                      Transfer{65536, 4608}};

std::uint32_t roundUpToGranule(std::uint32_t length) {
    return (length + kTransferGranule - 1) / kTransferGranule * kTransferGranule;
}

// The low 32 bits of the file's size, or none.
std::optional<std::uint32_t> sizeOfResource(std::string_view fileName) {
    const auto path = Util::fullPath(fileName);
    struct stat info {};
    if (!path || ::stat(path->c_str(), &info) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(info.st_size);
}

void postProgress(int value) {
    foundation::NotificationCenter::defaultCenter().postNotificationName(kUpdateIndicatorNotify,
                                                                         value);
}

// One run of the procedure over one opened drive. Every transfer that the
// drive did not take is remembered, so that a drive which rejects a chunk is
// never reported as updated.
class UpdateRun {
  public:
    UpdateRun(SCSITaskDeviceInterface& interface, DeviceData& deviceData)
        : interface_(interface), deviceData_(deviceData) {}

    bool switchToKernelMode() {
        if (deviceData_.driveMode() != 0 || switched_) {
            return true;
        }
        if (!CommandChangeDriveMode(&interface_, &deviceData_)) {
            Log::error(Signatures::kExecUpdateMain, "change drive mode.( -> Kernel)");
            return false;
        }
        switched_ = true;
        return true;
    }

    void writeKernelImage() {
        auto file = Util::openFile(
            FirmwareImageLayout::imageFileName(FirmwareImageLayout::kKernelImageBaseName));
        if (!file) {
            return;
        }
        for (const Transfer& transfer : kKernelTransfers) {
            const auto data = Util::readFile(file.get(), transfer.offset,
                                             static_cast<std::int32_t>(transfer.length));
            // A file with nothing to read is no image: zeros sent in its place
            // would overwrite the drive's kernel.
            if (transfer.offset == 0 && data.empty()) {
                break;
            }
            write(kKernelImageSelector, data, transfer.offset, transfer.length);
        }
        Util::closeFile(file);
    }

    void writeNormalImage() {
        const std::string fileName =
            FirmwareImageLayout::imageFileName(FirmwareImageLayout::kNormalImageBaseName);
        const auto size = sizeOfResource(fileName);
        auto file = Util::openFile(fileName);
        if (!file || !size) {
            return;
        }
        std::uint32_t remaining = roundUpToGranule(*size);
        std::uint64_t offset = 0;
        int chunk = 1;
        auto data = readChunk(*file, offset, remaining);
        while (!data.empty()) {
            const auto read = static_cast<std::uint32_t>(data.size());
            const std::uint32_t length = roundUpToGranule(read);
            if (read < kWriteBufferSize) {
                Log::toStandardOutput("last one\n");
                if (read != length) {
                    Log::error(Signatures::kExecUpdateMain, "last data. (len != allocLen)");
                }
            }
            write(kNormalImageSelector, data, static_cast<std::uint32_t>(offset), length);
            remaining -= length;
            offset += length;
            Log::toStandardOutput(format("write..(%d) 0x%x \n", chunk, remaining));
            ++chunk;
            data = readChunk(*file, offset, remaining);
        }
        Util::closeFile(file);
    }

    bool switchToNormalMode() {
        if (!CommandChangeDriveMode(&interface_, &deviceData_)) {
            Log::error(Signatures::kExecUpdateMain, "change drive mode.( -> Normal)");
            return false;
        }
        return true;
    }

    // Polls while the drive reports that it installs. A drive whose progress
    // stays the same for the busy limit is given up on: false.
    bool followInstallation() {
        const auto limit = BusyLimit::current();
        bool discPresent = false;
        int progress = 0;
        int answer = 0;
        std::optional<int> lastProgress;
        auto lastChange = std::chrono::steady_clock::now();
        do {
            answer = CommandTestUnitReady(&interface_, &deviceData_, &discPresent, &progress);
            postProgress(progress);
            const auto now = std::chrono::steady_clock::now();
            if (progress != lastProgress) {
                lastProgress = progress;
                lastChange = now;
            } else if (answer == 0 && now - lastChange >= limit) {
                const std::chrono::duration<double> unchanged = now - lastChange;
                Log::error(Signatures::kExecUpdateMain,
                           format("drive did not finish installing. (progress %d unchanged for "
                                  "%.1f s)\n",
                                  progress, unchanged.count()));
                postProgress(kEndOfProgress);
                return false;
            }
        } while (answer == 0);
        postProgress(kEndOfProgress);
        return true;
    }

    // Only the drive's answer decides: a drive that no longer answers would
    // otherwise be judged on the revision the record held before the update.
    bool reportsTargetRevision() {
        DeviceData answer = deviceData_;
        answer.setRevision(std::nullopt);
        CommandInquiry(&interface_, &answer);
        if (!answer.revision()) {
            return false;
        }
        deviceData_ = answer;
        return Util::cmpCurVersion(*deviceData_.revision(), kTargetRevision) == 0;
    }

    bool everyTransferTaken() const { return everyTransferTaken_; }

  private:
    static std::vector<std::uint8_t> readChunk(Util::FileHandle& file, std::uint64_t offset,
                                               std::uint32_t remaining) {
        return Util::readFile(&file, offset,
                              static_cast<std::int32_t>(std::min(remaining, kWriteBufferSize)));
    }

    void write(int selector, std::span<const std::uint8_t> data, std::uint32_t offset,
               std::uint32_t length) {
        if (!CommandWriteBuffer(&interface_, selector, &deviceData_, data, offset, length)) {
            everyTransferTaken_ = false;
        }
    }

    SCSITaskDeviceInterface& interface_;
    DeviceData& deviceData_;
    bool switched_ = false;
    bool everyTransferTaken_ = true;
};

} // namespace

bool ExecUpdateMain(DeviceData& deviceData, const FirmFileData& normalImage,
                    const FirmFileData& kernelImage) {
    const io_service_t scsiDevice = deviceData.scsiDevice();
    if (scsiDevice == IO_OBJECT_NULL) {
        return false;
    }
    char className[128];
    if (const kern_return_t result = IOObjectGetClass(scsiDevice, className);
        result != KERN_SUCCESS) {
        Log::error(Signatures::kExecUpdateMain,
                   format("ExecWriteMain() Failed to get class name. (0x%08x)\n", result));
    } else {
        Log::toStandardError(
            format("ExecWriteMain() Found device class \"%s\" using .\n", className));
    }

    const DeviceInterfaces interfaces = CreateDeviceInterfaceForAuthoringDevice(scsiDevice);
    SCSITaskDeviceInterface* interface = interfaces.taskDevice.get();
    if (interface == nullptr) {
        return false;
    }
    if (const IOReturn result = interface->ObtainExclusiveAccess(); result != kIOReturnSuccess) {
        Log::warning(Signatures::kExecUpdateMain,
                     format("ObtainExclusiveAccess failed.(1) (0x%08x)\n", result));
        return false;
    }

    const auto runWithExclusiveAccess = [&] {
        UpdateRun run(*interface, deviceData);
        if (kernelImage.isFileExists()) {
            if (!run.switchToKernelMode()) {
                return false;
            }
            run.writeKernelImage();
        }
        if (normalImage.isFileExists()) {
            if (!run.switchToKernelMode()) {
                return false;
            }
            run.writeNormalImage();
        }
        Log::toStandardOutput("write completed.\n");
        if (!run.switchToNormalMode()) {
            return false;
        }
        if (!run.followInstallation()) {
            return false;
        }
        const bool updated = run.reportsTargetRevision();
        return updated && run.everyTransferTaken();
    };
    bool result = runWithExclusiveAccess();

    if (const IOReturn released = interface->ReleaseExclusiveAccess();
        released != kIOReturnSuccess) {
        Log::error(Signatures::kExecUpdateMain,
                   format("ReleaseExclusiveAccess failed. (0x%08x)\n", released));
        result = false;
    }
    return result;
}
