#include "monitor/DAUtil.h"

#include <mutex>

namespace {

std::mutex sessionMutex;
DASessionRef gDASession;

} // namespace

void DAUtil::initSession() {
    std::lock_guard lock(sessionMutex);
    if (gDASession) {
        return;
    }
    gDASession = DASessionCreate();
    if (gDASession) {
        DASessionScheduleWithRunLoop(gDASession, foundation::RunLoop::current());
    }
}

void DAUtil::releaseSession() {
    std::lock_guard lock(sessionMutex);
    if (gDASession) {
        DASessionUnscheduleFromRunLoop(gDASession, foundation::RunLoop::current());
        gDASession.reset();
    }
}

DASessionRef DAUtil::session() {
    std::lock_guard lock(sessionMutex);
    return gDASession;
}
