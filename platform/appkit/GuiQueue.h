#pragma once

#include <functional>
#include <memory>

class QObject;

namespace appkit {

// The path from any thread to one owner's widgets. Posted work runs on the GUI thread in posting
// order, interleaved in that same order with every other queue and with invokeOnGuiThread. Work
// still pending when the queue is destroyed never runs, so it may refer to the queue's owner.
// Create and destroy a queue on the GUI thread.
class GuiQueue {
  public:
    GuiQueue();
    ~GuiQueue();
    GuiQueue(const GuiQueue&) = delete;
    GuiQueue& operator=(const GuiQueue&) = delete;

    void post(std::function<void()> work) const;

  private:
    // Posted work is addressed to this object: deleting it discards what is still pending.
    std::unique_ptr<QObject> context_;
};

} // namespace appkit
