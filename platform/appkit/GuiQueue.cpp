#include "platform/appkit/GuiQueue.h"

#include "platform/appkit/GuiThread.h"

#include <QObject>
#include <cassert>

namespace appkit {

GuiQueue::GuiQueue() : context_(std::make_unique<QObject>()) {
    assert(isGuiThread());
}

GuiQueue::~GuiQueue() {
    assert(isGuiThread());
}

void GuiQueue::post(std::function<void()> work) const {
    invokeOnGuiThread(*context_, std::move(work));
}

} // namespace appkit
