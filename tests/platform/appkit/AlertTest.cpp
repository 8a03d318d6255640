#include "platform/appkit/Alert.h"

#include "platform/appkit/GuiThread.h"
#include "tests/support/AlertSheets.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QTest>
#include <gtest/gtest.h>
#include <thread>

namespace appkit {
namespace {

// QTRY_VERIFY reports to QTest's own log and returns quietly, which GoogleTest would count as a
// pass; QTest::qWaitFor is the same wait with a result to assert on.
class AlertTest : public testing::Test {
  protected:
    void SetUp() override {
        window_.show();
        QCoreApplication::sendPostedEvents();
    }

    QMessageBox* waitForActiveSheet() {
        QMessageBox* sheet = nullptr;
        EXPECT_TRUE(QTest::qWaitFor([&] {
            sheet = AlertSheets::currentSheet(window_);
            return sheet != nullptr && sheet->isActiveWindow();
        }));
        return sheet;
    }

    Window window_;
};

TEST_F(AlertTest, AnswersFollowTheButtonsRoleAndReturnOrEscapePressTheDefault) {
    const auto alert = Alert::alertWithMessageText("Replace?", "Cancel", "OK", "Later", "");
    struct Case {
        Qt::Key key; // Qt::Key_unknown: click the button itself
        int button;
        int expected;
    };
    // Keys go to another button, as if it had the focus.
    const Case cases[] = {
        {Qt::Key_Return, Alert::AlternateReturn, Alert::DefaultReturn},
        {Qt::Key_Escape, Alert::OtherReturn, Alert::DefaultReturn},
        {Qt::Key_unknown, Alert::AlternateReturn, Alert::AlternateReturn},
        {Qt::Key_unknown, Alert::OtherReturn, Alert::OtherReturn},
    };
    for (const Case& pressed : cases) {
        std::optional<int> answer;
        bool onGuiThread = false;
        std::thread([&] {
            alert->beginSheetModalForWindow(window_, [&](int returnCode) {
                answer = returnCode;
                onGuiThread = isGuiThread();
            });
        }).join();
        QMessageBox* sheet = waitForActiveSheet();
        ASSERT_NE(sheet, nullptr);
        EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
        EXPECT_EQ(AlertSheets::buttonForReturnCode(*sheet, Alert::DefaultReturn)->text(), "Cancel");
        EXPECT_EQ(AlertSheets::buttonForReturnCode(*sheet, Alert::AlternateReturn)->text(), "OK");
        QAbstractButton* target = AlertSheets::buttonForReturnCode(*sheet, pressed.button);
        EXPECT_EQ(target->text(), pressed.button == Alert::OtherReturn ? "Later" : "OK");
        if (pressed.key == Qt::Key_unknown)
            target->click();
        else
            QTest::keyClick(target, pressed.key);

        ASSERT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }));
        EXPECT_EQ(*answer, pressed.expected);
        EXPECT_TRUE(onGuiThread);
        EXPECT_EQ(AlertSheets::currentSheet(window_), nullptr);
    }
}

TEST_F(AlertTest, AnAlertWithoutTitlesHasOneOKButtonAndMayHaveNoEndOperation) {
    window_.setTitle("Quelmar Drive Updater");
    Alert::alertWithMessageText("Complete!", std::nullopt, std::nullopt, std::nullopt, "")
        ->beginSheetModalForWindow(window_, nullptr);
    QMessageBox* sheet = waitForActiveSheet();
    ASSERT_NE(sheet, nullptr);
    ASSERT_EQ(sheet->buttons().size(), 1);
    EXPECT_EQ(sheet->buttons().front()->text(), "OK");
    EXPECT_EQ(sheet->text(), "Complete!");

    // Even with a one-word message, the sheet is the window's: its title, bold in a title bar
    // with an icon and a close button, fits, and it cannot be minimised or maximised alone.
    EXPECT_EQ(sheet->windowTitle(), "Quelmar Drive Updater");
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(sheet->windowFlags().testFlag(Qt::CustomizeWindowHint));
    EXPECT_FALSE(sheet->windowFlags() &
                 (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    QFont titleFont = QApplication::font("QMdiSubWindowTitleBar");
    titleFont.setBold(true);
    const QFontMetrics title(titleFont);
    EXPECT_GE(sheet->width(), title.horizontalAdvance(sheet->windowTitle()) + 3 * title.height());
    QTest::keyClick(sheet, Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitFor([&] { return AlertSheets::currentSheet(window_) == nullptr; }));
}

TEST_F(AlertTest, TextsShowAsTheyAreNeverAsMarkupOrLinks) {
    // A disc's label, and so its mount point, may be made of markup.
    const QString message = "<b>Error!</b>";
    const QString informative =
        R"(A disc in the drive /dev/sg1 is mounted at /media/u/<a href="http://x">click</a>.)";
    Alert::alertWithMessageText(message.toStdString(), std::nullopt, std::nullopt, std::nullopt,
                                informative.toStdString())
        ->beginSheetModalForWindow(window_, nullptr);
    QMessageBox* sheet = waitForActiveSheet();
    ASSERT_NE(sheet, nullptr);
    int shown = 0;
    for (const QLabel* label : sheet->findChildren<QLabel*>()) {
        if (label->text() != message && label->text() != informative)
            continue;
        ++shown;
        EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->text().toStdString();
        EXPECT_FALSE(label->openExternalLinks());
        EXPECT_FALSE(label->textInteractionFlags() & Qt::LinksAccessibleByMouse);
    }
    EXPECT_EQ(shown, 2);
    QTest::keyClick(sheet, Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitFor([&] { return AlertSheets::currentSheet(window_) == nullptr; }));
}

} // namespace
} // namespace appkit
