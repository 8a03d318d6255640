#include "app/TerminalFrontEnd.h"

#include "scsi/PollInterval.h"
#include "tests/support/BundleLanguage.h"
#include "tests/support/FirmwareImageFolder.h"
#include "tests/support/LogCapture.h"
#include "tests/support/SimulatedDrives.h"

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>
#include <sstream>

using testing::HasSubstr;

namespace {

// The terminal front end in this process, on virtual drives, with its
// streams kept for the test.
class TerminalSession : public ::testing::Test {
  protected:
    static sim::DriveProfile drive(std::string id, std::string revision = "1.01") {
        auto profile = SimulatedDrives::targetDrive(std::move(id));
        profile.revision = std::move(revision);
        return profile;
    }

    void start(std::vector<sim::DriveProfile> profiles) {
        drives_ = std::make_unique<SimulatedDrives>(std::move(profiles));
    }

    int run(const std::function<int(TerminalFrontEnd&)>& operation, const std::string& input = "",
            bool terminal = false) {
        in_.str(input);
        out_.str("");
        err_.str("");
        TerminalFrontEnd frontEnd(drives_->backend(),
                                  TerminalStreams{in_, out_, err_, terminal, terminal});
        return operation(frontEnd);
    }

    // Whether anything was written to the drive: a mode change or an image.
    bool written(const std::string& id) {
        const auto counters = drives_->drive(id).counters();
        return counters.modeChanges != 0 || counters.imageTransfers != 0;
    }

    const LogCapture log_;
    // Virtual drives answer at once: no pause between install polls.
    const PollInterval noPause_{std::chrono::milliseconds(0)};
    const FirmwareImageFolder images_{70144, 40000};
    std::unique_ptr<SimulatedDrives> drives_;
    std::istringstream in_;
    std::ostringstream out_;
    std::ostringstream err_;
};

} // namespace

TEST_F(TerminalSession, ListsInTheWindowsOrderWithItsTitlesAndSaysWhyADriveIsNotEligible) {
    auto otherHardware = drive("other-hardware", "1.00");
    otherHardware.hardwareVersion = "KLVH0200";
    auto held = drive("held");
    held.faults.exclusiveAccessRefused = true;
    start({drive("a"), otherHardware, drive("b"), drive("current", "1.02"), held, drive("c")});

    EXPECT_EQ(run([](TerminalFrontEnd& f) { return f.list(false); }), 0);
    EXPECT_EQ(out_.str(),
              "Firmware carried: BD-RW KLV-TN82WA 1.0220101015\n"
              "1  QUELMAR  BD-RW KLV-TN82WA 1.012010/9/30  [1]\n"
              "   revision 1.01, date 2010/9/30, may be updated to BD-RW KLV-TN82WA 1.0220101015\n"
              "2  QUELMAR  BD-RW KLV-TN82WA 1.002010/9/30 \n"
              "   revision 1.00, date 2010/9/30, not eligible: another hardware version (the "
              "drive's is KLVH0200, the firmware's KLVH0100)\n"
              "3  QUELMAR  BD-RW KLV-TN82WA 1.012010/9/30  [2]\n"
              "   revision 1.01, date 2010/9/30, may be updated to BD-RW KLV-TN82WA 1.0220101015\n"
              "4  QUELMAR  BD-RW KLV-TN82WA 1.022010/9/30 \n"
              "   revision 1.02, date 2010/9/30, not eligible: already current (the firmware "
              "carried is revision 1.02)\n"
              "5  QUELMAR  BD-RW KLV-TN82WA 1.012010/9/30  [3]\n"
              "   revision 1.01, date 2010/9/30, may be updated to BD-RW KLV-TN82WA 1.0220101015\n"
              "-  virtual:held\n"
              "   not available: held by another program. The drive virtual:held is in use by "
              "another program. Close that program and try again.\n");
    EXPECT_EQ(err_.str(), "");
}

TEST_F(TerminalSession, ListsTheSameFactsAsOneJsonDocument) {
    auto otherDestination = drive("other-destination", "1.00");
    otherDestination.destinationVersion = "XX000002";
    auto unread = drive("unread");
    unread.faults.readBufferStatus = 0x02;
    auto held = drive("held");
    held.faults.exclusiveAccessRefused = true;
    start({drive("a"), otherDestination, unread, held, drive("b")});

    EXPECT_EQ(run([](TerminalFrontEnd& f) { return f.list(true); }), 0);
    const auto document = nlohmann::json::parse(out_.str());
    EXPECT_EQ(document["firmware"]["revision"], "1.02");
    const auto& drives = document["drives"];
    ASSERT_EQ(drives.size(), 4u);
    EXPECT_EQ(drives[0]["index"], 1);
    EXPECT_EQ(drives[0]["title"], "QUELMAR  BD-RW KLV-TN82WA 1.012010/9/30  [1]");
    EXPECT_EQ(drives[0]["eligible"], true);
    EXPECT_EQ(drives[0]["updateTo"], "BD-RW KLV-TN82WA 1.0220101015");
    EXPECT_TRUE(drives[0]["reason"].is_null());
    EXPECT_EQ(drives[1]["revision"], "1.00");
    EXPECT_EQ(drives[1]["destinationVersion"], "XX000002");
    EXPECT_EQ(drives[1]["reason"], "other-destination-version");
    EXPECT_TRUE(drives[1]["updateTo"].is_null());
    EXPECT_EQ(drives[2]["reason"], "not-identified");
    EXPECT_TRUE(drives[2]["hardwareVersion"].is_null());
    EXPECT_EQ(drives[3]["index"], 4);
    EXPECT_EQ(drives[3]["title"], "QUELMAR  BD-RW KLV-TN82WA 1.012010/9/30  [3]");
    ASSERT_EQ(document["unavailable"].size(), 1u);
    EXPECT_EQ(document["unavailable"][0]["device"], "virtual:held");
    EXPECT_EQ(document["unavailable"][0]["reason"], "held-by-another-program");
}

TEST_F(TerminalSession, UpdatesTheDriveAtTheIndexAndShowsItsProgressOnATerminal) {
    auto twin = drive("b");
    twin.installPolls = 5;
    start({drive("a"), twin, drive("c")});

    EXPECT_EQ(run([](TerminalFrontEnd& f) { return f.update(2, true); }, "", true), 0);
    EXPECT_EQ(out_.str(), "Complete! Drive 2 now reports revision 1.02.\n");
    EXPECT_THAT(err_.str(), HasSubstr("Drive 2: QUELMAR  BD-RW KLV-TN82WA 1.012010/9/30  [2]\n"
                                      "will update to BD-RW KLV-TN82WA 1.0220101015\n"));
    // Each phase in the window's words; writing and installing as bars that end full.
    const std::string bar = " [" + std::string(40, '#') + "]\n";
    EXPECT_THAT(err_.str(), HasSubstr("Updating drive 2...\n"
                                      "Taking the drive for the update...\n"
                                      "Switching the drive to its update mode...\n"
                                      "\rWriting the firmware (0 %)..."));
    EXPECT_THAT(err_.str(), HasSubstr("\rWriting the firmware (100 %)..." + bar +
                                      "\rThe drive is installing the firmware (0 %)..."));
    EXPECT_THAT(err_.str(), HasSubstr("\rThe drive is installing the firmware (100 %)..." + bar +
                                      "Checking the new revision...\n"));
    EXPECT_FALSE(written("a"));
    EXPECT_TRUE(written("b"));
    EXPECT_FALSE(written("c"));
    EXPECT_TRUE(drives_->everyAccessReleased("b"));
}

TEST_F(TerminalSession, AFailedUpdateSaysSoWithStatusOneAndWhy) {
    struct Case {
        void (*fault)(sim::DriveFaults&);
        const char* why;
    };
    for (const Case& c : {
             Case{[](sim::DriveFaults& faults) { faults.revisionAfterInstall = "1.01"; },
                  "QuelmarDriveUpdater\nAfter installing, the drive does not report the revision "
                  "of the new firmware.\n"},
             // Gone at the second kernel transfer: three commands to list, then I, R, M, I, K.
             Case{[](sim::DriveFaults& faults) { faults.removalAtCommand = 9; },
                  "QuelmarDriveUpdater\nThe drive did not take the firmware being written to it. "
                  "The drive is left in its update mode: it is listed and can be updated again. "
                  "Keep it connected until then.\nThe drive virtual:stale was disconnected. "
                  "Connect it and try again.\n"},
         }) {
        auto stale = drive("stale");
        c.fault(stale.faults);
        drives_.reset();
        start({stale});
        EXPECT_EQ(run([](TerminalFrontEnd& f) { return f.update(1, true); }), 1);
        EXPECT_EQ(out_.str(), "");
        EXPECT_THAT(err_.str(), HasSubstr("Error! The update of drive 1 failed."));
        EXPECT_THAT(err_.str(), HasSubstr(c.why));
        // No bar without a terminal.
        EXPECT_THAT(err_.str(), testing::Not(HasSubstr("Installing")));
    }
}

TEST_F(TerminalSession, AnIndexWithoutAnEligibleDriveIsRefusedWithStatusThreeAndNothingWritten) {
    auto held = drive("held");
    held.faults.exclusiveAccessRefused = true;
    start({drive("a"), held, drive("current", "1.02")});
    for (const long index : {0L, 3L}) {
        EXPECT_EQ(run([index](TerminalFrontEnd& f) { return f.update(index, true); }), 3);
        EXPECT_THAT(err_.str(), HasSubstr("there is no drive " + std::to_string(index) +
                                          "; the list runs from 1 to 2"));
        // The drive left out of the list is why there are not three.
        EXPECT_THAT(err_.str(), HasSubstr("The drive virtual:held is in use by another program."));
    }
    EXPECT_EQ(run([](TerminalFrontEnd& f) { return f.update(2, true); }), 3);
    EXPECT_THAT(err_.str(), HasSubstr("drive 2 (QUELMAR  BD-RW KLV-TN82WA 1.022010/9/30 ) may "
                                      "not be updated: already current"));
    for (const char* id : {"a", "held", "current"}) {
        EXPECT_FALSE(written(id)) << id;
    }
}

TEST_F(TerminalSession, WithoutATerminalOrYesNoDriveIsEvenOpened) {
    start({drive("a"), drive("b"), drive("c")});
    EXPECT_EQ(run([](TerminalFrontEnd& f) { return f.update(1, false); }, "y\n", false), 2);
    EXPECT_THAT(err_.str(), HasSubstr("add --yes"));
    for (const char* id : {"a", "b", "c"}) {
        EXPECT_EQ(drives_->drive(id).counters().commands, 0u) << id;
    }
}

TEST_F(TerminalSession, AsksWithTheWindowsWarningAndTakesNoAnswerAsNo) {
    start({drive("a")});
    EXPECT_EQ(run([](TerminalFrontEnd& f) { return f.update(1, false); }, "\n", true), 1);
    EXPECT_THAT(err_.str(), HasSubstr("MESSAGE_DONT_DISCONNECTUSB\nUpdate this drive now? [y/N] "));
    EXPECT_THAT(err_.str(), HasSubstr("Not updated."));
    EXPECT_FALSE(written("a"));

    EXPECT_EQ(run([](TerminalFrontEnd& f) { return f.update(1, false); }, " Yes\n", true), 0);
    EXPECT_TRUE(written("a"));
}

TEST_F(TerminalSession, AsksInTheLanguageOfTheLocaleAndTakesItsYes) {
    const BundleLanguage german(images_.folder(), "de");
    start({drive("a"), drive("b")});
    EXPECT_EQ(run([](TerminalFrontEnd& f) { return f.update(1, false); }, "Ja\n", true), 0);
    EXPECT_THAT(err_.str(), HasSubstr("Dieses Laufwerk jetzt aktualisieren? [j/N] "));
    EXPECT_EQ(out_.str(), "Abgeschlossen! Laufwerk 1 meldet jetzt Revision 1.02.\n");
    // English answers are taken in every language.
    EXPECT_EQ(run([](TerminalFrontEnd& f) { return f.update(2, false); }, "y\n", true), 0);
    EXPECT_TRUE(written("b"));
}

TEST_F(TerminalSession, DriveTextsReachTheTerminalEscapedAndJsonAsJsonEscapesThem) {
    // A drive's INQUIRY and a device node may hold anything; a scenario file
    // cannot say such texts, so the profiles do.
    const std::string vendor = "Q\x1b[8m\rX";
    auto shady = drive("shady");
    shady.vendor = vendor;
    auto current = drive("current", "1.02");
    current.vendor = vendor;
    auto held = drive("\x1b]0;t\a");
    held.faults.exclusiveAccessRefused = true;
    start({shady, current, held});
    const std::string node = R"(virtual:\x1b]0;t\x07)";

    EXPECT_EQ(run([](TerminalFrontEnd& f) { return f.list(false); }), 0);
    EXPECT_EQ(
        out_.str(),
        "Firmware carried: BD-RW KLV-TN82WA 1.0220101015\n"
        R"(1  Q\x1b[8m\x0dX  BD-RW KLV-TN82WA 1.012010/9/30 )"
        "\n   revision 1.01, date 2010/9/30, may be updated to BD-RW KLV-TN82WA 1.0220101015\n"
        R"(2  Q\x1b[8m\x0dX  BD-RW KLV-TN82WA 1.022010/9/30 )"
        "\n   revision 1.02, date 2010/9/30, not eligible: already current (the firmware "
        "carried is revision 1.02)\n-  " +
            node + "\n   not available: held by another program. The drive " + node +
            " is in use by another program. Close that program and try again.\n");

    EXPECT_EQ(run([](TerminalFrontEnd& f) { return f.list(true); }), 0);
    EXPECT_THAT(out_.str(), HasSubstr(R"("vendor": "Q\u001b[8m\rX ")"));
    const auto document = nlohmann::json::parse(out_.str());
    EXPECT_EQ(document["drives"][0]["vendor"], vendor + " ");
    EXPECT_EQ(document["unavailable"][0]["device"], "virtual:\x1b]0;t\a");

    EXPECT_EQ(run([](TerminalFrontEnd& f) { return f.update(3, true); }), 3);
    EXPECT_THAT(err_.str(), HasSubstr("The drive " + node + " is in use"));
    EXPECT_EQ(run([](TerminalFrontEnd& f) { return f.update(2, true); }), 3);
    EXPECT_THAT(err_.str(), HasSubstr(R"(drive 2 (Q\x1b[8m\x0dX  BD-RW)"));
    EXPECT_EQ(run([](TerminalFrontEnd& f) { return f.update(1, true); }), 0);
    EXPECT_THAT(err_.str(), HasSubstr(R"(Drive 1: Q\x1b[8m\x0dX  BD-RW)"));
    EXPECT_EQ(err_.str().find_first_of("\x1b\r\a"), std::string::npos);
}
