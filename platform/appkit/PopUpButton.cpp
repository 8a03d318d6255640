#include "platform/appkit/PopUpButton.h"

#include <algorithm>

namespace appkit {

PopUpButton::PopUpButton() : comboBox_(new QComboBox(holder_.get())) {
    QObject::connect(comboBox_, &QComboBox::activated, comboBox_,
                     [this](int index) { userChose(index); });
}

PopUpButton::~PopUpButton() {
    delete comboBox_.data();
}

// Sends the whole list and selection, so the widget never applies the combo box's own rules for
// duplicates or selection. Called with the mutex held, which keeps competing threads in order.
void PopUpButton::postItems() {
    QStringList titles;
    titles.reserve(static_cast<qsizetype>(titles_.size()));
    for (const std::string& title : titles_)
        titles.append(QString::fromStdString(title));
    queue_.post([this, titles, selected = selected_] {
        if (!comboBox_)
            return;
        QStringList shown;
        for (int i = 0; i < comboBox_->count(); ++i)
            shown.append(comboBox_->itemText(i));
        if (shown != titles) {
            comboBox_->clear();
            comboBox_->addItems(titles);
        }
        comboBox_->setCurrentIndex(selected);
    });
}

void PopUpButton::removeAllItems() {
    std::lock_guard lock(mutex_);
    titles_.clear();
    selected_ = -1;
    postItems();
}

void PopUpButton::addItemWithTitle(std::string title) {
    std::lock_guard lock(mutex_);
    if (auto earlier = std::find(titles_.begin(), titles_.end(), title); earlier != titles_.end()) {
        const auto index = static_cast<int>(earlier - titles_.begin());
        titles_.erase(earlier);
        if (index == selected_)
            selected_ = -1;
        else if (index < selected_)
            --selected_;
    }
    titles_.push_back(std::move(title));
    if (selected_ < 0)
        selected_ = 0;
    postItems();
}

void PopUpButton::selectItemAtIndex(int index) {
    std::lock_guard lock(mutex_);
    if (index < -1 || index >= static_cast<int>(titles_.size()))
        return;
    selected_ = index;
    postItems();
}

int PopUpButton::indexOfSelectedItem() const {
    std::lock_guard lock(mutex_);
    return selected_;
}

std::optional<std::string> PopUpButton::titleOfSelectedItem() const {
    std::lock_guard lock(mutex_);
    if (selected_ < 0)
        return std::nullopt;
    return titles_[static_cast<std::size_t>(selected_)];
}

std::vector<std::string> PopUpButton::itemTitles() const {
    std::lock_guard lock(mutex_);
    return titles_;
}

int PopUpButton::numberOfItems() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(titles_.size());
}

void PopUpButton::setEnabled(bool enabled) {
    std::lock_guard lock(mutex_);
    enabled_ = enabled;
    queue_.post([this, enabled] {
        if (comboBox_)
            comboBox_->setEnabled(enabled);
    });
}

bool PopUpButton::isEnabled() const {
    std::lock_guard lock(mutex_);
    return enabled_;
}

void PopUpButton::setAction(std::function<void()> action) {
    std::lock_guard lock(mutex_);
    action_ = std::move(action);
}

// The widget may still show a list that another thread has replaced since; the choice is matched
// by title, which is unique, and dropped when that entry no longer exists.
void PopUpButton::userChose(int widgetIndex) {
    const std::string title = comboBox_->itemText(widgetIndex).toStdString();
    std::function<void()> action;
    {
        std::lock_guard lock(mutex_);
        const auto chosen = std::find(titles_.begin(), titles_.end(), title);
        if (chosen == titles_.end())
            return;
        selected_ = static_cast<int>(chosen - titles_.begin());
        postItems();
        action = action_;
    }
    // Outside the mutex: the action reads this pop-up back.
    if (action)
        action();
}

} // namespace appkit
