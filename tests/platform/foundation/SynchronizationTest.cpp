#include "platform/foundation/NamedLock.h"
#include "platform/foundation/NotificationCenter.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>
#include <vector>

using foundation::NamedLock;
using foundation::Notification;
using foundation::NotificationCenter;

TEST(NamedLock, IsRecursiveAndReleasedWhenAnExceptionLeavesTheSection) {
    try {
        auto outer = NamedLock::synchronized("SYNC_TEST");
        auto inner = NamedLock::synchronized("SYNC_TEST");
        throw std::runtime_error("leave");
    } catch (const std::runtime_error&) {
    }
    std::atomic<bool> done = false;
    std::thread other([&] {
        auto guard = NamedLock::synchronized("SYNC_TEST");
        done = true;
    });
    other.join();
    EXPECT_TRUE(done);
}

TEST(NamedLock, TheSameTokenOnAnotherThreadWaitsForTheHolder) {
    std::atomic<bool> entered = false;
    std::thread other;
    {
        auto held = NamedLock::synchronized("SYNC_TEST");
        other = std::thread([&] {
            auto guard = NamedLock::synchronized("SYNC_TEST");
            entered = true;
        });
        // Long enough for a lock that excludes nothing to let the thread in.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_FALSE(entered);
    }
    other.join();
    EXPECT_TRUE(entered);
}

TEST(NamedLock, TokensAreIndependent) {
    auto held = NamedLock::synchronized("SYNC_A");
    std::atomic<bool> entered = false;
    std::thread other([&] {
        auto guard = NamedLock::synchronized("SYNC_B");
        entered = true;
    });
    other.join();
    EXPECT_TRUE(entered);
}

TEST(NotificationCenter, DeliversSynchronouslyOnThePostingThreadToObserversOfTheName) {
    auto& center = NotificationCenter::defaultCenter();
    int observer = 0;
    std::vector<Notification> received;
    std::thread::id deliveredOn;
    center.addObserver(&observer, "appearedDeviceNotify", [&](const Notification& n) {
        received.push_back(n);
        deliveredOn = std::this_thread::get_id();
    });
    std::thread poster([&] {
        center.postNotificationName("appearedDeviceNotify", 1);
        center.postNotificationName("otherNotify");
        center.postNotificationName("appearedDeviceNotify");
        EXPECT_EQ(deliveredOn, std::this_thread::get_id());
    });
    poster.join();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].object, 1);
    EXPECT_FALSE(received[1].object.has_value());

    center.removeObserver(&observer);
    center.postNotificationName("appearedDeviceNotify");
    EXPECT_EQ(received.size(), 2u);
}

TEST(NotificationCenter, AnObserverMayRemoveItselfWhileBeingNotified) {
    auto& center = NotificationCenter::defaultCenter();
    int observer = 0;
    int calls = 0;
    center.addObserver(&observer, "changedDeviceNotify", [&](const Notification&) {
        ++calls;
        center.removeObserver(&observer);
    });
    center.postNotificationName("changedDeviceNotify");
    center.postNotificationName("changedDeviceNotify");
    EXPECT_EQ(calls, 1);
}
