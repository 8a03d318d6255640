#pragma once

#include "platform/appkit/Window.h"

#include <QMessageBox>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace appkit {

// A message with up to three buttons, shown as a sheet, a box modal to one window only, or on
// its own.
class Alert {
  public:
    // What the end operation receives for each button.
    static constexpr int DefaultReturn = 1;
    static constexpr int AlternateReturn = 0;
    static constexpr int OtherReturn = -1;

    // Without a default title the default button reads "OK"; without an alternate or other
    // title there is no such button.
    static std::shared_ptr<Alert> alertWithMessageText(std::string messageText,
                                                       std::optional<std::string> defaultButton,
                                                       std::optional<std::string> alternateButton,
                                                       std::optional<std::string> otherButton,
                                                       std::string informativeText);

    // Shows the alert on `window` from any thread without waiting; the sheet opens on the GUI
    // thread after the window's earlier changes, unless the window is destroyed first. Return and
    // Escape press the default button. `didEnd`, unless empty, runs on the GUI thread once the
    // sheet has closed, with the answer of the button pressed.
    void beginSheetModalForWindow(Window& window, std::function<void(int)> didEnd) const;

    // Shows the alert on its own, modal to the whole application, with `title` in its title bar,
    // and answers once it is dismissed or the application quits (as the default button then).
    // The same buttons and keys as a sheet. GUI thread only.
    int runModal(const std::string& title) const;

  private:
    Alert(std::string messageText, std::string defaultButton,
          std::optional<std::string> alternateButton, std::optional<std::string> otherButton,
          std::string informativeText);
    // The texts and the buttons.
    void fill(QMessageBox& box) const;

    std::string messageText_;
    std::string defaultButton_;
    std::optional<std::string> alternateButton_;
    std::optional<std::string> otherButton_;
    std::string informativeText_;
};

} // namespace appkit
