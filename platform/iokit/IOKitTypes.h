#pragma once

#include <array>
#include <cstdint>

// The scalar types and records of the device registry and the SCSI task
// interfaces, under the names the updater's code uses.

using kern_return_t = std::int32_t;
using IOReturn = kern_return_t;
using io_object_t = std::uint32_t;
using io_service_t = io_object_t;
using io_iterator_t = io_object_t;
using mach_port_t = std::uint32_t;

inline constexpr io_object_t IO_OBJECT_NULL = 0;
inline constexpr kern_return_t KERN_SUCCESS = 0;
inline constexpr IOReturn kIOReturnSuccess = 0;
inline constexpr IOReturn kIOReturnError = static_cast<IOReturn>(0xe00002bc);
inline constexpr IOReturn kIOReturnNoMemory = static_cast<IOReturn>(0xe00002bd);
inline constexpr IOReturn kIOReturnNoResources = static_cast<IOReturn>(0xe00002be);
inline constexpr IOReturn kIOReturnBadArgument = static_cast<IOReturn>(0xe00002c2);
inline constexpr IOReturn kIOReturnExclusiveAccess = static_cast<IOReturn>(0xe00002c5);
inline constexpr IOReturn kIOReturnUnsupported = static_cast<IOReturn>(0xe00002c7);
inline constexpr IOReturn kIOReturnNotOpen = static_cast<IOReturn>(0xe00002cd);
inline constexpr IOReturn kIOReturnNoDevice = static_cast<IOReturn>(0xe00002c0);
inline constexpr IOReturn kIOReturnNotAttached = static_cast<IOReturn>(0xe00002dd);
inline constexpr IOReturn kIOReturnNotReadable = static_cast<IOReturn>(0xe00002da);
inline constexpr IOReturn kIOReturnTimeout = static_cast<IOReturn>(0xe00002d6);
inline constexpr IOReturn kIOReturnNotPermitted = static_cast<IOReturn>(0xe00002e2);
inline constexpr mach_port_t kIOMasterPortDefault = 0;

// A task's completion status, as the SCSI target reports it.
using SCSITaskStatus = std::uint32_t;
inline constexpr SCSITaskStatus kSCSITaskStatus_GOOD = 0x00;
inline constexpr SCSITaskStatus kSCSITaskStatus_CHECK_CONDITION = 0x02;
inline constexpr SCSITaskStatus kSCSITaskStatus_No_Status = 0xff;

using SCSIDataTransferDirection = std::uint8_t;
inline constexpr SCSIDataTransferDirection kSCSIDataTransfer_NoDataTransfer = 0;
inline constexpr SCSIDataTransferDirection kSCSIDataTransfer_FromInitiatorToTarget = 1;
inline constexpr SCSIDataTransferDirection kSCSIDataTransfer_FromTargetToInitiator = 2;

// Fixed-format sense data, 18 bytes, kept as raw bytes so that every byte the
// drive sends can be read by its position.
struct SCSI_Sense_Data {
    static constexpr std::size_t kSize = 18;
    std::array<std::uint8_t, kSize> bytes{};

    std::uint8_t senseKey() const { return bytes[2] & 0x0f; }
    std::uint8_t additionalSenseCode() const { return bytes[12]; }
    std::uint8_t additionalSenseCodeQualifier() const { return bytes[13]; }
};
