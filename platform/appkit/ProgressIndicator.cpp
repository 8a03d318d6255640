#include "platform/appkit/ProgressIndicator.h"

#include <algorithm>
#include <cmath>

namespace appkit {
namespace {

int stepsFor(double value, double maxValue) {
    if (!(maxValue > 0.0) || !std::isfinite(value))
        return 0;
    const double share = std::clamp(value / maxValue, 0.0, 1.0);
    return static_cast<int>(std::lround(share * ProgressIndicator::kWidgetSteps));
}

} // namespace

ProgressIndicator::ProgressIndicator() : bar_(new QProgressBar(holder_.get())) {
    bar_->setTextVisible(false);
    valueRefreshTimer_.setSingleShot(true);
    QObject::connect(&valueRefreshTimer_, &QTimer::timeout, &valueRefreshTimer_,
                     [this] { refreshValue(); });
    show(look_);
}

ProgressIndicator::~ProgressIndicator() {
    delete bar_.data();
}

// GUI thread: applies a look together with the latest value.
void ProgressIndicator::show(const Look& look) {
    shownLook_ = look;
    double value = 0.0;
    {
        std::lock_guard lock(mutex_);
        value = value_;
    }
    if (!bar_)
        return;
    if (look.indeterminate && look.animating) {
        bar_->setRange(0, 0);
    } else {
        bar_->setRange(0, kWidgetSteps);
        bar_->setValue(look.indeterminate ? 0 : stepsFor(value, look.maxValue));
    }
    bar_->setHidden(look.hidden);
}

// Callers repeat changes with every progress notice; only real ones cost the GUI thread work.
template <typename Change>
void ProgressIndicator::changeLook(Change change) {
    std::lock_guard lock(mutex_);
    Look changed = look_;
    change(changed);
    if (changed == look_)
        return;
    look_ = changed;
    queue_.post([this, look = look_] { show(look); });
}

void ProgressIndicator::setHidden(bool hidden) {
    changeLook([hidden](Look& look) { look.hidden = hidden; });
}

bool ProgressIndicator::isHidden() const {
    std::lock_guard lock(mutex_);
    return look_.hidden;
}

// The first new value after a quiet interval is shown at once; those that follow within the
// interval wait for its end, and only the latest of them is shown.
void ProgressIndicator::setDoubleValue(double value) {
    std::lock_guard lock(mutex_);
    value_ = value;
    if (valueRefreshPending_)
        return;
    valueRefreshPending_ = true;
    queue_.post([this] { scheduleValueRefresh(); });
}

// GUI thread.
void ProgressIndicator::scheduleValueRefresh() {
    const Clock::time_point due = lastValueRefresh_ + kValueRefreshInterval;
    const Clock::time_point now = Clock::now();
    if (now >= due) {
        refreshValue();
        return;
    }
    valueRefreshTimer_.start(std::chrono::ceil<std::chrono::milliseconds>(due - now));
}

// GUI thread.
void ProgressIndicator::refreshValue() {
    {
        std::lock_guard lock(mutex_);
        valueRefreshPending_ = false;
    }
    lastValueRefresh_ = Clock::now();
    show(shownLook_);
}

double ProgressIndicator::doubleValue() const {
    std::lock_guard lock(mutex_);
    return value_;
}

void ProgressIndicator::setMaxValue(double maxValue) {
    changeLook([maxValue](Look& look) { look.maxValue = maxValue; });
}

double ProgressIndicator::maxValue() const {
    std::lock_guard lock(mutex_);
    return look_.maxValue;
}

void ProgressIndicator::setIndeterminate(bool indeterminate) {
    changeLook([indeterminate](Look& look) { look.indeterminate = indeterminate; });
}

bool ProgressIndicator::isIndeterminate() const {
    std::lock_guard lock(mutex_);
    return look_.indeterminate;
}

void ProgressIndicator::startAnimation() {
    changeLook([](Look& look) { look.animating = true; });
}

void ProgressIndicator::stopAnimation() {
    changeLook([](Look& look) { look.animating = false; });
}

bool ProgressIndicator::isAnimating() const {
    std::lock_guard lock(mutex_);
    return look_.animating;
}

} // namespace appkit
