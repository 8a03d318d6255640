#include "scsi/TaskRunner.h"

#include "platform/foundation/Log.h"
#include "scsi/STUCMethod.h"
#include "scsi/SenseOutput.h"

#include <array>

using foundation::format;
using foundation::Log;

std::optional<TaskOutcome> runTask(SCSITaskDeviceInterface& interface, const TaskRequest& request) {
    const iokit::InterfaceRef<SCSITaskInterface> task(interface.CreateSCSITask());
    if (!task) {
        Log::toStandardError("CreateSCSITask returned NULL.\n");
        return std::nullopt;
    }
    if (request.banner) {
        Log::toStandardError(*request.banner);
    }

    const IOVirtualRange range{request.buffer.data(),
                               static_cast<std::uint32_t>(request.buffer.size())};
    const std::span<const IOVirtualRange> ranges = request.buffer.empty()
                                                       ? std::span<const IOVirtualRange>{}
                                                       : std::span<const IOVirtualRange>(&range, 1);

    TaskOutcome outcome;
    std::uint64_t transferred = 0;
    // A task whose command, data range or timeout could not be set would run
    // with whatever the platform kept instead (another CDB, no data, no
    // limit), so it is not executed and counts as failed.
    bool setUp = true;
    if (const IOReturn result = task->SetCommandDescriptorBlock(request.cdb); result != 0) {
        Log::error(request.signature, format("Error setting CDB. (0x%08x)\n", result));
        setUp = false;
    }
    if (const IOReturn result =
            task->SetScatterGatherEntries(ranges, request.transferCount, request.direction);
        result != 0) {
        Log::error(request.signature,
                   format("Error setting scatter-gather entries. (0x%08x)\n", result));
        setUp = false;
    }
    if (const IOReturn result = task->SetTimeoutDuration(kTaskTimeoutMilliseconds); result != 0) {
        Log::error(request.signature, format("Error setting timeout. (0x%08x)\n", result));
        setUp = false;
    }
    if (setUp) {
        Log::toStandardError(request.requestingLine);
        SCSITaskStatus status = kSCSITaskStatus_No_Status;
        if (const IOReturn result = task->ExecuteTaskSync(outcome.sense, status, transferred);
            result != 0) {
            Log::error(request.signature, format("Error executing task. (0x%08x)\n", result));
            outcome.failure = result;
        } else {
            outcome.executed = true;
            outcome.status = status;
            outcome.transferred = transferred;
        }
    }

    if (request.printsTransferStatus) {
        Log::toStandardError(format("taskStatus[0x%08x]\n", outcome.status));
        Log::toStandardError(
            format("transferCountLo[%u]\n", static_cast<std::uint32_t>(transferred)));
    }
    if (outcome.checkCondition() || request.printsSenseAlways) {
        PrintSenseString(outcome.sense, false);
    } else if (!outcome.good() && request.printsOtherStatus) {
        Log::toStandardError(format("taskStatus = 0x%08x\n", outcome.status));
    }
    return outcome;
}
