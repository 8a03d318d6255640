#include "platform/linux/LinuxBackend.h"

#include "monitor/USBDeviceManager.h"
#include "platform/foundation/FileDescriptor.h"
#include "scsi/BusyLimit.h"
#include "scsi/ReturnWait.h"
#include "scsi/STUCMethod.h"
#include "tests/kernel/KernelTesting.h"
#include "tests/monitor/MonitorTesting.h"
#include "tests/support/EngineSupport.h"
#include "tools/FirmwareImageWriter.h"

#include <array>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <future>
#include <gmock/gmock.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>

using linuxbackend::EventSource;
using linuxbackend::LinuxBackend;
using tcmu::KernelDrive;
using testing::ElementsAre;
using testing::IsEmpty;

namespace {

// The drive served through the kernel and the system's backend that finds it,
// with the demonstration images.
class RealKernel : public testing::Test {
  protected:
    // Plugs the drive in and starts the backend, which then lists it.
    void start(const sim::DriveProfile& profile) {
        drive_.emplace(profile);
        drive_->plugIn();
        backend_.emplace(EventSource::Udev);
    }

    DeviceData listedDrive() {
        const auto list = ListTargetDrives(images_.normal());
        if (list.size() != 1) {
            ADD_FAILURE() << list.size() << " drives listed";
            return {};
        }
        return list[0];
    }

    // Whether another program could now take the drive, both its nodes.
    bool exclusiveAccessIsFree() {
        const foundation::FileDescriptor generic(
            ::open(drive_->genericNode().c_str(), O_RDWR | O_EXCL | O_NONBLOCK | O_CLOEXEC));
        const foundation::FileDescriptor block(
            ::open(drive_->blockNode().value_or("").c_str(), O_RDONLY | O_EXCL | O_NONBLOCK));
        return generic.valid() && block.valid();
    }

    const FirmwareImageFolder images_{tools::kDemoKernelImageSize, tools::kDemoNormalImageSize};
    std::optional<KernelDrive> drive_;
    std::optional<LinuxBackend> backend_;
};

bool refusedAs(const std::vector<iokit::AccessResult>& problems, iokit::AccessRefusal refusal,
               const std::string& node) {
    return std::ranges::any_of(problems, [&](const iokit::AccessResult& problem) {
        return problem.refusal == refusal && problem.deviceNode == node;
    });
}

} // namespace

TEST_F(RealKernel, ListingFindsTheServedDriveIdentifiedAndEligibleAndNoOtherDevice) {
    auto profile = targetDrive();
    profile.disc = sim::Disc{};
    start(profile);
    // Beside it sits a disk of the kernel's SCSI debug driver: no drive.
    ASSERT_TRUE(std::filesystem::exists("/sys/bus/pseudo/drivers/scsi_debug"));
    const auto published = backend_->drives();
    ASSERT_EQ(published.size(), 1u);
    EXPECT_EQ(published[0].genericNode, drive_->genericNode());

    const DeviceData drive = listedDrive();
    EXPECT_EQ(drive.vendor(), "QUELMAR ");
    EXPECT_EQ(drive.product(), "BD-RW KLV-TN82WA");
    EXPECT_EQ(drive.revision(), "1.01");
    EXPECT_EQ(drive.hard_version(), "KLVH0100");
    EXPECT_EQ(drive.dest_version(), "WW000001");
    EXPECT_EQ(drive.driveMode(), 0);
    EXPECT_TRUE(drive.isPresenceDisc());
    EXPECT_TRUE(drive.isEnableUpdate());
    EXPECT_THAT(backend_->accessProblems(), IsEmpty());
    EXPECT_TRUE(exclusiveAccessIsFree());
}

TEST_F(RealKernel, UpdateGoesThroughKernelModeTo102AndTheDriveReceivesTheImagesBytes) {
    start(targetDrive());
    DeviceData drive = listedDrive();
    drive_->drive().setRecording(sim::Recording::CommandsAndData);

    EXPECT_TRUE(ExecUpdateMain(drive, images_.normal(), images_.kernel()));
    EXPECT_EQ(drive_->drive().counters().modeChanges, 2u);
    EXPECT_EQ(receivedIn(drive_->drive(), kKernelBuffer),
              imageBytes(images_.kernelPath(), kKernelImageSent));
    // The last transfer is rounded up to a multiple of 256 bytes.
    const std::uint64_t normalSent = (tools::kDemoNormalImageSize + 255) / 256 * 256;
    EXPECT_EQ(receivedIn(drive_->drive(), kNormalBuffer),
              imageBytes(images_.normalPath(), normalSent));
    EXPECT_EQ(listedDrive().revision(), "1.02");
    EXPECT_TRUE(exclusiveAccessIsFree());
}

TEST_F(RealKernel, ARefusedModeChangeEndsWithNoAndGivesExclusiveAccessBack) {
    auto profile = targetDrive();
    profile.faults.modeChangeRefusal = sim::ModeChangeRefusal::First;
    start(profile);
    DeviceData drive = listedDrive();

    EXPECT_FALSE(ExecUpdateMain(drive, images_.normal(), images_.kernel()));
    EXPECT_EQ(drive_->drive().mode(), sim::DriveMode::Normal);
    EXPECT_EQ(drive_->drive().counters().imageTransfers, 0u);
    EXPECT_TRUE(exclusiveAccessIsFree());
}

TEST_F(RealKernel, ADrivePulledOutMidUpdateEndsWithNoAndNothingOfItStaysOpen) {
    start(targetDrive());
    DeviceData drive = listedDrive();
    const std::string generic = drive_->genericNode();
    const std::string block = drive_->blockNode().value_or("");
    // Its LUN goes while the normal image streams in.
    std::jthread puller([this](std::stop_token stop) {
        while (!stop.stop_requested() && drive_->drive().counters().imageTransfers < 10) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (!stop.stop_requested()) {
            drive_->pullOut();
        }
    });

    auto update = std::async(std::launch::async, [&] {
        return ExecUpdateMain(drive, images_.normal(), images_.kernel());
    });
    if (update.wait_for(std::chrono::minutes(3)) != std::future_status::ready) {
        ADD_FAILURE() << "the update of a drive pulled out does not end";
        std::_Exit(1);
    }
    EXPECT_FALSE(update.get());
    EXPECT_LT(drive_->drive().counters().imageTransfers, 30u);
    EXPECT_EQ(descriptorsOpenOn(generic), 0);
    EXPECT_EQ(descriptorsOpenOn(block), 0);
    EXPECT_TRUE(eventuallyOnKernel([this] { return backend_->drives().empty(); }));

    // A drive plugged in afterwards is listed as ever.
    drive_.emplace(targetDrive());
    drive_->plugIn();
    ASSERT_TRUE(eventuallyOnKernel([this] { return backend_->drives().size() == 1; }));
    EXPECT_TRUE(listedDrive().isEnableUpdate());
}

TEST_F(RealKernel, ADriveLinkedAndUnlinkedReachesTheHotPlugMonitorAsOneNoticeEach) {
    // udevd's reports, and the kernel's own for a system without udevd.
    for (const EventSource source : {EventSource::Udev, EventSource::Kernel}) {
        SCOPED_TRACE(source == EventSource::Udev ? "udev" : "kernel");
        drive_.emplace(targetDrive());
        backend_.emplace(source);
        const NotificationRecorder recorder;
        USBDeviceManager manager;
        const RunLoopThread monitor([&manager] { manager.start(); });
        // One notice of each kind once the monitor is armed.
        ASSERT_TRUE(recorder.cameTo(2));

        drive_->plugIn();
        ASSERT_TRUE(eventuallyOnKernel([&] { return recorder.received().size() >= 3; }));
        EXPECT_EQ(listedDrive().revision(), "1.01");
        drive_->unplug();
        ASSERT_TRUE(eventuallyOnKernel([&] { return recorder.received().size() >= 4; }));
        KernelDrive::settle();
        EXPECT_THAT(recorder.received(), ElementsAre(kDriveAppeared, kDriveDisappeared,
                                                     kDriveAppeared, kDriveDisappeared));
        backend_.reset();
    }
}

TEST_F(RealKernel, ASecondHolderOfEitherNodeMakesExclusiveAccessFail) {
    start(targetDrive());
    DeviceData drive = listedDrive();
    const std::string generic = drive_->genericNode();
    const std::string block = drive_->blockNode().value_or("");
    {
        const foundation::FileDescriptor holder(
            ::open(generic.c_str(), O_RDWR | O_EXCL | O_NONBLOCK | O_CLOEXEC));
        ASSERT_TRUE(holder.valid());
        EXPECT_FALSE(ExecUpdateMain(drive, images_.normal(), images_.kernel()));
        EXPECT_TRUE(
            refusedAs(backend_->accessProblems(), iokit::AccessRefusal::HeldElsewhere, generic));
    }
    {
        // A program that holds the disc drive, as a burning program does.
        const foundation::FileDescriptor holder(
            ::open(block.c_str(), O_RDONLY | O_EXCL | O_NONBLOCK | O_CLOEXEC));
        ASSERT_TRUE(holder.valid());
        EXPECT_FALSE(ExecUpdateMain(drive, images_.normal(), images_.kernel()));
        // The drive is known by its sg node, whichever node refused.
        EXPECT_TRUE(
            refusedAs(backend_->accessProblems(), iokit::AccessRefusal::HeldElsewhere, generic));
        EXPECT_EQ(descriptorsOpenOn(generic), 0);
    }
    EXPECT_EQ(drive_->drive().counters().modeChanges, 0u);
    EXPECT_TRUE(exclusiveAccessIsFree());
}

TEST_F(RealKernel, WhileTheUpdaterHoldsTheDriveNoOtherProgramOpensItsSgNode) {
    start(targetDrive());
    const DeviceData drive = listedDrive();
    const DeviceInterfaces interfaces = CreateDeviceInterfaceForAuthoringDevice(drive.scsiDevice());
    ASSERT_NE(interfaces.taskDevice, nullptr);
    ASSERT_EQ(interfaces.taskDevice->ObtainExclusiveAccess(), kIOReturnSuccess);
    const auto openError = [](const std::string& node, int flags) {
        const foundation::FileDescriptor other(
            ::open(node.c_str(), flags | O_NONBLOCK | O_CLOEXEC));
        return other.valid() ? 0 : errno;
    };
    // Not even one that does not ask to hold the node alone: only an
    // exclusive holder keeps those away.
    EXPECT_EQ(openError(drive_->genericNode(), O_RDWR), EBUSY);
    EXPECT_EQ(openError(drive_->blockNode().value_or(""), O_RDONLY | O_EXCL), EBUSY);
    EXPECT_EQ(interfaces.taskDevice->ReleaseExclusiveAccess(), kIOReturnSuccess);
    EXPECT_TRUE(exclusiveAccessIsFree());
}

namespace {

struct PipeCloser {
    void operator()(std::FILE* pipe) const { ::pclose(pipe); }
};

struct ProgramRun {
    int status = -1;
    std::string output;
};

// The updater and its images, copied where any user may reach them: the
// checkout may lie in a folder that only its owner can enter (a clone in
// /root, or one made with mktemp -d); the build tree's own folders and files
// are open to all. Answers the copy's bin folder.
std::filesystem::path updaterReachableByAll() {
    namespace fs = std::filesystem;
    const fs::path tree = fs::read_symlink("/proc/self/exe").parent_path().parent_path();
    const fs::path copy = "/tmp/quelmar-for-all";
    if (!fs::exists(copy / "bin/quelmar-drive-updater")) {
        fs::create_directories(copy / "bin");
        fs::create_directories(copy / "share");
        fs::copy_file(tree / "bin/quelmar-drive-updater", copy / "bin/quelmar-drive-updater");
        fs::copy(tree / "share/quelmar-drive-updater", copy / "share/quelmar-drive-updater",
                 fs::copy_options::recursive);
    }
    return copy / "bin";
}

// Runs the updater's command line (the program's name first) as user 1000
// with the groups setpriv's options give it, and no terminal.
ProgramRun runAsUser(const std::vector<std::string>& identity, const std::string& commandLine) {
    const auto folder = updaterReachableByAll();
    std::string command = "setpriv --reuid=1000 --regid=1000";
    for (const std::string& option : identity) {
        command += " " + option;
    }
    command += " env -u XDG_RUNTIME_DIR -u QUELMAR_SCENARIO " + (folder / commandLine).string() +
               " </dev/null 2>&1";
    ProgramRun run;
    std::unique_ptr<std::FILE, PipeCloser> pipe(::popen(command.c_str(), "r"));
    if (!pipe) {
        return run;
    }
    std::array<char, 256> line{};
    while (std::fgets(line.data(), line.size(), pipe.get()) != nullptr) {
        run.output += line.data();
    }
    const int status = ::pclose(pipe.release());
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// The installed layout beside the build tree's executables: the images the
// updater carries.
std::filesystem::path carriedImage(const char* name) {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() /
           "share/quelmar-drive-updater" / name;
}

} // namespace

TEST_F(RealKernel, TheTerminalFrontEndListsAndUpdatesAsAMemberOfCdromAndIsRefusedOutsideIt) {
    drive_.emplace(targetDrive());
    drive_->plugIn();
    drive_->drive().setRecording(sim::Recording::CommandsAndData);
    const group* cdrom = ::getgrnam("cdrom");
    ASSERT_NE(cdrom, nullptr);
    const std::vector<std::string> member{"--groups=" + std::to_string(cdrom->gr_gid)};
    const std::string node = drive_->genericNode();

    const ProgramRun outsideList = runAsUser({"--clear-groups"}, "quelmar-drive-updater --list");
    EXPECT_EQ(outsideList.status, 0) << outsideList.output;
    EXPECT_THAT(outsideList.output, testing::HasSubstr("-  " + node +
                                                       "\n   not available: "
                                                       "permission denied."));
    const ProgramRun outsideUpdate =
        runAsUser({"--clear-groups"}, "quelmar-drive-updater --update 1 --yes");
    EXPECT_EQ(outsideUpdate.status, 3) << outsideUpdate.output;
    EXPECT_EQ(drive_->drive().counters().modeChanges, 0u);

    const ProgramRun list = runAsUser(member, "quelmar-drive-updater --list");
    EXPECT_EQ(list.status, 0) << list.output;
    EXPECT_THAT(list.output, testing::HasSubstr("1  QUELMAR  BD-RW KLV-TN82WA 1.012010/9/30 \n"
                                                "   revision 1.01, date 2010/9/30, may be "
                                                "updated to"));
    const ProgramRun update = runAsUser(member, "quelmar-drive-updater --update 1 --yes");
    EXPECT_EQ(update.status, 0) << update.output;
    EXPECT_THAT(update.output, testing::HasSubstr("Complete! Drive 1 now reports revision 1.02."));
    EXPECT_EQ(receivedIn(drive_->drive(), kKernelBuffer),
              imageBytes(carriedImage("S8721020.102"), kKernelImageSent));
    const std::uint64_t normalSent = (tools::kDemoNormalImageSize + 255) / 256 * 256;
    EXPECT_EQ(receivedIn(drive_->drive(), kNormalBuffer),
              imageBytes(carriedImage("S8721021.102"), normalSent));
    EXPECT_TRUE(exclusiveAccessIsFree());
}

namespace {

// The command `quelmar-drive-updater --update 1 --yes` of the build tree, as
// root, on the kernel's drives; from the moment it says it updates, a storm
// of the signals a user or a session sends: every few milliseconds one that
// ends a process, and a pause followed by its end. Answers how it ended and
// what it printed.
ProgramRun updateUnderSignalStorm() {
    const auto program =
        std::filesystem::read_symlink("/proc/self/exe").parent_path() / "quelmar-drive-updater";
    const auto runtime = std::filesystem::temp_directory_path() / "quelmar-storm";
    std::filesystem::create_directories(runtime);
    const std::string runtimeVariable = "XDG_RUNTIME_DIR=" + runtime.string();
    std::array<int, 2> output{};
    if (::pipe2(output.data(), O_CLOEXEC) != 0) {
        return {};
    }
    const pid_t child = ::fork();
    if (child == 0) {
        const rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        ::dup2(output[1], STDOUT_FILENO);
        ::dup2(output[1], STDERR_FILENO);
        ::unsetenv("QUELMAR_SCENARIO");
        ::putenv(const_cast<char*>(runtimeVariable.c_str()));
        ::execl(program.c_str(), program.c_str(), "--update", "1", "--yes", nullptr);
        ::_exit(127);
    }
    ::close(output[1]);
    const int process = static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
    std::atomic<bool> over = false;
    std::thread storm;
    ProgramRun run;
    std::array<char, 4096> buffer{};
    for (ssize_t n; (n = ::read(output[0], buffer.data(), buffer.size())) > 0;) {
        run.output.append(buffer.data(), static_cast<std::size_t>(n));
        if (!storm.joinable() && run.output.find("Updating drive 1...") != std::string::npos) {
            storm = std::thread([process, &over] {
                while (!over) {
                    for (const int signal : {SIGINT, SIGTSTP, SIGCONT, SIGTERM, SIGHUP, SIGQUIT}) {
                        ::syscall(SYS_pidfd_send_signal, process, signal, nullptr, 0);
                        std::this_thread::sleep_for(std::chrono::milliseconds(3));
                    }
                }
            });
        }
    }
    over = true;
    if (storm.joinable()) {
        storm.join();
    }
    ::close(output[0]);
    ::close(process);
    int status = 0;
    ::waitpid(child, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::filesystem::remove_all(runtime);
    return run;
}

} // namespace

// A signal delivered to the thread waiting in SG_IO would send the command
// again: CHANGE DRIVE MODE toggles, so a doubled one undoes itself.
TEST_F(RealKernel, AStormOfSignalsLeavesEveryCommandOfTheUpdateSentOnceAndActsAfterTheResult) {
    auto profile = targetDrive();
    profile.installPolls = 50;
    drive_.emplace(profile);
    drive_->plugIn();
    drive_->drive().setRecording(sim::Recording::CommandsAndData);

    const ProgramRun run = updateUnderSignalStorm();
    EXPECT_THAT(run.output, testing::HasSubstr("Complete! Drive 1 now reports revision 1.02."));
    EXPECT_THAT(run.status,
                testing::AnyOf(128 + SIGINT, 128 + SIGTERM, 128 + SIGHUP, 128 + SIGQUIT));
    EXPECT_EQ(drive_->drive().counters().modeChanges, 2u);
    EXPECT_EQ(receivedIn(drive_->drive(), kKernelBuffer),
              imageBytes(carriedImage("S8721020.102"), kKernelImageSent));
    const std::uint64_t normalSent = (tools::kDemoNormalImageSize + 255) / 256 * 256;
    EXPECT_EQ(receivedIn(drive_->drive(), kNormalBuffer),
              imageBytes(carriedImage("S8721021.102"), normalSent));
}

namespace {

constexpr std::uint8_t kWriteBuffer = 0x3B;
constexpr std::uint8_t kModeBuffer = 0xFF;

// Runs the engine's update of the listed drive on a thread of its own; fails
// the test program when it never ends.
bool updateWithin(DeviceData& drive, const FirmwareImageFolder& images) {
    auto update = std::async(std::launch::async, [&] {
        return ExecUpdateMain(drive, images.normal(), images.kernel());
    });
    if (update.wait_for(std::chrono::minutes(3)) != std::future_status::ready) {
        ADD_FAILURE() << "the update does not end";
        std::_Exit(1);
    }
    return update.get();
}

// A command of one kind, by its order among the commands of that kind.
struct CommandAt {
    const char* name;
    std::function<bool(const std::vector<std::uint8_t>& cdb)> isOfKind;
    std::size_t occurrence;
    // Whether the drive had been told to install when it left; none where the
    // next command may already be under way when the drive goes.
    std::optional<bool> activatedBefore;
};

bool isInquiry(const std::vector<std::uint8_t>& cdb) {
    return cdb[0] == 0x12;
}
bool isReadBuffer(const std::vector<std::uint8_t>& cdb) {
    return cdb[0] == 0x3C;
}
bool isModeChange(const std::vector<std::uint8_t>& cdb) {
    return cdb[0] == kWriteBuffer && cdb[2] == kModeBuffer;
}
bool isKernelWrite(const std::vector<std::uint8_t>& cdb) {
    return cdb[0] == kWriteBuffer && cdb[2] == kKernelBuffer;
}
bool isNormalWrite(const std::vector<std::uint8_t>& cdb) {
    return cdb[0] == kWriteBuffer && cdb[2] == kNormalBuffer;
}
bool isPoll(const std::vector<std::uint8_t>& cdb) {
    return cdb[0] == 0x00;
}

} // namespace

TEST_F(RealKernel, ADriveThatReportsAResetAfterActivatingIsUpdated) {
    auto profile = targetDrive();
    profile.faults.unitAttentionAfterActivation = sim::AdditionalSense{0x29, 0x00};
    start(profile);
    DeviceData drive = listedDrive();
    EXPECT_TRUE(updateWithin(drive, images_));
    EXPECT_EQ(listedDrive().revision(), "1.02");
    EXPECT_TRUE(exclusiveAccessIsFree());
}

// Its LUN goes while it installs, as a USB drive drops off the bus to start
// its new firmware; linked again, it is the same drive at the same place.
TEST_F(RealKernel, ADriveThatLeavesWhileInstallingIsJudgedWhereItComesBackOrIsNo) {
    for (const bool comesBack : {true, false}) {
        SCOPED_TRACE(comesBack ? "comes back" : "stays away");
        const ReturnWait shortWait(std::chrono::seconds(comesBack ? 120 : 3));
        auto profile = targetDrive();
        profile.installPolls = 30;
        start(profile);
        DeviceData drive = listedDrive();
        const io_service_t before = drive.scsiDevice();
        std::jthread puller([this, comesBack](const std::stop_token& stop) {
            while (!stop.stop_requested() && !drive_->drive().isInstalling()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            const auto polled = drive_->drive().counters().polls;
            while (!stop.stop_requested() && drive_->drive().counters().polls < polled + 2) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            drive_->pullOut();
            if (comesBack) {
                std::this_thread::sleep_for(std::chrono::seconds(1));
                drive_->plugIn();
            }
        });
        const bool updated = updateWithin(drive, images_);
        puller.join();
        EXPECT_EQ(updated, comesBack);
        if (comesBack) {
            EXPECT_NE(drive.scsiDevice(), before);
            EXPECT_EQ(drive.revision(), "1.02");
            EXPECT_TRUE(exclusiveAccessIsFree());
        } else {
            drive_->plugIn();
        }
        ASSERT_TRUE(eventuallyOnKernel([this] { return backend_->drives().size() == 1; }));
        drive_.reset();
        backend_.reset();
    }
}

// The drive pulled out after the first and the last command of each kind (of
// the polls, the first two: the last one is followed at once by the final
// INQUIRY).
TEST_F(RealKernel, ADrivePulledOutAnywhereEndsWithoutAHangOrAPartialImageAndIsListedAgain) {
    const std::size_t normalWrites = (tools::kDemoNormalImageSize + 32767) / 32768;
    const std::vector<CommandAt> sweep{
        {"first INQUIRY", isInquiry, 1, false},
        {"READ BUFFER", isReadBuffer, 1, false},
        {"first mode change", isModeChange, 1, false},
        {"first kernel write", isKernelWrite, 1, false},
        {"last kernel write", isKernelWrite, 3, false},
        {"first normal write", isNormalWrite, 1, false},
        {"last normal write", isNormalWrite, normalWrites, std::nullopt},
        {"second mode change", isModeChange, 2, true},
        {"first poll", isPoll, 1, true},
        {"second poll", isPoll, 2, true},
        {"last INQUIRY", isInquiry, 3, true},
    };
    const ReturnWait shortWait(std::chrono::seconds(20));
    const BusyLimit shortLimit(std::chrono::seconds(10));
    for (const CommandAt& at : sweep) {
        SCOPED_TRACE(at.name);
        start(targetDrive());
        DeviceData drive = listedDrive();
        drive_->drive().setRecording(sim::Recording::CommandsAndData);
        std::jthread puller([this, &at](const std::stop_token& stop) {
            for (;;) {
                // Polls count from the activation on: the kernel's own media
                // polls come before the update holds the drive.
                std::size_t seen = 0;
                std::size_t modeChanges = 0;
                for (const sim::CommandRecord& command : drive_->drive().history()) {
                    modeChanges += isModeChange(command.cdb) ? 1 : 0;
                    seen += at.isOfKind(command.cdb) && (!isPoll(command.cdb) || modeChanges == 2)
                                ? 1
                                : 0;
                }
                if (seen >= at.occurrence || stop.stop_requested()) {
                    break;
                }
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            drive_->pullOut();
            std::this_thread::sleep_for(std::chrono::seconds(1));
            drive_->plugIn();
        });
        const bool updated = updateWithin(drive, images_);
        puller.join();
        // The drive installs only an image that arrived whole, and the update
        // says YES exactly when it did.
        const bool installed = drive_->drive().counters().modeChanges == 2 &&
                               !drive_->drive().isInstalling() &&
                               listedDrive().revision() == "1.02";
        EXPECT_EQ(updated, installed);
        if (at.activatedBefore) {
            EXPECT_EQ(updated, *at.activatedBefore);
        }
        if (installed) {
            const std::uint64_t normalSent = (tools::kDemoNormalImageSize + 255) / 256 * 256;
            EXPECT_EQ(receivedIn(drive_->drive(), kNormalBuffer),
                      imageBytes(images_.normalPath(), normalSent));
        }
        EXPECT_TRUE(listedDrive().isEnableUpdate() != installed);
        drive_.reset();
        backend_.reset();
    }
}
