#pragma once

#include "scsi/STUCMethod.h"
#include "tests/support/LogCapture.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Where the drive takes each image, and how much of the kernel image it
// takes, written out rather than taken from the command layer.
inline constexpr std::uint8_t kKernelBuffer = 0xFE;
inline constexpr std::uint8_t kNormalBuffer = 0xF0;
inline constexpr std::uint64_t kKernelImageSent = 70144;

// The reporters' signatures as the log must show them, written out here so
// that a slip in the engine's own copies shows.
namespace Logged {
inline constexpr std::string_view kCreateDeviceInterfaceForAuthoringDevice =
    "void CreateDeviceInterfaceForAuthoringDevice(io_object_t, IOCFPlugInInterface ***, "
    "SCSITaskDeviceInterface ***, MMCDeviceInterface ***)";
inline constexpr std::string_view kCommandInquiry =
    "void CommandInquiry(SCSITaskDeviceInterface **, DeviceData *)";
inline constexpr std::string_view kCommandWriteBuffer =
    "void CommandWriteBuffer(SCSITaskDeviceInterface **, int, DeviceData *, NSData *, uint32, "
    "uint32)";
inline constexpr std::string_view kCommandTestUnitReady =
    "int CommandTestUnitReady(SCSITaskDeviceInterface **, DeviceData *, BOOL *, int *)";
inline constexpr std::string_view kExecListDeviceMain =
    "void ExecListDeviceMain(io_iterator_t, NSMutableArray *, FirmFileData *)";
inline constexpr std::string_view kGetDeviceInfo =
    "DeviceData *GetDeviceInfo(SCSITaskDeviceInterface **, FirmFileData *)";
inline constexpr std::string_view kExecUpdateMain =
    "BOOL ExecUpdateMain(DeviceData *, FirmFileData *, FirmFileData *)";
} // namespace Logged

// A system log line with "#" for the source line number, which tests leave open.
inline std::string logLine(std::string_view signature, std::string_view level,
                           std::string_view message) {
    return std::string(signature) + "(#) [" + std::string(level) + "] " + std::string(message);
}

inline std::vector<std::string> systemLogOf(const LogCapture& capture) {
    std::vector<std::string> lines;
    for (std::string line : capture.systemLog()) {
        // The first "(digits) [" is the line number's place.
        for (std::size_t open = line.find('('); open != std::string::npos;
             open = line.find('(', open + 1)) {
            const std::size_t close = line.find_first_not_of("0123456789", open + 1);
            if (close > open + 1 && close != std::string::npos &&
                line.compare(close, 3, ") [") == 0) {
                line.replace(open + 1, close - open - 1, "#");
                break;
            }
        }
        lines.push_back(std::move(line));
    }
    return lines;
}
