#pragma once

#include "platform/appkit/GuiQueue.h"
#include "platform/appkit/Rect.h"
#include "platform/appkit/WindowDelegate.h"

#include <QMainWindow>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace appkit {

// A top-level window with a content view for the application's controls. Any thread may change
// it or read its frame: frame() answers at once, the widget follows on the GUI thread in the order
// the changes were made, and the window's own moves and resizes update the frame there. Create
// and destroy it on the GUI thread.
class Window {
  public:
    Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    void setTitle(const std::string& title);
    void show();
    // Brings the window to the front with the keyboard focus, restored if it was minimised.
    void makeKeyAndOrderFront();

    // Restores the frame last saved under `name`, when there is one and it still lies on a
    // screen, and from then on saves the frame under that name whenever it changes. Takes effect
    // on the GUI thread.
    void setFrameAutosaveName(std::string name);

    Rect frame() const;
    void setFrame(Rect frame);

    // Not owned; null for none. The delegate is called on the GUI thread.
    void setDelegate(WindowDelegate* delegate);

    // Runs `work` on the GUI thread after the changes made to this window so far; dropped if the
    // window is destroyed first.
    void performOnGuiThread(std::function<void()> work);

    // The top-level widget and the view to lay controls into. GUI thread only.
    QMainWindow* widget() const { return widget_.get(); }
    QWidget* contentView() const { return widget_->centralWidget(); }

  private:
    void frameChanged(bool moved);
    bool shouldClose();
    void restoreFrame();
    void saveFrame(const Rect& frame) const;

    mutable std::mutex mutex_;
    Rect frame_;
    std::optional<std::string> autosaveName_; // GUI thread only
    std::atomic<WindowDelegate*> delegate_{nullptr};
    // After the state its events update, so that it is destroyed first.
    std::unique_ptr<QMainWindow> widget_;
    GuiQueue queue_;
};

} // namespace appkit
