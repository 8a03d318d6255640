#include "scsi/BusyLimit.h"

#include <atomic>

namespace {

// Set on the thread that starts the front end (or a test), read by the
// update worker.
std::atomic<std::chrono::milliseconds::rep> limitInMilliseconds{BusyLimit::kDefault.count()};

} // namespace

std::chrono::milliseconds BusyLimit::current() {
    return std::chrono::milliseconds(limitInMilliseconds.load());
}

BusyLimit::BusyLimit(std::chrono::milliseconds limit)
    : previous_(limitInMilliseconds.exchange(limit.count())) {}

BusyLimit::~BusyLimit() {
    limitInMilliseconds = previous_.count();
}
