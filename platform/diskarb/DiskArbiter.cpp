#include "platform/diskarb/DiskArbiter.h"

#include <algorithm>

namespace diskarb {

DiskArbiter& DiskArbiter::shared() {
    // Never destroyed: a session still held at exit leaves it during static
    // destruction, whatever the order.
    static auto* const instance = new DiskArbiter;
    return *instance;
}

void DiskArbiter::addSession(DASession* session) {
    std::lock_guard lock(mutex_);
    sessions_.push_back(session);
}

void DiskArbiter::removeSession(DASession* session) {
    std::lock_guard lock(mutex_);
    std::erase(sessions_, session);
}

void DiskArbiter::registerCallback(DASession& session, DASession::Kind kind,
                                   CFMutableDictionaryRef match, DASession::Callback callback,
                                   void* context) {
    std::lock_guard lock(mutex_);
    session.addCallback(kind, std::move(match), callback, context, disks_);
}

void DiskArbiter::diskAppeared(const std::shared_ptr<const DADisk>& disk) {
    std::lock_guard lock(mutex_);
    disks_.push_back(disk);
    for (DASession* session : sessions_) {
        session->diskChanged(DASession::Kind::Appeared, disk);
    }
}

void DiskArbiter::diskDisappeared(const std::shared_ptr<const DADisk>& disk) {
    std::lock_guard lock(mutex_);
    if (std::erase(disks_, disk) == 0) {
        return;
    }
    for (DASession* session : sessions_) {
        session->diskChanged(DASession::Kind::Disappeared, disk);
    }
}

} // namespace diskarb
