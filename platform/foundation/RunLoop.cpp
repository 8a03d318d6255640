#include "platform/foundation/RunLoop.h"

#include "platform/foundation/EventSignal.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cassert>
#include <mutex>
#include <thread>
#include <utility>

namespace foundation {

using std::chrono::milliseconds;

struct RunLoop::State {
    const std::thread::id thread = std::this_thread::get_id();
    // stop() reaches the loop through the kernel rather than a queued Qt call,
    // so that thread checkers see the hand-over.
    EventSignal wake;
    Source wakeSource;

    std::mutex mutex;
    bool stopRequested = false;
    // The innermost run(); touched on the loop's thread only.
    QEventLoop* running = nullptr;

    bool takeStop() {
        std::lock_guard lock(mutex);
        return std::exchange(stopRequested, false);
    }
};

RunLoop::Handle::Handle() = default;
RunLoop::Handle::Handle(std::unique_ptr<QObject> watcher) : watcher_(std::move(watcher)) {}
RunLoop::Handle::Handle(Handle&& other) noexcept = default;
RunLoop::Handle& RunLoop::Handle::operator=(Handle&& other) noexcept = default;

RunLoop::Handle::~Handle() {
    assert(!watcher_ || watcher_->thread() == QThread::currentThread());
}

RunLoop& RunLoop::current() {
    thread_local RunLoop loop;
    return loop;
}

RunLoop::RunLoop() : state_(std::make_unique<State>()) {
    assert(QCoreApplication::instance() != nullptr);
    {
        // A thread that Qt did not start has no event dispatcher until its
        // first event loop is made, and a notifier needs one.
        QEventLoop makesTheDispatcher;
    }
    state_->wakeSource = addSource(state_->wake.descriptor(), [state = state_.get()] {
        state->wake.clear();
        if (state->running != nullptr && state->takeStop()) {
            state->running->quit();
        }
    });
}

RunLoop::~RunLoop() = default;

void RunLoop::assertOnLoopThread() const {
    assert(std::this_thread::get_id() == state_->thread);
}

void RunLoop::run() {
    assertOnLoopThread();
    if (state_->takeStop()) {
        return;
    }
    QEventLoop loop;
    QEventLoop* const outer = std::exchange(state_->running, &loop);
    loop.exec();
    state_->running = outer;
}

void RunLoop::stop() {
    {
        std::lock_guard lock(state_->mutex);
        state_->stopRequested = true;
    }
    state_->wake.raise();
}

void RunLoop::runUntilDate(Clock::time_point date) {
    assertOnLoopThread();
    const auto remaining = std::chrono::ceil<milliseconds>(date - Clock::now());
    QEventLoop loop;
    QTimer::singleShot(std::max(remaining, milliseconds(0)), &loop, &QEventLoop::quit);
    loop.exec();
}

RunLoop::Source RunLoop::addSource(int descriptor, Callback readable) {
    assertOnLoopThread();
    auto notifier = std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(),
                     [readable = std::move(readable)] { readable(); });
    return Handle(std::move(notifier));
}

RunLoop::DelayedCall RunLoop::performAfterDelay(std::chrono::duration<double> delay,
                                                Callback work) {
    // A thread that Qt did not start gets the event dispatcher a timer needs with its loop.
    current();
    auto timer = std::make_unique<QTimer>();
    timer->setSingleShot(true);
    QObject::connect(timer.get(), &QTimer::timeout, timer.get(),
                     [work = std::move(work)] { work(); });
    timer->start(std::max(std::chrono::ceil<milliseconds>(delay), milliseconds(0)));
    return Handle(std::move(timer));
}

} // namespace foundation
