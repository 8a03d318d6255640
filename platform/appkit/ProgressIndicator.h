#pragma once

#include "platform/appkit/GuiQueue.h"

#include <QPointer>
#include <QProgressBar>
#include <QTimer>
#include <chrono>
#include <memory>
#include <mutex>

namespace appkit {

// A progress bar from 0 to a maximum, determinate or indeterminate. Any thread may change or
// read it: reads answer the state set last, at once. The value may change thousands of times a
// second, and the GUI thread must not spend its time on them: the widget shows the latest value
// at most once per refresh interval, with at most one call waiting on the GUI thread. Every other
// change reaches the widget in the order made; a change to what it already is sends nothing. It
// starts shown, indeterminate and still, with the maximum 100. Create and destroy it on the GUI
// thread.
class ProgressIndicator {
  public:
    // The widget's range: it shows the value as its share of the maximum in this many steps.
    static constexpr int kWidgetSteps = 10000;
    // About 30 refreshes a second: smooth to the eye, and little work however fast values come.
    static constexpr std::chrono::milliseconds kValueRefreshInterval{33};

    ProgressIndicator();
    ~ProgressIndicator();
    ProgressIndicator(const ProgressIndicator&) = delete;
    ProgressIndicator& operator=(const ProgressIndicator&) = delete;

    void setHidden(bool hidden);
    bool isHidden() const;

    void setDoubleValue(double value);
    double doubleValue() const;

    // The minimum is 0.
    void setMaxValue(double maxValue);
    double maxValue() const;

    // An indeterminate bar that is animating shows the widget's busy state.
    void setIndeterminate(bool indeterminate);
    bool isIndeterminate() const;
    void startAnimation();
    void stopAnimation();
    bool isAnimating() const;

    // The widget, to be laid out in a window's content view. GUI thread only.
    QProgressBar* widget() const { return bar_; }

  private:
    using Clock = std::chrono::steady_clock;

    // Everything the widget shows except the value.
    struct Look {
        bool hidden = false;
        double maxValue = 100.0;
        bool indeterminate = true;
        bool animating = false;

        bool operator==(const Look&) const = default;
    };

    template <typename Change>
    void changeLook(Change change);
    void show(const Look& look);
    void scheduleValueRefresh();
    void refreshValue();

    mutable std::mutex mutex_;
    Look look_;
    double value_ = 0.0;
    // From a new value until the widget is refreshed with the latest one.
    bool valueRefreshPending_ = false;
    // GUI thread only.
    Look shownLook_;
    Clock::time_point lastValueRefresh_;
    QTimer valueRefreshTimer_;
    // Parent of the widget until it is laid into a window: a widget without a parent would open
    // as a window of its own when shown.
    std::unique_ptr<QWidget> holder_ = std::make_unique<QWidget>();
    QPointer<QProgressBar> bar_;
    GuiQueue queue_;
};

} // namespace appkit
