#include "platform/iokit/AccessProblems.h"
#include "scsi/STUCMethod.h"
#include "tests/support/EngineSupport.h"
#include "tests/support/LogCapture.h"
#include "tests/support/RegistryCounts.h"
#include "tests/support/SimulatedDrives.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <ostream>

using testing::ElementsAre;
using testing::IsEmpty;

namespace {

// The record of the demonstration normal image, as read at start-up.
struct DemoNormalImage : FirmFileData {
    DemoNormalImage() {
        setIsFileExists(true);
        setRevision("1.02");
        setHard_version("KLVH0100");
        setDest_version("WW000001");
    }
};

} // namespace

TEST(FindDevicesUsing, KnowsOnlyAuthoringDevices) {
    SimulatedDrives drives({SimulatedDrives::targetDrive("d")});
    LogCapture capture;
    io_iterator_t iterator = IO_OBJECT_NULL;
    EXPECT_FALSE(FindDevicesUsing(4, kIOMasterPortDefault, &iterator));
    EXPECT_EQ(iterator, IO_OBJECT_NULL);
    EXPECT_EQ(capture.standardOutput(), "no implement..");
    EXPECT_EQ(capture.standardError(), "Couldn't create a matching dictionary.\n");
    EXPECT_THAT(capture.systemLog(), IsEmpty());
}

TEST(ExecListDeviceMain, AsksAnotherModelForInquiryOnlyAndNeverSeesOtherDevices) {
    auto other = SimulatedDrives::targetDrive("other");
    other.vendor = "ACME";
    other.product = "DVD-RW DX-100";
    auto scanner = SimulatedDrives::targetDrive("scanner");
    scanner.authoring = false;
    SimulatedDrives drives({other, scanner});
    drives.drive("other").setRecording(sim::Recording::Commands);
    const std::size_t liveObjects = iokit::RegistryCounts::liveObjectCount();
    LogCapture capture;

    EXPECT_THAT(ListTargetDrives(DemoNormalImage()), IsEmpty());
    const auto history = drives.drive("other").history();
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].cdb[0], 0x12);
    EXPECT_EQ(drives.drive("scanner").counters().commands, 0u);
    EXPECT_EQ(capture.standardError(),
              "\n---- Found Target ---------------------------------------------------\n"
              "ExecListDeviceMain() Found device class \"VirtualAuthoringDrive\" using .\n"
              "Requesting Inquiry data\n");
    EXPECT_THAT(capture.systemLog(), IsEmpty());
    EXPECT_TRUE(drives.everyAccessReleased("other"));
    EXPECT_TRUE(drives.exclusiveAccessIsFree("other"));
    EXPECT_EQ(iokit::RegistryCounts::retainCount(drives.service("other")), 1);
    EXPECT_EQ(iokit::RegistryCounts::liveObjectCount(), liveObjects);
}

TEST(ExecListDeviceMain, SkipsDrivesHeldElsewhereOrWithoutInterfaceAndListsTwinsInIteratorOrder) {
    std::vector<sim::DriveProfile> profiles;
    for (const char* id : {"held", "twin-1", "twin-2", "no-interface"}) {
        profiles.push_back(SimulatedDrives::targetDrive(id));
        profiles.back().attached = false;
        profiles.back().disc = sim::Disc{};
    }
    profiles.back().faults.missingInterface = sim::MissingInterface::TaskDevice;
    SimulatedDrives drives(profiles);
    // Published, and so iterated, in an order unlike that of their ids; the
    // walk goes on past a drive it cannot talk to.
    for (const char* id : {"held", "twin-2", "no-interface", "twin-1"}) {
        drives.backend().attach(id);
    }
    const DeviceInterfaces holder = drives.open("held");
    ASSERT_EQ(holder.taskDevice->ObtainExclusiveAccess(), kIOReturnSuccess);
    LogCapture capture;

    const auto list = ListTargetDrives(DemoNormalImage());
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].scsiDevice(), drives.service("twin-2"));
    EXPECT_EQ(list[1].scsiDevice(), drives.service("twin-1"));
    for (const DeviceData& record : list) {
        EXPECT_EQ(record.product(), "BD-RW KLV-TN82WA");
        EXPECT_EQ(record.revision(), "1.01");
        EXPECT_TRUE(record.isPresenceDisc());
        EXPECT_TRUE(record.isEnableUpdate());
    }
    EXPECT_THAT(systemLogOf(capture),
                ElementsAre(logLine(Logged::kGetDeviceInfo, "WAR",
                                    "ObtainExclusiveAccess failed.(1) (0xe00002c5)\n"),
                            logLine(Logged::kExecListDeviceMain, "ERR", "interface is NULL.")));
    EXPECT_EQ(drives.drive("held").counters().commands, 0u);
    // The walk left the other client's access alone.
    EXPECT_EQ(holder.taskDevice->ReleaseExclusiveAccess(), kIOReturnSuccess);

    // The record keeps the service alive past its removal.
    const io_service_t twin = list[0].scsiDevice();
    EXPECT_EQ(iokit::RegistryCounts::retainCount(twin), 2);
    drives.backend().remove("twin-2");
    EXPECT_EQ(iokit::RegistryCounts::retainCount(twin), 1);
    char className[128];
    ASSERT_EQ(IOObjectGetClass(twin, className), KERN_SUCCESS);
    EXPECT_STREQ(className, "VirtualAuthoringDrive");
}

TEST(ExecListDeviceMain, DrivesHeldElsewhereAreTheBackendsAccessProblemsUntilOpenedOrGone) {
    SimulatedDrives drives({SimulatedDrives::targetDrive("a"), SimulatedDrives::targetDrive("b"),
                            SimulatedDrives::targetDrive("c")});
    const DeviceInterfaces holderOfB = drives.open("b");
    const DeviceInterfaces holderOfC = drives.open("c");
    ASSERT_EQ(holderOfB.taskDevice->ObtainExclusiveAccess(), kIOReturnSuccess);
    ASSERT_EQ(holderOfC.taskDevice->ObtainExclusiveAccess(), kIOReturnSuccess);
    iokit::AccessResult foreign;
    foreign.refusal = iokit::AccessRefusal::NotPermitted;
    foreign.deviceNode = "/dev/of-another-backend";
    iokit::AccessProblems::note(foreign);
    const LogCapture quiet;
    const auto nodes = [&drives] {
        std::vector<std::string> held;
        for (const auto& problem : drives.backend().accessProblems()) {
            EXPECT_EQ(problem.refusal, iokit::AccessRefusal::HeldElsewhere);
            held.push_back(problem.deviceNode);
        }
        return held;
    };

    EXPECT_EQ(ListTargetDrives(DemoNormalImage()).size(), 1u);
    EXPECT_THAT(nodes(), ElementsAre("virtual:b", "virtual:c"));
    drives.backend().remove("c");
    EXPECT_THAT(nodes(), ElementsAre("virtual:b"));
    ASSERT_EQ(holderOfB.taskDevice->ReleaseExclusiveAccess(), kIOReturnSuccess);
    EXPECT_EQ(ListTargetDrives(DemoNormalImage()).size(), 2u);
    EXPECT_THAT(nodes(), IsEmpty());
    iokit::AccessProblems::forget(foreign.deviceNode);
}

namespace {

struct EligibilityCase {
    const char* name;
    const char* revision;
    const char* hardwareVersion;
    const char* destinationVersion;
    bool kernelMode;
    bool imageKnown;
    bool eligible;
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const EligibilityCase& c, std::ostream* out) {
    *out << c.name;
}

// clang-format off
const EligibilityCase kEligibilityCases[] = {
    // name                 revision hardware    destination kernel image  eligible
    {"OlderRevision",       "1.01", "KLVH0100", "WW000001", false, true,  true},
    {"KernelMode",          "1.01", "KLVH0100", "WW000001", true,  true,  true},
    {"BlankDestination",    "1.01", "KLVH0100", "        ", false, true,  true},
    {"OtherHardware",       "1.01", "KLVH0200", "WW000001", false, true,  false},
    {"HardwareInOtherCase", "1.01", "klvh0100", "WW000001", false, true,  false},
    {"OtherDestination",    "1.01", "KLVH0100", "EU000001", false, true,  false},
    {"SameRevision",        "1.02", "KLVH0100", "WW000001", false, true,  false},
    {"NewerRevision",       "1.10", "KLVH0100", "WW000001", false, true,  false},
    {"ImageWithoutValues",  "1.01", "KLVH0100", "        ", false, false, false},
};
// clang-format on

class Eligibility : public testing::TestWithParam<EligibilityCase> {};

} // namespace

TEST_P(Eligibility, FollowsHardwareDestinationAndRevision) {
    const EligibilityCase& c = GetParam();
    auto profile = SimulatedDrives::targetDrive("d");
    profile.revision = c.revision;
    profile.hardwareVersion = c.hardwareVersion;
    profile.destinationVersion = c.destinationVersion;
    profile.mode = c.kernelMode ? sim::DriveMode::Kernel : sim::DriveMode::Normal;
    SimulatedDrives drives({profile});
    const LogCapture quiet;

    const DemoNormalImage known;
    const FirmFileData unknown;
    const auto list =
        ListTargetDrives(c.imageKnown ? static_cast<const FirmFileData&>(known) : unknown);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].isEnableUpdate(), c.eligible);
    EXPECT_EQ(list[0].driveMode(), c.kernelMode ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Rules, Eligibility, testing::ValuesIn(kEligibilityCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(VerdictOnUpdate, EmptyOrBlankVersionsNeverMatchAndNameTheirRule) {
    using enum UpdateVerdict;
    struct Case {
        const char* driveHardware;
        const char* imageHardware;
        const char* driveDestination;
        const char* imageDestination;
        UpdateVerdict verdict;
    };
    const Case cases[] = {
        {"KLVH0100", "KLVH0100", "        ", "WW000001", Eligible},
        {"", "", "WW000001", "WW000001", OtherHardware},
        {"        ", "        ", "WW000001", "WW000001", OtherHardware},
        {"KLVH0100", "KLVH0100", "", "", OtherDestination},
        {"KLVH0100", "KLVH0100", "        ", "", OtherDestination},
    };
    for (const Case& c : cases) {
        DeviceData drive;
        drive.setRevision("1.01");
        drive.setHard_version(c.driveHardware);
        drive.setDest_version(c.driveDestination);
        DemoNormalImage image;
        image.setHard_version(c.imageHardware);
        image.setDest_version(c.imageDestination);
        EXPECT_EQ(VerdictOnUpdate(drive, image), c.verdict)
            << '"' << c.driveHardware << "\" \"" << c.driveDestination << '"';
    }
}
