// Shows the updater's window on virtual drives, updates the first drive and
// saves a picture of the screen around the window and its confirmation
// sheet, one of the window while the drive installs, and one around the
// window and its result sheet; prints the sizes of the window and its sheets:
//   window_screenshot <scenario.json> <confirmation.png> <during-update.png> <result.png>
// It reads the window's sheets and the controller's state as the tests do, through
// their readers in tests/support.

#include "app/MainWindow.h"
#include "app/QuelmarDriveUpdaterAppDelegate.h"
#include "platform/appkit/Application.h"
#include "platform/sim/SimulatedBackend.h"
#include "scsi/STUCMethod.h"
#include "tests/support/AlertSheets.h"
#include "tests/support/ControllerState.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <exception>
#include <initializer_list>

namespace {

enum class Step { WaitForList, Confirm, WaitForProgress, WaitForResult, Done };

void printSize(const char* what, QSize size) {
    std::printf("%s: %d x %d\n", what, size.width(), size.height());
}

// The screen around the given widgets, frames included, as a user sees them.
bool saveScreenAround(std::initializer_list<const QWidget*> widgets, const QString& picture) {
    QRect area;
    for (const QWidget* widget : widgets)
        area = area.united(widget->frameGeometry());
    area.adjust(-8, -8, 8, 12);
    return (*widgets.begin())
        ->screen()
        ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
        .save(picture);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr,
                     "usage: %s <scenario.json> <confirmation.png> <during-update.png> "
                     "<result.png>\n",
                     argv[0]);
        return 2;
    }
    // A frame saved by an earlier run would change the pictures: settings start empty.
    const QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QApplication application(argc, argv);
    QApplication::setOrganizationName("Quelmar");
    QApplication::setApplicationName("QuelmarDriveUpdaterScreenshot");
    try {
        sim::SimulatedBackend backend(sim::Scenario::load(argv[1]));
        backend.playEvents();
        MainWindow window;
        QuelmarDriveUpdaterAppDelegate controller(window, backend);
        appkit::Application::sharedApplication().setDelegate(&controller);
        controller.awakeFromNib();
        window.window.show();

        const QString confirmationPicture = QString::fromLocal8Bit(argv[2]);
        const QString picture = QString::fromLocal8Bit(argv[3]);
        const QString resultPicture = QString::fromLocal8Bit(argv[4]);
        bool confirmationSaved = false;
        int status = 1;
        int settlingTicks = 0;
        Step step = Step::WaitForList;
        QTimer driver;
        QObject::connect(&driver, &QTimer::timeout, [&] {
            QMessageBox* sheet = AlertSheets::currentSheet(window.window);
            switch (step) {
            case Step::WaitForList:
                if (!ControllerState::initFlag(controller) && window.btnUpdate.isEnabled()) {
                    step = Step::Confirm;
                    window.btnUpdate.performClick();
                }
                break;
            case Step::Confirm:
                // A few ticks for the sheet to be painted before the screen is read.
                if (sheet != nullptr && sheet->isActiveWindow() && ++settlingTicks == 10) {
                    settlingTicks = 0;
                    confirmationSaved =
                        saveScreenAround({window.window.widget(), sheet}, confirmationPicture);
                    QWidget* top = window.window.widget();
                    printSize("window", top->size());
                    printSize("window at its narrowest", top->minimumSize());
                    printSize("confirmation sheet", sheet->size());
                    step = Step::WaitForProgress;
                    AlertSheets::buttonForReturnCode(*sheet, 0)->click();
                }
                break;
            case Step::WaitForProgress:
                if (!window.idctProgressUpdate.isIndeterminate() &&
                    window.idctProgressUpdate.doubleValue() > kProgressRange * 0.4) {
                    status =
                        confirmationSaved && saveScreenAround({window.window.widget()}, picture)
                            ? 0
                            : 1;
                    step = Step::WaitForResult;
                }
                break;
            case Step::WaitForResult:
                // A few ticks for the sheet to be painted before the screen is read.
                if (!ControllerState::isUpdatingNow(controller) && sheet != nullptr &&
                    sheet->isActiveWindow() && ++settlingTicks == 10) {
                    printSize("result sheet", sheet->size());
                    if (status == 0 &&
                        !saveScreenAround({window.window.widget(), sheet}, resultPicture)) {
                        status = 1;
                    }
                    step = Step::Done;
                    appkit::Application::sharedApplication().terminate();
                }
                break;
            case Step::Done:
                break;
            }
        });
        driver.start(20);
        appkit::Application::sharedApplication().run();
        appkit::Application::sharedApplication().setDelegate(nullptr);
        return status;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
