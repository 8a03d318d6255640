#pragma once

#include "platform/diskarb/Session.h"

#include <memory>
#include <mutex>
#include <vector>

namespace diskarb {

// The process's disk arbitration service: the disks present, and the sessions
// that hear of them coming and going. Every member may be called from any
// thread.
class DiskArbiter {
  public:
    static DiskArbiter& shared();

    // A session belongs to the arbiter from its construction to its destruction.
    void addSession(DASession* session);
    void removeSession(DASession* session);

    void registerCallback(DASession& session, DASession::Kind kind, CFMutableDictionaryRef match,
                          DASession::Callback callback, void* context);

    void diskAppeared(const std::shared_ptr<const DADisk>& disk);
    void diskDisappeared(const std::shared_ptr<const DADisk>& disk);

  private:
    std::mutex mutex_;
    DASession::Disks disks_;
    std::vector<DASession*> sessions_;
};

} // namespace diskarb
