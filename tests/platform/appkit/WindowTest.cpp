#include "platform/appkit/Window.h"

#include "platform/appkit/GuiThread.h"

#include <QCoreApplication>
#include <QSettings>
#include <QTest>
#include <gtest/gtest.h>
#include <thread>

namespace appkit {
namespace {

class RecordingDelegate : public WindowDelegate {
  public:
    void windowDidMove() override {
        onGuiThread = onGuiThread && isGuiThread();
        ++moves;
    }
    bool windowShouldClose() override {
        ++closeRequests;
        return allowClose;
    }

    int moves = 0;
    bool onGuiThread = true;
    int closeRequests = 0;
    bool allowClose = true;
};

TEST(WindowTest, FrameIsSavedWhenItChangesAndRestoredByName) {
    const Rect moved{150, 160, 400, 300};
    {
        Window window;
        RecordingDelegate delegate;
        window.setDelegate(&delegate);
        window.setFrameAutosaveName("RoundTrip");
        window.setFrame({100, 120, 400, 300});
        window.show();
        QCoreApplication::sendPostedEvents();

        window.widget()->move(150, 160); // as the user would
        ASSERT_TRUE(QTest::qWaitFor([&] { return window.frame() == moved; }));
        EXPECT_GT(delegate.moves, 0);
        EXPECT_TRUE(delegate.onGuiThread);
    }
    Window window;
    window.setFrameAutosaveName("RoundTrip");
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(window.frame(), moved);
    EXPECT_EQ(window.widget()->pos(), QPoint(150, 160));
    EXPECT_EQ(window.widget()->size(), QSize(400, 300));
}

TEST(WindowTest, FrameSavedOffEveryScreenIsNotRestored) {
    {
        QSettings settings;
        settings.beginGroup("Window Frame Elsewhere");
        settings.setValue("x", 90000.0);
        settings.setValue("y", 90000.0);
        settings.setValue("width", 400.0);
        settings.setValue("height", 300.0);
    }
    Window window;
    const Rect before = window.frame();
    window.setFrameAutosaveName("Elsewhere");
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(window.frame(), before);
}

TEST(WindowTest, ClosingAsksTheDelegate) {
    Window window;
    RecordingDelegate delegate;
    delegate.allowClose = false;
    window.setDelegate(&delegate);
    window.show();
    QCoreApplication::sendPostedEvents();

    EXPECT_FALSE(window.widget()->close());
    EXPECT_TRUE(window.widget()->isVisible());
    delegate.allowClose = true;
    EXPECT_TRUE(window.widget()->close());
    EXPECT_FALSE(window.widget()->isVisible());
    EXPECT_EQ(delegate.closeRequests, 2);
}

TEST(WindowTest, BroughtToTheFrontFromAnotherThreadItIsRestoredAndActive) {
    Window window;
    QWidget other;
    window.show();
    other.show();
    QCoreApplication::sendPostedEvents();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.widget()));
    window.widget()->showMinimized();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return other.isActiveWindow(); }));

    std::thread([&window] { window.makeKeyAndOrderFront(); }).join();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return window.widget()->isActiveWindow() && !window.widget()->isMinimized(); }));
}

} // namespace
} // namespace appkit
