#pragma once

#include "platform/appkit/Color.h"
#include "platform/appkit/Font.h"
#include "platform/appkit/GuiQueue.h"

#include <QLabel>
#include <QPointer>
#include <memory>
#include <mutex>
#include <string>

namespace appkit {

// A non-editable text label. Any thread may change or read it: reads answer the state set last,
// at once; the label widget follows on the GUI thread in the order the changes were made.
// Create and destroy it on the GUI thread, and keep it alive while other threads use it.
class TextField {
  public:
    TextField();
    virtual ~TextField();
    TextField(const TextField&) = delete;
    TextField& operator=(const TextField&) = delete;

    void setStringValue(std::string value);
    std::string stringValue() const;

    void setHidden(bool hidden);
    bool isHidden() const;

    virtual void setEnabled(bool enabled);
    bool isEnabled() const;

    // The colour of the text in every state, the disabled one included. Until set, the label
    // draws in the style's colours and textColor() answers opaque black.
    void setTextColor(Color color);
    Color textColor() const;

    void setFont(Font font);

    // The label, to be laid out in a window's content view. GUI thread only; null once a
    // destroyed parent has taken it along.
    QLabel* widget() const { return label_; }

  private:
    mutable std::mutex mutex_;
    std::string value_;
    bool hidden_ = false;
    bool enabled_ = true;
    Color textColor_;
    // Parent of the widget until it is laid into a window: a widget without a parent would open
    // as a window of its own when shown.
    std::unique_ptr<QWidget> holder_ = std::make_unique<QWidget>();
    QPointer<QLabel> label_;
    GuiQueue queue_;
};

} // namespace appkit
