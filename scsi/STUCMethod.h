#pragma once

// The SCSI command layer and the update engine: free functions that take a
// device interface and records and answer plain results. Nothing here keeps
// state between calls; interfaces and tasks live within one operation.

#include "platform/iokit/CFDictionary.h"
#include "platform/iokit/IOKitTypes.h"
#include "platform/iokit/SCSITaskInterfaces.h"
#include "records/DeviceData.h"
#include "records/FirmFileData.h"
#include "records/FirmwareImageLayout.h"
#include "scsi/SenseOutput.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

// The interfaces of one device service. Members go in reverse order of
// declaration, which is the order they must be given back in: task device
// interface, MMC device interface, then the plug-in.
struct DeviceInterfaces {
    iokit::InterfaceRef<IOCFPlugInInterface> plugIn;
    iokit::InterfaceRef<MMCDeviceInterface> mmc;
    iokit::InterfaceRef<SCSITaskDeviceInterface> taskDevice;
};

inline constexpr std::uint32_t kWriteBufferSize = 32768;
// WRITE BUFFER addresses the drive's buffer with 24 bits of offset.
inline constexpr std::uint64_t kWriteBufferSpace = std::uint64_t{1} << 24;
inline constexpr std::uint32_t kTaskTimeoutMilliseconds = 500000;

// Device interfaces.
void CreateMatchingDictionaryForAuthoringDevices(CFMutableDictionaryRef* matchingDict);
DeviceInterfaces CreateDeviceInterfaceForAuthoringDevice(io_object_t scsiDevice);
// Traces the device's class name, after `banner`, as `reporter` found it; a
// class name that cannot be read is an error under `signature`.
void LogDeviceClass(io_object_t scsiDevice, std::string_view signature, std::string_view reporter,
                    std::string_view banner);

// The drive commands. Each asserts that it was given an interface.
void CommandInquiry(SCSITaskDeviceInterface* interface, DeviceData* deviceData);
// CommandInquiry that also tells how it went, for callers that wait for a
// drive which answers NOT READY while it restarts.
enum class InquiryAnswer { Answered, NotReady, Failed };
InquiryAnswer RequestInquiry(SCSITaskDeviceInterface* interface, DeviceData* deviceData);
std::int32_t CommandReadBufferForDevice(SCSITaskDeviceInterface* interface, DeviceData* deviceData);
// CommandWriteBuffer is true when the drive took the whole transfer: task
// status GOOD and every byte moved. A length above the transfer buffer, or a
// transfer that would end past the 24-bit offset, is refused without sending
// anything.
bool CommandWriteBuffer(SCSITaskDeviceInterface* interface, ImageSelector image,
                        DeviceData* deviceData, std::span<const std::uint8_t> data,
                        std::uint32_t bufferOffset, std::uint32_t length);
bool CommandChangeDriveMode(SCSITaskDeviceInterface* interface, DeviceData* deviceData);
// kStillInstalling exactly when the drive, asked for its progress, answers
// that it is still installing its firmware.
inline constexpr int kStillInstalling = 0;
int CommandTestUnitReady(SCSITaskDeviceInterface* interface, DeviceData* deviceData,
                         bool* isPresenceDisc, int* progress);
// CommandTestUnitReady that also tells what kind of answer came, for the
// caller that follows an install: the progress is stored as there.
enum class TestUnitReadyAnswer {
    Good,
    Installing,     // NOT READY 04h/12h
    UnitAttention,  // a reset or a change reported once; says nothing of readiness
    OtherCondition, // any other CHECK CONDITION
    OtherStatus,    // a status neither GOOD nor CHECK CONDITION
    NotCarriedOut,  // no task, or the command failed on its way to the drive and back
    Gone,           // the drive is no longer attached
};
TestUnitReadyAnswer RequestTestUnitReady(SCSITaskDeviceInterface* interface, DeviceData* deviceData,
                                         bool* isPresenceDisc, int* progress);

// Enumeration and identification. The only kind of device is 5, authoring
// devices.
inline constexpr int kAuthoringDeviceKind = 5;
bool FindDevicesUsing(int kind, mach_port_t masterPort, io_iterator_t* iterator);
void ExecListDeviceMain(io_iterator_t iterator, std::vector<DeviceData>& deviceArray,
                        const FirmFileData& normalImage);
// Every attached drive of the target model, identified: find, walk, release.
std::vector<DeviceData> ListTargetDrives(const FirmFileData& normalImage);
// The eligibility rule: the drive may take the normal image when they name the
// same hardware, the image names a destination and the drive's is blank or
// the same, and the drive's revision is lower than the image's. The verdict
// names the first rule that fails, in this order.
enum class UpdateVerdict {
    Eligible,
    NoImage,          // the normal image was not found
    NotIdentified,    // the drive's versions could not be read
    OtherHardware,    // made for another hardware version, or for none
    OtherDestination, // made for another destination version, or for none
    AlreadyCurrent,   // the drive's revision is not older than the image's
};
UpdateVerdict VerdictOnUpdate(const DeviceData& drive, const FirmFileData& normalImage);
bool CanUpdateWith(const DeviceData& drive, const FirmFileData& normalImage);
std::optional<DeviceData> GetDeviceInfo(SCSITaskDeviceInterface* interface,
                                        const FirmFileData& normalImage);

// Posted with the drive's installation progress: a value counting down
// through kProgressRange, or kEndOfProgress when there is nothing to show.
inline constexpr const char* kUpdateIndicatorNotify = "updateIndicatorNotify";
inline constexpr int kProgressRange = 65536;
inline constexpr int kEndOfProgress = -1;
// Posted as an update enters each of its phases, with the phase's number.
inline constexpr const char* kUpdatePhaseNotify = "updatePhaseNotify";
enum class UpdatePhase {
    TakingDrive = 0,       // opening the drive for exclusive use
    SwitchingToKernel = 1, // asking it into kernel mode
    Writing = 2,           // sending the images
    Installing = 3,        // the drive installs what it took
    Restarting = 4,        // it left while installing and is waited for
    CheckingRevision = 5,  // asking the revision it now reports
};
// Posted after each transfer while the images are sent: the percentage of
// their bytes sent so far.
inline constexpr const char* kUpdateWriteProgressNotify = "updateWriteProgressNotify";
// After a switch into kernel mode: true once INQUIRY reports "0000". A drive
// that answers NOT READY while it restarts is asked again for a few seconds.
bool WaitForKernelMode(SCSITaskDeviceInterface* interface);
// The firmware update of one drive: into kernel mode unless it is there
// already, the kernel image (when one was found at start) and the normal
// image written, and back to a ready drive. The images are loaded and checked
// against the records the user was shown before anything is sent; success is
// the drive reporting the revision of the normal image written and taking its
// exclusive access back.
bool ExecUpdateMain(DeviceData& deviceData, const FirmFileData& normalImage,
                    const FirmFileData& kernelImage);

// Why an update failed, for words a user can act on; the log has the details.
enum class UpdateFailure {
    None,
    ImageUnusable,           // an image could not be read or changed since start
    AccessRefused,           // the drive could not be opened for exclusive use
    NotIdentified,           // it did not identify itself again
    NotEligibleNow,          // as it answers now, it may not take the normal image
    ModeChangeRefused,       // it refused the switch into kernel mode
    NoKernelModeAfterSwitch, // it did not report kernel mode after the switch
    TransferRefused,         // it did not take an image transfer
    ActivationRefused,       // it took the image but refused the switch back
    InstallDidNotFinish,     // its progress stood still for the busy limit
    DidNotComeBack,          // it left while installing and was not found again
    WrongRevision,           // after installing it reports another revision, or none
    ReleaseFailed,           // updated, but it did not take its exclusive access back
};

struct UpdateOutcome {
    bool updated = false;
    UpdateFailure failure = UpdateFailure::None;
    // The drive was in kernel mode when the update ended: it is listed as
    // such and may be updated again, and must not lose power meanwhile.
    bool leftInKernelMode = false;
    // For AccessRefused: the refused open, when the drive's interface tells it.
    std::optional<iokit::AccessResult> access;
    // The command whose failure on its way to the drive and back failed the
    // step the run ended at, when the drive's interface tells it.
    std::optional<iokit::TransportFailure> transport;
};

// ExecUpdateMain, telling why it failed: the engine's reason, and the refused
// open or the failed command behind it; its `updated` is ExecUpdateMain's answer.
UpdateOutcome ExecUpdate(DeviceData& deviceData, const FirmFileData& normalImage,
                         const FirmFileData& kernelImage);
