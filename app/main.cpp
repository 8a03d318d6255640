// The process entry: the command line, one instance at a time, then the
// window or the terminal.

#include "app/CommandLine.h"
#include "app/ExitStatus.h"
#include "app/MainWindow.h"
#include "app/QuelmarDriveUpdaterAppDelegate.h"
#include "app/TerminalFrontEnd.h"
#include "app/UnreadableScenarioAlert.h"
#include "platform/appkit/ActivationListener.h"
#include "platform/appkit/Application.h"
#include "platform/backend/Backend.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Localized.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/ProcessSignals.h"
#include "platform/foundation/RunningApplications.h"
#include "records/Util.h"
#include "scsi/BusyLimit.h"
#include "scsi/PollInterval.h"
#include "scsi/ReturnWait.h"

#include <QApplication>
#include <QCoreApplication>
#include <csignal>
#include <cstdio>
#include <exception>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

// Where the window listens for later launches, in the private folder of
// running instances.
constexpr const char* kWindowSocketName = "window";

// Starts the source of drives and runs a front end on it, with the limit on
// a stalled install, the pause between install polls and the wait for a drive
// that left during its install that the source asks for. A scenario file that
// cannot be read is named on standard error, and then shown by
// `tellUnreadableScenario` when given.
int withBackend(const std::function<int(const platform::Backend&)>& frontEnd,
                const std::function<void(const std::string&)>& tellUnreadableScenario = {}) {
    std::unique_ptr<platform::Backend> backend;
    try {
        backend = platform::Backend::chooseAtStart();
    } catch (const platform::UnreadableScenario& error) {
        std::fprintf(stderr, "%s\n", error.what());
        if (tellUnreadableScenario) {
            tellUnreadableScenario(error.what());
        }
        return exitstatus::kBadScenario;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return exitstatus::kCannotStart;
    }
    std::optional<BusyLimit> installWaitLimit;
    if (const auto limit = backend->installWaitLimit()) {
        installWaitLimit.emplace(*limit);
    }
    std::optional<PollInterval> installPollInterval;
    if (const auto interval = backend->installPollInterval()) {
        installPollInterval.emplace(*interval);
    }
    std::optional<ReturnWait> returnWait;
    if (const auto limit = backend->returnWaitLimit()) {
        returnWait.emplace(*limit);
    }
    return frontEnd(*backend);
}

// Outside an update the window quits on the signals that ask a program to
// end, through the same door as its close button; the others keep their
// default meaning.
void quitTheWindowOn(int signal) {
    if (signal == SIGINT || signal == SIGTERM || signal == SIGHUP) {
        appkit::Application::sharedApplication().terminate();
    } else {
        foundation::ProcessSignals::takeDefaultAction(signal);
    }
}

int runWindow(int argc, char** argv, foundation::ProcessSignals& processSignals) {
    QApplication application(argc, argv);
    QApplication::setOrganizationName("Quelmar");
    QApplication::setApplicationName("QuelmarDriveUpdater");
    // Lets a desktop match the window to the menu entry and its icon.
    QApplication::setDesktopFileName("com.quelmar.QuelmarDriveUpdater");
    // From here on a signal quits through the application, which must be made
    // on this thread first: the alert about a scenario too.
    appkit::Application::sharedApplication();
    processSignals.setAction(quitTheWindowOn);

    const int status = withBackend(
        [](const platform::Backend& backend) {
            MainWindow mainWindow;
            QuelmarDriveUpdaterAppDelegate controller(mainWindow, backend);
            appkit::Application::sharedApplication().setDelegate(&controller);
            controller.awakeFromNib();
            mainWindow.window.show();
            // A later launch brings this window to the front instead of opening
            // another. Listening starts as the event loop does, so that a
            // launch that finds the socket is answered at once.
            const auto socket =
                foundation::RunningApplications::pathInRegistrationFolder(kWindowSocketName);
            const auto listener =
                socket ? appkit::ActivationListener::listen(
                             *socket, [&mainWindow] { mainWindow.window.makeKeyAndOrderFront(); })
                       : nullptr;
            const int ended = appkit::Application::sharedApplication().run();
            appkit::Application::sharedApplication().setDelegate(nullptr);
            return ended;
        },
        alertUnreadableScenario);
    processSignals.setAction({});
    return status;
}

// A second window asks the first to come to the front and says what became of it.
int reportWindowRunning() {
    const auto socket =
        foundation::RunningApplications::pathInRegistrationFolder(kWindowSocketName);
    const auto& bundle = foundation::Bundle::mainBundle();
    const std::string text =
        socket && appkit::ActivationListener::requestActivation(*socket)
            ? bundle.localizedStringForKey("MESSAGE_ALREADY_RUNNING_BROUGHT_TO_FRONT",
                                           "the updater is already running; its window has been "
                                           "brought to the front.")
            : bundle.localizedStringForKey("MESSAGE_ALREADY_RUNNING",
                                           "the updater is already running.");
    std::fprintf(stderr, "quelmar-drive-updater: %s\n", text.c_str());
    return exitstatus::kDone;
}

int runTerminal(int argc, char** argv, const CommandLineRequest& request) {
    // Backends run their threads' event loops on Qt; no display is needed.
    QCoreApplication application(argc, argv);
    QCoreApplication::setOrganizationName("Quelmar");
    QCoreApplication::setApplicationName("QuelmarDriveUpdater");
    foundation::Log::setTraceShown(request.verbose);

    return withBackend([&request](const platform::Backend& backend) {
        TerminalFrontEnd frontEnd(backend, TerminalStreams{std::cin, std::cout, std::cerr,
                                                           ::isatty(STDIN_FILENO) == 1,
                                                           ::isatty(STDERR_FILENO) == 1});
        return request.mode == CommandLineRequest::Mode::List
                   ? frontEnd.list(request.json)
                   : frontEnd.update(request.index, request.yes);
    });
}

} // namespace

// An exception that gets this far is a fault. Left uncaught it ends the program
// through std::terminate at the throw, with the stack that led to it intact.
// NOLINTNEXTLINE(bugprone-exception-escape)
int main(int argc, char** argv) {
    // Before any thread starts, so that every thread inherits the blocked signals.
    foundation::ProcessSignals::blockAtStart();
    foundation::ProcessSignals processSignals;

    const auto parsed = CommandLine::parse(argc, argv);
    if (const int* status = std::get_if<int>(&parsed)) {
        return *status;
    }
    const auto& request = std::get<CommandLineRequest>(parsed);
    // The firmware images are taken from the program's own folder or not at
    // all: never from wherever it happens to be started.
    if (const auto& reason = foundation::Bundle::mainBundle().unavailableReason()) {
        std::fprintf(
            stderr, "%s\n",
            foundation::localizedFormat("quelmar-drive-updater: cannot read %s; without it "
                                        "the folder of the program's firmware images is "
                                        "unknown.",
                                        reason->c_str())
                .c_str());
        return exitstatus::kCannotRunSafely;
    }

    if (const auto problem = foundation::RunningApplications::registerLaunch(
            foundation::Bundle::mainBundle().bundleIdentifier())) {
        // An instance that cannot tell whether another runs must not run.
        std::fprintf(stderr, "%s\n",
                     foundation::localizedFormat(
                         "quelmar-drive-updater: cannot keep track of running instances: %s",
                         problem->c_str())
                         .c_str());
        return exitstatus::kCannotRunSafely;
    }
    if (Util::countLaunchedApp() > 1) {
        if (request.mode == CommandLineRequest::Mode::Window) {
            return reportWindowRunning();
        }
        std::fprintf(stderr, "%s\n",
                     foundation::localized("quelmar-drive-updater: another instance of the "
                                           "updater is running; try again once it has finished.")
                         .c_str());
        return exitstatus::kAnotherInstance;
    }
    return request.mode == CommandLineRequest::Mode::Window ? runWindow(argc, argv, processSignals)
                                                            : runTerminal(argc, argv, request);
}
