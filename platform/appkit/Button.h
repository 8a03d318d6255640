#pragma once

#include "platform/appkit/GuiQueue.h"

#include <QPointer>
#include <QPushButton>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace appkit {

// A push button. Any thread may change or read it: reads answer the state set last, at once; the
// widget follows on the GUI thread in the order the changes were made. Create and destroy it on
// the GUI thread.
class Button {
  public:
    Button();
    ~Button();
    Button(const Button&) = delete;
    Button& operator=(const Button&) = delete;

    void setTitle(std::string title);
    std::string title() const;

    void setEnabled(bool enabled);
    bool isEnabled() const;

    // Called on the GUI thread when the button is clicked.
    void setAction(std::function<void()> action);

    // Clicks the button on the GUI thread, after the changes made so far: a disabled button
    // ignores it.
    void performClick();

    // The widget, to be laid out in a window's content view. GUI thread only.
    QPushButton* widget() const { return button_; }

  private:
    mutable std::mutex mutex_;
    std::string title_;
    bool enabled_ = true;
    std::function<void()> action_;
    // Parent of the widget until it is laid into a window: a widget without a parent would open
    // as a window of its own when shown.
    std::unique_ptr<QWidget> holder_ = std::make_unique<QWidget>();
    QPointer<QPushButton> button_;
    GuiQueue queue_;
};

} // namespace appkit
