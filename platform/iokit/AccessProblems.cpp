#include "platform/iokit/AccessProblems.h"

#include <algorithm>
#include <mutex>

namespace iokit {
namespace {

struct Record {
    std::mutex mutex;
    std::vector<AccessResult> refusals;
};

Record& record() {
    static Record instance;
    return instance;
}

void dropNode(std::vector<AccessResult>& refusals, std::string_view deviceNode) {
    std::erase_if(refusals, [deviceNode](const AccessResult& refusal) {
        return refusal.deviceNode == deviceNode;
    });
}

} // namespace

void AccessProblems::note(const AccessResult& result) {
    auto& r = record();
    std::lock_guard lock(r.mutex);
    dropNode(r.refusals, result.deviceNode);
    if (!result.granted()) {
        r.refusals.push_back(result);
    }
}

void AccessProblems::forget(std::string_view deviceNode) {
    auto& r = record();
    std::lock_guard lock(r.mutex);
    dropNode(r.refusals, deviceNode);
}

std::vector<AccessResult> AccessProblems::currentOf(const std::vector<std::string>& deviceNodes) {
    std::vector<AccessResult> problems;
    {
        auto& r = record();
        std::lock_guard lock(r.mutex);
        problems = r.refusals;
    }
    std::erase_if(problems, [&deviceNodes](const AccessResult& problem) {
        return std::find(deviceNodes.begin(), deviceNodes.end(), problem.deviceNode) ==
               deviceNodes.end();
    });
    return problems;
}

} // namespace iokit
