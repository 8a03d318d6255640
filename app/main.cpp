// The process entry: the command line, one instance at a time, then the window.

#include "app/MainWindow.h"
#include "app/QuelmarDriveUpdaterAppDelegate.h"
#include "app/Version.h"
#include "platform/appkit/Application.h"
#include "platform/backend/Backend.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/RunningApplications.h"
#include "records/Util.h"
#include "scsi/BusyLimit.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QStringList>
#include <cstdio>
#include <exception>
#include <optional>

namespace {

constexpr const char* kProgram = "quelmar-drive-updater";
constexpr int kUsageError = 2;

// Answers --help, --version and unusable arguments before any window exists,
// so that they work without a display and while another instance runs. None
// means: open the window. Qt's own options are not taken either: its
// environment variables do the same.
std::optional<int> answerCommandLine(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    QCommandLineParser parser;
    // "-platform" is one unknown option, not eight unknown letters.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        "Writes new firmware to attached Quelmar BD-RW drives. Without options it opens its "
        "window.\nSee quelmar-drive-updater(1) for its environment variables, log and files.");
    const QCommandLineOption help(QStringList{"h", "help"}, "Show this help and exit.");
    const QCommandLineOption version(QStringList{"v", "version"}, "Show the version and exit.");
    parser.addOption(help);
    parser.addOption(version);

    QString mistake;
    if (!parser.parse(arguments)) {
        mistake = parser.errorText();
    } else if (!parser.positionalArguments().isEmpty()) {
        mistake = QString("Unexpected argument '%1'.").arg(parser.positionalArguments().first());
    }
    if (!mistake.isEmpty()) {
        std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kProgram,
                     qPrintable(mistake), kProgram);
        return kUsageError;
    }
    if (parser.isSet(help)) {
        // The usage line names the program as it was called, which the parser
        // reads from an application object; a core one needs no display.
        QCoreApplication core(argc, argv);
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("%s %.*s\n", kProgram, static_cast<int>(kQuelmarVersion.size()),
                    kQuelmarVersion.data());
        return 0;
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv) {
    if (const auto status = answerCommandLine(argc, argv)) {
        return *status;
    }
    foundation::RunningApplications::registerLaunch(
        foundation::Bundle::mainBundle().bundleIdentifier());
    if (Util::countLaunchedApp() > 1) {
        return 0;
    }

    QApplication application(argc, argv);
    QApplication::setOrganizationName("Quelmar");
    QApplication::setApplicationName("QuelmarDriveUpdater");
    // Lets a desktop match the window to the menu entry and its icon.
    QApplication::setDesktopFileName("com.quelmar.QuelmarDriveUpdater");

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

    MainWindow mainWindow;
    QuelmarDriveUpdaterAppDelegate controller(mainWindow);
    appkit::Application::sharedApplication().setDelegate(&controller);
    controller.awakeFromNib();
    mainWindow.window.show();
    const int status = appkit::Application::sharedApplication().run();
    appkit::Application::sharedApplication().setDelegate(nullptr);
    return status;
}
