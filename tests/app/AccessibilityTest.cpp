#include "platform/foundation/NotificationCenter.h"
#include "scsi/STUCMethod.h"
#include "tests/app/UpdaterWindow.h"

#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

namespace {

class Accessibility : public UpdaterWindow {
  protected:
    void startWithOneEligibleDrive() {
        auto profile = drive("a");
        profile.installPolls = 2;
        start({profile});
        ASSERT_TRUE(firstListingDone());
        // The controls' widgets follow the controller's state by queued calls.
        ASSERT_TRUE(processEventsUntil([this] {
            return window_->btnUpdate.widget()->isEnabled() &&
                   !window_->lblTxtUpdateVersion.widget()->text().isEmpty();
        }));
    }

    static QAccessibleInterface* accessible(QWidget* widget) {
        return QAccessible::queryAccessibleInterface(widget);
    }

    // Types a key where the keyboard focus is, and answers the widget that has it afterwards.
    static QWidget* type(Qt::Key key) {
        QTest::keyClick(QApplication::focusWidget(), key);
        QApplication::processEvents();
        return QApplication::focusWidget();
    }
};

} // namespace

TEST_F(Accessibility, EveryControlIsNamedAndDescribedAndTheBarTellsHowFarTheUpdateIs) {
    startWithOneEligibleDrive();
    const std::vector<QWidget*> captions{window_->lblTitleTargetDrive.widget(),
                                         window_->lblTitleWillUpdateTo.widget()};
    const std::vector<QWidget*> controls{
        window_->cmbDriveList.widget(), window_->lblTxtUpdateVersion.widget(),
        window_->btnUpdate.widget(), window_->idctProgressUpdate.widget()};
    for (QWidget* widget : captions) {
        EXPECT_FALSE(accessible(widget)->text(QAccessible::Name).isEmpty())
            << widget->metaObject()->className();
    }
    for (QWidget* widget : controls) {
        EXPECT_FALSE(accessible(widget)->text(QAccessible::Name).isEmpty())
            << widget->metaObject()->className();
        EXPECT_FALSE(accessible(widget)->text(QAccessible::Description).isEmpty())
            << widget->metaObject()->className();
    }
    // Each caption is read as the label of the control beside it.
    for (const auto& [caption, control] :
         {std::pair{captions[0], controls[0]}, std::pair{captions[1], controls[1]}}) {
        const auto labels = accessible(control)->relations(QAccessible::Label);
        ASSERT_EQ(labels.size(), 1);
        EXPECT_EQ(labels.front().first, accessible(caption));
    }

    // The drive's progress as the engine posts it, far faster than the window paints.
    std::thread([] {
        for (int left = 65535; left >= 16384; left -= 7) {
            foundation::NotificationCenter::defaultCenter().postNotificationName(
                kUpdateIndicatorNotify, left);
        }
        foundation::NotificationCenter::defaultCenter().postNotificationName(kUpdateIndicatorNotify,
                                                                             16384);
    }).join();
    QAccessibleValueInterface* value =
        accessible(window_->idctProgressUpdate.widget())->valueInterface();
    ASSERT_NE(value, nullptr);
    // Three quarters done: 65536 - 16384 of 65536.
    EXPECT_TRUE(processEventsUntil([value] {
        return value->currentValue().toDouble() / value->maximumValue().toDouble() == 0.75;
    })) << value->currentValue().toDouble()
        << " of " << value->maximumValue().toDouble();
    foundation::NotificationCenter::defaultCenter().postNotificationName(kUpdateIndicatorNotify,
                                                                         -1);
}

TEST_F(Accessibility, TheWholeUpdateRunsFromTheKeyboard) {
    startWithOneEligibleDrive();
    QWidget* popUp = window_->cmbDriveList.widget();
    QWidget* button = window_->btnUpdate.widget();
    ASSERT_TRUE(processEventsUntil([&] {
        return window_->window.widget()->isActiveWindow() && QApplication::focusWidget() == popUp;
    }));
    EXPECT_EQ(type(Qt::Key_Tab), button);
    EXPECT_EQ(type(Qt::Key_Tab), popUp);

    // The confirmation starts on Cancel, which Return presses.
    type(Qt::Key_Tab);
    type(Qt::Key_Space);
    QMessageBox* box = waitForSheet("MESSAGE_DONT_DISCONNECTUSB");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(QApplication::focusWidget(),
              AlertSheets::buttonForReturnCode(*box, appkit::Alert::DefaultReturn));
    type(Qt::Key_Return);
    ASSERT_TRUE(processEventsUntil([this] { return sheet() == nullptr; }));
    EXPECT_FALSE(ControllerState::isUpdatingNow(*controller_));

    // Again, on to OK this time.
    ASSERT_TRUE(processEventsUntil([&] { return QApplication::focusWidget() == button; }));
    type(Qt::Key_Space);
    box = waitForSheet("MESSAGE_DONT_DISCONNECTUSB");
    ASSERT_NE(box, nullptr);
    QWidget* ok = AlertSheets::buttonForReturnCode(*box, 0);
    for (int tabs = 0; tabs < 2 && QApplication::focusWidget() != ok; ++tabs) {
        type(Qt::Key_Tab);
    }
    ASSERT_EQ(QApplication::focusWidget(), ok);
    type(Qt::Key_Space);
    ASSERT_NE(waitForSheet("Complete!"), nullptr);
    type(Qt::Key_Return);
    EXPECT_TRUE(processEventsUntil([this] { return sheet() == nullptr; }));
    controller_->waitForUpdateWorker();
    EXPECT_EQ(controller_->curDeviceData()->revision(), "1.02");
}
