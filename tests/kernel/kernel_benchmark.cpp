// Times, on a real kernel, the updater's whole stack (command layer, task
// interfaces, the Linux backend's SG_IO device) against plain SG_IO loops on
// the same drive, served through the kernel's userspace SCSI target:
// 10,000 TEST UNIT READY, and a full update with a 16 MiB normal image
// against the same commands and chunks, read from the same files, sent with
// plain SG_IO. Each side runs
// several times, alternately; the best time of each counts. It prints
// figures and asserts nothing.

#include "platform/foundation/FileDescriptor.h"
#include "platform/foundation/Log.h"
#include "platform/linux/LinuxBackend.h"
#include "platform/linux/SgDevice.h"
#include "scsi/STUCMethod.h"
#include "tests/kernel/KernelTesting.h"
#include "tests/kernel/PlainSg.h"
#include "tests/support/EngineSupport.h"
#include "tools/FirmwareImageWriter.h"

#include <QCoreApplication>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <unistd.h>

namespace {

constexpr int kRounds = 5;
constexpr int kTestUnitReadyCount = 10000;
constexpr std::uint64_t kNormalImageSize = 16 * 1024 * 1024;

template <class Work>
double secondsFor(Work work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The drive served and the backend that has published it.
struct Served {
    explicit Served(const sim::DriveProfile& profile) : drive(profile) {
        drive.plugIn();
        backend.emplace(linuxbackend::EventSource::Udev);
        if (!eventuallyOnKernel([this] { return backend->drives().size() == 1; })) {
            throw std::runtime_error("the backend did not publish the drive");
        }
    }

    tcmu::KernelDrive drive;
    std::optional<linuxbackend::LinuxBackend> backend;
};

sim::DriveProfile readyDrive() {
    auto profile = targetDrive();
    profile.disc = sim::Disc{};
    return profile;
}

double stackTestUnitReadies(const FirmwareImageFolder& images) {
    const auto list = ListTargetDrives(images.normal());
    if (list.size() != 1) {
        throw std::runtime_error("the drive was not listed");
    }
    const DeviceInterfaces interfaces =
        CreateDeviceInterfaceForAuthoringDevice(list[0].scsiDevice());
    SCSITaskDeviceInterface* device = interfaces.taskDevice.get();
    if (device == nullptr || device->ObtainExclusiveAccess() != kIOReturnSuccess) {
        throw std::runtime_error("no exclusive access to the drive");
    }
    const double seconds = secondsFor([&] {
        for (int i = 0; i < kTestUnitReadyCount; ++i) {
            bool disc = false;
            int progress = 0;
            CommandTestUnitReady(device, nullptr, &disc, &progress);
        }
    });
    device->ReleaseExclusiveAccess();
    return seconds;
}

// Both nodes held as the backend holds them, so the kernel's media polling
// stays out of both measurements.
struct PlainHold {
    explicit PlainHold(tcmu::KernelDrive& drive)
        : generic(drive.genericNode(), true),
          block(::open(drive.blockNode().value_or("").c_str(), O_RDWR | O_EXCL | O_NONBLOCK)) {
        if (!block.valid()) {
            throw std::runtime_error("cannot hold the block node");
        }
    }
    tcmu::PlainSg generic;
    foundation::FileDescriptor block;
};

double plainTestUnitReadies(tcmu::KernelDrive& drive) {
    PlainHold hold(drive);
    const std::array<std::uint8_t, 6> testUnitReady{};
    return secondsFor([&] {
        for (int i = 0; i < kTestUnitReadyCount; ++i) {
            hold.generic.execute(testUnitReady, {}, tcmu::DataPhase::None,
                                 std::chrono::milliseconds(kTaskTimeoutMilliseconds));
        }
    });
}

// The Linux backend's pass-through device alone, below the task interfaces.
double deviceTestUnitReadies(tcmu::KernelDrive& drive) {
    const std::filesystem::path scsiDevice =
        std::filesystem::path(drive.genericSyspath()).parent_path().parent_path();
    linuxbackend::SgDevice device(drive.genericNode(), scsiDevice.string());
    if (!device.open().granted()) {
        throw std::runtime_error("no exclusive access to the drive");
    }
    const std::array<std::uint8_t, 6> testUnitReady{};
    const double seconds = secondsFor([&] {
        for (int i = 0; i < kTestUnitReadyCount; ++i) {
            device.execute(testUnitReady, {}, iokit::TransferDirection::None,
                           std::chrono::milliseconds(kTaskTimeoutMilliseconds));
        }
    });
    device.close();
    return seconds;
}

tcmu::DataPhase phaseOf(sim::Direction direction) {
    switch (direction) {
    case sim::Direction::ToDrive:
        return tcmu::DataPhase::ToDevice;
    case sim::Direction::FromDrive:
        return tcmu::DataPhase::FromDevice;
    case sim::Direction::None:
        break;
    }
    return tcmu::DataPhase::None;
}

// The update's own commands, as the drive received them.
std::vector<sim::CommandRecord> updateCommands(const FirmwareImageFolder& images) {
    Served served(readyDrive());
    auto list = ListTargetDrives(images.normal());
    served.drive.drive().setRecording(sim::Recording::CommandsAndData);
    if (list.size() != 1 || !ExecUpdateMain(list[0], images.normal(), images.kernel())) {
        throw std::runtime_error("the recorded update failed");
    }
    return served.drive.drive().history();
}

double stackUpdate(const FirmwareImageFolder& images) {
    Served served(readyDrive());
    auto list = ListTargetDrives(images.normal());
    if (list.size() != 1) {
        throw std::runtime_error("the drive was not listed");
    }
    bool updated = false;
    const double seconds =
        secondsFor([&] { updated = ExecUpdateMain(list[0], images.normal(), images.kernel()); });
    if (!updated) {
        throw std::runtime_error("the update failed");
    }
    return seconds;
}

// The recorded commands again, each image chunk read from its file as it goes.
double plainUpdate(const std::vector<sim::CommandRecord>& commands,
                   const FirmwareImageFolder& images) {
    tcmu::KernelDrive drive(readyDrive());
    drive.plugIn();
    const foundation::FileDescriptor kernelImage(
        ::open(images.kernelPath().c_str(), O_RDONLY | O_CLOEXEC));
    const foundation::FileDescriptor normalImage(
        ::open(images.normalPath().c_str(), O_RDONLY | O_CLOEXEC));
    std::vector<std::uint8_t> buffer;
    return secondsFor([&] {
        PlainHold hold(drive);
        for (const sim::CommandRecord& command : commands) {
            const auto& cdb = command.cdb;
            const bool image = cdb[0] == 0x3B && (cdb[2] == 0xFE || cdb[2] == 0xF0);
            if (image) {
                buffer.assign(command.bufferLength, 0);
                const off_t offset = (cdb[3] << 16) | (cdb[4] << 8) | cdb[5];
                const int file = cdb[2] == 0xFE ? kernelImage.get() : normalImage.get();
                if (::pread(file, buffer.data(), buffer.size(), offset) < 0) {
                    throw std::runtime_error("cannot read an image");
                }
            } else {
                buffer = command.dataOut;
                buffer.resize(command.bufferLength);
            }
            hold.generic.execute(cdb, buffer, phaseOf(command.direction),
                                 std::chrono::milliseconds(kTaskTimeoutMilliseconds));
        }
    });
}

void print(const char* what, double stack, double plain) {
    std::printf("[ figure ] %s: updater %.3f s, plain SG_IO %.3f s, ratio %.3fx\n", what, stack,
                plain, stack / plain);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    try {
        const QCoreApplication application(argc, argv);
        foundation::Log::setSink([](foundation::LogChannel, std::string_view) {});
        const FirmwareImageFolder images(tools::kDemoKernelImageSize, kNormalImageSize);

        double stack = 1e9;
        double plain = 1e9;
        double device = 1e9;
        {
            Served served(readyDrive());
            for (int round = 0; round < kRounds; ++round) {
                stack = std::min(stack, stackTestUnitReadies(images));
                plain = std::min(plain, plainTestUnitReadies(served.drive));
                device = std::min(device, deviceTestUnitReadies(served.drive));
            }
        }
        print("10000 TEST UNIT READY", stack, plain);
        std::printf("[ figure ] 10000 TEST UNIT READY through the pass-through device alone: "
                    "%.3f s, ratio %.3fx\n",
                    device, device / plain);

        const auto commands = updateCommands(images);
        stack = plain = 1e9;
        for (int round = 0; round < kRounds; ++round) {
            stack = std::min(stack, stackUpdate(images));
            plain = std::min(plain, plainUpdate(commands, images));
        }
        print("update with a 16 MiB normal image", stack, plain);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "kernel_benchmark: %s\n", error.what());
        return 1;
    }
}
