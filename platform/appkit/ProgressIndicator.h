#pragma once

#include "platform/appkit/GuiQueue.h"

#include <QPointer>
#include <QProgressBar>
#include <memory>
#include <mutex>

namespace appkit {

// A progress bar from 0 to a maximum, determinate or indeterminate. Any thread may change or
// read it: reads answer the state set last, at once. The value may change thousands of times a
// second, so the widget is not sent every value: it is refreshed with the latest one, with at
// most one refresh waiting on the GUI thread. Every other change reaches the widget in the order
// made. It starts shown, indeterminate and still, with the maximum 100. Create and destroy it on
// the GUI thread.
class ProgressIndicator {
  public:
    // The widget's range: it shows the value as its share of the maximum in this many steps.
    static constexpr int kWidgetSteps = 10000;

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
    // Everything the widget shows except the value.
    struct Look {
        bool hidden = false;
        double maxValue = 100.0;
        bool indeterminate = true;
        bool animating = false;
    };

    template <typename Change>
    void changeLook(Change change);
    void show(const Look& look);

    mutable std::mutex mutex_;
    Look look_;
    double value_ = 0.0;
    bool valueRefreshPending_ = false;
    Look shownLook_; // GUI thread only
    // Parent of the widget until it is laid into a window: a widget without a parent would open
    // as a window of its own when shown.
    std::unique_ptr<QWidget> holder_ = std::make_unique<QWidget>();
    QPointer<QProgressBar> bar_;
    GuiQueue queue_;
};

} // namespace appkit
