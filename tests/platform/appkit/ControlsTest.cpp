#include "platform/appkit/Button.h"
#include "platform/appkit/GuiThread.h"
#include "platform/appkit/ProgressIndicator.h"
#include "platform/appkit/TextField.h"
#include "platform/appkit/Window.h"

#include <QApplication>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>
#include <thread>

namespace appkit {
namespace {

TEST(ControlsTest, TextFieldShowsItsColourEvenWhenDisabled) {
    TextField field;
    const Color grey = Color::colorWithDeviceRed(0.39215687F, 0.39215687F, 0.39215687F, 1.0F);
    field.setTextColor(grey);
    field.setEnabled(false);
    field.setStringValue("<b>1.02</b>");
    field.setFont(Font::systemFontOfSize(13.0));
    field.setHidden(true);

    QCoreApplication::sendPostedEvents();
    const QLabel& label = *field.widget();
    EXPECT_EQ(label.palette().color(QPalette::Disabled, QPalette::WindowText), grey.toQColor());
    EXPECT_FALSE(label.isEnabled());
    EXPECT_TRUE(label.isHidden());
    EXPECT_EQ(label.text(), "<b>1.02</b>");
    EXPECT_EQ(label.textFormat(), Qt::PlainText);
    EXPECT_FALSE(label.textInteractionFlags() & Qt::LinksAccessibleByMouse);
    EXPECT_EQ(label.font().pointSizeF(), 13.0);
    EXPECT_EQ(label.font().family(), QApplication::font().family());
}

TEST(ControlsTest, ButtonClickedFromAnotherThreadActsOnTheGuiThreadWhenEnabled) {
    Button button;
    int clicks = 0;
    bool onGuiThread = true;
    button.setAction([&] {
        onGuiThread = onGuiThread && isGuiThread();
        ++clicks;
    });
    std::thread([&button] {
        button.setTitle("Update");
        button.setEnabled(false);
        button.performClick();
        button.setEnabled(true);
        button.performClick();
    }).join();

    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(button.widget()->text(), "Update");
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(onGuiThread);
}

TEST(ControlsTest, ControlsAppearOnlyInTheWindowTheyAreLaidInto) {
    ProgressIndicator progress;
    TextField shown;
    TextField hidden;
    shown.setHidden(true);
    shown.setHidden(false);
    hidden.setHidden(true);
    QCoreApplication::sendPostedEvents();
    EXPECT_FALSE(progress.widget()->isVisible());
    EXPECT_FALSE(shown.widget()->isVisible());

    Window window;
    auto* layout = new QVBoxLayout(window.contentView());
    layout->addWidget(progress.widget());
    layout->addWidget(shown.widget());
    layout->addWidget(hidden.widget());
    window.show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.widget()->isVisible(); }));
    EXPECT_TRUE(progress.widget()->isVisible());
    EXPECT_TRUE(shown.widget()->isVisible());
    EXPECT_FALSE(hidden.widget()->isVisible());
}

} // namespace
} // namespace appkit
