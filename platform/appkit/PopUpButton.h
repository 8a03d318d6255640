#pragma once

#include "platform/appkit/GuiQueue.h"

#include <QComboBox>
#include <QPointer>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace appkit {

// A pop-up list of titled entries, with the toolkit's rules rather than the combo box's: titles
// are unique, and a pop-up with entries always has one selected unless told otherwise. Any
// thread may change or read it: reads answer the state set last, at once; the widget follows on
// the GUI thread in the order the changes were made. Create and destroy it on the GUI thread.
class PopUpButton {
  public:
    PopUpButton();
    ~PopUpButton();
    PopUpButton(const PopUpButton&) = delete;
    PopUpButton& operator=(const PopUpButton&) = delete;

    void removeAllItems();
    // Appends an entry; an earlier entry of the same title is dropped. When nothing is selected
    // afterwards (a refill, or the selected entry was the one dropped), the first entry is.
    void addItemWithTitle(std::string title);
    // Selects the entry at `index`; -1 selects nothing, any other index out of range is ignored.
    void selectItemAtIndex(int index);
    // -1 when nothing is selected.
    int indexOfSelectedItem() const;
    std::optional<std::string> titleOfSelectedItem() const;
    std::vector<std::string> itemTitles() const;
    int numberOfItems() const;

    void setEnabled(bool enabled);
    bool isEnabled() const;

    // Called on the GUI thread after the user chose an entry, which is then already selected.
    // Changes made through this class never call it.
    void setAction(std::function<void()> action);

    // The widget, to be laid out in a window's content view. GUI thread only.
    QComboBox* widget() const { return comboBox_; }

  private:
    void postItems();
    void userChose(int widgetIndex);

    mutable std::mutex mutex_;
    std::vector<std::string> titles_;
    int selected_ = -1;
    bool enabled_ = true;
    std::function<void()> action_;
    // Parent of the widget until it is laid into a window: a widget without a parent would open
    // as a window of its own when shown.
    std::unique_ptr<QWidget> holder_ = std::make_unique<QWidget>();
    QPointer<QComboBox> comboBox_;
    GuiQueue queue_;
};

} // namespace appkit
