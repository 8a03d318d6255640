#include "app/AccessProblemText.h"

#include <cerrno>
#include <gtest/gtest.h>

using iokit::AccessRefusal;
using iokit::AccessResult;

namespace {

AccessResult problem(std::string node, AccessRefusal refusal, int error,
                     std::optional<std::string> mountPoint = std::nullopt) {
    AccessResult result;
    result.refusal = refusal;
    result.osError = error;
    result.deviceNode = std::move(node);
    result.mountPoint = std::move(mountPoint);
    return result;
}

} // namespace

TEST(AccessProblemText, NamesEachDriveItsCauseAndTheRemedyInOrderOnce) {
    const std::vector<AccessResult> problems{
        problem("/dev/sg3", AccessRefusal::DiscMounted, EBUSY, "/media/ann/HOLIDAY 2010"),
        problem("/dev/sg1", AccessRefusal::NotPermitted, EACCES),
        problem("/dev/sg2", AccessRefusal::HeldElsewhere, EBUSY),
        problem("/dev/sg1", AccessRefusal::NotPermitted, EACCES),
        problem("/dev/sg4", AccessRefusal::None, 0),
        problem("/dev/sg5", AccessRefusal::OsError, EIO),
    };
    EXPECT_EQ(informativeTextForAccessProblems(problems),
              "A disc in the drive /dev/sg3 is mounted at /media/ann/HOLIDAY 2010. Eject the disc "
              "and try again.\n\n"
              "You are not permitted to use the drive /dev/sg1. Log in at this computer's own "
              "screen, or ask an administrator to add you to the group \"cdrom\" and log in "
              "again.\n\n"
              "The drive /dev/sg2 is in use by another program. Close that program and try "
              "again.\n\n"
              "The drive /dev/sg5 could not be opened (Input/output error).");
    EXPECT_EQ(informativeTextForAccessProblems({}), "");
}

TEST(AccessProblemText, ATerminalGetsTheNodeAndMountPointEscaped) {
    const std::vector<AccessResult> problems{
        problem("/dev/sg\r1", AccessRefusal::DiscMounted, EBUSY, "/media/u/\x1b]0;x\a\\"),
        problem("/dev/sg2", AccessRefusal::HeldElsewhere, EBUSY)};
    EXPECT_EQ(terminalTextForAccessProblems(problems),
              R"(A disc in the drive /dev/sg\x0d1 is mounted at /media/u/\x1b]0;x\x07\\. Eject )"
              "the disc and try again.\n\n"
              "The drive /dev/sg2 is in use by another program. Close that program and try again.");
    // The window shows texts as they are.
    EXPECT_EQ(informativeTextForAccessProblems({problems[0]}),
              "A disc in the drive /dev/sg\r1 is mounted at /media/u/\x1b]0;x\a\\. Eject the disc "
              "and try again.");
}

TEST(AccessProblemText, AFailedUpdateNamesTheRefusedOpenOrTheCommandThatFailedOnItsWay) {
    const auto lost = [](iokit::Transport transport, int error = 0) {
        UpdateOutcome outcome;
        outcome.transport = iokit::TransportFailure{transport, error, "/dev/sg\r2"};
        return outcome;
    };
    UpdateOutcome refused;
    refused.access = problem("/dev/sg3", AccessRefusal::DiscMounted, EBUSY, "/media/ann/HOLIDAY");
    const std::vector<std::pair<UpdateOutcome, std::string>> cases{
        {refused, "A disc in the drive /dev/sg3 is mounted at /media/ann/HOLIDAY. Eject the disc "
                  "and try again."},
        {lost(iokit::Transport::Gone),
         "The drive /dev/sg\\x0d2 was disconnected. Connect it and try again."},
        {lost(iokit::Transport::TimedOut), "The drive /dev/sg\\x0d2 did not answer in time."},
        {lost(iokit::Transport::NotPermitted),
         "You are not permitted to use the drive /dev/sg\\x0d2. Log in at this computer's own "
         "screen, or ask an administrator to add you to the group \"cdrom\" and log in again."},
        {lost(iokit::Transport::OsError, EIO),
         "A command could not be sent to the drive /dev/sg\\x0d2 (Input/output error)."},
        {UpdateOutcome{}, ""},
    };
    for (const auto& [outcome, text] : cases) {
        EXPECT_EQ(terminalTextForUpdateCause(outcome), text);
    }
    EXPECT_EQ(informativeTextForUpdateCause(lost(iokit::Transport::TimedOut)),
              "The drive /dev/sg\r2 did not answer in time.");
}
