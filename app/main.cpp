// The process entry: one instance at a time, then the window.

#include "app/MainWindow.h"
#include "app/QuelmarDriveUpdaterAppDelegate.h"
#include "platform/appkit/Application.h"
#include "platform/backend/Backend.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/RunningApplications.h"
#include "records/Util.h"

#include <QApplication>
#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    foundation::RunningApplications::registerLaunch(
        foundation::Bundle::mainBundle().bundleIdentifier());
    if (Util::countLaunchedApp() > 1) {
        return 0;
    }

    QApplication application(argc, argv);
    QApplication::setOrganizationName("Quelmar");
    QApplication::setApplicationName("QuelmarDriveUpdater");

    std::unique_ptr<platform::Backend> backend;
    try {
        backend = platform::Backend::chooseAtStart();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }

    MainWindow mainWindow;
    QuelmarDriveUpdaterAppDelegate controller(mainWindow);
    appkit::Application::sharedApplication().setDelegate(&controller);
    controller.awakeFromNib();
    mainWindow.window.show();
    const int status = appkit::Application::sharedApplication().run();
    appkit::Application::sharedApplication().setDelegate(nullptr);
    return status;
}
