#include "platform/sim/Scenario.h"
#include "scsi/PollInterval.h"
#include "scsi/STUCMethod.h"
#include "tests/support/EngineSupport.h"
#include "tests/support/FirmwareImageFolder.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ProgressRecorder.h"
#include "tests/support/RegistryCounts.h"
#include "tests/support/SimulatedDrives.h"

#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <ostream>
#include <set>

namespace sig = Logged;

// Each scenario file holds one drive, "drive", with one fault. The drive is
// listed as the list refresh does and, where an update could be asked for,
// updated; every outcome is checked along with what the engine gave back.

namespace {

const std::filesystem::path kScenarioDir = QUELMAR_SCENARIO_DIR;

enum class Listing { None, NotEligible, Eligible };

struct FailureCase {
    const char* scenario;
    Listing listing;
    std::vector<std::string> listingLog;
    std::optional<bool> updated; // none: not offered for this drive, so not tried
    std::vector<std::string> updateLog;
    bool notifies;
    std::uint64_t imageTransfers;
    std::optional<std::string> revisionAfter;
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const FailureCase& c, std::ostream* out) {
    *out << c.scenario;
}

std::string err(std::string_view signature, std::string_view message) {
    return logLine(signature, "ERR", message);
}

const std::string kRefused = "ObtainExclusiveAccess failed.(1) (0xe00002c5)\n";
const std::string kNotReleased = "ReleaseExclusiveAccess failed. (0xe00002bc)\n";
const std::string kNotAttached = "Error executing task. (0xe00002dd)\n";
const std::string kNoInterface = err(sig::kExecListDeviceMain, "interface is NULL.");
const std::string kNoPlugIn =
    err(sig::kCreateDeviceInterfaceForAuthoringDevice,
        "Couldn't create a plugin interface for the io_service_t. (0xe00002c7)\n");
const std::string kNoMmc = err(sig::kCreateDeviceInterfaceForAuthoringDevice,
                               "Couldn't create MMC device interface. (-536870201)\n");
const std::string kToKernel = err(sig::kExecUpdateMain, "change drive mode.( -> Kernel)");
const std::string kToNormal = err(sig::kExecUpdateMain, "change drive mode.( -> Normal)");

// clang-format off
const FailureCase kCases[] = {
    // scenario; listing and its log; update result and its log; whether it
    // notifies, the image transfers the drive took, the revision afterwards
    {"exclusive-access-refused", Listing::None, {logLine(sig::kGetDeviceInfo, "WAR", kRefused)},
     false, {logLine(sig::kExecUpdateMain, "WAR", kRefused)}, false, 0, {}},
    {"class-name-unreadable", Listing::Eligible,
     {err(sig::kExecListDeviceMain,
          "ExecListDeviceMain() Failed to get class name. (0xe00002da)\n")},
     true,
     {err(sig::kExecUpdateMain, "ExecWriteMain() Failed to get class name. (0xe00002da)\n")},
     true, 5, "1.02"},
    {"plug-in-interface-missing", Listing::None, {kNoPlugIn, kNoInterface},
     false, {kNoPlugIn}, false, 0, {}},
    {"mmc-interface-missing", Listing::None, {kNoMmc, kNoInterface}, false, {kNoMmc}, false, 0, {}},
    {"task-device-interface-missing", Listing::None, {kNoInterface}, false, {}, false, 0, {}},
    // The update itself succeeds; the failed release turns it into a failure.
    {"exclusive-access-release-fails", Listing::None, {err(sig::kGetDeviceInfo, kNotReleased)},
     false, {err(sig::kExecUpdateMain, kNotReleased)}, true, 5, "1.02"},
    // Asked again before the update, it does not identify itself.
    {"inquiry-fails", Listing::None, {}, false,
     {err(sig::kExecUpdateMain, "the drive did not identify itself again; nothing written.\n")},
     false, 0, {}},
    {"other-model", Listing::None, {}, {}, {}, false, 0, {}},
    {"read-buffer-fails", Listing::NotEligible, {}, {}, {}, false, 0, {}},
    {"kernel-mode-change-refused", Listing::Eligible, {}, false, {kToKernel}, false, 0, "1.01"},
    {"normal-mode-change-refused", Listing::Eligible, {}, false, {kToNormal}, false, 5, "1.01"},
    // A kernel transfer fails: nothing more is sent, the drive stays in kernel mode.
    {"image-transfer-fails", Listing::Eligible, {}, false,
     {err(sig::kExecUpdateMain,
          "S8721020.102: the drive did not take the transfer at 0x8000; it stays in kernel "
          "mode.\n")},
     false, 2, "1.01"},
    {"revision-after-install-differs", Listing::Eligible, {}, false, {}, true, 5, "1.03"},
    // Restarting into its new firmware, the drive reports a reset, then installs.
    {"reset-after-activation", Listing::Eligible, {}, true, {}, true, 5, "1.02"},
    // The first two polls while it installs time out on the way.
    {"install-polls-time-out", Listing::Eligible, {}, true,
     {err(sig::kCommandTestUnitReady, "Error executing task. (0xe00002d6)\n"),
      err(sig::kCommandTestUnitReady, "Error executing task. (0xe00002d6)\n")},
     true, 5, "1.02"},
    // Gone at the second normal-image transfer, after three identification commands.
    {"removed-during-update", Listing::Eligible, {}, false,
     {err(sig::kCommandWriteBuffer, kNotAttached),
      err(sig::kExecUpdateMain,
          "S8721021.102: the drive did not take the transfer at 0x8000; it stays in kernel "
          "mode.\n")},
     false, 4, "1.01"},
};
// clang-format on

class FailureScenario : public testing::TestWithParam<FailureCase> {};

} // namespace

TEST_P(FailureScenario, StaysWithItsDriveAndReleasesEverything) {
    const FailureCase& c = GetParam();
    const PollInterval noPause(std::chrono::milliseconds(0));
    const FirmwareImageFolder images(74240, 40960);
    SimulatedDrives drives(sim::Scenario::load(kScenarioDir / (std::string(c.scenario) + ".json")));
    const io_service_t service = drives.service("drive");
    const long references = SimulatedDrives::deviceReferences(service);
    const std::size_t liveObjects = iokit::RegistryCounts::liveObjectCount();
    {
        LogCapture capture;
        std::vector<DeviceData> list = ListTargetDrives(images.normal());
        ASSERT_EQ(list.size(), c.listing == Listing::None ? 0u : 1u);
        if (!list.empty()) {
            EXPECT_EQ(list[0].isEnableUpdate(), c.listing == Listing::Eligible);
        }
        EXPECT_EQ(systemLogOf(capture), c.listingLog);
        EXPECT_EQ(SimulatedDrives::deviceReferences(service), references);

        if (c.updated) {
            // A drive the listing left out is updated from a record of an
            // earlier listing.
            DeviceData record = list.empty() ? DeviceData() : list[0];
            record.setScsiDevice(service);
            capture.clear();
            const ProgressRecorder progress;
            EXPECT_EQ(ExecUpdateMain(record, images.normal(), images.kernel()), *c.updated);
            EXPECT_EQ(systemLogOf(capture), c.updateLog);
            EXPECT_EQ(record.revision(), c.revisionAfter);
            if (c.notifies) {
                ASSERT_FALSE(progress.values().empty());
                EXPECT_EQ(progress.values().back(), -1);
            } else {
                EXPECT_TRUE(progress.values().empty());
            }
        }
        EXPECT_EQ(drives.drive("drive").counters().imageTransfers, c.imageTransfers);
    }
    EXPECT_EQ(SimulatedDrives::deviceReferences(service), references);
    EXPECT_TRUE(drives.everyAccessReleased("drive"));
    EXPECT_EQ(iokit::RegistryCounts::retainCount(service), 1);
    EXPECT_EQ(iokit::RegistryCounts::liveObjectCount(), liveObjects);
    const sim::VirtualDrive& drive = drives.drive("drive");
    const sim::DriveFaults& faults = drive.profile().faults;
    if (drive.isAttached() && !faults.exclusiveAccessRefused &&
        faults.missingInterface == sim::MissingInterface::None) {
        EXPECT_TRUE(drives.exclusiveAccessIsFree("drive"));
    }
}

INSTANTIATE_TEST_SUITE_P(ScenarioFiles, FailureScenario, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<FailureCase>& info) {
                             std::string name = info.param.scenario;
                             std::erase(name, '-');
                             return name;
                         });

TEST(ScenarioFiles, EachFileHasItsCase) {
    std::set<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(kScenarioDir)) {
        if (entry.path().extension() == ".json") {
            files.insert(entry.path().stem().string());
        }
    }
    std::set<std::string> cases;
    for (const FailureCase& c : kCases) {
        cases.insert(c.scenario);
    }
    EXPECT_EQ(files, cases);
}

TEST(ScenarioFiles, TheDemoScenarioReads) {
    const auto demo = sim::Scenario::load(kScenarioDir / "demo" / "demo.json");
    EXPECT_EQ(demo.drives.size(), 4u);
    EXPECT_EQ(demo.events.size(), 3u);
}
