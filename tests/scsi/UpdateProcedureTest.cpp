#include "platform/foundation/LogCapture.h"
#include "platform/iokit/Registry.h"
#include "scsi/STUCMethod.h"
#include "scsi/Signatures.h"
#include "tests/support/EngineSupport.h"
#include "tests/support/FirmwareImageFolder.h"
#include "tests/support/ProgressRecorder.h"
#include "tests/support/SimulatedDrives.h"

#include <exception>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <ostream>
#include <unistd.h>

using foundation::LogCapture;
using testing::ElementsAre;
using testing::IsEmpty;

namespace {

constexpr std::uint8_t kKernelBuffer = 0xFE;
constexpr std::uint8_t kNormalBuffer = 0xF0;
constexpr std::uint64_t kKernelImageSent = 70144;
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
        drives_.emplace(std::vector{profile});
        const auto list = listDrives(images.normal());
        if (list.size() != 1) {
            ADD_FAILURE() << "the drive was not listed";
            return false;
        }
        record_ = list[0];
        references_ = SimulatedDrives::deviceReferences(record_.scsiDevice());
        drives_->drive("d").setRecording(sim::Recording::CommandsAndData);
        capture_.clear();
        return ExecUpdateMain(record_, images.normal(), images.kernel());
    }

    std::vector<sim::CommandRecord> history() { return drives_->drive("d").history(); }
    bool interfacesReleased() {
        return SimulatedDrives::deviceReferences(record_.scsiDevice()) == references_;
    }

    std::optional<SimulatedDrives> drives_;
    DeviceData record_;
    long references_ = 0;
    LogCapture capture_;
    std::optional<std::size_t> removeAtNotification_;
    ProgressRecorder progress_{[this](const auto& values) {
        if (values.size() == removeAtNotification_) {
            drives_->backend().remove("d");
        }
    }};
};

struct NormalImageCase {
    std::uint64_t kernelSize;
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

} // namespace

TEST_P(NormalImage, GoesOutInChunksOfAtMost32KiBRoundedUpTo256AfterTheKernelImage) {
    const NormalImageCase& c = GetParam();
    const FirmwareImageFolder images(c.kernelSize, c.size);
    EXPECT_TRUE(update(readyDrive(), images));

    const auto commands = history();
    EXPECT_EQ(letters(commands), "MKKK" + std::string(c.transfers.size(), 'N') + "MTI");
    // The first 70,144 bytes of the kernel image, a short one filled with zeros.
    const Sent kernel = sentTo(commands, kKernelBuffer);
    EXPECT_EQ(kernel.places, (Places{{0, 32768}, {32768, 32768}, {65536, 4608}}));
    EXPECT_EQ(kernel.bytes, fileBytes(images.kernelPath(), kKernelImageSent));
    const Sent normal = sentTo(commands, kNormalBuffer);
    EXPECT_EQ(normal.places, c.transfers);
    EXPECT_EQ(normal.bytes, fileBytes(images.normalPath(), normal.bytes.size()));
    EXPECT_EQ(normal.bytes.size(), c.transfers.back().first + c.transfers.back().second);
    EXPECT_EQ(capture_.standardOutput(), c.standardOutput);
    const auto expectedLog = c.lengthMismatch
                                 ? std::vector{logLine(Signatures::kExecUpdateMain, "ERR",
                                                       "last data. (len != allocLen)")}
                                 : std::vector<std::string>{};
    EXPECT_EQ(systemLogOf(capture_), expectedLog);
    EXPECT_EQ(record_.revision(), "1.02");
    EXPECT_TRUE(interfacesReleased());
    EXPECT_TRUE(drives_->everyAccessReleased("d"));
    EXPECT_TRUE(drives_->exclusiveAccessIsFree("d"));
}

// clang-format off
const NormalImageCase kNormalImageCases[] = {
    {tools::kDemoKernelImageSize, 1000, {{0, 1024}},
     "last one\nwrite..(1) 0x0 \nwrite completed.\n", true},
    {tools::kDemoKernelImageSize, 40000, {{0, 32768}, {32768, 7424}},
     "write..(1) 0x1d00 \nlast one\nwrite..(2) 0x0 \nwrite completed.\n", true},
    {tools::kDemoKernelImageSize, 65536, {{0, 32768}, {32768, 32768}},
     "write..(1) 0x8000 \nwrite..(2) 0x0 \nwrite completed.\n", false},
    // With a kernel image shorter than the 70,144 bytes sent.
    {40000, 256, {{0, 256}},
     "last one\nwrite..(1) 0x0 \nwrite completed.\n", false},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Sizes, NormalImage, testing::ValuesIn(kNormalImageCases),
                         [](const auto& info) { return std::to_string(info.param.size); });

TEST_F(UpdateProcedure, DriveInKernelModeGetsOnlyTheSwitchBack) {
    auto profile = readyDrive();
    profile.mode = sim::DriveMode::Kernel;
    const FirmwareImageFolder images(tools::kDemoKernelImageSize, 256);
    EXPECT_TRUE(update(profile, images));
    EXPECT_EQ(letters(history()), "KKKNMTI");
    EXPECT_EQ(record_.driveMode(), 0);
}

TEST_F(UpdateProcedure, WithoutImagesStillSwitchesPollsAndChecks) {
    const FirmwareImageFolder images(std::nullopt, std::nullopt);
    EXPECT_FALSE(update(readyDrive(), images));
    EXPECT_EQ(letters(history()), "MTI");
    EXPECT_EQ(capture_.standardOutput(), "write completed.\n");
    EXPECT_THAT(progress_.values(), ElementsAre(0, -1));
}

namespace {

class Polls : public UpdateProcedure, public testing::WithParamInterface<std::uint32_t> {};

} // namespace

TEST_P(Polls, EachAnswerIsPostedThenMinusOne) {
    const FirmwareImageFolder images(tools::kDemoKernelImageSize, 256);
    EXPECT_TRUE(update(readyDrive(GetParam()), images));
    std::vector<std::optional<int>> answered;
    for (const auto& command : history()) {
        if (command.cdb[0] == 0x00) {
            answered.push_back(command.result.sense[16] + 256 * command.result.sense[17]);
        }
    }
    ASSERT_EQ(answered.size(), GetParam() + 1);
    answered.push_back(-1);
    EXPECT_EQ(progress_.values(), answered);
}

INSTANTIATE_TEST_SUITE_P(BusyFor, Polls, testing::Values(0u, 3u));

TEST_F(UpdateProcedure, DriveRemovedWhileInstallingEndsInNoWithoutHanging) {
    // The record already reads "1.02": only the drive's own answer may decide.
    auto profile = readyDrive();
    profile.revision = "1.02";
    profile.faults.busyForever = true;
    removeAtNotification_ = 3;
    const FirmwareImageFolder images(tools::kDemoKernelImageSize, 256);
    EXPECT_FALSE(update(profile, images));
    EXPECT_THAT(progress_.values(), ElementsAre(65535, 65535, 65535, 65535, -1));
    EXPECT_EQ(systemLogOf(capture_),
              (std::vector{logLine(Signatures::kCommandTestUnitReady, "ERR", kNotAttached),
                           logLine(Signatures::kCommandInquiry, "ERR", kNotAttached)}));
    EXPECT_TRUE(interfacesReleased());
    EXPECT_EQ(iokit::Registry::retainCount(record_.scsiDevice()), 1);
}

TEST_F(UpdateProcedure, RecordWithoutServiceOpensNothing) {
    const FirmwareImageFolder images(tools::kDemoKernelImageSize, 256);
    const std::size_t liveObjects = iokit::Registry::liveObjectCount();
    DeviceData record;
    EXPECT_FALSE(ExecUpdateMain(record, images.normal(), images.kernel()));
    EXPECT_THAT(capture_.lines(), IsEmpty());
    EXPECT_THAT(progress_.values(), IsEmpty());
    EXPECT_EQ(iokit::Registry::liveObjectCount(), liveObjects);
}

namespace {

enum class Form { Directory, Empty, Unreadable };

struct MissingImageCase {
    const char* name;
    bool kernel;
    Form form;
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

class MissingImage : public UpdateProcedure,
                     public testing::WithParamInterface<MissingImageCase> {};

} // namespace

TEST_P(MissingImage, IsSkippedAndTheRunGoesOn) {
    const MissingImageCase& c = GetParam();
    const FirmwareImageFolder images(tools::kDemoKernelImageSize, 40960);
    ASSERT_TRUE(images.kernel().isFileExists() && images.normal().isFileExists());
    namespace fs = std::filesystem;
    const fs::path path = c.kernel ? images.kernelPath() : images.normalPath();
    std::optional<RunAsNobody> asNobody;
    switch (c.form) {
    case Form::Directory:
        fs::remove(path);
        fs::create_directory(path);
        break;
    case Form::Empty:
        fs::resize_file(path, 0);
        break;
    case Form::Unreadable:
        fs::permissions(path, fs::perms::none);
        fs::permissions(images.folder(), static_cast<fs::perms>(0755));
        asNobody.emplace();
        ASSERT_TRUE(RunAsNobody::isOrdinaryUser());
        break;
    }
    const bool updated = update(readyDrive(), images);
    asNobody.reset();

    // Switched into kernel mode once, before the images, whichever is missing.
    EXPECT_EQ(letters(history()), c.kernel ? "MNNMTI" : "MKKKMTI");
    // The normal image alone still installs; without it the revision stays.
    EXPECT_EQ(updated, c.kernel);
    EXPECT_THAT(capture_.systemLog(), IsEmpty());
    EXPECT_TRUE(interfacesReleased());
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Forms, MissingImage, testing::Values(
    MissingImageCase{"KernelDirectory", true, Form::Directory},
    MissingImageCase{"KernelEmpty", true, Form::Empty},
    MissingImageCase{"KernelUnreadable", true, Form::Unreadable},
    MissingImageCase{"NormalDirectory", false, Form::Directory},
    MissingImageCase{"NormalEmpty", false, Form::Empty},
    MissingImageCase{"NormalUnreadable", false, Form::Unreadable}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on
