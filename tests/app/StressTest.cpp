#include "platform/foundation/Log.h"
#include "tests/app/UpdaterWindow.h"

#include <QTimer>
#include <atomic>
#include <cstdio>

// During an update whose drive stays busy for 20,000 polls, and for at least
// half a second in all, another drive is attached or removed every 10 ms.
// Nothing may deadlock or crash, and the list must be right at the end. The
// GUI thread's longest stall, from the confirmation until the list has
// settled, is printed.
TEST_F(UpdaterWindow, SurvivesDrivesComingAndGoingDuringALongUpdate) {
    auto busy = drive("busy");
    busy.faults.busyPolls = 20000;
    auto flicker = drive("flicker");
    flicker.attached = false;
    start({busy, flicker});
    ASSERT_TRUE(firstListingDone());
    ASSERT_TRUE(window_->btnUpdate.isEnabled());
    foundation::Log::setSink([](foundation::LogChannel, std::string_view) {});

    using Clock = std::chrono::steady_clock;
    Clock::duration longestStall{};
    Clock::time_point lastTick = Clock::now();
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        longestStall = std::max(longestStall, now - lastTick);
        lastTick = now;
    });

    window_->btnUpdate.performClick();
    QMessageBox* box = waitForSheet("MESSAGE_DONT_DISCONNECTUSB");
    ASSERT_NE(box, nullptr);
    press(box, 0); // returns after the worker has started

    constexpr int kLeastPlugs = 50;
    std::atomic<bool> done = false;
    std::atomic<bool> attached = false;
    std::atomic<int> plugs = 0;
    std::thread plugger([&] {
        while (!done) {
            if (attached) {
                simulated_->remove("flicker");
            } else {
                simulated_->attach("flicker");
            }
            attached = !attached;
            ++plugs;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    lastTick = Clock::now();
    ticker.start(1);
    const bool finished = processEventsUntil(
        [&] { return !ControllerState::isUpdatingNow(*controller_) && plugs >= kLeastPlugs; });
    done = true;
    plugger.join();
    ASSERT_TRUE(finished);
    ASSERT_NE(waitForSheet("Complete!"), nullptr);

    // One more notice settles the list on the drives attached now.
    foundation::NotificationCenter::defaultCenter().postNotificationName("changedDeviceNotify");
    const std::size_t expected = attached ? 2 : 1;
    EXPECT_TRUE(processEventsUntil([&] {
        return ControllerState::deviceArray(*controller_).size() == expected &&
               window_->cmbDriveList.numberOfItems() == static_cast<int>(expected) &&
               controller_->curIndex() == 0;
    }));
    ticker.stop();
    foundation::Log::setSink({});
    std::printf("[ stall    ] longest GUI thread stall while drives came and went: %lld ms\n",
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(longestStall).count()));
}
