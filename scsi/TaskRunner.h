#pragma once

#include "platform/iokit/IOKitTypes.h"
#include "platform/iokit/SCSITaskInterfaces.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

// The one way every drive command runs: create a task, set its CDB, data
// range and timeout, execute it synchronously, report, release it.

struct TaskRequest {
    std::string_view signature{};        // names the command in log lines
    std::span<const std::uint8_t> cdb{}; // 6 or 12 bytes
    std::span<std::uint8_t> buffer{};    // the data range; empty for none
    std::uint64_t transferCount = 0;
    SCSIDataTransferDirection direction = kSCSIDataTransfer_NoDataTransfer;
    std::optional<std::string_view> banner{}; // written once the task exists
    std::string_view requestingLine{};
    bool printsTransferStatus = false; // "taskStatus[..]" and "transferCountLo[..]"
    bool printsOtherStatus =
        false; // "taskStatus = .." for a status neither GOOD nor CHECK CONDITION
    bool printsSenseAlways = false; // the sense line whatever the status
};

struct TaskOutcome {
    // A task whose execution failed has no status of its own; it counts as
    // neither GOOD nor CHECK CONDITION.
    SCSITaskStatus status = kSCSITaskStatus_No_Status;
    SCSI_Sense_Data sense;
    std::uint64_t transferred = 0; // bytes the platform says it moved
    bool executed = false;
    // What the platform answered when the execution failed: the device may
    // have left (kIOReturnNotAttached).
    IOReturn failure = kIOReturnSuccess;

    bool good() const { return executed && status == kSCSITaskStatus_GOOD; }
    bool checkCondition() const { return executed && status == kSCSITaskStatus_CHECK_CONDITION; }
};

// None when no task could be created ("CreateSCSITask returned NULL.").
std::optional<TaskOutcome> runTask(SCSITaskDeviceInterface& interface, const TaskRequest& request);
