#pragma once

#include <string_view>

// How log lines name their reporter: the operation's full signature.
namespace Signatures {

inline constexpr std::string_view kCreateDeviceInterfaceForAuthoringDevice =
    "void CreateDeviceInterfaceForAuthoringDevice(io_object_t, IOCFPlugInInterface ***, "
    "SCSITaskDeviceInterface ***, MMCDeviceInterface ***)";
inline constexpr std::string_view kCommandInquiry =
    "void CommandInquiry(SCSITaskDeviceInterface **, DeviceData *)";
inline constexpr std::string_view kCommandReadBufferForDevice =
    "int32_t CommandReadBufferForDevice(SCSITaskDeviceInterface **, DeviceData *)";
inline constexpr std::string_view kCommandWriteBuffer =
    "void CommandWriteBuffer(SCSITaskDeviceInterface **, int, DeviceData *, NSData *, uint32, "
    "uint32)";
inline constexpr std::string_view kCommandChangeDriveMode =
    "BOOL CommandChangeDriveMode(SCSITaskDeviceInterface **, DeviceData *)";
inline constexpr std::string_view kCommandTestUnitReady =
    "int CommandTestUnitReady(SCSITaskDeviceInterface **, DeviceData *, BOOL *, int *)";

inline constexpr std::string_view kExecListDeviceMain =
    "void ExecListDeviceMain(io_iterator_t, NSMutableArray *, FirmFileData *)";
inline constexpr std::string_view kGetDeviceInfo =
    "DeviceData *GetDeviceInfo(SCSITaskDeviceInterface **, FirmFileData *)";
inline constexpr std::string_view kExecUpdateMain =
    "BOOL ExecUpdateMain(DeviceData *, FirmFileData *, FirmFileData *)";

} // namespace Signatures
