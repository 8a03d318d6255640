#include "platform/appkit/TextField.h"

#include <QPalette>

namespace appkit {

TextField::TextField() : label_(new QLabel(holder_.get())) {
    // A label may show what a drive reports: as it is, never as markup or a link.
    label_->setTextFormat(Qt::PlainText);
    label_->setTextInteractionFlags(Qt::NoTextInteraction);
}

TextField::~TextField() {
    delete label_.data();
}

// Every setter posts while it still holds the mutex, so that the widget receives the changes of
// competing threads in the same order as the state did.

void TextField::setStringValue(std::string value) {
    std::lock_guard lock(mutex_);
    auto text = QString::fromStdString(value);
    value_ = std::move(value);
    queue_.post([this, text] {
        if (label_)
            label_->setText(text);
    });
}

std::string TextField::stringValue() const {
    std::lock_guard lock(mutex_);
    return value_;
}

void TextField::setHidden(bool hidden) {
    std::lock_guard lock(mutex_);
    hidden_ = hidden;
    queue_.post([this, hidden] {
        if (label_)
            label_->setHidden(hidden);
    });
}

bool TextField::isHidden() const {
    std::lock_guard lock(mutex_);
    return hidden_;
}

void TextField::setEnabled(bool enabled) {
    std::lock_guard lock(mutex_);
    enabled_ = enabled;
    queue_.post([this, enabled] {
        if (label_)
            label_->setEnabled(enabled);
    });
}

bool TextField::isEnabled() const {
    std::lock_guard lock(mutex_);
    return enabled_;
}

void TextField::setTextColor(Color color) {
    std::lock_guard lock(mutex_);
    textColor_ = color;
    queue_.post([this, color] {
        if (!label_)
            return;
        QPalette palette = label_->palette();
        palette.setColor(QPalette::WindowText, color.toQColor());
        label_->setPalette(palette);
    });
}

Color TextField::textColor() const {
    std::lock_guard lock(mutex_);
    return textColor_;
}

void TextField::setFont(Font font) {
    std::lock_guard lock(mutex_);
    queue_.post([this, font = std::move(font)] {
        if (label_)
            label_->setFont(font.qfont());
    });
}

} // namespace appkit
