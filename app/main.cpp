// The process entry: the command line, one instance at a time, then the
// window or the terminal.

#include "app/CommandLine.h"
#include "app/ExitStatus.h"
#include "app/MainWindow.h"
#include "app/QuelmarDriveUpdaterAppDelegate.h"
#include "app/TerminalFrontEnd.h"
#include "platform/appkit/Application.h"
#include "platform/backend/Backend.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunningApplications.h"
#include "records/Util.h"
#include "scsi/BusyLimit.h"

#include <QApplication>
#include <QCoreApplication>
#include <cstdio>
#include <exception>
#include <functional>
#include <iostream>
#include <optional>
#include <unistd.h>

namespace {

// Starts the source of drives and runs a front end on it, with the limit on
// a stalled install that the source asks for.
int withBackend(const std::function<int(const platform::Backend&)>& frontEnd) {
    std::unique_ptr<platform::Backend> backend;
    try {
        backend = platform::Backend::chooseAtStart();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    std::optional<BusyLimit> installWaitLimit;
    if (const auto limit = backend->installWaitLimit()) {
        installWaitLimit.emplace(*limit);
    }
    return frontEnd(*backend);
}

int runWindow(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setOrganizationName("Quelmar");
    QApplication::setApplicationName("QuelmarDriveUpdater");
    // Lets a desktop match the window to the menu entry and its icon.
    QApplication::setDesktopFileName("com.quelmar.QuelmarDriveUpdater");

    return withBackend([](const platform::Backend&) {
        MainWindow mainWindow;
        QuelmarDriveUpdaterAppDelegate controller(mainWindow);
        appkit::Application::sharedApplication().setDelegate(&controller);
        controller.awakeFromNib();
        mainWindow.window.show();
        const int status = appkit::Application::sharedApplication().run();
        appkit::Application::sharedApplication().setDelegate(nullptr);
        return status;
    });
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

int main(int argc, char** argv) {
    const auto parsed = CommandLine::parse(argc, argv);
    if (const int* status = std::get_if<int>(&parsed)) {
        return *status;
    }
    const auto& request = std::get<CommandLineRequest>(parsed);

    if (const auto problem = foundation::RunningApplications::registerLaunch(
            foundation::Bundle::mainBundle().bundleIdentifier())) {
        // An instance that cannot tell whether another runs must not run.
        std::fprintf(stderr, "quelmar-drive-updater: cannot keep track of running instances: %s\n",
                     problem->c_str());
        return exitstatus::kCannotRunSafely;
    }
    if (Util::countLaunchedApp() > 1) {
        if (request.mode == CommandLineRequest::Mode::Window) {
            return exitstatus::kDone;
        }
        std::fputs("quelmar-drive-updater: another instance of the updater is running; try "
                   "again once it has finished.\n",
                   stderr);
        return exitstatus::kAnotherInstance;
    }
    return request.mode == CommandLineRequest::Mode::Window ? runWindow(argc, argv)
                                                            : runTerminal(argc, argv, request);
}
