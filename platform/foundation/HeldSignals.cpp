#include "platform/foundation/HeldSignals.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <pthread.h>
#include <span>
#include <unistd.h>

namespace foundation {
namespace {

// What the handler may touch: lock-free atomics and a buffer that outlives
// every hold, since a handler may still run on another thread as one ends.
std::atomic<int> heldSignal = 0;
std::array<char, 512> noticeText{};
std::atomic<std::size_t> noticeLength = 0;

static_assert(std::atomic<int>::is_always_lock_free);
static_assert(std::atomic<std::size_t>::is_always_lock_free);

void noteSignal(int signal) {
    // The interrupted code may be about to read errno.
    const int savedErrno = errno;
    int none = 0;
    heldSignal.compare_exchange_strong(none, signal);
    const std::size_t length = noticeLength;
    if (length > 0) {
        [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, noticeText.data(), length);
    }
    errno = savedErrno;
}

sigset_t setOf(std::span<const int> signals) {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : signals) {
        sigaddset(&set, signal);
    }
    return set;
}

} // namespace

HeldSignals::HeldSignals(std::string_view notice) {
    const std::size_t length = std::min(notice.size(), noticeText.size());
    std::copy_n(notice.begin(), length, noticeText.begin());
    noticeLength = length;
    heldSignal = 0;

    const sigset_t set = setOf(kSignals);
    receiver_ = std::jthread([set](const std::stop_token& stop) {
        pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
        std::mutex mutex;
        std::condition_variable_any idle;
        std::unique_lock lock(mutex);
        idle.wait(lock, stop, [] { return false; });
    });
    pthread_sigmask(SIG_BLOCK, &set, &previousMask_);

    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        struct sigaction before {};
        sigaction(kSignals[i], nullptr, &before);
        if (before.sa_handler == SIG_IGN) {
            continue;
        }
        struct sigaction held {};
        held.sa_handler = noteSignal;
        sigfillset(&held.sa_mask);
        held.sa_flags = SA_RESTART;
        sigaction(kSignals[i], &held, nullptr);
        previous_[i] = before;
    }
}

HeldSignals::~HeldSignals() {
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        if (previous_[i]) {
            sigaction(kSignals[i], &*previous_[i], nullptr);
        }
    }
    receiver_.request_stop();
    receiver_.join();
    noticeLength = 0;

    // Signals sent to this thread itself waited, blocked, for the hold to end.
    const sigset_t set = setOf(kSignals);
    const timespec now{};
    for (int signal; (signal = sigtimedwait(&set, nullptr, &now)) > 0;) {
        int none = 0;
        heldSignal.compare_exchange_strong(none, signal);
    }
    pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
    if (const int signal = heldSignal.exchange(0); signal != 0) {
        ::raise(signal);
    }
}

} // namespace foundation
