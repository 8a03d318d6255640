#include "platform/appkit/GuiThread.h"

#include <QCoreApplication>
#include <QThread>
#include <cassert>
#include <mutex>

namespace appkit {
namespace {

// Qt's event queue already makes what a thread wrote before posting visible to the work when it
// runs. Taking this lock on both sides as well shows that order to ThreadSanitizer, which cannot
// see into Qt's own locks. Neither side holds it while waiting for the other.
std::mutex handoffMutex;

} // namespace

void invokeOnGuiThread(std::function<void()> work) {
    QCoreApplication* application = QCoreApplication::instance();
    assert(application != nullptr);
    invokeOnGuiThread(*application, std::move(work));
}

void invokeOnGuiThread(QObject& context, std::function<void()> work) {
    std::lock_guard lock(handoffMutex);
    QMetaObject::invokeMethod(
        &context,
        [work = std::move(work)] {
            { std::lock_guard handoff(handoffMutex); }
            work();
        },
        Qt::QueuedConnection);
}

bool isGuiThread() {
    const QCoreApplication* application = QCoreApplication::instance();
    return application != nullptr && QThread::currentThread() == application->thread();
}

} // namespace appkit
