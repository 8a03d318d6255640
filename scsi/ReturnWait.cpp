#include "scsi/ReturnWait.h"

#include <atomic>

namespace {

// Set on the thread that starts the front end (or a test), read by the
// update worker.
std::atomic<std::chrono::milliseconds::rep> limitInMilliseconds{ReturnWait::kDefault.count()};

} // namespace

std::chrono::milliseconds ReturnWait::current() {
    return std::chrono::milliseconds(limitInMilliseconds.load());
}

ReturnWait::ReturnWait(std::chrono::milliseconds limit)
    : previous_(limitInMilliseconds.exchange(limit.count())) {}

ReturnWait::~ReturnWait() {
    limitInMilliseconds = previous_.count();
}
