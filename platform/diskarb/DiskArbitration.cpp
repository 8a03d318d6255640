#include "platform/diskarb/DiskArbitration.h"

#include "platform/diskarb/Disk.h"
#include "platform/diskarb/DiskArbiter.h"

#include <system_error>

DASessionRef DASessionCreate() {
    try {
        return std::make_shared<DASession>();
    } catch (const std::system_error&) {
        return nullptr;
    }
}

void DASessionScheduleWithRunLoop(const DASessionRef& session, foundation::RunLoop& runLoop) {
    if (session) {
        session->schedule(runLoop);
    }
}

void DASessionUnscheduleFromRunLoop(const DASessionRef& session, foundation::RunLoop& runLoop) {
    if (session) {
        session->unschedule(runLoop);
    }
}

void DARegisterDiskAppearedCallback(const DASessionRef& session,
                                    const CFMutableDictionaryRef& match,
                                    DADiskAppearedCallback callback, void* context) {
    if (session && callback != nullptr) {
        diskarb::DiskArbiter::shared().registerCallback(*session, DASession::Kind::Appeared, match,
                                                        callback, context);
    }
}

void DARegisterDiskDisappearedCallback(const DASessionRef& session,
                                       const CFMutableDictionaryRef& match,
                                       DADiskDisappearedCallback callback, void* context) {
    if (session && callback != nullptr) {
        diskarb::DiskArbiter::shared().registerCallback(*session, DASession::Kind::Disappeared,
                                                        match, callback, context);
    }
}

void DAUnregisterCallback(const DASessionRef& session, DADiskAppearedCallback callback,
                          void* context) {
    if (session) {
        session->removeCallback(callback, context);
    }
}

CFMutableDictionaryRef DADiskCopyDescription(DADiskRef disk) {
    return disk != nullptr ? std::make_shared<CFDictionary>(disk->description()) : nullptr;
}
