// Shows the updater's window on virtual drives, updates the first drive and
// saves a picture of the window while the drive installs:
//   window_screenshot <scenario.json> <picture.png>

#include "app/MainWindow.h"
#include "app/QuelmarDriveUpdaterAppDelegate.h"
#include "platform/appkit/Alert.h"
#include "platform/appkit/Application.h"
#include "platform/sim/SimulatedBackend.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <exception>

namespace {

enum class Step { WaitForList, Confirm, WaitForProgress, WaitForResult, Done };

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <scenario.json> <picture.png>\n", argv[0]);
        return 2;
    }
    QApplication application(argc, argv);
    QApplication::setOrganizationName("Quelmar");
    QApplication::setApplicationName("QuelmarDriveUpdaterScreenshot");
    try {
        sim::SimulatedBackend backend(sim::Scenario::load(argv[1]));
        backend.playEvents();
        MainWindow window;
        QuelmarDriveUpdaterAppDelegate controller(window);
        appkit::Application::sharedApplication().setDelegate(&controller);
        controller.awakeFromNib();
        window.window.show();

        const QString picture = QString::fromLocal8Bit(argv[2]);
        int status = 1;
        Step step = Step::WaitForList;
        QTimer driver;
        QObject::connect(&driver, &QTimer::timeout, [&] {
            QMessageBox* sheet = appkit::Alert::currentSheet(window.window);
            switch (step) {
            case Step::WaitForList:
                if (!controller.initFlag() && window.btnUpdate.isEnabled()) {
                    step = Step::Confirm;
                    window.btnUpdate.performClick();
                }
                break;
            case Step::Confirm:
                if (sheet != nullptr && sheet->isActiveWindow()) {
                    step = Step::WaitForProgress;
                    appkit::Alert::buttonForReturnCode(*sheet, 0)->click();
                }
                break;
            case Step::WaitForProgress:
                if (!window.idctProgressUpdate.isIndeterminate() &&
                    window.idctProgressUpdate.doubleValue() > 65536.0 * 0.4) {
                    status = window.window.widget()->grab().save(picture) ? 0 : 1;
                    step = Step::WaitForResult;
                }
                break;
            case Step::WaitForResult:
                if (!controller.isUpdatingNow() && sheet != nullptr) {
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
