#include "platform/iokit/AccessProblems.h"
#include "platform/iokit/PassThroughService.h"
#include "platform/iokit/Registry.h"
#include "scsi/BusyLimit.h"
#include "scsi/PollInterval.h"
#include "scsi/ReturnWait.h"
#include "scsi/STUCMethod.h"
#include "tests/support/EngineSupport.h"
#include "tests/support/FirmwareImageFolder.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ProgressRecorder.h"
#include "tests/support/RegistryCounts.h"
#include "tests/support/SimulatedDrives.h"

#include <algorithm>
#include <cerrno>
#include <exception>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <ostream>
#include <unistd.h>

using testing::ElementsAre;
using testing::IsEmpty;

namespace {

const std::string kNotAttached = "Error executing task. (0xe00002dd)\n";

using Places = std::vector<std::pair<std::uint32_t, std::uint32_t>>; // offset, length

// One letter per command: Inquiry, Test unit ready, Read buffer, and WRITE
// BUFFER to the Mode, Kernel image or Normal image buffer.
std::string letters(const std::vector<sim::CommandRecord>& history) {
    std::string text;
    for (const auto& command : history) {
        const auto& cdb = command.cdb;
        if (cdb[0] != 0x3B) {
            text += cdb[0] == 0x12 ? 'I' : (cdb[0] == 0x3C ? 'R' : 'T');
        } else {
            text += cdb[2] == 0xFF ? 'M' : (cdb[2] == kKernelBuffer ? 'K' : 'N');
        }
    }
    return text;
}

// Where the transfers to one image buffer went, and their bytes end to end.
struct Sent {
    Places places;
    std::vector<std::uint8_t> bytes;
};

Sent sentTo(const std::vector<sim::CommandRecord>& history, std::uint8_t buffer) {
    const auto field = [](const std::vector<std::uint8_t>& cdb, std::size_t at) {
        return (std::uint32_t{cdb[at]} << 16) | (std::uint32_t{cdb[at + 1]} << 8) | cdb[at + 2];
    };
    Sent sent;
    for (const auto& command : history) {
        if (command.cdb[0] == 0x3B && command.cdb[2] == buffer) {
            sent.places.emplace_back(field(command.cdb, 3), field(command.cdb, 6));
            sent.bytes.insert(sent.bytes.end(), command.dataOut.begin(), command.dataOut.end());
        }
    }
    return sent;
}

// The file's first `count` bytes, zeros where the file ends before.
std::vector<std::uint8_t> fileBytes(const std::filesystem::path& path, std::uint64_t count) {
    auto bytes = FirmwareImageFolder::bytesOf(path);
    bytes.resize(count, 0);
    return bytes;
}

// A successful run sent exactly the images: the kernel image's first 70,144
// bytes when there was one, and the whole normal image, zero-filled to 256.
void expectImagesSent(const std::vector<sim::CommandRecord>& history,
                      const FirmwareImageFolder& images) {
    const Sent kernel = sentTo(history, kKernelBuffer);
    if (std::filesystem::exists(images.kernelPath()) || !kernel.bytes.empty()) {
        EXPECT_EQ(kernel.bytes, fileBytes(images.kernelPath(), kKernelImageSent));
    }
    const std::uint64_t size = std::filesystem::file_size(images.normalPath());
    EXPECT_EQ(sentTo(history, kNormalBuffer).bytes,
              fileBytes(images.normalPath(), (size + 255) / 256 * 256));
}

class UpdateProcedure : public testing::Test {
  protected:
    static sim::DriveProfile readyDrive(std::uint32_t installPolls = 0) {
        auto profile = SimulatedDrives::targetDrive("d");
        profile.disc = sim::Disc{};
        profile.installPolls = installPolls;
        return profile;
    }

    // Identifies the drive as the list refresh does, then updates it with
    // every command recorded.
    bool update(const sim::DriveProfile& profile, const FirmwareImageFolder& images) {
        list(profile, images);
        return rerun(images);
    }

    // `others` are drives beside it, which the listing leaves out.
    void list(const sim::DriveProfile& profile, const FirmwareImageFolder& images,
              std::vector<sim::DriveProfile> others = {}) {
        others.insert(others.begin(), profile);
        drives_.emplace(std::move(others));
        const auto list = ListTargetDrives(images.normal());
        const auto listed = std::ranges::find(list, drives_->service("d"), &DeviceData::scsiDevice);
        ASSERT_NE(listed, list.end()) << "the drive was not listed";
        record_ = *listed;
        references_ = SimulatedDrives::deviceReferences(record_.scsiDevice());
        drives_->drive("d").setRecording(sim::Recording::CommandsAndData);
    }

    // Updates the listed drive from its record as it is now; history() then
    // holds this run's commands.
    bool rerun(const FirmwareImageFolder& images) {
        since_ = drives_->drive("d").history().size();
        capture_.clear();
        return ExecUpdateMain(record_, images.normal(), images.kernel());
    }

    std::vector<sim::CommandRecord> history() {
        auto all = drives_->drive("d").history();
        all.erase(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(since_));
        return all;
    }
    bool interfacesReleased() {
        return SimulatedDrives::deviceReferences(record_.scsiDevice()) == references_;
    }

    // A virtual drive answers at once: no pause between polls.
    const PollInterval noPause_{std::chrono::milliseconds(0)};
    std::optional<SimulatedDrives> drives_;
    DeviceData record_;
    long references_ = 0;
    std::size_t since_ = 0;
    LogCapture capture_;
    std::optional<std::size_t> removeAtNotification_;
    ProgressRecorder progress_{[this](const auto& values) {
        if (values.size() == removeAtNotification_) {
            drives_->backend().remove("d");
        }
    }};
};

struct NormalImageCase {
    std::uint64_t size;
    Places transfers;
    const char* standardOutput;
    bool lengthMismatch;
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const NormalImageCase& c, std::ostream* out) {
    *out << c.size;
}

class NormalImage : public UpdateProcedure, public testing::WithParamInterface<NormalImageCase> {};

// Identified again, switched, confirmed in kernel mode, then the images.
constexpr const char* kStart = "IRMIKKK";

std::string err(std::string_view message) {
    return logLine(Logged::kExecUpdateMain, "ERR", message);
}

} // namespace

TEST_P(NormalImage, GoesOutInChunksOfAtMost32KiBRoundedUpTo256AfterTheKernelImage) {
    const NormalImageCase& c = GetParam();
    const FirmwareImageFolder images(tools::kDemoKernelImageSize, c.size);
    EXPECT_TRUE(update(readyDrive(), images));

    const auto commands = history();
    EXPECT_EQ(letters(commands), kStart + std::string(c.transfers.size(), 'N') + "MTI");
    const Sent kernel = sentTo(commands, kKernelBuffer);
    EXPECT_EQ(kernel.places, (Places{{0, 32768}, {32768, 32768}, {65536, 4608}}));
    EXPECT_EQ(sentTo(commands, kNormalBuffer).places, c.transfers);
    expectImagesSent(commands, images);
    EXPECT_EQ(capture_.standardOutput(), c.standardOutput);
    const auto expectedLog = c.lengthMismatch ? std::vector{err("last data. (len != allocLen)")}
                                              : std::vector<std::string>{};
    EXPECT_EQ(systemLogOf(capture_), expectedLog);
    EXPECT_EQ(record_.revision(), "1.02");
    EXPECT_TRUE(interfacesReleased());
    EXPECT_TRUE(drives_->everyAccessReleased("d"));
    EXPECT_TRUE(drives_->exclusiveAccessIsFree("d"));
}

// clang-format off
const NormalImageCase kNormalImageCases[] = {
    {1000, {{0, 1024}}, "last one\nwrite..(1) 0x0 \nwrite completed.\n", true},
    {40000, {{0, 32768}, {32768, 7424}},
     "write..(1) 0x1d00 \nlast one\nwrite..(2) 0x0 \nwrite completed.\n", true},
    {65536, {{0, 32768}, {32768, 32768}}, "write..(1) 0x8000 \nwrite..(2) 0x0 \nwrite completed.\n",
     false},
    // A header and nothing else.
    {312, {{0, 512}}, "last one\nwrite..(1) 0x0 \nwrite completed.\n", true},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Sizes, NormalImage, testing::ValuesIn(kNormalImageCases),
                         [](const auto& info) { return std::to_string(info.param.size); });

TEST_F(UpdateProcedure, AnImageOf16MiBEndsAtTheLast24BitOffset) {
    constexpr std::uint64_t size = (std::uint64_t{1} << 24) - 255;
    const FirmwareImageFolder images(tools::kDemoKernelImageSize, size);
    EXPECT_TRUE(update(readyDrive(), images));
    const Sent normal = sentTo(history(), kNormalBuffer);
    ASSERT_EQ(normal.places.size(), 512u);
    EXPECT_EQ(normal.places.back(), (std::pair<std::uint32_t, std::uint32_t>{0xFF8000, 0x8000}));
    expectImagesSent(history(), images);
}

TEST_F(UpdateProcedure, DriveInKernelModeGetsOnlyTheSwitchBack) {
    auto profile = readyDrive();
    profile.mode = sim::DriveMode::Kernel;
    const FirmwareImageFolder images(tools::kDemoKernelImageSize, 1000);
    EXPECT_TRUE(update(profile, images));
    EXPECT_EQ(letters(history()), "IRKKKNMTI");
    expectImagesSent(history(), images);
    EXPECT_EQ(record_.driveMode(), 0);
}

TEST_F(UpdateProcedure, AKernelImageAbsentAtStartIsSkipped) {
    const FirmwareImageFolder images(std::nullopt, 40960);
    EXPECT_TRUE(update(readyDrive(), images));
    EXPECT_EQ(letters(history()), "IRMINNMTI");
    expectImagesSent(history(), images);
}

TEST_F(UpdateProcedure, WithoutTheNormalImageTheDriveIsLeftAlone) {
    const FirmwareImageFolder images(tools::kDemoKernelImageSize, std::nullopt);
    EXPECT_FALSE(update(readyDrive(), images));
    EXPECT_EQ(letters(history()), "IR");
    EXPECT_EQ(systemLogOf(capture_),
              std::vector{err("the drive as it answers now is not eligible for S8721021.102; "
                              "nothing written.\n")});
    EXPECT_THAT(progress_.values(), IsEmpty());
    EXPECT_TRUE(drives_->exclusiveAccessIsFree("d"));
}

namespace {

struct PollsCase {
    std::uint32_t installPolls;
    std::vector<std::optional<int>> posted;
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const PollsCase& c, std::ostream* out) {
    *out << c.installPolls;
}

class Polls : public UpdateProcedure, public testing::WithParamInterface<PollsCase> {};

} // namespace

TEST_P(Polls, EachAnswerIsPostedThenMinusOne) {
    const FirmwareImageFolder images(tools::kDemoKernelImageSize, 1000);
    EXPECT_TRUE(update(readyDrive(GetParam().installPolls), images));
    EXPECT_EQ(progress_.values(), GetParam().posted);
}

// Seven polls count down through values whose two bytes differ; the last
// answer, ready, carries no progress.
INSTANTIATE_TEST_SUITE_P(
    BusyFor, Polls,
    testing::Values(PollsCase{0, {0, -1}},
                    PollsCase{7, {0xFFFF, 0xDB6D, 0xB6DB, 0x9249, 0x6DB7, 0x4925, 0x2493, 0, -1}}));

const std::string kLeftNotice = "the drive left after installing; waiting up to 1 s for it to "
                                "come back at the same place.\n";
const std::string kNotBack = "the drive did not come back after installing; connect it again and "
                             "check its revision.\n";

TEST_F(UpdateProcedure, DriveRemovedWhileInstallingIsWaitedForThenEndsInNo) {
    // The record already reads "1.02": only the drive's own answer may decide.
    auto profile = readyDrive();
    profile.faults.busyForever = true;
    removeAtNotification_ = 3;
    const ReturnWait shortened(std::chrono::milliseconds(300));
    const FirmwareImageFolder images(tools::kDemoKernelImageSize, 1024);
    list(profile, images);
    record_.setRevision("1.02");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(rerun(images));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(300));
    EXPECT_LT(elapsed, std::chrono::seconds(5));
    // The first poll that finds the drive gone is the last.
    EXPECT_THAT(progress_.values(), ElementsAre(65535, 65535, 65535, -1));
    EXPECT_THAT(systemLogOf(capture_),
                ElementsAre(logLine(Logged::kCommandTestUnitReady, "ERR", kNotAttached),
                            kLeftNotice, err(kNotBack)));
    EXPECT_EQ(record_.revision(), "1.02");
    EXPECT_TRUE(interfacesReleased());
    EXPECT_TRUE(drives_->everyAccessReleased("d"));
    EXPECT_EQ(iokit::RegistryCounts::retainCount(record_.scsiDevice()), 1);
}

TEST_F(UpdateProcedure, DriveThatLeavesDuringItsInstallIsJudgedWhereItComesBack) {
    auto profile = readyDrive(6);
    profile.faults.leavesDuringInstall = 2;
    profile.faults.returnAfterLeaving = std::chrono::milliseconds(100);
    const ReturnWait shortened(std::chrono::milliseconds(1000));
    const FirmwareImageFolder images(tools::kDemoKernelImageSize, 1024);
    list(profile, images);
    const io_service_t left = record_.scsiDevice();
    EXPECT_TRUE(rerun(images));
    // Two polls, one that finds it gone; back, a reset, then ready.
    EXPECT_EQ(letters(history()), std::string(kStart) + "NMTTT" + "TTI");
    EXPECT_NE(record_.scsiDevice(), left);
    EXPECT_EQ(record_.scsiDevice(), drives_->service("d"));
    EXPECT_EQ(record_.revision(), "1.02");
    EXPECT_THAT(
        systemLogOf(capture_),
        ElementsAre(logLine(Logged::kCommandTestUnitReady, "ERR", kNotAttached), kLeftNotice));
    // Never shown going back (the reset holds the last value), ended once.
    EXPECT_THAT(progress_.values(), ElementsAre(65535, 54613, 54613, 0, -1));
    EXPECT_TRUE(drives_->everyAccessReleased("d"));
}

namespace {

// A drive that left during its install and what is attached meanwhile: the
// update is judged on none of them.
struct NoReturnCase {
    const char* name;
    std::optional<std::chrono::milliseconds> returnAfter;
    std::optional<std::string> otherPlace; // a drive reporting "1.02" there
    std::optional<std::string> otherProduct;
};

void PrintTo(const NoReturnCase& c, std::ostream* out) {
    *out << c.name;
}

class NoReturn : public UpdateProcedure, public testing::WithParamInterface<NoReturnCase> {};

} // namespace

TEST_P(NoReturn, EndsInNoWithinTheBound) {
    const NoReturnCase& c = GetParam();
    auto profile = readyDrive(6);
    profile.faults.leavesDuringInstall = 2;
    profile.faults.returnAfterLeaving = c.returnAfter;
    std::vector<sim::DriveProfile> others;
    if (c.otherPlace) {
        auto other = readyDrive();
        other.id = "e";
        other.place = c.otherPlace;
        other.revision = "1.02";
        if (c.otherProduct) {
            other.product = *c.otherProduct;
        }
        others.push_back(other);
    }
    const ReturnWait shortened(std::chrono::milliseconds(300));
    const FirmwareImageFolder images(tools::kDemoKernelImageSize, 1024);
    list(profile, images, others);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(rerun(images));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_THAT(progress_.values().back(), testing::Optional(-1));
    const auto log = systemLogOf(capture_);
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[1], kLeftNotice);
    EXPECT_TRUE(drives_->everyAccessReleased("d"));
    if (c.otherPlace) {
        EXPECT_TRUE(drives_->everyAccessReleased("e"));
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Drives, NoReturn, testing::Values(
    NoReturnCase{"NeverBack", std::nullopt, std::nullopt, std::nullopt},
    NoReturnCase{"BackTooLate", std::chrono::milliseconds(2000), std::nullopt, std::nullopt},
    NoReturnCase{"AnotherDriveElsewhere", std::nullopt, "e", std::nullopt},
    NoReturnCase{"AnotherModelAtItsPlace", std::nullopt, "d", "BD-RW OTHER"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

namespace {

// What a drive may do between its switch back to normal mode and its last
// answer: the update goes on and succeeds, and the progress shown never goes
// back.
struct InstallCase {
    const char* name;
    std::optional<sim::AdditionalSense> unitAttention;
    std::uint32_t transportFailures;
    std::uint32_t installStages;
    std::string polls; // the polls that reach the drive, each a T
    std::vector<std::optional<int>> posted;
    std::vector<std::string> log;
    const char* senseLine;
};

void PrintTo(const InstallCase& c, std::ostream* out) {
    *out << c.name;
}

class Install : public UpdateProcedure, public testing::WithParamInterface<InstallCase> {};

const std::string kTimedOut =
    logLine(Logged::kCommandTestUnitReady, "ERR", "Error executing task. (0xe00002d6)\n");
// Four polls count down from 65535 to 16384; the ready answer carries 0.
const std::vector<std::optional<int>> kCountdown = {65535, 49152, 32768, 16384, 0, -1};

} // namespace

TEST_P(Install, GoesOnThroughWhatTheDriveReportsMeanwhile) {
    const InstallCase& c = GetParam();
    auto profile = readyDrive(4);
    profile.installStages = c.installStages;
    profile.faults.unitAttentionAfterActivation = c.unitAttention;
    profile.faults.transportFailurePolls = c.transportFailures;
    const FirmwareImageFolder images(tools::kDemoKernelImageSize, 1024);
    EXPECT_TRUE(update(profile, images));
    EXPECT_EQ(letters(history()), std::string(kStart) + "NM" + c.polls + "TI");
    EXPECT_EQ(progress_.values(), c.posted);
    EXPECT_EQ(systemLogOf(capture_), c.log);
    EXPECT_THAT(capture_.standardError(), testing::HasSubstr(c.senseLine));
    EXPECT_EQ(record_.revision(), "1.02");
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Answers, Install, testing::Values(
    InstallCase{"ResetAfterActivation", sim::resetSense, 0, 1, "TTTTT", kCountdown, {},
                "Power on, reset or bus device reset occurred"},
    InstallCase{"MicrocodeChanged", sim::AdditionalSense{0x3F, 0x01}, 0, 1, "TTTTT", kCountdown,
                {}, "Microcode has been changed"},
    // Polls that never reach the drive hold no progress to show.
    InstallCase{"PollsTimedOut", std::nullopt, 3, 1, "TTTT", kCountdown,
                {kTimedOut, kTimedOut, kTimedOut}, ""},
    // Each stage counts down again; the bar holds the lowest value shown.
    InstallCase{"ProgressStartsOver", std::nullopt, 0, 2, "TTTT",
                {65535, 32768, 32768, 32768, 0, -1}, {}, ""}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(UpdateProcedure, PollsADriveThatAnswersAtOnceNoMoreOftenThanTheInterval) {
    const PollInterval interval(std::chrono::milliseconds(30));
    const FirmwareImageFolder images(tools::kDemoKernelImageSize, 1000);
    list(readyDrive(2), images);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(rerun(images));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    const std::string commands = letters(history());
    EXPECT_EQ(std::count(commands.begin(), commands.end(), 'T'), 3);
    EXPECT_GE(elapsed, std::chrono::milliseconds(60));
}

TEST_F(UpdateProcedure, DriveStuckAtOneProgressIsGivenUpAfterTheBusyLimit) {
    auto profile = readyDrive();
    profile.faults.busyForever = true;
    // Polls far shorter than the limit: one counted from the poll before
    // instead of the last change is never reached, and the drive is pulled
    // long after the limit.
    profile.installPollTime = std::chrono::milliseconds(10);
    const BusyLimit shortened(std::chrono::milliseconds(200));
    const ReturnWait noWait(std::chrono::milliseconds(0));
    removeAtNotification_ = 60;
    const FirmwareImageFolder images(tools::kDemoKernelImageSize, 1024);
    EXPECT_FALSE(update(profile, images));
    const auto log = systemLogOf(capture_);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_THAT(log[0], testing::StartsWith(logLine(Logged::kExecUpdateMain, "ERR",
                                                    "drive did not finish installing. (progress "
                                                    "65535 unchanged for ")));
    EXPECT_THAT(progress_.values().back(), testing::Optional(-1));
    EXPECT_EQ(letters(history()).back(), 'T');
    EXPECT_TRUE(drives_->exclusiveAccessIsFree("d"));
    EXPECT_TRUE(interfacesReleased());
}

namespace {

// A drive whose progress moves, slowly or with a pause, is not cut off.
struct MovingInstallCase {
    const char* name;
    std::uint32_t polls;
    std::optional<std::uint32_t> pauseAfter;
    std::chrono::milliseconds pollTime;
    std::chrono::milliseconds busyLimit;
};

void PrintTo(const MovingInstallCase& c, std::ostream* out) {
    *out << c.name;
}

class MovingInstall : public UpdateProcedure,
                      public testing::WithParamInterface<MovingInstallCase> {};

} // namespace

TEST_P(MovingInstall, IsNeverCutOff) {
    const MovingInstallCase& c = GetParam();
    auto profile = readyDrive(c.polls);
    profile.installPauseAfter = c.pauseAfter;
    profile.installPollTime = c.pollTime;
    const BusyLimit shortened(c.busyLimit);
    const FirmwareImageFolder images(tools::kDemoKernelImageSize, 1024);
    EXPECT_TRUE(update(profile, images));
    EXPECT_THAT(systemLogOf(capture_), IsEmpty());
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Drives, MovingInstall, testing::Values(
    MovingInstallCase{"PollsSlowerThanTheLimit", 4, std::nullopt, std::chrono::milliseconds(30),
                      std::chrono::milliseconds(10)},
    // Moving for longer than the limit, then one poll shorter than it
    // without a step: the clock runs from the last change.
    MovingInstallCase{"PauseAfterMovingPastTheLimit", 5, 4, std::chrono::milliseconds(50),
                      std::chrono::milliseconds(200)}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(UpdateProcedure, RecordWithoutServiceOpensNothing) {
    const FirmwareImageFolder images(tools::kDemoKernelImageSize, 1000);
    const std::size_t liveObjects = iokit::RegistryCounts::liveObjectCount();
    DeviceData record;
    EXPECT_FALSE(ExecUpdateMain(record, images.normal(), images.kernel()));
    EXPECT_THAT(capture_.lines(), IsEmpty());
    EXPECT_THAT(progress_.values(), IsEmpty());
    EXPECT_EQ(iokit::RegistryCounts::liveObjectCount(), liveObjects);
}

namespace {

enum class Form { Removed, Directory, Resized, Replaced, Unreadable, ByteChanged };

// An image as the user was shown it, and what became of its file before the
// update: then nothing at all may be sent.
struct ChangedImageCase {
    const char* name;
    bool kernel;
    Form form;
    std::uint64_t size;              // Resized; ByteChanged: where
    tools::ImageIdentity identity{}; // Replaced
    const char* cause;
};

// Root reads a file whatever its mode, so an image is unreadable only to an
// ordinary user: when the tests run as root, the run goes as "nobody".
class RunAsNobody {
  public:
    RunAsNobody() : switched_(::geteuid() == 0 && ::seteuid(kNobody) == 0) {}
    ~RunAsNobody() {
        if (switched_ && ::seteuid(0) != 0) {
            std::terminate();
        }
    }
    RunAsNobody(const RunAsNobody&) = delete;
    RunAsNobody& operator=(const RunAsNobody&) = delete;
    static bool isOrdinaryUser() { return ::geteuid() != 0; }

  private:
    static constexpr uid_t kNobody = 65534;
    bool switched_;
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const ChangedImageCase& c, std::ostream* out) {
    *out << c.name;
}

class ChangedImage : public UpdateProcedure,
                     public testing::WithParamInterface<ChangedImageCase> {};

tools::ImageIdentity demoWith(std::string tools::ImageIdentity::*field, std::string value) {
    auto identity = tools::demoNormalImageIdentity();
    identity.*field = std::move(value);
    return identity;
}

} // namespace

TEST_P(ChangedImage, StopsTheUpdateBeforeAnythingIsSent) {
    const ChangedImageCase& c = GetParam();
    const FirmwareImageFolder images(tools::kDemoKernelImageSize, 40960);
    namespace fs = std::filesystem;
    const fs::path path = c.kernel ? images.kernelPath() : images.normalPath();
    std::optional<RunAsNobody> asNobody;
    switch (c.form) {
    case Form::Removed:
        fs::remove(path);
        break;
    case Form::Directory:
        fs::remove(path);
        fs::create_directory(path);
        break;
    case Form::Resized:
        fs::resize_file(path, c.size);
        break;
    case Form::Replaced:
        tools::writeFirmwareImage(path, c.identity, c.kernel ? tools::kDemoKernelImageSize : 40960);
        break;
    case Form::ByteChanged: {
        std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
        file.seekg(static_cast<std::streamoff>(c.size));
        const auto byte = static_cast<char>(file.get() ^ 0x01);
        file.seekp(static_cast<std::streamoff>(c.size));
        file.put(byte);
        ASSERT_TRUE(file.flush());
        break;
    }
    case Form::Unreadable:
        fs::permissions(path, fs::perms::none);
        fs::permissions(images.folder(), static_cast<fs::perms>(0755));
        asNobody.emplace();
        ASSERT_TRUE(RunAsNobody::isOrdinaryUser());
        break;
    }
    const bool updated = update(readyDrive(), images);
    asNobody.reset();

    EXPECT_FALSE(updated);
    EXPECT_THAT(history(), IsEmpty());
    const std::string file = path.filename().string();
    EXPECT_EQ(systemLogOf(capture_),
              std::vector{err(file + ": " + c.cause + "; nothing written.\n")});
    EXPECT_THAT(progress_.values(), IsEmpty());
    EXPECT_EQ(SimulatedDrives::deviceReferences(record_.scsiDevice()), references_);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Forms, ChangedImage, testing::Values(
    ChangedImageCase{"KernelRemoved", true, Form::Removed, 0, {}, "cannot be opened"},
    ChangedImageCase{"NormalDirectory", false, Form::Directory, 0, {}, "cannot be opened"},
    ChangedImageCase{"KernelUnreadable", true, Form::Unreadable, 0, {}, "cannot be opened"},
    ChangedImageCase{"KernelEmpty", true, Form::Resized, 0, {},
                     "holds 0 bytes, fewer than the 70144 it must hold"},
    ChangedImageCase{"KernelHeaderOnly", true, Form::Resized, 312, {},
                     "holds 312 bytes, fewer than the 70144 it must hold"},
    ChangedImageCase{"NormalCutInItsHeader", false, Form::Resized, 311, {},
                     "holds 311 bytes, fewer than the 312 it must hold"},
    ChangedImageCase{"NormalBeyond32Bits", false, Form::Resized, (std::uint64_t{1} << 32) + 40000, {},
                     "holds 4295007296 bytes, more than the 16777216 the drive can take"},
    ChangedImageCase{"NormalOfOtherHardware", false, Form::Replaced, 0,
                     demoWith(&tools::ImageIdentity::hardVersion, "KLVH0200"),
                     "its hard_version differs from the image read at start"},
    ChangedImageCase{"NormalForOtherDestination", false, Form::Replaced, 0,
                     demoWith(&tools::ImageIdentity::destVersion, "EU000001"),
                     "its dest_version differs from the image read at start"},
    ChangedImageCase{"KernelOfOtherRevision", true, Form::Replaced, 0,
                     demoWith(&tools::ImageIdentity::revision, "1.03"),
                     "its revision differs from the image read at start"},
    // The header reads the same; the bytes behind it do not.
    ChangedImageCase{"NormalCutShort", false, Form::Resized, 40000, {},
                     "its content differs from the image read at start"},
    ChangedImageCase{"NormalLastByteChanged", false, Form::ByteChanged, 40959, {},
                     "its content differs from the image read at start"},
    ChangedImageCase{"KernelChangedPastWhatIsSent", true, Form::ByteChanged,
                     tools::kDemoKernelImageSize - 1, {},
                     "its content differs from the image read at start"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(UpdateProcedure, AKernelImageOfAnotherModelIsNeverSent) {
    FirmwareImageFolder images(tools::kDemoKernelImageSize, 40960);
    tools::writeFirmwareImage(images.kernelPath(),
                              demoWith(&tools::ImageIdentity::product, "DVD-RW DX-100"),
                              tools::kDemoKernelImageSize);
    images.readRecords();
    EXPECT_FALSE(update(readyDrive(), images));
    EXPECT_THAT(history(), IsEmpty());
    EXPECT_EQ(systemLogOf(capture_),
              std::vector{err("S8721020.102: not a kernel image of the target model; nothing "
                              "written.\n")});
}

namespace {

struct RevisionCase {
    const char* imageRevision;
    std::optional<std::string> reportedAfterInstall;
    bool updated;
};

class WrittenRevision : public UpdateProcedure, public testing::WithParamInterface<RevisionCase> {};

} // namespace

TEST_P(WrittenRevision, IsTheOneTheDriveMustReport) {
    const RevisionCase& c = GetParam();
    FirmwareImageFolder images(tools::kDemoKernelImageSize, 40960);
    tools::writeFirmwareImage(images.normalPath(),
                              demoWith(&tools::ImageIdentity::revision, c.imageRevision), 40960);
    images.readRecords();
    auto profile = readyDrive();
    profile.faults.revisionAfterInstall = c.reportedAfterInstall;
    EXPECT_EQ(update(profile, images), c.updated);
    EXPECT_EQ(letters(history()), std::string(kStart) + "NNMTI");
    expectImagesSent(history(), images);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, WrittenRevision, testing::Values(
    RevisionCase{"1.03", std::nullopt, true},
    RevisionCase{"1.02 ", std::nullopt, true},
    RevisionCase{"1.02", "1.2", false},
    RevisionCase{"1.02", "1.03", false},
    RevisionCase{"1.02X", "1.02", false}));
// clang-format on

TEST_F(UpdateProcedure, AStaleRecordGivesWayToTheDriveAsItAnswersNow) {
    const FirmwareImageFolder images(tools::kDemoKernelImageSize, 40960);
    // Listed in normal mode; the record claims kernel mode: it is switched all the same.
    list(readyDrive(), images);
    record_.setDriveMode(1);
    EXPECT_TRUE(rerun(images));
    EXPECT_EQ(letters(history()), std::string(kStart) + "NNMTI");
    expectImagesSent(history(), images);

    // Now at the image's revision, so the same record no longer leads anywhere.
    EXPECT_FALSE(rerun(images));
    EXPECT_EQ(letters(history()), "IR");
    const std::string notEligible =
        err("the drive as it answers now is not eligible for S8721021.102; nothing written.\n");
    EXPECT_EQ(systemLogOf(capture_), std::vector{notEligible});

    // Another drive, of other hardware, at the place the record names.
    auto other = readyDrive();
    other.hardwareVersion = "KLVH0200";
    drives_.emplace(std::vector{other});
    record_.setScsiDevice(drives_->service("d"));
    drives_->drive("d").setRecording(sim::Recording::Commands);
    since_ = 0;
    EXPECT_FALSE(rerun(images));
    EXPECT_EQ(letters(history()), "IR");
    EXPECT_EQ(systemLogOf(capture_), std::vector{notEligible});
}

TEST_F(UpdateProcedure, EmptyHardwareVersionsDoNotMakeAFit) {
    FirmwareImageFolder images(tools::kDemoKernelImageSize, 40960);
    tools::writeFirmwareImage(images.normalPath(), demoWith(&tools::ImageIdentity::hardVersion, ""),
                              40960);
    images.readRecords();
    auto profile = readyDrive();
    profile.hardwareVersion = "";
    EXPECT_FALSE(update(profile, images));
    EXPECT_FALSE(record_.isEnableUpdate());
    EXPECT_EQ(letters(history()), "IR");
}

TEST_F(UpdateProcedure, ADriveThatDoesNotReportKernelModeAfterTheSwitchGetsNoImage) {
    // Gone at the INQUIRY after the switch: three commands to list, then I, R, M.
    auto profile = readyDrive();
    profile.faults.removalAtCommand = 7;
    const FirmwareImageFolder images(tools::kDemoKernelImageSize, 40960);
    EXPECT_FALSE(update(profile, images));
    EXPECT_EQ(letters(history()), "IRMI");
    EXPECT_EQ(systemLogOf(capture_),
              (std::vector{logLine(Logged::kCommandInquiry, "ERR", kNotAttached),
                           err("the drive does not report kernel mode after the switch; nothing "
                               "written.\n")}));
    EXPECT_TRUE(interfacesReleased());
}

TEST_F(UpdateProcedure, ADriveGoneMidTransferEndsTheRunWithThatTransportAndItsNode) {
    // Three commands to list, then I, R, M, I and the second kernel transfer.
    auto profile = readyDrive();
    profile.faults.removalAtCommand = 9;
    const FirmwareImageFolder images(tools::kDemoKernelImageSize, 40960);
    list(profile, images);
    const UpdateOutcome outcome = ExecUpdate(record_, images.normal(), images.kernel());
    EXPECT_EQ(letters(history()), "IRMIKK");
    EXPECT_EQ(outcome.failure, UpdateFailure::TransferRefused);
    EXPECT_TRUE(outcome.leftInKernelMode);
    EXPECT_EQ(outcome.transport, (iokit::TransportFailure{iokit::Transport::Gone, 0, "virtual:d"}));
    EXPECT_EQ(outcome.access, std::nullopt);
}

namespace {

// A drive that refuses to be opened while a disc in it is mounted.
class MountedDiscDevice final : public iokit::PassThroughDevice {
  public:
    static iokit::AccessResult refusal() {
        return {iokit::AccessRefusal::DiscMounted, EBUSY, "/media/ann/HOLIDAY 2010", "/dev/sg3"};
    }
    iokit::AccessResult open() override { return refusal(); }
    bool close() override { return false; }
    iokit::PassThroughResult execute(std::span<const std::uint8_t>, std::span<std::uint8_t>,
                                     iokit::TransferDirection, std::chrono::milliseconds) override {
        return {iokit::Transport::Gone};
    }
};

} // namespace

TEST_F(UpdateProcedure, ARefusedOpenEndsTheRunWithTheRefusalItsNodeAndMountPoint) {
    const FirmwareImageFolder images(tools::kDemoKernelImageSize, 1024);
    DeviceData record;
    record.setScsiDevice(
        iokit::ServiceRegistry::registerService(std::make_shared<iokit::PassThroughService>(
            std::make_shared<MountedDiscDevice>(), "IOSCSIPeripheralDeviceNub", true)));
    const UpdateOutcome outcome = ExecUpdate(record, images.normal(), images.kernel());
    iokit::ServiceRegistry::terminateService(record.scsiDevice());
    iokit::AccessProblems::forget("/dev/sg3");
    EXPECT_EQ(outcome.failure, UpdateFailure::AccessRefused);
    EXPECT_EQ(outcome.access, MountedDiscDevice::refusal());
    EXPECT_EQ(outcome.transport, std::nullopt);
}

TEST_F(UpdateProcedure, ARejectedTransferEndsTheRunInKernelModeAndARetryWritesItAll) {
    // The first normal-image transfer, after the three of the kernel image.
    auto profile = readyDrive();
    profile.faults.imageTransferFailure = 4;
    const FirmwareImageFolder images(tools::kDemoKernelImageSize, 40960);
    EXPECT_FALSE(update(profile, images));
    EXPECT_EQ(letters(history()), std::string(kStart) + "N");
    EXPECT_EQ(systemLogOf(capture_),
              std::vector{err("S8721021.102: the drive did not take the transfer at 0x0; it stays "
                              "in kernel mode.\n")});
    EXPECT_THAT(progress_.values(), IsEmpty());
    EXPECT_EQ(drives_->drive("d").mode(), sim::DriveMode::Kernel);

    // Listed again it is eligible, in kernel mode, and takes the whole image.
    const auto list = ListTargetDrives(images.normal());
    ASSERT_EQ(list.size(), 1u);
    EXPECT_TRUE(list[0].isEnableUpdate());
    EXPECT_EQ(list[0].driveMode(), 1);
    record_ = list[0];
    EXPECT_TRUE(rerun(images));
    EXPECT_EQ(letters(history()), "IRKKKNNMTI");
    expectImagesSent(history(), images);
    EXPECT_EQ(record_.revision(), "1.02");
}

namespace {

// A drive restarting into its kernel: each INQUIRY takes the next reply of its
// script, NOT READY (none) or standard data with that revision.
class RestartingDrive final : public SCSITaskDeviceInterface {
  public:
    explicit RestartingDrive(std::vector<std::optional<std::string>> script)
        : script_(std::move(script)) {}
    IOReturn ObtainExclusiveAccess() override { return 0; }
    IOReturn ReleaseExclusiveAccess() override { return 0; }
    SCSITaskInterface* CreateSCSITask() override { return new Inquiry(*this); }
    std::size_t asked() const { return asked_; }

  private:
    class Inquiry final : public SCSITaskInterface {
      public:
        explicit Inquiry(RestartingDrive& drive) : drive_(drive) {}
        IOReturn SetCommandDescriptorBlock(std::span<const std::uint8_t>) override { return 0; }
        IOReturn SetScatterGatherEntries(std::span<const IOVirtualRange> ranges, std::uint64_t,
                                         SCSIDataTransferDirection) override {
            data_ = std::span(ranges.front().address, ranges.front().length);
            return 0;
        }
        IOReturn SetTimeoutDuration(std::uint32_t) override { return 0; }
        IOReturn ExecuteTaskSync(SCSI_Sense_Data& sense, SCSITaskStatus& status,
                                 std::uint64_t& moved) override {
            const auto reply = drive_.script_.at(drive_.asked_++);
            moved = reply ? 56 : 0;
            status = reply ? kSCSITaskStatus_GOOD : kSCSITaskStatus_CHECK_CONDITION;
            if (reply) {
                std::copy(reply->begin(), reply->end(), data_.begin() + 32);
            } else {
                sense.bytes[2] = 0x02; // NOT READY, becoming ready
                sense.bytes[12] = 0x04;
                sense.bytes[13] = 0x01;
            }
            return 0;
        }

      private:
        RestartingDrive& drive_;
        std::span<std::uint8_t> data_;
    };

    std::vector<std::optional<std::string>> script_;
    std::size_t asked_ = 0;
};

} // namespace

TEST(WaitForKernelMode, AsksADriveThatIsNotReadyAgainUntilItAnswers) {
    const LogCapture quiet;
    RestartingDrive restarting({std::nullopt, std::nullopt, "0000"});
    EXPECT_TRUE(WaitForKernelMode(&restarting));
    EXPECT_EQ(restarting.asked(), 3u);
    RestartingDrive stillNormal({std::nullopt, "1.01"});
    EXPECT_FALSE(WaitForKernelMode(&stillNormal));
    EXPECT_EQ(stillNormal.asked(), 2u);
}
