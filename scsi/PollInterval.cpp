#include "scsi/PollInterval.h"

#include <atomic>

namespace {

// Set on the thread that starts the front end (or a test), read by the
// update worker.
std::atomic<std::chrono::milliseconds::rep> intervalInMilliseconds{PollInterval::kDefault.count()};

} // namespace

std::chrono::milliseconds PollInterval::current() {
    return std::chrono::milliseconds(intervalInMilliseconds.load());
}

PollInterval::PollInterval(std::chrono::milliseconds interval)
    : previous_(intervalInMilliseconds.exchange(interval.count())) {}

PollInterval::~PollInterval() {
    intervalInMilliseconds = previous_.count();
}
