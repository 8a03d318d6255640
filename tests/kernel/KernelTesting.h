#pragma once

#include "tests/kernel/KernelDrive.h"
#include "tests/support/FirmwareImageFolder.h"
#include "tests/support/OpenDescriptors.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

// What the tests on a real kernel share. An emulated machine is slow: waits
// here are long, and never measure anything.

inline bool eventuallyOnKernel(const std::function<bool()>& condition) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > giveUp) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// A drive of the target model, eligible for the demonstration images, that
// installs in three polls. Without a disc: the model reads no sectors, and
// the kernel would complain of every read that udev tries on one.
inline sim::DriveProfile targetDrive() {
    sim::DriveProfile profile;
    profile.id = "kernel";
    return profile;
}

// The bytes the drive took into one image buffer, end to end.
inline std::vector<std::uint8_t> receivedIn(const sim::VirtualDrive& drive, std::uint8_t buffer) {
    std::vector<std::uint8_t> bytes;
    for (const sim::CommandRecord& command : drive.history()) {
        if (command.cdb[0] == 0x3B && command.cdb[2] == buffer && command.result.status == 0) {
            bytes.insert(bytes.end(), command.dataOut.begin(), command.dataOut.end());
        }
    }
    return bytes;
}

// The file's first `count` bytes, zeros past its end.
inline std::vector<std::uint8_t> imageBytes(const std::filesystem::path& path,
                                            std::uint64_t count) {
    auto bytes = FirmwareImageFolder::bytesOf(path);
    bytes.resize(count, 0);
    return bytes;
}
