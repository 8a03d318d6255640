#include "app/ConTextLabel.h"
#include "app/MainWindow.h"
#include "app/UnreadableScenarioAlert.h"
#include "platform/appkit/Application.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/RunningApplications.h"
#include "platform/foundation/UserDefaults.h"
#include "records/Util.h"
#include "tests/app/UpdaterWindow.h"

#include <QComboBox>
#include <QMainWindow>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <gmock/gmock.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

using testing::ElementsAre;

namespace {

// Waits a generous while for the child to end; true when it did.
bool waitForChild(pid_t child, int& status) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < giveUp) {
        if (::waitpid(child, &status, WNOHANG) == child) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

} // namespace

TEST_F(UpdaterWindow, StartsWithItsControlsAtRestAndListsAfterTheFirstSecond) {
    start({drive("a")});
    EXPECT_EQ(window_->lblTitleTargetDrive.stringValue(), "Target Drive");
    EXPECT_EQ(window_->lblTitleWillUpdateTo.stringValue(), "will update to");
    EXPECT_TRUE(window_->lblTitleWillUpdateTo.isHidden());
    EXPECT_EQ(window_->lblTxtUpdateVersion.stringValue(), "");
    EXPECT_EQ(window_->btnUpdate.title(), "Update");
    EXPECT_FALSE(window_->btnUpdate.isEnabled());
    EXPECT_TRUE(window_->idctProgressUpdate.isHidden());
    EXPECT_EQ(window_->idctProgressUpdate.maxValue(), 65536.0);
    EXPECT_EQ(window_->cmbDriveList.numberOfItems(), 0);
    EXPECT_EQ(controller_->curIndex(), -1);

    // A drive that arrives during the first second is listed by the first listing.
    simulated_->attach("a");
    foundation::NotificationCenter::defaultCenter().postNotificationName("changedDeviceNotify");
    EXPECT_EQ(window_->cmbDriveList.numberOfItems(), 0);

    ASSERT_TRUE(firstListingDone());
    EXPECT_THAT(titles(), ElementsAre("QUELMAR  BD-RW KLV-TN82WA 1.012010/9/30 "));
    EXPECT_EQ(controller_->curIndex(), 0);
    EXPECT_FALSE(window_->lblTitleWillUpdateTo.isHidden());
    EXPECT_EQ(window_->lblTxtUpdateVersion.stringValue(), "BD-RW KLV-TN82WA 1.0220101015");
    EXPECT_TRUE(window_->btnUpdate.isEnabled());
    EXPECT_TRUE(window_->cmbDriveList.isEnabled());
    EXPECT_EQ(sheet(), nullptr);
}

TEST_F(UpdaterWindow, NumbersTwinsInListOrderAndLeavesOthersInPlace) {
    auto other = drive("other");
    other.product = "DVD-RW KLV-X";
    other.revision = "1.01";
    auto current = drive("current");
    current.revision = "1.02";
    auto lateTwin = drive("d");
    lateTwin.date = "2011/1/1"; // a different date still makes a twin
    auto twinOfCurrent = drive("e");
    twinOfCurrent.revision = "1.02";
    start({drive("a"), drive("b"), other, current, lateTwin, twinOfCurrent});
    ASSERT_TRUE(firstListingDone());
    // The drive of another model is not listed at all; the drive pads its date to nine characters.
    EXPECT_THAT(titles(), ElementsAre("QUELMAR  BD-RW KLV-TN82WA 1.012010/9/30  [1]",
                                      "QUELMAR  BD-RW KLV-TN82WA 1.012010/9/30  [2]",
                                      "QUELMAR  BD-RW KLV-TN82WA 1.022010/9/30  [1]",
                                      "QUELMAR  BD-RW KLV-TN82WA 1.012011/1/1   [3]",
                                      "QUELMAR  BD-RW KLV-TN82WA 1.022010/9/30  [2]"));
}

TEST_F(UpdaterWindow, AnUnnumberedDriveBetweenTwinsKeepsItsPlaceAndTheFirstDriveBecomesCurrent) {
    auto current = drive("current");
    current.revision = "1.02";
    start({drive("a"), current, drive("c")});
    ASSERT_TRUE(firstListingDone());
    EXPECT_THAT(titles(), ElementsAre("QUELMAR  BD-RW KLV-TN82WA 1.012010/9/30  [1]",
                                      "QUELMAR  BD-RW KLV-TN82WA 1.022010/9/30 ",
                                      "QUELMAR  BD-RW KLV-TN82WA 1.012010/9/30  [2]"));

    // The user chooses the current drive: nothing to update there.
    ASSERT_TRUE(choose(1));
    EXPECT_EQ(window_->lblTxtUpdateVersion.stringValue(), "no need update");
    EXPECT_TRUE(window_->lblTitleWillUpdateTo.isHidden());
    EXPECT_FALSE(window_->btnUpdate.isEnabled());

    // Any refresh makes the first drive current again.
    simulated_->remove("c");
    ASSERT_TRUE(processEventsUntil([this] { return window_->cmbDriveList.numberOfItems() == 2; }));
    waitForRefreshToEnd();
    EXPECT_EQ(controller_->curIndex(), 0);
    EXPECT_EQ(controller_->curDeviceData()->revision(), "1.01");
    EXPECT_THAT(titles(), ElementsAre("QUELMAR  BD-RW KLV-TN82WA 1.012010/9/30 ",
                                      "QUELMAR  BD-RW KLV-TN82WA 1.022010/9/30 "));
}

TEST_F(UpdaterWindow, AtItsNarrowestTwinsReadInFullAndAGrowingWindowKeepsTheControlsTogether) {
    start({drive("a"), drive("b")});
    ASSERT_TRUE(firstListingDone());
    QMainWindow* top = window_->window.widget();
    QComboBox* popUp = window_->cmbDriveList.widget();
    ASSERT_TRUE(processEventsUntil([&] { return popUp->count() == 2; }));
    const auto resizeTo = [&](QSize size) {
        top->resize(size);
        return processEventsUntil(
            [&] { return top->size() == size.expandedTo(top->minimumSize()); });
    };

    ASSERT_TRUE(resizeTo(top->minimumSize()));
    QStyleOptionComboBox option;
    option.initFrom(popUp);
    const int field =
        popUp->style()
            ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, popUp)
            .width();
    for (int i = 0; i < popUp->count(); ++i) {
        EXPECT_LE(popUp->fontMetrics().horizontalAdvance(popUp->itemText(i)), field)
            << popUp->itemText(i).toStdString();
    }

    QWidget* button = window_->btnUpdate.widget();
    const int popUpWidth = popUp->width();
    const int buttonDrop = button->y() - popUp->y();
    ASSERT_TRUE(resizeTo(top->size() * 2));
    EXPECT_GT(popUp->width(), popUpWidth);
    EXPECT_EQ(button->y() - popUp->y(), buttonDrop);
    EXPECT_EQ(button->geometry().right(), popUp->geometry().right());
}

TEST_F(UpdaterWindow, TheGuiThreadNeverWaitsForAListingUnderWayElsewhere) {
    start({drive("a")});
    ListingElsewhere listing;
    // The first listing comes due, and a notice comes on the GUI thread, as disc notices do.
    bool pastFirstListing = false;
    const auto later = foundation::RunLoop::performAfterDelay(std::chrono::milliseconds(1500),
                                                              [&] { pastFirstListing = true; });
    ASSERT_TRUE(processEventsUntil([&] { return pastFirstListing; }));
    foundation::NotificationCenter::defaultCenter().postNotificationName("changedDeviceNotify");
    EXPECT_TRUE(listing.release());
    ASSERT_TRUE(firstListingDone());
    EXPECT_EQ(ControllerState::deviceArray(*controller_).size(), 1u);
}

TEST_F(UpdaterWindow, ARefreshThatFindsNothingDropsTheCurrentDrive) {
    start({drive("a")});
    ASSERT_TRUE(firstListingDone());
    ASSERT_FALSE(window_->lblTitleWillUpdateTo.isHidden());
    simulated_->remove("a");
    ASSERT_TRUE(processEventsUntil([this] { return controller_->curIndex() == -1; }));
    waitForRefreshToEnd();
    EXPECT_FALSE(controller_->curDeviceData().has_value());
    EXPECT_EQ(window_->cmbDriveList.numberOfItems(), 0);
    EXPECT_EQ(window_->lblTxtUpdateVersion.stringValue(), "");
    EXPECT_FALSE(window_->btnUpdate.isEnabled());
    EXPECT_TRUE(window_->idctProgressUpdate.isHidden());
    // The caption keeps its visibility.
    EXPECT_FALSE(window_->lblTitleWillUpdateTo.isHidden());
}

TEST_F(UpdaterWindow, WithNoDriveAndNoDiscTheAlertQuitsWhenDismissed) {
    start({});
    ASSERT_TRUE(firstListingDone());
    QMessageBox* box = waitForSheet("MESSAGE_NO_DRIVE_UPDATED");
    ASSERT_NE(box, nullptr);
    bool quitAsked = false;
    QMetaObject::invokeMethod(
        qApp, [&] { press(box, appkit::Alert::DefaultReturn); }, Qt::QueuedConnection);
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, [&] { quitAsked = true; });
    appkit::Application::sharedApplication().setDelegate(controller_.get());
    EXPECT_EQ(appkit::Application::sharedApplication().run(), 0);
    appkit::Application::sharedApplication().setDelegate(nullptr);
    EXPECT_TRUE(quitAsked);
}

TEST_F(UpdaterWindow, ADriveThatCouldNotBeOpenedIsNamedUnderTheNoDriveAlert) {
    auto held = drive("held");
    held.faults.exclusiveAccessRefused = true;
    start({held});
    ASSERT_TRUE(firstListingDone());
    QMessageBox* box = waitForSheet("MESSAGE_NO_DRIVE_UPDATED");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->informativeText().toStdString(),
              "The drive virtual:held is in use by another program. Close that program and try "
              "again.");
}

TEST_F(UpdaterWindow, ADiscSeenInATargetDriveIsTheOnlyAlertEvenWithoutDrives) {
    auto held = drive("held");
    held.disc = sim::Disc{"HOLIDAY"};
    held.faults.exclusiveAccessRefused = true;
    start({held});
    ASSERT_TRUE(firstListingDone());
    QMessageBox* box = waitForSheet("Disc may be mounted. Please confirm eject the disk!");
    ASSERT_NE(box, nullptr);
    press(box, appkit::Alert::DefaultReturn);
    ASSERT_TRUE(processEventsUntil([this] { return sheet() == nullptr; }));
    EXPECT_TRUE(window_->window.widget()->isVisible());
}

TEST_F(UpdaterWindow, RecordsTheFrameUnderFourKeysOnEveryMove) {
    start({drive("a")});
    window_->window.setFrame({100, 200, 640, 300});
    ASSERT_TRUE(processEventsUntil([] {
        return foundation::UserDefaults::standardUserDefaults().floatForKey(
                   "kUserDefaultKeyMainWindowWidthKey") == 640.0F;
    }));
    auto& defaults = foundation::UserDefaults::standardUserDefaults();
    EXPECT_EQ(defaults.floatForKey("kUserDefaultKeyMainWindowLeftKey"), 100.0F);
    EXPECT_EQ(defaults.floatForKey("kUserDefaultKeyMainWindowRightKey"), 200.0F);
    EXPECT_EQ(defaults.floatForKey("kUserDefaultKeyMainWindowHeightKey"), 300.0F);
}

TEST(ConTextLabelColours, FollowTheEnabledState) {
    ConTextLabel label;
    label.setEnabled(false);
    EXPECT_EQ(label.textColor(),
              appkit::Color::colorWithDeviceRed(0.39215687F, 0.39215687F, 0.39215687F, 1.0F));
    EXPECT_FALSE(label.isEnabled());
    label.setEnabled(true);
    EXPECT_EQ(label.textColor(), appkit::Color::colorWithDeviceRed(0, 0, 0, 1.0F));
}

TEST(SingleInstance, ASecondInstanceExitsAtOnceWithStatusZero) {
    std::string folder =
        (std::filesystem::temp_directory_path() / "quelmar-instances-XXXXXX").string();
    ASSERT_NE(::mkdtemp(folder.data()), nullptr);
    ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
    // This process stands for the instance that runs already: it registered
    // and counted itself.
    ASSERT_EQ(foundation::RunningApplications::registerLaunch(
                  foundation::Bundle::mainBundle().bundleIdentifier()),
              std::nullopt);
    ASSERT_EQ(Util::countLaunchedApp(), 1);

    const auto updater =
        std::filesystem::read_symlink("/proc/self/exe").parent_path() / "quelmar-drive-updater";
    const pid_t child = ::fork();
    if (child == 0) {
        ::execl(updater.c_str(), updater.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = -1;
    const bool ended = waitForChild(child, status);
    if (!ended) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
    }
    EXPECT_TRUE(ended);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ::unsetenv("XDG_RUNTIME_DIR");
    std::filesystem::remove_all(folder);
}

TEST(UnreadableScenario, TheWindowShowsTheTerminalsMessageInAnAlertOfItsOwn) {
    const std::string message =
        "demo.json: drives[1].faults.busy: expected a number of polls or \"forever\"";
    QString shown;
    QString title;
    Qt::WindowModality modality = Qt::NonModal;
    QTimer dismisser;
    QObject::connect(&dismisser, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isActiveWindow()) {
            return;
        }
        shown = box->text();
        title = box->windowTitle();
        modality = box->windowModality();
        QTest::keyClick(box, Qt::Key_Return);
    });
    dismisser.start(10);
    alertUnreadableScenario(message);
    EXPECT_EQ(shown.toStdString(), message);
    EXPECT_EQ(title, MainWindow::kTitle);
    EXPECT_EQ(modality, Qt::ApplicationModal);
}
