#include "app/TerminalFrontEnd.h"

#include "app/AccessProblemText.h"
#include "app/DriveListing.h"
#include "app/ExitStatus.h"
#include "app/FirmwareUpdate.h"
#include "app/HeldSignalNotice.h"
#include "app/TerminalProgressBar.h"
#include "app/TerminalText.h"
#include "app/UpdateResultText.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/HeldSignals.h"
#include "platform/foundation/Localized.h"
#include "platform/foundation/Log.h"
#include "records/FirmwareImageLayout.h"

#include <QRegularExpression>
#include <QStringList>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

using foundation::localized;
using foundation::localizedFormat;

namespace {

constexpr const char* kProgram = "quelmar-drive-updater";

} // namespace

TerminalFrontEnd::TerminalFrontEnd(const platform::Backend& backend, TerminalStreams streams)
    : backend_(backend), streams_(streams) {
    using namespace FirmwareImageLayout;
    kernelImage_.readHeaderOfResource(imageFileName(kKernelImageBaseName));
    normalImage_.readHeaderOfResource(imageFileName(kNormalImageBaseName));
}

DriveReport TerminalFrontEnd::survey() const {
    std::vector<DeviceData> drives = listTargetDrivesNumbered(normalImage_);
    return {std::move(drives), backend_.accessProblems(), normalImage_};
}

int TerminalFrontEnd::list(bool json) {
    const DriveReport report = survey();
    errno = 0;
    streams_.out << (json ? report.json() : report.text()) << std::flush;
    if (!streams_.out) {
        // A script must not take a cut-off list for the whole one.
        const int cause = errno;
        streams_.err << (cause != 0 ? localizedFormat("%s: the list could not be written to "
                                                      "standard output (%s).",
                                                      kProgram, std::strerror(cause))
                                    : localizedFormat("%s: the list could not be written to "
                                                      "standard output.",
                                                      kProgram))
                     << '\n'
                     << std::flush;
        return exitstatus::kOutputFailed;
    }
    return exitstatus::kDone;
}

int TerminalFrontEnd::update(long index, bool yes) {
    // Decided before any drive is opened: without someone to answer, no drive
    // is even identified.
    if (!yes && !streams_.inIsTerminal) {
        streams_.err << localizedFormat("%s: not updating without a terminal to confirm on; add "
                                        "--yes to update without asking.",
                                        kProgram)
                     << '\n';
        return exitstatus::kUsageError;
    }
    const DriveReport report = survey();
    const std::size_t count = report.drives().size();
    if (index < 1 || static_cast<std::size_t>(index) > count) {
        streams_.err << (count == 0 ? localizedFormat("%s: there is no drive %ld; no drive was "
                                                      "listed.",
                                                      kProgram, index)
                                    : localizedFormat("%s: there is no drive %ld; the list runs "
                                                      "from 1 to %zu (see --list).",
                                                      kProgram, index, count))
                     << '\n';
        // A drive that could not be opened is not in the list: say why.
        if (const std::string why = terminalTextForAccessProblems(report.unavailable());
            !why.empty()) {
            streams_.err << why << '\n';
        }
        return exitstatus::kNoEligibleDrive;
    }
    const auto position = static_cast<std::size_t>(index - 1);
    DeviceData drive = report.drives()[position];
    if (report.verdict(position) != UpdateVerdict::Eligible) {
        streams_.err << localizedFormat("%s: drive %ld (%s) may not be updated: %s.", kProgram,
                                        index, printableOnTerminal(titleOf(drive)).c_str(),
                                        report.reasonText(position).c_str())
                     << '\n';
        return exitstatus::kNoEligibleDrive;
    }

    streams_.err << localizedFormat("Drive %ld: %s", index,
                                    printableOnTerminal(titleOf(drive)).c_str())
                 << '\n'
                 << localizedFormat("will update to %s",
                                    printableOnTerminal(versionTitleOf(normalImage_)).c_str())
                 << '\n';
    if (!yes && !confirmed()) {
        streams_.err << localized("Not updated.") << '\n' << std::flush;
        return exitstatus::kUpdateFailed;
    }

    UpdateOutcome outcome;
    {
        // A signal that comes now is honoured only after the result is out.
        const foundation::HeldSignals held(heldSignalNotice());
        streams_.err << localizedFormat("Updating drive %ld...", index) << '\n' << std::flush;
        {
            std::optional<TerminalProgressBar> bar;
            if (streams_.errIsTerminal) {
                bar.emplace(streams_.err);
            }
            outcome = runFirmwareUpdate(drive, normalImage_, kernelImage_);
        }
        if (outcome.updated) {
            streams_.out << localizedFormat(
                                "Complete! Drive %ld now reports revision %s.", index,
                                printableOnTerminal(drive.revision().value_or("")).c_str())
                         << '\n';
        } else {
            streams_.err << localizedFormat("Error! The update of drive %ld failed. The system "
                                            "log has the details: journalctl -t "
                                            "QuelmarDriveUpdater",
                                            index)
                         << '\n';
            if (const std::string what = failureText(outcome); !what.empty()) {
                streams_.err << what << '\n';
            }
            if (const std::string why = terminalTextForUpdateCause(outcome); !why.empty()) {
                streams_.err << why << '\n';
            }
        }
        // A signal held off may end the process as the hold ends.
        streams_.out << std::flush;
        streams_.err << std::flush;
        // Output that could not be written (a closed pipe, a full disk) never
        // stopped the update; the result stands, and is said where it still can be.
        if (!streams_.out || foundation::Log::traceOutputLost()) {
            streams_.err << (outcome.updated
                                 ? localizedFormat("%s: some of the output could not be "
                                                   "written; the update succeeded.",
                                                   kProgram)
                                 : localizedFormat("%s: some of the output could not be "
                                                   "written; the update failed.",
                                                   kProgram))
                         << '\n'
                         << std::flush;
        }
    }
    return outcome.updated ? exitstatus::kDone : exitstatus::kUpdateFailed;
}

bool TerminalFrontEnd::confirmed() {
    streams_.err << foundation::Bundle::mainBundle().localizedStringForKey(
                        "MESSAGE_DONT_DISCONNECTUSB")
                 << '\n'
                 << localized("Update this drive now? [y/N]") << ' ' << std::flush;
    std::string answer;
    if (!std::getline(streams_.in, answer)) {
        streams_.err << '\n';
        return false;
    }
    // "y" and "yes" are taken in every language, besides the language's own.
    const QString given =
        QString::fromStdString(answer).remove(QRegularExpression("\\s")).toLower();
    const QStringList yes =
        QString::fromStdString("y yes " + foundation::Bundle::mainBundle().localizedStringForKey(
                                              "MESSAGE_ANSWERS_YES", "y yes"))
            .toLower()
            .split(' ', Qt::SkipEmptyParts);
    return yes.contains(given);
}
