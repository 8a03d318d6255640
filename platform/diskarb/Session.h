#pragma once

#include "platform/diskarb/DiskArbitration.h"
#include "platform/foundation/EventSignal.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

// One client of disk arbitration: its callbacks, and the calls due to them,
// made on the run loop the session is scheduled on. The arbiter tells it of
// disks on whatever thread reports them.
class DASession : public std::enable_shared_from_this<DASession> {
  public:
    enum class Kind { Appeared, Disappeared };
    using Callback = void (*)(DADiskRef disk, void* context);
    using Disks = std::vector<std::shared_ptr<const DADisk>>;

    // Throws std::system_error when the kernel has no descriptor left.
    DASession();
    ~DASession();
    DASession(const DASession&) = delete;
    DASession& operator=(const DASession&) = delete;

    void schedule(foundation::RunLoop& runLoop);
    void unschedule(foundation::RunLoop& runLoop);

    // The arbiter calls these two under its lock, so that a new callback and
    // the disks it hears of are in one order with disks coming and going.
    // An appeared callback is first due for every disk in `present`.
    void addCallback(Kind kind, CFMutableDictionaryRef match, Callback callback, void* context,
                     const Disks& present);
    void diskChanged(Kind kind, const std::shared_ptr<const DADisk>& disk);

    void removeCallback(Callback callback, void* context);

  private:
    struct Registration {
        std::uint64_t id;
        Kind kind;
        CFMutableDictionaryRef match;
        Callback callback;
        void* context;
    };
    struct Due {
        std::uint64_t registration;
        std::shared_ptr<const DADisk> disk;
    };

    // With the lock held.
    void queue(const Registration& registration, const std::shared_ptr<const DADisk>& disk);
    // On the run loop.
    void deliver();

    foundation::EventSignal signal_;
    // Touched on the scheduling loop's thread only.
    foundation::RunLoop* scheduledOn_ = nullptr;
    foundation::RunLoop::Source source_;

    std::mutex mutex_;
    std::vector<Registration> registrations_;
    std::vector<Due> due_;
    std::uint64_t nextId_ = 1;
};
