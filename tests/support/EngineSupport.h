#pragma once

#include "platform/foundation/LogCapture.h"
#include "platform/iokit/Registry.h"
#include "scsi/STUCMethod.h"

#include <regex>
#include <string>
#include <string_view>
#include <vector>

// The list refresh's way of listing drives: find, walk, release the iterator.
inline std::vector<DeviceData> listDrives(const FirmFileData& normalImage) {
    std::vector<DeviceData> deviceArray;
    io_iterator_t iterator = IO_OBJECT_NULL;
    if (FindDevicesUsing(kAuthoringDeviceKind, kIOMasterPortDefault, &iterator)) {
        ExecListDeviceMain(iterator, deviceArray, normalImage);
    }
    IOObjectRelease(iterator);
    return deviceArray;
}

// A system log line with "#" for the source line number, which tests leave open.
inline std::string logLine(std::string_view signature, std::string_view level,
                           std::string_view message) {
    return std::string(signature) + "(#) [" + std::string(level) + "] " + std::string(message);
}

inline std::vector<std::string> systemLogOf(const foundation::LogCapture& capture) {
    static const std::regex lineNumber(R"(\(\d+\) \[)");
    std::vector<std::string> lines;
    for (const std::string& line : capture.systemLog()) {
        lines.push_back(
            std::regex_replace(line, lineNumber, "(#) [", std::regex_constants::format_first_only));
    }
    return lines;
}
