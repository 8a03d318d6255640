#include "platform/diskarb/Session.h"

#include "platform/diskarb/Disk.h"
#include "platform/diskarb/DiskArbiter.h"

#include <algorithm>
#include <utility>

DASession::DASession() {
    diskarb::DiskArbiter::shared().addSession(this);
}

DASession::~DASession() {
    diskarb::DiskArbiter::shared().removeSession(this);
}

void DASession::schedule(foundation::RunLoop& runLoop) {
    source_ = runLoop.addSource(signal_.descriptor(), [this] { deliver(); });
    scheduledOn_ = &runLoop;
}

void DASession::unschedule(foundation::RunLoop& runLoop) {
    if (scheduledOn_ == &runLoop) {
        source_ = {};
        scheduledOn_ = nullptr;
    }
}

void DASession::addCallback(Kind kind, CFMutableDictionaryRef match, Callback callback,
                            void* context, const Disks& present) {
    std::lock_guard lock(mutex_);
    const Registration& added = registrations_.emplace_back(
        Registration{nextId_++, kind, std::move(match), callback, context});
    if (kind == Kind::Appeared) {
        for (const auto& disk : present) {
            queue(added, disk);
        }
    }
}

void DASession::diskChanged(Kind kind, const std::shared_ptr<const DADisk>& disk) {
    std::lock_guard lock(mutex_);
    for (const Registration& registration : registrations_) {
        if (registration.kind == kind) {
            queue(registration, disk);
        }
    }
}

void DASession::removeCallback(Callback callback, void* context) {
    std::lock_guard lock(mutex_);
    std::erase_if(registrations_, [&](const Registration& registration) {
        return registration.callback == callback && registration.context == context;
    });
}

void DASession::queue(const Registration& registration, const std::shared_ptr<const DADisk>& disk) {
    if (registration.match && !disk->matches(*registration.match)) {
        return;
    }
    due_.push_back({registration.id, disk});
    signal_.raise();
}

void DASession::deliver() {
    // A callback may release the session; it stays until the calls are made.
    const auto self = shared_from_this();
    signal_.clear();
    std::vector<Due> due;
    {
        std::lock_guard lock(mutex_);
        due.swap(due_);
    }
    for (const Due& call : due) {
        Callback callback = nullptr;
        void* context = nullptr;
        {
            std::lock_guard lock(mutex_);
            const auto found =
                std::ranges::find(registrations_, call.registration, &Registration::id);
            if (found == registrations_.end()) {
                continue;
            }
            callback = found->callback;
            context = found->context;
        }
        callback(call.disk.get(), context);
    }
}
