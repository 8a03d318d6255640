#include "platform/appkit/GuiThread.h"
#include "platform/appkit/PopUpButton.h"
#include "platform/appkit/ProgressIndicator.h"
#include "platform/appkit/TextField.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTest>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <thread>

namespace appkit {
namespace {

// Sees every queued call that the GUI thread runs while it is installed, just before it runs.
class QueuedCallObserver : public QObject {
  public:
    explicit QueuedCallObserver(std::function<void()> beforeCall = {})
        : beforeCall_(std::move(beforeCall)) {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~QueuedCallObserver() override { QCoreApplication::instance()->removeEventFilter(this); }

    int calls() const { return calls_; }

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MetaCall) {
            ++calls_;
            if (beforeCall_)
                beforeCall_();
        }
        return false;
    }

  private:
    std::function<void()> beforeCall_;
    int calls_ = 0;
};

void processEventsUntil(const std::atomic<bool>& done) {
    while (!done)
        QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents();
}

TEST(CrossThreadTest, ChangesFromAnotherThreadReachTheWidgetsInOrder) {
    constexpr int kRounds = 300;
    TextField field;
    PopUpButton popUp;
    int outOfOrder = 0;
    // Round r's text is set after round r's refill, so a label showing r never sits beside an
    // older list.
    QueuedCallObserver observer([&] {
        bool isRound = false;
        const int shownRound = field.widget()->text().toInt(&isRound);
        const QComboBox& comboBox = *popUp.widget();
        for (int i = 0; isRound && i < comboBox.count(); ++i) {
            if (comboBox.itemText(i).mid(1).toInt() < shownRound)
                ++outOfOrder;
        }
    });
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int round = 0; round < kRounds; ++round) {
            popUp.removeAllItems();
            popUp.addItemWithTitle("a" + std::to_string(round));
            popUp.addItemWithTitle("b" + std::to_string(round));
            field.setStringValue(std::to_string(round));
        }
        done = true;
    });
    processEventsUntil(done);
    worker.join();

    EXPECT_EQ(outOfOrder, 0);
    EXPECT_EQ(field.widget()->text(), QString::number(kRounds - 1));
    EXPECT_EQ(popUp.widget()->count(), 2);
    EXPECT_EQ(popUp.widget()->itemText(1), QString("b%1").arg(kRounds - 1));
    EXPECT_EQ(popUp.widget()->currentIndex(), 0);
}

TEST(CrossThreadTest, ProgressWidgetGetsTheLatestValueWithoutOneCallPerValue) {
    constexpr int kValues = 10000;
    ProgressIndicator progress;
    progress.setMaxValue(2.0 * kValues);
    progress.setIndeterminate(false);
    QCoreApplication::sendPostedEvents();

    // While the GUI thread is busy elsewhere, the values pile up behind one refresh.
    QueuedCallObserver observer;
    std::thread([&progress] {
        for (int value = 1; value <= kValues; ++value)
            progress.setDoubleValue(value);
    }).join();
    QCoreApplication::sendPostedEvents();
    EXPECT_LT(observer.calls(), 100);
    // Half way: the bar is half full.
    EXPECT_EQ(progress.widget()->maximum(), 10000);
    EXPECT_EQ(progress.widget()->value(), 5000);

    // With the GUI thread refreshing at the same time, the last value still arrives.
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int value = kValues + 1; value <= 2 * kValues; ++value)
            progress.setDoubleValue(value);
        done = true;
    });
    processEventsUntil(done);
    worker.join();
    EXPECT_TRUE(QTest::qWaitFor([&] { return progress.widget()->value() == 10000; }));

    progress.setIndeterminate(true);
    progress.startAnimation();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(progress.widget()->maximum(), 0);
}

TEST(CrossThreadTest, ProgressWidgetShowsAFloodOfValuesAtMostThirtyTimesASecond) {
    constexpr int kBursts = 50;
    constexpr int kValuesPerBurst = 200;
    constexpr int kLast = kBursts * kValuesPerBurst;
    ProgressIndicator progress;
    progress.setMaxValue(kLast);
    progress.setIndeterminate(false);
    QCoreApplication::sendPostedEvents();
    int widgetValues = 0;
    QObject::connect(progress.widget(), &QProgressBar::valueChanged, progress.widget(),
                     [&] { ++widgetValues; });

    // After each burst the worker waits until the GUI thread has run everything queued so far,
    // so that a widget sent one refresh per value, or per burst, shows every burst's values.
    std::mutex mutex;
    std::condition_variable caughtUp;
    int burstsSeen = 0;
    bool done = false;
    std::thread worker([&] {
        for (int burst = 0; burst < kBursts; ++burst) {
            // As the window does with every progress notice.
            for (int i = 1; i <= kValuesPerBurst; ++i) {
                progress.setIndeterminate(false);
                progress.setHidden(false);
                progress.setDoubleValue(burst * kValuesPerBurst + i);
            }
            invokeOnGuiThread([&] {
                std::lock_guard lock(mutex);
                ++burstsSeen;
                caughtUp.notify_all();
            });
            std::unique_lock lock(mutex);
            caughtUp.wait(lock, [&] { return burstsSeen > burst; });
        }
        invokeOnGuiThread([&] { done = true; });
    });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    worker.join();

    // The last value is shown in the end, with one refresh per interval at most on the way.
    EXPECT_TRUE(QTest::qWaitFor([&] { return progress.widget()->value() == kLast; }));
    EXPECT_LE(widgetValues, kBursts / 3);
}

} // namespace
} // namespace appkit
