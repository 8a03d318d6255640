#include "platform/appkit/Button.h"

namespace appkit {

Button::Button() : button_(new QPushButton(holder_.get())) {
    QObject::connect(button_, &QPushButton::clicked, button_, [this] {
        std::function<void()> action;
        {
            std::lock_guard lock(mutex_);
            action = action_;
        }
        if (action)
            action();
    });
}

Button::~Button() {
    delete button_.data();
}

void Button::setTitle(std::string title) {
    std::lock_guard lock(mutex_);
    auto text = QString::fromStdString(title);
    title_ = std::move(title);
    queue_.post([this, text] {
        if (button_)
            button_->setText(text);
    });
}

std::string Button::title() const {
    std::lock_guard lock(mutex_);
    return title_;
}

void Button::setEnabled(bool enabled) {
    std::lock_guard lock(mutex_);
    enabled_ = enabled;
    queue_.post([this, enabled] {
        if (button_)
            button_->setEnabled(enabled);
    });
}

bool Button::isEnabled() const {
    std::lock_guard lock(mutex_);
    return enabled_;
}

void Button::setAction(std::function<void()> action) {
    std::lock_guard lock(mutex_);
    action_ = std::move(action);
}

void Button::performClick() {
    std::lock_guard lock(mutex_);
    queue_.post([this] {
        if (button_)
            button_->click();
    });
}

} // namespace appkit
