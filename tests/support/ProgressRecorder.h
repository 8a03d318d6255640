#pragma once

#include "platform/foundation/NotificationCenter.h"

#include <functional>
#include <optional>
#include <vector>

// Every "updateIndicatorNotify" posted while it lives, in order. An optional
// reaction runs on the posting thread after each one is recorded.
class ProgressRecorder {
  public:
    using Reaction = std::function<void(const std::vector<std::optional<int>>&)>;

    explicit ProgressRecorder(Reaction reaction = {}) : reaction_(std::move(reaction)) {
        foundation::NotificationCenter::defaultCenter().addObserver(
            this, "updateIndicatorNotify", [this](const foundation::Notification& notification) {
                values_.push_back(notification.object);
                if (reaction_) {
                    reaction_(values_);
                }
            });
    }
    ~ProgressRecorder() { foundation::NotificationCenter::defaultCenter().removeObserver(this); }
    ProgressRecorder(const ProgressRecorder&) = delete;
    ProgressRecorder& operator=(const ProgressRecorder&) = delete;

    const std::vector<std::optional<int>>& values() const { return values_; }

  private:
    Reaction reaction_;
    std::vector<std::optional<int>> values_;
};
