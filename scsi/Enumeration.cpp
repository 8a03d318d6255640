#include "platform/foundation/Log.h"
#include "platform/iokit/ObjectRef.h"
#include "platform/iokit/Services.h"
#include "records/Util.h"
#include "scsi/ExclusiveAccess.h"
#include "scsi/Precondition.h"
#include "scsi/STUCMethod.h"
#include "scsi/Signatures.h"

using foundation::format;
using foundation::Log;

namespace {

constexpr const char* kBlankDestination = "        ";

} // namespace

UpdateVerdict VerdictOnUpdate(const DeviceData& drive, const FirmFileData& image) {
    if (!image.isFileExists()) {
        return UpdateVerdict::NoImage;
    }
    if (!drive.hard_version() || !drive.dest_version() || !drive.revision()) {
        return UpdateVerdict::NotIdentified;
    }
    // A missing value on the image's side never matches, and neither does an
    // empty or blank hardware version: it names no hardware at all.
    const auto& hardware = drive.hard_version();
    if (!Util::sameText(hardware, image.hard_version()) || Util::trimmedText(*hardware).empty()) {
        return UpdateVerdict::OtherHardware;
    }
    // A blank destination on the drive takes any image that names one.
    const auto& destination = image.dest_version();
    if (!destination || destination->empty() ||
        (drive.dest_version() != kBlankDestination &&
         !Util::sameText(drive.dest_version(), destination))) {
        return UpdateVerdict::OtherDestination;
    }
    if (!image.revision() || Util::cmpCurVersion(*drive.revision(), *image.revision()) != -1) {
        return UpdateVerdict::AlreadyCurrent;
    }
    return UpdateVerdict::Eligible;
}

bool CanUpdateWith(const DeviceData& drive, const FirmFileData& image) {
    return VerdictOnUpdate(drive, image) == UpdateVerdict::Eligible;
}

bool FindDevicesUsing(int kind, mach_port_t masterPort, io_iterator_t* iterator) {
    CFMutableDictionaryRef matchingDict;
    if (kind == kAuthoringDeviceKind) {
        CreateMatchingDictionaryForAuthoringDevices(&matchingDict);
    } else {
        Log::toStandardOutput("no implement..");
    }
    if (!matchingDict) {
        Log::toStandardError("Couldn't create a matching dictionary.\n");
        return false;
    }
    const kern_return_t result =
        IOServiceGetMatchingServices(masterPort, std::move(matchingDict), iterator);
    return result == KERN_SUCCESS && *iterator != IO_OBJECT_NULL;
}

void ExecListDeviceMain(io_iterator_t iterator, std::vector<DeviceData>& deviceArray,
                        const FirmFileData& normalImage) {
    while (const auto reference = iokit::ObjectRef::adopt(IOIteratorNext(iterator))) {
        const io_object_t scsiDevice = reference.get();
        LogDeviceClass(scsiDevice, Signatures::kExecListDeviceMain, "ExecListDeviceMain",
                       "\n---- Found Target ---------------------------------------------------\n");

        const DeviceInterfaces interfaces = CreateDeviceInterfaceForAuthoringDevice(scsiDevice);
        if (interfaces.taskDevice) {
            if (auto deviceData = GetDeviceInfo(interfaces.taskDevice.get(), normalImage)) {
                deviceData->setScsiDevice(scsiDevice);
                deviceArray.push_back(std::move(*deviceData));
            }
        } else {
            Log::error(Signatures::kExecListDeviceMain, "interface is NULL.");
        }
    }
}

std::vector<DeviceData> ListTargetDrives(const FirmFileData& normalImage) {
    std::vector<DeviceData> deviceArray;
    iokit::ObjectRef iterator;
    if (FindDevicesUsing(kAuthoringDeviceKind, kIOMasterPortDefault, iterator.receive())) {
        ExecListDeviceMain(iterator.get(), deviceArray, normalImage);
    }
    return deviceArray;
}

std::optional<DeviceData> GetDeviceInfo(SCSITaskDeviceInterface* interface,
                                        const FirmFileData& normalImage) {
    requirePrecondition(interface != nullptr, "interface != NULL", "GetDeviceInfo");
    auto access = ExclusiveAccess::obtain(*interface, Signatures::kGetDeviceInfo);
    if (!access) {
        return std::nullopt;
    }

    std::optional<DeviceData> deviceData(std::in_place);
    CommandInquiry(interface, &*deviceData);
    if (!Util::isTargetModel(deviceData->product())) {
        deviceData.reset();
    } else {
        CommandTestUnitReady(interface, &*deviceData, nullptr, nullptr);
        if (CommandReadBufferForDevice(interface, &*deviceData) == 0 &&
            CanUpdateWith(*deviceData, normalImage)) {
            deviceData->setIsEnableUpdate(true);
        }
    }

    if (!access->release()) {
        return std::nullopt;
    }
    return deviceData;
}
