#include "platform/appkit/Application.h"

#include "platform/appkit/GuiThread.h"
#include "platform/appkit/Window.h"

#include <QCoreApplication>
#include <gtest/gtest.h>
#include <thread>

namespace appkit {
namespace {

class CountingDelegate : public ApplicationDelegate {
  public:
    TerminateReply applicationShouldTerminate() override {
        onGuiThread = onGuiThread && isGuiThread();
        ++requests;
        return reply;
    }

    TerminateReply reply = TerminateReply::Cancel;
    int requests = 0;
    bool onGuiThread = true;
};

TEST(ApplicationTest, EveryWayOfQuittingAsksTheDelegate) {
    Application& application = Application::sharedApplication();
    CountingDelegate delegate;
    application.setDelegate(&delegate);
    Window window;
    window.show();

    std::thread([&application] { application.terminate(); }).join();
    invokeOnGuiThread([] { QCoreApplication::quit(); }); // the platform's quit request
    invokeOnGuiThread([&] {
        window.widget()->close(); // the last window
        invokeOnGuiThread([&] {
            delegate.reply = TerminateReply::Now;
            application.terminate();
        });
    });
    EXPECT_EQ(application.run(), 0);
    EXPECT_EQ(delegate.requests, 4);
    EXPECT_TRUE(delegate.onGuiThread);
    application.setDelegate(nullptr);
}

} // namespace
} // namespace appkit
